// Tracks whose header cannot vouch for their length: MP3 frames and Ogg pages looked at.
#include "radio/playlist/lengthdoubt.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "settings/text.h"

namespace {

namespace fs = std::filesystem;

// The frames looked at after an MP3's first: a VBR encoder changes its bit rate within a few.
constexpr int kFramesCompared = 16;
constexpr size_t kHeadBytes = 16 * 1024;
// An Ogg page holds at most 65307 bytes: the last one starts within this much of the end.
constexpr size_t kOggTailBytes = 65536;
constexpr size_t kId3HeaderBytes = 10;
constexpr size_t kMp3HeaderBytes = 4;
constexpr size_t kOggSerialAt = 14;
constexpr size_t kOggSerialEnd = kOggSerialAt + 4;
// Where a VBRI header sits: 32 bytes after the frame header, whatever the mode.
constexpr size_t kVbriAt = kMp3HeaderBytes + 32;

unsigned Byte(const std::string& data, size_t at) {
    return static_cast<unsigned char>(data[at]);
}

struct Frame {
    unsigned bitRateIndex = 0;
    size_t bytes = 0;
    size_t sideInfoBytes = 0;  // between the header and a Xing or Info header
};

// The MPEG audio frame whose header starts at `at`; false when none does.
bool ReadFrame(const std::string& data, size_t at, Frame& frame) {
    // Kilobits per second by [MPEG-1?][layer 1, 2, 3][index]; MPEG-2 and 2.5 share a table.
    static const uint16_t kRates[2][3][15] = {
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}};
    static const uint32_t kSampleRates[3] = {44100, 48000, 32000};
    if (at + kMp3HeaderBytes > data.size() || Byte(data, at) != 0xFF || (Byte(data, at + 1) & 0xE0) != 0xE0) return false;
    const unsigned version = (Byte(data, at + 1) >> 3) & 3;  // 0: 2.5, 2: 2, 3: 1
    const unsigned layerBits = (Byte(data, at + 1) >> 1) & 3;
    const unsigned rateIndex = Byte(data, at + 2) >> 4;
    const unsigned sampleIndex = (Byte(data, at + 2) >> 2) & 3;
    if (version == 1 || layerBits == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3) return false;
    const bool mpeg1 = version == 3;
    const unsigned layer = 4 - layerBits;
    const uint32_t sampleRate = kSampleRates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const uint32_t bitRate = kRates[mpeg1][layer - 1][rateIndex] * 1000u;
    const unsigned padding = (Byte(data, at + 2) >> 1) & 1;
    const bool mono = (Byte(data, at + 3) >> 6) == 3;
    frame.bitRateIndex = rateIndex;
    if (layer == 1) {
        frame.bytes = (12 * bitRate / sampleRate + padding) * 4;
    } else {
        frame.bytes = (layer == 3 && !mpeg1 ? 72 : 144) * bitRate / sampleRate + padding;
    }
    frame.sideInfoBytes = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return frame.bytes > kMp3HeaderBytes;
}

// False also where at is past the data's end: a file cut short.
bool HoldsAt(const std::string& data, size_t at, const char* text) {
    return at <= data.size() && data.compare(at, std::strlen(text), text) == 0;
}

LengthDoubt Mp3Doubt(FILE* file) {
    std::string head = ReadFileAt(file, 0, kHeadBytes);
    if (head.size() > kId3HeaderBytes && HoldsAt(head, 0, "ID3")) {
        const uint64_t tag = kId3HeaderBytes + ((Byte(head, 6) & 0x7F) << 21 | (Byte(head, 7) & 0x7F) << 14 |
                                                (Byte(head, 8) & 0x7F) << 7 | (Byte(head, 9) & 0x7F));
        head = ReadFileAt(file, tag, kHeadBytes);
    }
    size_t at = 0;
    Frame first;
    while (at < head.size() && !ReadFrame(head, at, first)) ++at;
    if (at == head.size()) return LengthDoubt::kNone;  // no frame: the library refuses it or reads it otherwise
    const size_t tag = at + kMp3HeaderBytes + first.sideInfoBytes;
    if (HoldsAt(head, tag, "Xing") || HoldsAt(head, tag, "Info") || HoldsAt(head, at + kVbriAt, "VBRI"))
        return LengthDoubt::kNone;
    Frame next;
    at += first.bytes;
    for (int compared = 0; compared < kFramesCompared && ReadFrame(head, at, next); ++compared, at += next.bytes)
        if (next.bitRateIndex != first.bitRateIndex) return LengthDoubt::kVbrWithoutHeader;
    return LengthDoubt::kNone;
}

// A chained Ogg file's links each have their own serial number: the last page
// then belongs to another logical stream than the first.
LengthDoubt OggDoubt(FILE* file, uint64_t size) {
    const std::string head = ReadFileAt(file, 0, kOggSerialEnd);
    const uint64_t tailAt = size > kOggTailBytes ? size - kOggTailBytes : 0;
    const std::string tail = ReadFileAt(file, tailAt, kOggTailBytes);
    const size_t last = tail.rfind("OggS");
    if (head.size() < kOggSerialEnd || !HoldsAt(head, 0, "OggS") || last == std::string::npos ||
        last + kOggSerialEnd > tail.size())
        return LengthDoubt::kNone;
    return head.compare(kOggSerialAt, 4, tail, last + kOggSerialAt, 4) == 0 ? LengthDoubt::kNone
                                                                           : LengthDoubt::kChainedOgg;
}

}  // namespace

LengthDoubt DoubtOfHeaderLength(const fs::path& path) {
    const auto extension = path.extension().u8string();
    const std::string ending = LowerCase(std::string(extension.begin(), extension.end()));
    const bool mpeg = ending == ".mp3" || ending == ".mp2" || ending == ".mp1";
    const bool ogg = ending == ".ogg" || ending == ".oga";
    if (!mpeg && !ogg) return LengthDoubt::kNone;
    std::error_code error;
    const uint64_t size = fs::file_size(path, error);
    const ReadingFile file = OpenForReading(path);
    if (error || !file) return LengthDoubt::kNone;
    return mpeg ? Mp3Doubt(file.get()) : OggDoubt(file.get(), size);
}

const char* LengthDoubtText(LengthDoubt doubt) {
    switch (doubt) {
    case LengthDoubt::kVbrWithoutHeader:
        return "a VBR MP3 without a Xing, Info or VBRI header: its header's length is an estimate";
    case LengthDoubt::kChainedOgg:
        return "a chained Ogg file: its header's length is that of one link";
    case LengthDoubt::kNone:
        break;
    }
    return "its header gives its length";
}
