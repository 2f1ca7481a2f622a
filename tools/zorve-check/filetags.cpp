// Finding a track's tag blocks in its file and reading them with the module's tag reader.
#include "tools/zorve-check/filetags.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kId3HeaderBytes = 10;
constexpr size_t kId3v1Bytes = 128;
constexpr size_t kChunkHeaderBytes = 8;
constexpr size_t kRiffHeaderBytes = 12;
constexpr size_t kFlacBlockHeaderBytes = 4;
constexpr uint8_t kFlacLastBlock = 0x80;
constexpr uint8_t kFlacBlockType = 0x7F;
constexpr uint8_t kFlacVorbisComment = 4;
constexpr size_t kOggPageHeaderBytes = 27;
constexpr uint8_t kOggLastLacing = 255;
// Blocks and chunks walked before giving up: real files hold a handful.
constexpr int kMaxBlocks = 64;

uint32_t Little32(const std::string& data, size_t at) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data()) + at;
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

size_t SyncSafeSize(const std::string& header) {
    size_t size = 0;
    for (size_t i = 6; i < kId3HeaderBytes; ++i) size = size << 7 | (header[i] & 0x7F);
    return size;
}

void ParseId3v2At(FILE* file, int64_t at, TrackTags& tags) {
    const std::string header = ReadFileAt(file, at, kId3HeaderBytes);
    if (header.size() < kId3HeaderBytes) return;
    const size_t size = kId3HeaderBytes + SyncSafeSize(header);
    const std::string block = ReadFileAt(file, at, size < kMaxTagBlock ? size : kMaxTagBlock);
    ParseTagBlock(kTagId3v2, block.data(), block.size(), tags);
}

// A Vorbis comment structure (vendor, then counted comments, each with its
// length) as the library hands comments over: NUL-ended strings, the last twice.
// A structure cut short gives the comments before the cut, and is damaged.
std::string CommentStrings(const std::string& data, size_t at, bool& damaged) {
    std::string strings;
    const auto cutShort = [&] {
        damaged = true;
        return strings + '\0';
    };
    if (at + 4 > data.size()) return cutShort();
    const size_t vendor = Little32(data, at);
    at += 4;
    if (vendor > data.size() - at || data.size() - at - vendor < 4) return cutShort();
    at += vendor;
    uint32_t count = Little32(data, at);
    at += 4;
    for (; count > 0; --count) {
        if (data.size() - at < 4) return cutShort();
        const size_t length = Little32(data, at);
        at += 4;
        if (length > data.size() - at) return cutShort();
        const std::string comment = data.substr(at, length);
        at += length;
        if (comment.find('\0') == std::string::npos && !comment.empty()) strings += comment + '\0';
    }
    return strings + '\0';
}

void ParseComments(const std::string& data, size_t at, TrackTags& tags) {
    const std::string strings = CommentStrings(data, at, tags.damaged);
    ParseTagBlock(kTagOgg, strings.data(), strings.size(), tags);
}

bool FlacComments(FILE* file, TrackTags& tags) {
    int64_t at = 4;  // after "fLaC"
    for (int i = 0; i < kMaxBlocks; ++i) {
        const std::string header = ReadFileAt(file, at, kFlacBlockHeaderBytes);
        if (header.size() < kFlacBlockHeaderBytes) return false;
        const auto* bytes = reinterpret_cast<const unsigned char*>(header.data());
        const size_t length = bytes[1] << 16 | bytes[2] << 8 | bytes[3];
        at += kFlacBlockHeaderBytes;
        if ((bytes[0] & kFlacBlockType) == kFlacVorbisComment) {
            ParseComments(ReadFileAt(file, at, length < kMaxTagBlock ? length : kMaxTagBlock), 0, tags);
            return true;
        }
        if (bytes[0] & kFlacLastBlock) return false;
        at += static_cast<int64_t>(length);
    }
    return false;
}

// The second packet of an Ogg file's first stream, from its first pages.
bool OggComments(FILE* file, TrackTags& tags) {
    const std::string data = ReadFileAt(file, 0, kMaxTagBlock);
    std::string packet;
    int packets = 0;
    for (size_t page = 0; page + kOggPageHeaderBytes <= data.size() && packets < 2;) {
        if (data.compare(page, 4, "OggS") != 0) break;
        const size_t segments = static_cast<unsigned char>(data[page + kOggPageHeaderBytes - 1]);
        size_t body = page + kOggPageHeaderBytes + segments;
        if (body > data.size()) break;
        for (size_t s = 0; s < segments && packets < 2; ++s) {
            const size_t lacing = static_cast<unsigned char>(data[page + kOggPageHeaderBytes + s]);
            if (lacing > data.size() - body) {
                tags.damaged = true;  // a page cut short
                return true;
            }
            if (packets == 1) packet.append(data, body, lacing);
            body += lacing;
            if (lacing < kOggLastLacing) ++packets;
        }
        page = body;
    }
    if (packet.compare(0, 7, "\3vorbis") == 0) {
        ParseComments(packet, 7, tags);
        return true;
    }
    if (packet.compare(0, 8, "OpusTags") == 0) {
        ParseComments(packet, 8, tags);
        return true;
    }
    return false;
}

// An ID3v2 block in a WAV file's "id3 " chunk.
bool WaveId3(FILE* file, TrackTags& tags) {
    int64_t at = kRiffHeaderBytes;
    for (int i = 0; i < kMaxBlocks; ++i) {
        const std::string chunk = ReadFileAt(file, at, kChunkHeaderBytes);
        if (chunk.size() < kChunkHeaderBytes) return false;
        const uint32_t size = Little32(chunk, 4);
        if (chunk.compare(0, 4, "id3 ") == 0 || chunk.compare(0, 4, "ID3 ") == 0) {
            ParseId3v2At(file, at + static_cast<int64_t>(kChunkHeaderBytes), tags);
            return true;
        }
        at += static_cast<int64_t>(kChunkHeaderBytes + size + (size & 1));
    }
    return false;
}

}  // namespace

bool ReadFileTags(const fs::path& path, TrackTags& tags) {
    const ReadingFile file = OpenForReading(path);
    if (!file) return false;
    bool found = false;
    const std::string head = ReadFileAt(file.get(), 0, kRiffHeaderBytes);
    if (head.compare(0, 3, "ID3") == 0) {
        ParseId3v2At(file.get(), 0, tags);
        found = true;
    } else if (head.compare(0, 4, "fLaC") == 0) {
        found = FlacComments(file.get(), tags);
    } else if (head.compare(0, 4, "OggS") == 0) {
        found = OggComments(file.get(), tags);
    } else if (head.size() == kRiffHeaderBytes && head.compare(0, 4, "RIFF") == 0 && head.compare(8, 4, "WAVE") == 0) {
        found = WaveId3(file.get(), tags);
    }
    const std::string tail = ReadFileAt(file.get(), -static_cast<int64_t>(kId3v1Bytes), kId3v1Bytes);
    if (tail.size() == kId3v1Bytes && tail.compare(0, 3, "TAG") == 0) {
        ParseTagBlock(kTagId3, tail.data(), tail.size(), tags);
        found = true;
    }
    return found;
}
