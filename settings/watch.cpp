// Watching settings.ini for the player's edits.
#include "settings/watch.h"

#include <atomic>
#include <string>

#include "platform/busy.h"
#include "settings/text.h"

namespace {

constexpr uint64_t kQuietLookMs = 1000;
const char kSettingsName[] = "settings.ini";

SettleWatch g_watch;
// Made once, when the watch is armed, so that no look allocates.
std::string& g_path = *new std::string;
uint64_t g_lastLookMs = 0;
bool g_looked = false;

}  // namespace

std::atomic<bool> g_settingsWatched{false};

bool SettledChange(SettleWatch& watch, const FileStamp& stamp, uint64_t msSinceWrite, uint64_t nowMs) {
    if (stamp == watch.known) {
        watch.changing = false;
        return false;
    }
    // Every write moves the write time on. A file that is gone has none: it
    // must be seen gone for the while.
    const bool writtenLongAgo = Exists(stamp) && msSinceWrite >= kSettleMs;
    if (!watch.changing || stamp != watch.seen) {
        watch.seen = stamp;
        watch.seenAtMs = nowMs;
        watch.changing = true;
        return writtenLongAgo;
    }
    return writtenLongAgo || nowMs - watch.seenAtMs >= kSettleMs;
}

void NoteSettingsRead(const FileStamp& stamp) {
    g_watch.known = stamp;
    g_watch.changing = false;
}

void WatchSettingsFile() {
    if (g_path.empty()) {
        BusyMark memory(g_memoryWork);
        g_path = BaseDirFile(kSettingsName);
    }
    g_settingsWatched.store(true, std::memory_order_release);
}

void NoteSettingsSaved(const FileStamp& before, const FileStamp& after) {
    if (before == g_watch.known) {
        g_watch.known = after;
    } else if (g_watch.changing && before == g_watch.seen) {
        // The save merged its position into the edit that settles: the edit
        // settles on from when it was seen, or saves made faster than the
        // settling time would hold it back for as long as they come.
        g_watch.seen = after;
    }
}

bool SettingsChangeReady(uint64_t nowMs, FileStamp& stamp) {
    if (!g_settingsWatched.load(std::memory_order_acquire)) return false;
    if (g_looked && !g_watch.changing && nowMs - g_lastLookMs < kQuietLookMs) return false;
    g_looked = true;
    g_lastLookMs = nowMs;
    {
        BusyMark files(g_fileWork);
        stamp = StampOfFile(g_path.c_str());
    }
    return SettledChange(g_watch, stamp, MsSinceWrite(stamp), nowMs);
}

bool SettingsFileQuiet() {
    if (!g_settingsWatched.load(std::memory_order_acquire)) return true;
    FileStamp stamp;
    {
        BusyMark files(g_fileWork);
        stamp = StampOfFile(g_path.c_str());
    }
    return stamp == g_watch.known || MsSinceWrite(stamp) >= kSettleMs;
}
