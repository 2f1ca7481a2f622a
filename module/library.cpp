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

const char kAddOnPattern[] = "bass*.dll";
const char kLibraryName[] = "bass.dll";
const char kAddOnEnd[] = ".dll";
const char kPluginLoadName[] = "BASS_PluginLoad";
constexpr BassDword kPluginFlags = 0;
constexpr unsigned kByteBits = 8;
constexpr uint32_t kByteMask = 0xFF;

// Looked up when needed rather than imported: libraries older than 2.4 lack
// the call, and a missing import would keep the module from loading at all,
// with no word from the version guard.
using PluginLoadCall = decltype(&BASS_PluginLoad);
PluginLoadCall FindPluginLoad() {
    const HMODULE library = GetModuleHandleA(kLibraryName);
    if (!library) return nullptr;
    return reinterpret_cast<PluginLoadCall>(reinterpret_cast<void*>(GetProcAddress(library, kPluginLoadName)));
}

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
    const bool accepted = version >> kBassVersionShift == kBassVersionWord;
    g_audioLibraryState = accepted ? kLibraryAccepted : kLibraryRefused;
    return accepted;
}

bool LogAudioLibraryVersion() {
    const uint32_t version = g_audioLibraryVersion;
    LogLine("audio library bass.dll version %u.%u.%u.%u", version >> 3 * kByteBits, version >> 2 * kByteBits & kByteMask,
            version >> kByteBits & kByteMask, version & kByteMask);
    if (AudioLibraryAccepted()) return true;
    LogLine("zorve needs version 2.4 of the audio library: it plays nothing in this run and leaves the "
            "game's own radio alone");
    return false;
}

void LoadAudioAddOns() {
    const PluginLoadCall pluginLoad = FindPluginLoad();
    if (!pluginLoad) return;
    for (const std::string& name : AddOnsInGameFolder()) LogAddOn(name.c_str(), pluginLoad(name.c_str(), kPluginFlags));
}
