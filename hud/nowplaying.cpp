// The now-playing line: its font-safe text, its publication and its drawing.
#include "hud/nowplaying.h"

#include <atomic>
#include <cctype>
#include <cstring>

#include "platform/host.h"

namespace {

// A published line: the text and the game time until which it shows.
struct Line {
    uint32_t until;
    char text[kNowPlayingMax + 1];
};

// The worker writes the line it does not publish, then publishes it with one
// store; the drawing thread reads whichever is published.
Line g_lines[2];
std::atomic<const Line*> g_shown{nullptr};
size_t g_spare = 0;  // worker only
std::atomic<bool> g_audible{false};

const char kCut[] = "...";
constexpr char kFormatCode = '~';
constexpr unsigned char kFirstPrintable = 0x20, kLastPrintable = 0x7E;

// Base letters of U+00C0..U+017F; 0 where there is none. U+00C6, U+00DF and
// U+00E6 are spelled out in full by Fold.
const char kLatinBase[] =
    "AAAAAA\0CEEEEIIIIDNOOOOO\0OUUUUY\0\0aaaaaa\0ceeeeiiiidnooooo\0ouuuuy\0y"
    "AaAaAaCcCcCcCcDdDdEeEeEeEeEeGgGgGgGgHhHhIiIiIiIiIiIiJjKkkLlLlLlL"
    "lLlNnNnNnnNnOoOoOoOoRrRrRrSsSsSsSsTtTtTtUuUuUuUuUuUuWwYyYZzZzZzs";
constexpr uint32_t kLatinFirst = 0xC0;
constexpr uint32_t kLatinEnd = 0x180;
static_assert(sizeof kLatinBase - 1 == kLatinEnd - kLatinFirst, "one letter per code point");

// The next code point of text at `at`, moving past it; an invalid byte
// gives a code point that is left out.
uint32_t NextCode(const unsigned char* text, size_t& at) {
    constexpr uint32_t kInvalid = 0xFFFD;
    const unsigned char lead = text[at++];
    if (lead < 0x80) return lead;
    size_t more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (more == 0 || lead > 0xF4) return kInvalid;
    uint32_t code = lead & (0x3F >> more);
    for (; more > 0; --more) {
        if ((text[at] & 0xC0) != 0x80) return kInvalid;  // the terminator ends here too
        code = code << 6 | (text[at++] & 0x3F);
    }
    return code;
}

// Typographic punctuation that titles carry (from the Windows code pages
// above all) and the ASCII it looks like.
struct LookAlike {
    uint32_t code;
    const char* ascii;
};
const LookAlike kLookAlikes[] = {
    {0x2018, "'"}, {0x2019, "'"}, {0x201A, "'"}, {0x2032, "'"},  {0x201C, "\""},  {0x201D, "\""},
    {0x201E, "\""}, {0x2033, "\""}, {0x2010, "-"}, {0x2011, "-"}, {0x2012, "-"},   {0x2013, "-"},
    {0x2014, "-"}, {0x2015, "-"}, {0x2212, "-"}, {0x2026, "..."}, {0x00A0, " "},
};

// The ASCII a code point becomes: up to three letters, or none.
const char* Fold(uint32_t code, char (&one)[2]) {
    one[0] = one[1] = 0;
    for (const LookAlike& alike : kLookAlikes) {
        if (alike.code == code) return alike.ascii;
    }
    if (code >= kFirstPrintable && code <= kLastPrintable && code != kFormatCode) {
        one[0] = static_cast<char>(code);
    } else if (code == 0xC6) {
        return "AE";
    } else if (code == 0xE6) {
        return "ae";
    } else if (code == 0xDF) {
        return "ss";
    } else if (code >= kLatinFirst && code < kLatinEnd) {
        one[0] = kLatinBase[code - kLatinFirst];
    }
    return one;
}

bool ShowsAt(uint32_t until, uint32_t now) {
    // Also false when the game's clock went back (a game loaded) by more than the showing time.
    return until - now - 1 < kNowPlayingShowMs;
}

}  // namespace

void ScreenText(const char* utf8, char* out) {
    const auto* text = reinterpret_cast<const unsigned char*>(utf8);
    size_t length = 0;
    bool cut = false;
    for (size_t at = 0; text[at] && !cut;) {
        char one[2];
        for (const char* ascii = Fold(NextCode(text, at), one); *ascii; ++ascii) {
            if (length == 0 && *ascii == ' ') continue;
            if (length == kNowPlayingMax) {
                cut = true;
                break;
            }
            out[length++] = *ascii;
        }
    }
    if (cut) length = kNowPlayingMax - (sizeof kCut - 1);
    while (length > 0 && out[length - 1] == ' ') --length;
    if (cut) {
        std::memcpy(out + length, kCut, sizeof kCut - 1);
        length += sizeof kCut - 1;
    }
    // What is left of a title in a script the font lacks may be punctuation alone: nothing to read.
    bool readable = false;
    for (size_t i = 0; i < length && !readable; ++i) readable = std::isalnum(static_cast<unsigned char>(out[i])) != 0;
    out[readable ? length : 0] = 0;
}

void PublishNowPlaying(const char* utf8, uint32_t clockMs) {
    Line& line = g_lines[g_spare];
    ScreenText(utf8, line.text);
    if (!line.text[0]) {
        HideNowPlaying();
        return;
    }
    line.until = clockMs + kNowPlayingShowMs;
    g_shown.store(&line, std::memory_order_release);
    g_spare ^= 1;
}

void HideNowPlaying() {
    g_shown.store(nullptr, std::memory_order_release);
}

void SetNowPlayingAudible(bool audible) {
    if (g_audible.load(std::memory_order_relaxed) != audible) g_audible.store(audible, std::memory_order_relaxed);
}

void DrawNowPlaying(float x, float y) {
    const Line* line = g_shown.load(std::memory_order_acquire);
    if (!line || !g_audible.load(std::memory_order_relaxed) || HostGameActive() == 0) return;
    if (!ShowsAt(line->until, HostClockMs())) return;
    HostPrintText(x, y, line->text);
}
