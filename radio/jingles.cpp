#include "radio/jingles.h"

#include "platform/bass.h"
#include "platform/files.h"
#include "platform/runlog.h"
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
        // A file that is not audio still takes its slot, with the handle 0.
        g_jingleSamples[g_jingleCount] = BASS_SampleLoad(kBassFalse, path.c_str(), 0, 0, kSamplePlaybacks, 0);
        LogJingleLoad(name.c_str(), g_jingleSamples[g_jingleCount]);
        ++g_jingleCount;
    }
}

void PlayJingle() {
    if (g_jingleCount == 0) return;
    if (BASS_ChannelIsActive(g_jingleChannel) == BASS_ACTIVE_PLAYING) return;

    // The divisor is the table size, so empty slots are drawn too and play nothing.
    int32_t slot = (NextJingleDraw() + g_jingleCursor) % kJingleSlots;
    if (slot < 0) slot += kJingleSlots;
    const BassDword channel = BASS_SampleGetChannel(g_jingleSamples[slot], kBassFalse);
    g_jingleCursor = static_cast<int8_t>(g_jingleCursor + 1);
    g_jingleChannel = channel;
    BASS_ChannelPlay(channel, kBassFalse);
}
