// The "now playing" log line and the hand-over of the name to the worker.
#include "radio/common/nowplaying.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "platform/runlog.h"

namespace {

// The mailbox: g_writing is held while either side copies the text; a new
// serial says there is text the worker has not taken.
std::atomic_flag g_writing = ATOMIC_FLAG_INIT;
char g_text[kNowPlayingText];
std::atomic<uint32_t> g_serial{0};
uint32_t g_taken = 0;  // worker only

void CopyCut(const char* from, char* out, size_t size) {
    size_t length = std::strlen(from);
    if (length >= size) {
        length = size - 1;
        // Never inside a character.
        while (length > 0 && (static_cast<unsigned char>(from[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(out, from, length);
    out[length] = 0;
}

// The one place the line is composed.
void LogNowPlaying(const char* text, const char* note) {
    LogLine("now playing: %s%s", text, note);
}

}  // namespace

void ShowNowPlaying(const char* text) {
    // The worker holds the flag only for a copy of the text.
    while (g_writing.test_and_set(std::memory_order_acquire)) Sleep(0);
    CopyCut(text, g_text, sizeof g_text);
    g_serial.fetch_add(1, std::memory_order_relaxed);
    g_writing.clear(std::memory_order_release);
}

void AnnounceNowPlaying(const char* text, const char* logNote) {
    if (!*text) return;
    LogNowPlaying(text, logNote);
    ShowNowPlaying(text);
}

bool TakeNowPlaying(char* out, size_t size) {
    if (g_serial.load(std::memory_order_relaxed) == g_taken) return false;
    if (g_writing.test_and_set(std::memory_order_acquire)) return false;
    CopyCut(g_text, out, size);
    g_taken = g_serial.load(std::memory_order_relaxed);
    g_writing.clear(std::memory_order_release);
    return true;
}

void ForgetNowPlaying() {
    g_taken = g_serial.load();
}
