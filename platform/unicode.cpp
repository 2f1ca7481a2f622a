// UTF-8, UTF-16 and ANSI conversions that report bad input as values.
#include "platform/unicode.h"

#include <climits>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

constexpr unsigned char kFirstNonAscii = 0x80;
constexpr char32_t kSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateLast = 0xDFFF;
constexpr char32_t kLastBasic = 0xFFFF;
constexpr char32_t kSupplementaryBase = 0x10000;
constexpr unsigned kSurrogateBits = 10;
constexpr char32_t kSurrogateMask = 0x3FF;
constexpr unsigned kContinuationBits = 6;
constexpr unsigned char kContinuationMask = 0x3F;
constexpr unsigned char kContinuationTag = 0x80;

// One UTF-8 sequence at text[at]: its length and code point, or 0 when it is
// not valid (the ranges of the Unicode standard's table of well-formed forms).
size_t DecodeUtf8(std::string_view text, size_t at, char32_t& point) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < kFirstNonAscii) {
        point = lead;
        return 1;
    }
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;  // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
        if (lead == 0xF0) low = 0x90;  // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
        point = point << kContinuationBits | (next & kContinuationMask);
    }
    return length;
}

void AppendUtf16(char32_t point, std::u16string& out) {
    if (point <= kLastBasic) {
        out.push_back(static_cast<char16_t>(point));
        return;
    }
    point -= kSupplementaryBase;
    out.push_back(static_cast<char16_t>(kSurrogateFirst + (point >> kSurrogateBits)));
    out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (point & kSurrogateMask)));
}

void AppendUtf8(char32_t point, std::string& out) {
    if (point < 0x80) {
        out.push_back(static_cast<char>(point));
    } else if (point < 0x800) {
        out.push_back(static_cast<char>(0xC0 | point >> 6));
        out.push_back(static_cast<char>(kContinuationTag | (point & kContinuationMask)));
    } else if (point < kSupplementaryBase) {
        out.push_back(static_cast<char>(0xE0 | point >> 12));
        out.push_back(static_cast<char>(kContinuationTag | (point >> 6 & kContinuationMask)));
        out.push_back(static_cast<char>(kContinuationTag | (point & kContinuationMask)));
    } else {
        out.push_back(static_cast<char>(0xF0 | point >> 18));
        out.push_back(static_cast<char>(kContinuationTag | (point >> 12 & kContinuationMask)));
        out.push_back(static_cast<char>(kContinuationTag | (point >> 6 & kContinuationMask)));
        out.push_back(static_cast<char>(kContinuationTag | (point & kContinuationMask)));
    }
}

bool IsSurrogate(char16_t unit) {
    return unit >= kSurrogateFirst && unit <= kSurrogateLast;
}

// A high surrogate followed by a low one.
bool PairsWith(char16_t high, char16_t low) {
    return high < kLowSurrogateFirst && low >= kLowSurrogateFirst && low <= kSurrogateLast;
}

char32_t Combined(char16_t high, char16_t low) {
    return kSupplementaryBase + ((char32_t{high} - kSurrogateFirst) << kSurrogateBits) + (char32_t{low} - kLowSurrogateFirst);
}

// Windows-1252's characters for the bytes 0x80 to 0x9F; the five it leaves
// undefined map to the control characters of the same number, as Windows maps them.
const char16_t kWindows1252High[] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void Windows1252ToUtf16(std::string_view text, std::u16string& out) {
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        const bool table = byte >= kFirstNonAscii && byte < kFirstNonAscii + sizeof kWindows1252High / sizeof(char16_t);
        out.push_back(table ? kWindows1252High[byte - kFirstNonAscii] : char16_t{byte});
    }
}

}  // namespace

bool IsAscii(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= kFirstNonAscii) return false;
    return true;
}

size_t Utf8ValidLength(std::string_view text) {
    size_t at = 0;
    char32_t point;
    while (at < text.size()) {
        const size_t length = DecodeUtf8(text, at, point);
        if (length == 0) return at;
        at += length;
    }
    return at;
}

bool Utf8ToUtf16(std::string_view text, std::u16string& out) {
    if (!IsValidUtf8(text)) return false;
    out.reserve(out.size() + text.size());
    char32_t point;
    for (size_t at = 0; at < text.size();) {
        at += DecodeUtf8(text, at, point);
        AppendUtf16(point, out);
    }
    return true;
}

bool Utf16ToUtf8(std::u16string_view text, std::string& out) {
    for (size_t at = 0; at < text.size(); ++at) {
        const char16_t unit = text[at];
        if (!IsSurrogate(unit)) {
            AppendUtf8(unit, out);
            continue;
        }
        if (at + 1 == text.size() || !PairsWith(unit, text[at + 1])) return false;
        AppendUtf8(Combined(unit, text[at + 1]), out);
        ++at;
    }
    return true;
}

void AnsiToUtf16(std::string_view text, std::u16string& out) {
    if (text.empty()) return;
#ifdef _WIN32
    // Without MB_ERR_INVALID_CHARS every byte gives a character.
    const int size = text.size() <= static_cast<size_t>(INT_MAX) ? static_cast<int>(text.size()) : 0;
    const int needed = size ? MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0) : 0;
    if (needed > 0) {
        const size_t before = out.size();
        out.resize(before + static_cast<size_t>(needed));
        const int made = MultiByteToWideChar(CP_ACP, 0, text.data(), size, reinterpret_cast<wchar_t*>(&out[before]),
                                             needed);
        if (made == needed) return;
        out.resize(before);
    }
#endif
    Windows1252ToUtf16(text, out);
}

std::u16string ExternalToUtf16(std::string_view text) {
    std::u16string wide;
    if (!Utf8ToUtf16(text, wide)) AnsiToUtf16(text, wide);
    return wide;
}

std::string ExternalToUtf8(std::string_view text) {
    if (IsValidUtf8(text)) return std::string(text);
    std::string utf8;
    Utf16ToUtf8(ExternalToUtf16(text), utf8);  // whole: the code page gives no lone surrogate
    return utf8;
}

namespace {

constexpr size_t kUtf16Unit = 2;
const char kNulByte[] = "a NUL byte";
const char kNulCharacter[] = "a NUL character";
const char kLoneSurrogate[] = "half of a character pair";
const char kHalfUnit[] = "a last byte that is half a character";

size_t LinesBefore(std::string_view text) {
    size_t lines = 1;
    for (const char c : text) lines += c == '\n';
    return lines;
}

void DecodeUtf16File(std::string_view bytes, bool bigEndian, std::string& text, TextFault& fault) {
    const auto unitAt = [&](size_t at) -> char16_t {
        const unsigned char first = static_cast<unsigned char>(bytes[at]);
        const unsigned char second = static_cast<unsigned char>(bytes[at + 1]);
        return static_cast<char16_t>(bigEndian ? first << 8 | second : second << 8 | first);
    };
    text.reserve(bytes.size());
    size_t at = kUtf16Unit;
    for (; at + 1 < bytes.size(); at += kUtf16Unit) {
        const char16_t unit = unitAt(at);
        if (unit == 0) {
            fault.what = kNulCharacter;
            break;
        }
        if (!IsSurrogate(unit)) {
            AppendUtf8(unit, text);
            continue;
        }
        const bool pairs = at + kUtf16Unit + 1 < bytes.size() && PairsWith(unit, unitAt(at + kUtf16Unit));
        if (!pairs) {
            fault.what = kLoneSurrogate;
            break;
        }
        AppendUtf8(Combined(unit, unitAt(at + kUtf16Unit)), text);
        at += kUtf16Unit;
    }
    if (!fault.what && at < bytes.size()) fault.what = kHalfUnit;
    if (fault.what) {
        fault.byte = at;
        fault.line = LinesBefore(text);
    }
}

}  // namespace

void DecodeTextFile(std::string_view bytes, std::string& text, bool& utf16, TextFault& fault) {
    fault = TextFault();
    text.clear();
    const bool little = bytes.size() >= kUtf16Unit && bytes[0] == '\xFF' && bytes[1] == '\xFE';
    const bool big = bytes.size() >= kUtf16Unit && bytes[0] == '\xFE' && bytes[1] == '\xFF';
    utf16 = little || big;
    if (utf16) {
        DecodeUtf16File(bytes, big, text, fault);
        return;
    }
    const size_t nul = bytes.find('\0');
    text.assign(bytes.substr(0, nul));
    if (nul == std::string_view::npos) return;
    fault.what = kNulByte;
    fault.byte = nul;
    fault.line = LinesBefore(text);
}
