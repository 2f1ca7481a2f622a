// The internet stream's name, bit rate and titles for the run log.
#include "radio/internet/streamtags.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "platform/busy.h"
#include "platform/runlog.h"
#include "platform/threads.h"
#include "platform/unicode.h"
#include "radio/common/nowplaying.h"

namespace {

const char kNameKey[] = "icy-name:";
const char kBitRateKey[] = "icy-br:";
const char kTitleField[] = "StreamTitle='";
const char kFieldEnd[] = "';";
const char kOggTitleKey[] = "title=";
const char kOggArtistKey[] = "artist=";
const char kArtistTitleJoin[] = " - ";
constexpr char kQuote = '\'';

// The stream whose titles are logged, and one whose title may have changed.
std::atomic<uint32_t> g_watchedStream{0};
std::atomic<uint32_t> g_titleChanged{0};
// The title logged last and the stream it came from; helper thread only.
char g_lastTitle[kTagTextMax];
uint32_t g_lastTitleStream = 0;

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Header names are compared as servers send them: in any case.
bool StartsWith(const char* text, const char* key) {
    for (; *key; ++text, ++key) {
        if (AsciiLower(*text) != AsciiLower(*key)) return false;
    }
    return true;
}

void CopyCut(const char* from, size_t length, char* out, size_t size) {
    if (size == 0) return;
    if (length >= size) length = size - 1;
    std::memcpy(out, from, length);
    out[length] = 0;
}

// Cut to fit out, never inside a character.
void CopyUtf8Cut(const char* from, size_t length, char* out, size_t size) {
    constexpr unsigned char kContinuationMask = 0xC0;
    constexpr unsigned char kContinuation = 0x80;
    if (length >= size) {
        length = size - 1;
        while (length > 0 && (static_cast<unsigned char>(from[length]) & kContinuationMask) == kContinuation) --length;
    }
    CopyCut(from, length, out, size);
}

// Runs on the library's thread: notes the change and wakes the helper thread.
__attribute__((force_align_arg_pointer)) void __stdcall TitleChanged(BassDword, BassDword channel, BassDword,
                                                                     void*) {
    g_titleChanged = channel;
    WakeHelperThread();
}

// The stream's title now, as UTF-8; false when it sends none.
bool CurrentTitle(BassDword stream, char* out, size_t size) {
    char raw[kTagTextMax];
    BusyMark audio(g_audioWork);
    const char* meta = BASS_ChannelGetTags(stream, BASS_TAG_META);
    bool found = meta && StreamTitle(meta, raw, sizeof raw);
    if (!found) {
        const char* comments = BASS_ChannelGetTags(stream, BASS_TAG_OGG);
        found = comments && OggTitle(comments, raw, sizeof raw);
    }
    if (found) AsUtf8(raw, out, size);
    return found;
}

}  // namespace

bool HeaderValue(const char* lines, const char* key, char* out, size_t size) {
    for (const char* line = lines; *line; line += std::strlen(line) + 1) {
        if (!StartsWith(line, key)) continue;
        const char* value = line + std::strlen(key);
        while (*value == ' ') ++value;
        CopyCut(value, std::strlen(value), out, size);
        return true;
    }
    return false;
}

bool StreamTitle(const char* meta, char* out, size_t size) {
    const char* start = std::strstr(meta, kTitleField);
    if (!start) return false;
    start += sizeof kTitleField - 1;
    // The field ends before the next "';" that starts another field or the end.
    const char* end = nullptr;
    for (const char* at = std::strstr(start, kFieldEnd); at; at = std::strstr(at + 1, kFieldEnd)) {
        end = at;
        const char* next = at + sizeof kFieldEnd - 1;
        if (*next == 0 || std::strchr(next, '=')) break;
    }
    if (!end) end = std::strrchr(start, kQuote);
    if (!end) end = start + std::strlen(start);
    if (end == start) return false;
    CopyCut(start, static_cast<size_t>(end - start), out, size);
    return true;
}

bool OggTitle(const char* comments, char* out, size_t size) {
    char artist[kTagTextMax];
    char title[kTagTextMax];
    const bool hasArtist = HeaderValue(comments, kOggArtistKey, artist, sizeof artist) && *artist;
    const bool hasTitle = HeaderValue(comments, kOggTitleKey, title, sizeof title) && *title;
    if (!hasArtist && !hasTitle) return false;
    if (hasArtist && hasTitle) {
        const size_t artistLength = std::strlen(artist);
        CopyCut(artist, artistLength, out, size);
        const size_t used = std::strlen(out);
        CopyCut(kArtistTitleJoin, sizeof kArtistTitleJoin - 1, out + used, size - used);
        const size_t joined = std::strlen(out);
        CopyCut(title, std::strlen(title), out + joined, size - joined);
    } else {
        const char* only = hasTitle ? title : artist;
        CopyCut(only, std::strlen(only), out, size);
    }
    return true;
}

void AsUtf8(const char* text, char* out, size_t size) {
    if (size == 0) return;
    const int length = static_cast<int>(std::strlen(text));
    if (IsValidUtf8(std::string_view(text, static_cast<size_t>(length)))) {
        CopyUtf8Cut(text, static_cast<size_t>(length), out, size);
        return;
    }
    wchar_t wide[kTagTextMax];
    char utf8[kTagTextMax * 3];
    const int units = MultiByteToWideChar(CP_ACP, 0, text, length, wide, kTagTextMax);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr);
    CopyUtf8Cut(utf8, bytes > 0 ? static_cast<size_t>(bytes) : 0, out, size);
}

void WatchStreamTags(BassDword stream, const char* url) {
    if (!stream) return;
    char name[kTagTextMax] = "";
    char bitRate[kTagTextMax] = "";
    {
        BusyMark audio(g_audioWork);
        BASS_ChannelSetSync(stream, BASS_SYNC_META | BASS_SYNC_MIXTIME, 0, TitleChanged, nullptr);
        BASS_ChannelSetSync(stream, BASS_SYNC_OGG_CHANGE | BASS_SYNC_MIXTIME, 0, TitleChanged, nullptr);
        // Shoutcast sends ICY headers, Icecast HTTP headers with the same lines.
        for (const BassDword kind : {BASS_TAG_ICY, BASS_TAG_HTTP}) {
            const char* headers = BASS_ChannelGetTags(stream, kind);
            if (!headers) continue;
            char raw[kTagTextMax];
            if (!*name && HeaderValue(headers, kNameKey, raw, sizeof raw)) AsUtf8(raw, name, sizeof name);
            if (!*bitRate && HeaderValue(headers, kBitRateKey, raw, sizeof raw)) AsUtf8(raw, bitRate, sizeof bitRate);
        }
    }
    if (*name && *bitRate) {
        LogLine("internet stream %s: station \"%s\", %s kbit/s", url, name, bitRate);
    } else if (*name) {
        LogLine("internet stream %s: station \"%s\"", url, name);
    } else if (*bitRate) {
        LogLine("internet stream %s: %s kbit/s", url, bitRate);
    }
    // Until the stream names a title, its station's name stands for one on screen.
    if (*name) ShowNowPlaying(name);
    g_watchedStream = stream;
    g_titleChanged = stream;
    WakeHelperThread();
}

bool LogStreamTitles() {
    const uint32_t stream = g_titleChanged.exchange(0);
    if (!stream) return false;
    if (stream != g_watchedStream) return true;
    char title[kTagTextMax];
    // A new stream (each station start) names its title again.
    if (stream != g_lastTitleStream) *g_lastTitle = 0;
    g_lastTitleStream = stream;
    if (!CurrentTitle(stream, title, sizeof title) || std::strcmp(title, g_lastTitle) == 0) return true;
    std::strcpy(g_lastTitle, title);
    AnnounceNowPlaying(title);
    return true;
}
