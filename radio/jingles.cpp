#include "radio/jingles.h"

#include <atomic>
#include <string>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/files.h"
#include "platform/runlog.h"
#include "radio/output.h"
#include "settings/settings.h"
#include "settings/text.h"

uint32_t g_jingleSamples[kJingleSlots] = {};
int8_t g_jingleCount = 0;
int8_t g_jingleCursor = 0;
uint32_t g_jingleChannel = 0;
uint32_t g_jingleRandomState = 1;

namespace {

constexpr char kNameSeparator = ',';
constexpr BassDword kSamplePlaybacks = 1;

// The files of the loaded slots, written once at start-up; never destroyed:
// the exit work must not free memory.
std::string* const g_jinglePaths = new std::string[kJingleSlots];
std::atomic<int> g_pathCount{0};
// Samples loaded again on a new device, for the worker to take.
std::atomic<uint32_t> g_reloadedSamples[kJingleSlots] = {};
std::atomic<bool> g_jinglesReloaded{false};
std::atomic<uint32_t> g_reloadedFor{0};  // OutputOpenings() the jingles are loaded for

// Linear congruential generator; each draw yields bits 16 to 30 of the new state.
int32_t NextJingleDraw() {
    g_jingleRandomState = g_jingleRandomState * 214013u + 2531011u;
    return static_cast<int32_t>((g_jingleRandomState >> 16) & 0x7FFFu);
}

void LogJingleMissing(const char* name) {
    if (*name) LogLine("jingle %s skipped: there is no file %s", name, ShownPath(BaseDirFile(name).c_str()));
}

void LogJingleLoad(const char* name, BassDword sample) {
    if (sample) {
        LogLine("jingle %s loaded", name);
        return;
    }
    const int32_t error = LoggedAudioError();
    LogLine("jingle %s not loaded: %s (error %d): its turns stay silent", name, AudioErrorText(error), error);
}

}  // namespace

void LoadJingles() {
    const std::string list = GetValue("SWITCHER", "samples", "");
    for (const std::string& name : Fields(list, kNameSeparator)) {
        if (g_jingleCount >= kJingleSlots) return;
        const std::string path = BaseDirFile(name);
        if (!PathExists(path.c_str())) {
            LogJingleMissing(name.c_str());
            continue;
        }
        // A file that is not audio still takes its slot, with the handle 0. A
        // name with accents goes to the library as UTF-16, all others as they are.
        const CallPath file = ToCallPath(path.c_str());
        g_jingleSamples[g_jingleCount] =
            BASS_SampleLoad(kBassFalse, file.Name(), 0, 0, kSamplePlaybacks, file.Wide() ? BASS_UNICODE : 0);
        LogJingleLoad(name.c_str(), g_jingleSamples[g_jingleCount]);
        g_jinglePaths[g_jingleCount] = path;
        ++g_jingleCount;
        g_pathCount = g_jingleCount;
    }
}

void PlayJingle() {
    if (g_jingleCount == 0) return;
    if (g_jinglesReloaded.exchange(false)) {
        for (int slot = 0; slot < g_jingleCount; ++slot) g_jingleSamples[slot] = g_reloadedSamples[slot];
    }
    const BassDword state = BASS_ChannelIsActive(g_jingleChannel);
    NoteChannelState(state);
    if (state == BASS_ACTIVE_PLAYING) return;

    // The divisor is the table size, so empty slots are drawn too and play nothing.
    int32_t slot = (NextJingleDraw() + g_jingleCursor) % kJingleSlots;
    if (slot < 0) slot += kJingleSlots;
    const BassDword channel = BASS_SampleGetChannel(g_jingleSamples[slot], kBassFalse);
    g_jingleCursor = static_cast<int8_t>(g_jingleCursor + 1);
    g_jingleChannel = channel;
    // An empty slot gives no channel: only a real channel's failure says something of the output.
    if (!BASS_ChannelPlay(channel, kBassFalse) && channel) NotePlayFailure();
}

bool JinglesOnDevice() {
    return g_reloadedFor == OutputOpenings();
}

bool ReloadJingles() {
    const uint32_t openings = OutputOpenings();
    if (openings == g_reloadedFor) return false;
    g_reloadedFor = openings;
    {
        BusyMark audio(g_audioWork);
        BusyMark files(g_fileWork);
        for (int slot = 0; slot < g_pathCount; ++slot)
            g_reloadedSamples[slot] = BASS_SampleLoad(kBassFalse, g_jinglePaths[slot].c_str(), 0, 0, kSamplePlaybacks, 0);
    }
    g_jinglesReloaded = true;
    LogLine("jingles loaded again on the new audio device");
    return true;
}
