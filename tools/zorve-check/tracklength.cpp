// A track's length from bounded reads of its headers.
#include "tools/zorve-check/tracklength.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <system_error>

#include "platform/files.h"
#include "radio/playlist/tracklist.h"
#include "settings/text.h"

namespace {

namespace fs = std::filesystem;

// Headers are looked for in this much of a file's start (after an MP3's ID3
// tag); an Ogg file's last page starts within this much of its end (a page
// holds at most 65307 bytes).
constexpr size_t kWindowBytes = 64 * 1024;
constexpr size_t kOggTailBytes = 65536;
constexpr uint64_t kRiffHeaderBytes = 12;
constexpr uint64_t kChunkHeaderBytes = 8;
constexpr size_t kWaveFormatBytes = 16;
constexpr size_t kWaveByteRateAt = 8;
// Chunks walked before a WAV file counts as damaged: real ones hold a handful.
constexpr int kMaxWaveChunks = 4096;
constexpr size_t kFlacHeadBytes = 42;
constexpr size_t kId3HeaderBytes = 10;

uint32_t Little32(const std::string& data, size_t at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data()) + at;
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint32_t Big32(const std::string& data, size_t at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data()) + at;
    return static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
}

unsigned char Byte(const std::string& data, size_t at) {
    return static_cast<unsigned char>(data[at]);
}

bool StartsWith(const std::string& data, const char* head) {
    return data.compare(0, std::strlen(head), head) == 0;
}

bool IsFrameSync(const std::string& data, size_t at) {
    return at + 1 < data.size() && Byte(data, at) == 0xFF && (Byte(data, at + 1) & 0xE0) == 0xE0;
}

// Seconds of a WAV file from its format and data chunks, walked in 64 bits: a
// chunk size near 4 GiB must not bring the walk back where it was. A data size
// past the end of the file (a recording never finished, or damage) counts
// what the file holds.
bool WaveSeconds(FILE* file, uint64_t size, double& seconds) {
    uint32_t byteRate = 0;
    uint64_t at = kRiffHeaderBytes;
    for (int chunk = 0; chunk < kMaxWaveChunks && at + kChunkHeaderBytes <= size; ++chunk) {
        const std::string header = ReadFileAt(file, at, kChunkHeaderBytes);
        if (header.size() < kChunkHeaderBytes) return false;
        const uint64_t length = Little32(header, 4);
        const uint64_t body = at + kChunkHeaderBytes;
        if (StartsWith(header, "fmt ")) {
            const std::string format = ReadFileAt(file, body, kWaveFormatBytes);
            if (format.size() == kWaveFormatBytes) byteRate = Little32(format, kWaveByteRateAt);
        }
        if (StartsWith(header, "data") && byteRate) {
            seconds = static_cast<double>(length < size - body ? length : size - body) / byteRate;
            return true;
        }
        at = body + length + (length & 1);
    }
    return false;
}

// Seconds of a FLAC file from its stream information block.
bool FlacSeconds(const std::string& head, double& seconds) {
    if (head.size() < kFlacHeadBytes) return false;
    constexpr size_t kInfo = 8;
    const uint32_t rate = Byte(head, kInfo + 10) << 12 | Byte(head, kInfo + 11) << 4 | Byte(head, kInfo + 12) >> 4;
    const uint64_t samples = static_cast<uint64_t>(Byte(head, kInfo + 13) & 0x0F) << 32 | Big32(head, kInfo + 14);
    if (!rate) return false;
    seconds = static_cast<double>(samples) / rate;
    return true;
}

// Seconds of an Ogg Vorbis or Opus file: the last page's granule position over
// the rate, which the first page gives.
bool OggSeconds(const std::string& head, const std::string& tail, double& seconds) {
    constexpr uint32_t kOpusRate = 48000;
    uint32_t rate = 0;
    const size_t vorbis = head.find("\x01vorbis");
    if (head.find("OpusHead") != std::string::npos) {
        rate = kOpusRate;
    } else if (vorbis != std::string::npos && vorbis + 16 <= head.size()) {
        rate = Little32(head, vorbis + 12);
    }
    const size_t last = tail.rfind("OggS");
    if (!rate || last == std::string::npos || last + 14 > tail.size()) return false;
    const uint64_t samples = Little32(tail, last + 6) | static_cast<uint64_t>(Little32(tail, last + 10)) << 32;
    seconds = static_cast<double>(samples) / rate;
    return true;
}

// Seconds of an MP3 file from its first frame, after any ID3 tag: exact with a
// frame count in a Xing or Info header, otherwise estimated from the bit rate.
bool Mp3Seconds(FILE* file, uint64_t size, const std::string& head, double& seconds) {
    static const int kBitRates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int kRates[4] = {44100, 48000, 32000, 0};
    uint64_t start = 0;
    if (StartsWith(head, "ID3") && head.size() > kId3HeaderBytes) {
        start = kId3HeaderBytes + ((Byte(head, 6) & 0x7F) << 21 | (Byte(head, 7) & 0x7F) << 14 |
                                   (Byte(head, 8) & 0x7F) << 7 | (Byte(head, 9) & 0x7F));
    }
    const std::string data = start ? ReadFileAt(file, start, kWindowBytes) : head;
    size_t at = 0;
    while (at + 4 <= data.size() && !IsFrameSync(data, at)) ++at;
    if (at + 4 > data.size()) return false;
    // MPEG-1 layer III figures; other versions give a rougher estimate.
    const int bitRate = kBitRates[Byte(data, at + 2) >> 4];
    const int rate = kRates[(Byte(data, at + 2) >> 2) & 3];
    if (!bitRate || !rate) return false;
    const size_t xing = data.find("Xing", at), info = data.find("Info", at);
    const size_t tag = xing < info ? xing : info;
    constexpr uint32_t kFramesFlag = 1;
    constexpr int kSamplesPerFrame = 1152;
    if (tag != std::string::npos && tag < at + 64 && tag + 12 <= data.size() && (Big32(data, tag + 4) & kFramesFlag)) {
        seconds = static_cast<double>(Big32(data, tag + 8)) * kSamplesPerFrame / rate;
        return true;
    }
    seconds = static_cast<double>(size - (start + at)) * 8 / (bitRate * 1000.0);
    return true;
}

bool EndsWith(const std::string& text, const char* ending) {
    const size_t length = std::strlen(ending);
    return text.size() >= length && text.compare(text.size() - length, length, ending) == 0;
}

bool EndsWithAny(const std::string& text, std::initializer_list<const char*> endings) {
    for (const char* ending : endings)
        if (EndsWith(text, ending)) return true;
    return false;
}

}  // namespace

Length TrackLength(const fs::path& path, const std::string& name, double& seconds) {
    if (!IsAudioFileName(name)) return Length::kNotAudio;
    std::error_code error;
    const uint64_t size = fs::file_size(path, error);
    const ReadingFile file = OpenForReading(path);
    if (error || !file || size == 0) return Length::kNotAudio;
    const std::string head = ReadFileAt(file.get(), 0, kWindowBytes);
    const std::string ending = LowerCase(name);
    const auto known = [&](bool read) { return read ? Length::kKnown : Length::kNotAudio; };
    if (EndsWith(ending, ".wav")) return known(StartsWith(head, "RIFF") && WaveSeconds(file.get(), size, seconds));
    if (EndsWith(ending, ".flac")) return known(StartsWith(head, "fLaC") && FlacSeconds(head, seconds));
    if (EndsWithAny(ending, {".ogg", ".oga", ".opus"})) {
        const uint64_t tailAt = size > kOggTailBytes ? size - kOggTailBytes : 0;
        return known(StartsWith(head, "OggS") && OggSeconds(head, ReadFileAt(file.get(), tailAt, kOggTailBytes), seconds));
    }
    if (EndsWithAny(ending, {".mp3", ".mp2", ".mp1"}))
        return known((StartsWith(head, "ID3") || IsFrameSync(head, 0)) && Mp3Seconds(file.get(), size, head, seconds));
    // AIFF, MP4, WMA and the like: played, but their length is not read here.
    return Length::kUnknown;
}
