#include "module/library.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "module/busy.h"
#include "module/logevents.h"
#include "platform/bass.h"
#include "settings/settings.h"
#include "settings/text.h"

std::atomic<int32_t> g_audioLibraryState{kLibraryNotAsked};
std::atomic<uint32_t> g_audioLibraryVersion{0};
std::atomic<const char*> g_missingAudioCall{nullptr};
std::atomic<int32_t> g_missingAudioCalls{0};

namespace {

const char kAddOnPattern[] = "bass*.dll";
const char kLibraryName[] = "bass.dll";
const char kAddOnEnd[] = ".dll";
constexpr BassDword kPluginFlags = 0;

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

bool AudioLibraryReady() {
    const bool firstAnswer = g_audioLibraryState.load() == kLibraryNotAsked;
    if (AudioLibraryAccepted()) return true;
    if (firstAnswer) {
        BusyMark memory(g_memoryWork);
        LoadSettings();
        BeginRunLog();
    }
    return false;
}

void LoadAudioAddOns() {
    for (const std::string& name : AddOnsInGameFolder())
        LogAddOn(name.c_str(), BASS_PluginLoad(name.c_str(), kPluginFlags));
}
