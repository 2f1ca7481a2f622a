// Reading title, artist and levels from the tag blocks the audio library hands over.
#include "radio/tags/tags.h"

#include <cmath>
#include <cstring>
#include <string_view>

#include "platform/unicode.h"

namespace {

// A title or artist longer than this is cut (at a character's start): nobody reads more.
constexpr size_t kMaxTagText = 512;

constexpr size_t kId3v1Size = 128;
constexpr size_t kId3v1TitleAt = 3;
constexpr size_t kId3v1ArtistAt = 33;
constexpr size_t kId3v1FieldSize = 30;

constexpr size_t kId3HeaderSize = 10;
constexpr size_t kId3FooterSize = 10;
constexpr uint8_t kId3FlagUnsync = 0x80;
constexpr uint8_t kId3FlagExtended = 0x40;      // 2.3 and 2.4; in 2.2 the tag is compressed
constexpr uint8_t kId3FlagFooter = 0x10;        // 2.4
constexpr size_t kId3v22FrameHeader = 6;
constexpr size_t kId3FrameHeader = 10;
// Frame format flags, the second flag byte.
constexpr uint8_t kV23Compressed = 0x80, kV23Encrypted = 0x40, kV23Grouped = 0x20;
constexpr uint8_t kV24Grouped = 0x40, kV24Compressed = 0x08, kV24Encrypted = 0x04, kV24Unsync = 0x02,
                  kV24DataLength = 0x01;
constexpr size_t kGroupByte = 1;
constexpr size_t kDataLengthBytes = 4;
constexpr size_t kV23CompressedSizeBytes = 4;

// Text encodings of ID3v2 frames.
constexpr uint8_t kLatin1 = 0, kUtf16Bom = 1, kUtf16Be = 2, kUtf8 = 3;

constexpr float kMaxGainDb = 100.0f;  // beyond this a gain is nonsense
constexpr float kMaxPeak = 100.0f;

struct Bytes {
    const unsigned char* data;
    size_t size;
};

char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view a, const char* b) {
    const size_t length = std::strlen(b);
    if (a.size() != length) return false;
    for (size_t i = 0; i < length; ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

// Single-byte text of a tag (ID3v1, ID3v2's encoding 0, a Vorbis comment
// written by an old tool): UTF-8 when it is valid UTF-8, else the system's
// ANSI code page, which is what the players' taggers wrote it in, and what
// internet titles are read in too.
std::string ExternalText(std::string_view text) {
    return ExternalToUtf8(text);
}

// UTF-16 in the given byte order to UTF-8; false at a lone surrogate.
bool Utf16ToText(Bytes text, bool bigEndian, std::string& out) {
    std::u16string units;
    for (size_t i = 0; i + 1 < text.size; i += 2) {
        const unsigned high = text.data[bigEndian ? i : i + 1], low = text.data[bigEndian ? i + 1 : i];
        units += static_cast<char16_t>(high << 8 | low);
    }
    return Utf16ToUtf8(units, out);
}

// One line of text for the log and the screen: control characters become
// blanks, blanks at either end go, and a long text is cut at a character's start.
std::string Tidy(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    text.erase(text.find_last_not_of(' ') + 1);
    text.erase(0, first);
    if (text.size() > kMaxTagText) {
        size_t cut = kMaxTagText;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    return text;
}

void Keep(std::string& field, const std::string& value) {
    if (field.empty()) field = Tidy(value);
}

// A decimal number as tag writers put it ("-4.50 dB", "+1.2", "0.988"),
// read without the locale; false when there is none or more follows it.
bool ParseDecimal(std::string_view text, float& value) {
    size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    double number = 0, scale = 1;
    bool digits = false, point = false;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (point) {
                scale /= 10;
                number += (c - '0') * scale;
            } else if (number < 1e6) {
                number = number * 10 + (c - '0');
            } else {
                return false;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    while (at < text.size() && text[at] == ' ') ++at;
    const std::string_view rest = text.substr(at);
    if (!digits || !(rest.empty() || SameName(rest, "dB"))) return false;
    value = static_cast<float>(negative ? -number : number);
    return true;
}

bool ParseInteger(std::string_view text, int& value) {
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
    if (at == text.size()) return false;
    long number = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9' || number > INT16_MAX + 1) return false;
        number = number * 10 + (text[at] - '0');
    }
    number = negative ? -number : number;
    if (number < INT16_MIN || number > INT16_MAX) return false;
    value = static_cast<int>(number);
    return true;
}

// A level by its tag name; names it does not know are left alone. False when
// the name is a level's and its value is not a number.
bool KeepLevel(std::string_view name, std::string_view value, TrackTags& tags) {
    float number;
    if (SameName(name, "REPLAYGAIN_TRACK_GAIN")) {
        if (!ParseDecimal(value, number) || std::fabs(number) > kMaxGainDb) return false;
        if (!tags.hasReplayGain) tags.replayGainDb = number;
        tags.hasReplayGain = true;
    } else if (SameName(name, "REPLAYGAIN_TRACK_PEAK")) {
        if (!ParseDecimal(value, number) || number < 0 || number > kMaxPeak) return false;
        if (!tags.hasReplayPeak) tags.replayPeak = number;
        tags.hasReplayPeak = true;
    } else if (SameName(name, "R128_TRACK_GAIN")) {
        int gain;
        if (!ParseInteger(value, gain)) return false;
        if (!tags.hasR128Gain) tags.r128Gain = gain;
        tags.hasR128Gain = true;
    }
    return true;
}

// "key=value" strings, each NUL-ended, up to an empty one or the block's end.
void ParseComments(const char* data, size_t size, TrackTags& tags) {
    size_t at = 0;
    while (at < size && data[at]) {
        const void* nul = std::memchr(data + at, 0, size - at);
        const size_t end = nul ? static_cast<size_t>(static_cast<const char*>(nul) - data) : size;
        const std::string_view entry(data + at, end - at);
        at = end + 1;
        const size_t equals = entry.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view name = entry.substr(0, equals), value = entry.substr(equals + 1);
        if (SameName(name, "TITLE")) {
            Keep(tags.title, ExternalText(value));
        } else if (SameName(name, "ARTIST")) {
            Keep(tags.artist, ExternalText(value));
        } else if (!KeepLevel(name, value, tags)) {
            tags.damaged = true;
        }
    }
}

// ID3v1's fixed fields, NUL- or blank-padded.
std::string_view Id3v1Field(const char* field) {
    size_t length = 0;
    while (length < kId3v1FieldSize && field[length]) ++length;
    return std::string_view(field, length);
}

void ParseId3v1(const char* data, size_t size, TrackTags& tags) {
    if (size < kId3v1Size || std::memcmp(data, "TAG", 3) != 0) {
        tags.damaged = true;
        return;
    }
    Keep(tags.title, ExternalText(Id3v1Field(data + kId3v1TitleAt)));
    Keep(tags.artist, ExternalText(Id3v1Field(data + kId3v1ArtistAt)));
}

// A 28-bit size in four bytes of seven bits; false when a byte has its top bit.
bool SyncSafe(const unsigned char* bytes, size_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (bytes[i] & 0x80) return false;
        value = value << 7 | bytes[i];
    }
    return true;
}

size_t BigEndian(const unsigned char* bytes, int count) {
    size_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

// Undoes unsynchronisation: every 0xFF 0x00 was written for a 0xFF.
std::string Resync(Bytes bytes) {
    std::string out;
    out.reserve(bytes.size);
    for (size_t i = 0; i < bytes.size; ++i) {
        out += static_cast<char>(bytes.data[i]);
        if (bytes.data[i] == 0xFF && i + 1 < bytes.size && bytes.data[i + 1] == 0) ++i;
    }
    return out;
}

// Splits off the first string of a frame's text in its encoding; the rest
// follows its terminator.
Bytes FirstString(Bytes& text, uint8_t encoding) {
    const size_t step = encoding == kUtf16Bom || encoding == kUtf16Be ? 2 : 1;
    size_t end = 0;
    while (end + step <= text.size) {
        bool zero = true;
        for (size_t i = 0; i < step; ++i) zero = zero && text.data[end + i] == 0;
        if (zero) break;
        end += step;
    }
    const Bytes first{text.data, end < text.size ? end : text.size};
    const size_t skip = end + step <= text.size ? end + step : text.size;
    text = Bytes{text.data + skip, text.size - skip};
    return first;
}

// One string of a text frame as UTF-8; false when it is not text of its encoding.
bool DecodeString(Bytes text, uint8_t encoding, std::string& out) {
    out.clear();
    switch (encoding) {
    case kLatin1:
        out = ExternalText(std::string_view(reinterpret_cast<const char*>(text.data), text.size));
        return true;
    case kUtf8: {
        std::string_view view(reinterpret_cast<const char*>(text.data), text.size);
        if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
        out = std::string(view);
        return IsValidUtf8(view);
    }
    case kUtf16Bom:
    case kUtf16Be: {
        if (text.size % 2) return false;
        bool bigEndian = encoding == kUtf16Be;
        if (text.size >= 2 && text.data[0] == 0xFF && text.data[1] == 0xFE) {
            bigEndian = false;
            text = Bytes{text.data + 2, text.size - 2};
        } else if (text.size >= 2 && text.data[0] == 0xFE && text.data[1] == 0xFF) {
            bigEndian = true;
            text = Bytes{text.data + 2, text.size - 2};
        }
        // Without its mark, UTF-16 is taken as most writers without one wrote it: little-endian.
        return Utf16ToText(text, bigEndian, out);
    }
    default:
        return false;
    }
}

// The first string of a text frame; false when the frame is damaged.
bool FrameText(Bytes frame, std::string& out) {
    if (frame.size < 1) return false;
    const uint8_t encoding = frame.data[0];
    Bytes text{frame.data + 1, frame.size - 1};
    return DecodeString(FirstString(text, encoding), encoding, out);
}

// A user text frame: a description, then its value; levels are found by description.
bool UserFrame(Bytes frame, TrackTags& tags) {
    if (frame.size < 1) return false;
    const uint8_t encoding = frame.data[0];
    Bytes text{frame.data + 1, frame.size - 1};
    std::string name, value;
    if (!DecodeString(FirstString(text, encoding), encoding, name)) return false;
    if (!DecodeString(FirstString(text, encoding), encoding, value)) return false;
    return KeepLevel(name, value, tags);
}

// A frame's content by its id; false when it is damaged.
bool TakeFrame(std::string_view id, Bytes frame, TrackTags& tags) {
    std::string text;
    if (id == "TIT2" || id == "TT2") {
        if (!FrameText(frame, text)) return false;
        Keep(tags.title, text);
    } else if (id == "TPE1" || id == "TP1") {
        if (!FrameText(frame, text)) return false;
        Keep(tags.artist, text);
    } else if (id == "TXXX" || id == "TXX") {
        return UserFrame(frame, tags);
    }
    return true;
}

bool FrameIdValid(const unsigned char* id, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const bool valid = (id[i] >= 'A' && id[i] <= 'Z') || (id[i] >= '0' && id[i] <= '9');
        if (!valid) return false;
    }
    return true;
}

// A frame's size as its header gives it: 2.4 writes it syncsafe, unless plainSizes.
bool FrameSize(const unsigned char* header, uint8_t version, bool plainSizes, size_t& size) {
    if (version == 2) {
        size = BigEndian(header + 3, 3);
        return true;
    }
    if (version == 3 || plainSizes) {
        size = BigEndian(header + 4, 4);
        return true;
    }
    return SyncSafe(header + 4, size);
}

// Whether the frame headers, read with these sizes, go from frame to frame
// and end exactly at the body's end or at its padding.
bool FramesLand(Bytes body, uint8_t version, bool plainSizes) {
    const size_t headerSize = version == 2 ? kId3v22FrameHeader : kId3FrameHeader;
    size_t at = 0;
    while (at < body.size && body.data[at] != 0) {
        size_t size;
        if (at + headerSize > body.size || !FrameIdValid(body.data + at, version == 2 ? 3 : 4) ||
            !FrameSize(body.data + at, version, plainSizes, size) || size > body.size - at - headerSize)
            return false;
        at += headerSize + size;
    }
    return true;
}

// The frames of a tag's body (after the header and any extended header). A
// frame whose content is damaged is skipped; a frame header that makes no
// sense ends the reading, as nothing after it can be found again.
void ParseFrames(Bytes body, uint8_t version, bool tagUnsync, TrackTags& tags) {
    const size_t headerSize = version == 2 ? kId3v22FrameHeader : kId3FrameHeader;
    const size_t idLength = version == 2 ? 3 : 4;
    // Some taggers wrote 2.4 frame sizes as 2.3 does, plain: a frame of 128
    // bytes or more then reads as another size. The plain reading counts
    // only where the syncsafe one loses its way and the plain one does not.
    const bool plainSizes =
        version == 4 && !FramesLand(body, version, false) && FramesLand(body, version, true);
    size_t at = 0;
    while (at + headerSize <= body.size) {
        const unsigned char* header = body.data + at;
        if (header[0] == 0) return;  // padding
        if (!FrameIdValid(header, idLength)) {
            tags.damaged = true;
            return;
        }
        size_t size;
        if (!FrameSize(header, version, plainSizes, size)) {
            tags.damaged = true;
            return;
        }
        if (size > body.size - at - headerSize) {
            tags.damaged = true;
            return;
        }
        const std::string_view id(reinterpret_cast<const char*>(header), idLength);
        Bytes frame{header + headerSize, size};
        at += headerSize + size;

        const uint8_t format = version == 2 ? 0 : header[9];
        bool readable = true;
        size_t skip = 0;
        bool unsync = false;
        if (version == 3) {
            readable = !(format & (kV23Compressed | kV23Encrypted));
            if (format & kV23Grouped) skip += kGroupByte;
            if (format & kV23Compressed) skip += kV23CompressedSizeBytes;
        } else if (version == 4) {
            readable = !(format & (kV24Compressed | kV24Encrypted));
            if (format & kV24Grouped) skip += kGroupByte;
            if (format & kV24DataLength) skip += kDataLengthBytes;
            unsync = tagUnsync || (format & kV24Unsync);
        }
        if (!readable) continue;  // sound, but not for us to read
        if (skip > frame.size) {
            tags.damaged = true;
            continue;
        }
        frame = Bytes{frame.data + skip, frame.size - skip};
        std::string resynced;
        if (unsync) {
            resynced = Resync(frame);
            frame = Bytes{reinterpret_cast<const unsigned char*>(resynced.data()), resynced.size()};
        }
        if (!TakeFrame(id, frame, tags)) tags.damaged = true;
    }
}

// The body after its extended header. A flag set without an extended header
// after it (some taggers set it by mistake) is read as no extended header:
// the frames start at once.
Bytes AfterExtendedHeader(Bytes body, uint8_t version) {
    constexpr size_t kV23ExtendedSizes[] = {6, 10};  // without the size's own 4 bytes: CRC absent or present
    constexpr size_t kV24ExtendedLeast = 6;
    constexpr uint8_t kV24ExtendedFlagBytes = 1;
    if (body.size < 4) return body;
    size_t extended = 0;
    bool valid;
    if (version == 3) {
        const size_t declared = BigEndian(body.data, 4);
        valid = declared == kV23ExtendedSizes[0] || declared == kV23ExtendedSizes[1];
        extended = 4 + declared;  // its size counts the bytes after the size
    } else {
        // Its size counts itself, then one byte says how many flag bytes follow.
        valid = SyncSafe(body.data, extended) && extended >= kV24ExtendedLeast && body.size > 4 &&
                body.data[4] == kV24ExtendedFlagBytes;
    }
    if (!valid || extended > body.size) return body;
    return Bytes{body.data + extended, body.size - extended};
}

void ParseId3v2(const char* data, size_t size, TrackTags& tags) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    size_t tagSize;
    if (size < kId3HeaderSize || std::memcmp(data, "ID3", 3) != 0 || !SyncSafe(bytes + 6, tagSize)) {
        tags.damaged = true;
        return;
    }
    const uint8_t version = bytes[3], flags = bytes[5];
    if (version < 2 || version > 4) {
        tags.damaged = true;
        return;
    }
    // 2.2's compressed tags have no compression defined: nothing in them can be read.
    if (version == 2 && (flags & kId3FlagExtended)) return;
    size_t end = kId3HeaderSize + tagSize;
    if (end > size) {
        tags.damaged = true;  // the block ends before its header says
        end = size;
    }
    Bytes body{bytes + kId3HeaderSize, end - kId3HeaderSize};

    // Before 2.4 unsynchronisation covers the whole tag; in 2.4 each frame.
    std::string resynced;
    const bool unsync = flags & kId3FlagUnsync;
    if (unsync && version < 4) {
        resynced = Resync(body);
        body = Bytes{reinterpret_cast<const unsigned char*>(resynced.data()), resynced.size()};
    }
    if (flags & kId3FlagExtended) body = AfterExtendedHeader(body, version);
    ParseFrames(body, version, unsync, tags);
}

}  // namespace

void ParseTagBlock(uint32_t type, const char* data, size_t size, TrackTags& tags) {
    if (!data) return;
    if (size > kMaxTagBlock) {
        size = kMaxTagBlock;
        tags.damaged = true;
    }
    switch (type) {
    case kTagId3:
        ParseId3v1(data, size, tags);
        break;
    case kTagId3v2:
        ParseId3v2(data, size, tags);
        break;
    case kTagOgg:
    case kTagApe:
    case kTagMp4:
        ParseComments(data, size, tags);
        break;
    default:
        break;
    }
}

size_t TagBlockSize(uint32_t type, const char* block, size_t length, bool& cut) {
    const bool known = length != kUnknownTagLength;
    cut = known && length > kMaxTagBlock;
    const size_t readable = length > kMaxTagBlock ? kMaxTagBlock : length;
    if (type == kTagId3) return readable < kId3v1Size ? readable : kId3v1Size;
    if (type == kTagId3v2) {
        // The ten bytes of the header, the body, and in 2.4 perhaps a footer.
        const auto* bytes = reinterpret_cast<const unsigned char*>(block);
        size_t body;
        if (readable < kId3HeaderSize || std::memcmp(block, "ID3", 3) != 0 || !SyncSafe(bytes + 6, body))
            return readable < kId3HeaderSize ? readable : kId3HeaderSize;
        const size_t size = kId3HeaderSize + body + (bytes[3] == 4 && (bytes[5] & kId3FlagFooter) ? kId3FooterSize : 0);
        if (size > kMaxTagBlock) cut = true;
        return size < readable ? size : readable;
    }
    // A series of NUL-ended strings, to and with the empty last one.
    size_t at = 0;
    while (at < readable) {
        if (block[at] == 0) return at + 1;
        const void* nul = std::memchr(block + at, 0, readable - at);
        if (!nul) break;
        at = static_cast<size_t>(static_cast<const char*>(nul) - block) + 1;
    }
    // Without an end within the readable part: the block's own end, or a block too big.
    cut = !known || length > kMaxTagBlock;
    return readable;
}

std::string TitleFromFileName(const std::string& name) {
    const size_t slash = name.find_last_of("/\\");
    std::string title = slash == std::string::npos ? name : name.substr(slash + 1);
    const size_t dot = title.rfind('.');
    if (dot != std::string::npos && dot > 0) title.erase(dot);
    // Leading track numbers ("03 ", "1-03. ", "07_") when a name follows them.
    for (;;) {
        size_t digits = 0;
        while (digits < title.size() && title[digits] >= '0' && title[digits] <= '9') ++digits;
        size_t end = digits;
        while (end < title.size() && (title[end] == ' ' || title[end] == '.' || title[end] == '-' || title[end] == '_')) {
            ++end;
        }
        if (digits == 0 || end == digits || end == title.size()) break;
        title.erase(0, end);
    }
    return Tidy(ExternalText(title));
}

std::string TrackTitle(const TrackTags& tags, const std::string& fileName) {
    const std::string title = tags.title.empty() ? TitleFromFileName(fileName) : tags.title;
    if (tags.artist.empty()) return title;
    if (title.empty()) return tags.artist;
    return tags.artist + " - " + title;
}
