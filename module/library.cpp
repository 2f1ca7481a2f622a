// The audio library's version guard, its version in the run log, and the add-ons.
#include "module/library.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/bass.h"
#include "platform/runlog.h"
#include "settings/text.h"

std::atomic<int32_t> g_audioLibraryState{kLibraryNotAsked};
std::atomic<uint32_t> g_audioLibraryVersion{0};

namespace {

// When a 2.4 library was refused because it lacks calls: the first one it
// lacks and how many; null and 0 otherwise.
std::atomic<const char*> g_missingAudioCall{nullptr};
std::atomic<int32_t> g_missingAudioCalls{0};

const char kAddOnPattern[] = "bass*.dll";
const char kLibraryName[] = "bass.dll";
const char kAddOnEnd[] = ".dll";
constexpr BassDword kPluginFlags = 0;
constexpr unsigned kByteBits = 8;
constexpr uint32_t kByteMask = 0xFF;

bool IsAddOnName(const std::string& name) {
    const std::string lower = LowerCase(name);
    const size_t endLength = sizeof kAddOnEnd - 1;
    return lower != kLibraryName && lower.size() > endLength &&
           lower.compare(lower.size() - endLength, endLength, kAddOnEnd) == 0;
}

// Sorted, so that the add-ons load and appear in the log in the same order everywhere.
std::vector<std::string> AddOnsInGameFolder() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(kAddOnPattern, &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsAddOnName(found.cFileName)) {
            names.push_back(found.cFileName);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

void LogAddOn(const char* name, BassDword plugin) {
    if (plugin) {
        LogLine("add-on %s loaded", name);
        return;
    }
    const int32_t error = LoggedAudioError();
    LogLine("add-on %s not loaded: %s (error %d)", name, AudioErrorText(error), error);
}

}  // namespace

bool AudioLibraryAccepted() {
    const int32_t state = g_audioLibraryState.load();
    if (state != kLibraryNotAsked) return state == kLibraryAccepted;
    const BassDword version = BASS_GetVersion();
    g_audioLibraryVersion = version;
    bool accepted = version >> kBassVersionShift == kBassVersionWord;
    if (accepted) {
        const char* firstMissing = nullptr;
        const int missing = BindAudioCalls(firstMissing);
        g_missingAudioCall = firstMissing;
        g_missingAudioCalls = missing;
        accepted = missing == 0;
    }
    // Stored last: whoever reads it accepted finds every call bound.
    g_audioLibraryState = accepted ? kLibraryAccepted : kLibraryRefused;
    return accepted;
}

bool LogAudioLibraryVersion() {
    const uint32_t version = g_audioLibraryVersion;
    LogLine("audio library bass.dll version %u.%u.%u.%u", version >> 3 * kByteBits, version >> 2 * kByteBits & kByteMask,
            version >> kByteBits & kByteMask, version & kByteMask);
    if (AudioLibraryAccepted()) return true;
    const char* missing = g_missingAudioCall;
    const int32_t more = g_missingAudioCalls - 1;
    if (missing && more > 0) {
        LogLine("bass.dll lacks %s and %d more of the calls zorve makes: it plays nothing in this run and leaves "
                "the game's own radio alone", missing, more);
    } else if (missing) {
        LogLine("bass.dll lacks %s, a call zorve makes: it plays nothing in this run and leaves the game's own "
                "radio alone", missing);
    } else {
        LogLine("zorve needs version 2.4 of the audio library: it plays nothing in this run and leaves the "
                "game's own radio alone");
    }
    return false;
}

void LoadAudioAddOns() {
    for (const std::string& name : AddOnsInGameFolder())
        LogAddOn(name.c_str(), BASS_PluginLoad(name.c_str(), kPluginFlags));
}
