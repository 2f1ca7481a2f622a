// Switch jingles: loading the samples and playing one at random while a station opens.
#include "radio/jingles.h"

#include <atomic>
#include <string>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/files.h"
#include "platform/runlog.h"
#include "radio/common/output.h"
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

// A table of samples in hand-over: loaded by the helper for the worker, or let
// go by the worker (with the channel of its last jingle) for the helper to free.
struct JingleSet {
    uint32_t samples[kJingleSlots] = {};
    int8_t count = 0;
    uint32_t lastChannel = 0;
    uint32_t device = 0;  // OutputOpenings() when loaded: BASS_Free frees the samples of the devices before
};

std::atomic<JingleSet*> g_preparedJingles{nullptr};
std::atomic<JingleSet*> g_replacedJingles{nullptr};

// The list the jingles were last loaded from: written by the worker at
// start-up, then by the helper thread only. Never destroyed: the exit work
// must not free memory.
std::string& g_jingleList = *new std::string;
uint32_t g_jingleDevice = 0;             // worker: the device its samples are loaded on
std::atomic<uint32_t> g_reloadedFor{0};  // helper: the device it loaded jingles for
std::atomic<bool> g_waitForDevice{false};  // there was no device at start: the first load waits for one

// Loads the samples named by list into samples, one slot each from count on;
// names past the table are ignored.
void LoadJingleList(const std::string& list, uint32_t (&samples)[kJingleSlots], int8_t& count) {
    for (const std::string& name : Fields(list, kNameSeparator)) {
        if (count >= kJingleSlots) return;
        const std::string path = BaseDirFile(name);
        if (!PathExists(path.c_str())) {
            LogJingleMissing(name.c_str());
            continue;
        }
        // A file that is not audio still takes its slot, with the handle 0. A
        // name with accents goes to the library as UTF-16, all others as they are.
        const CallPath file = ToCallPath(path.c_str());
        samples[count] =
            BASS_SampleLoad(kBassFalse, file.Name(), 0, 0, kSamplePlaybacks, file.Wide() ? BASS_UNICODE : 0);
        LogJingleLoad(name.c_str(), samples[count]);
        ++count;
    }
}

void FreeSamples(JingleSet* set) {
    // Samples of a device closed since are gone, and their handles may be new ones'.
    if (set->device == OutputOpenings()) {
        BusyMark audio(g_audioWork);
        for (int8_t slot = 0; slot < set->count; ++slot) {
            if (set->samples[slot]) BASS_SampleFree(set->samples[slot]);
        }
    }
    BusyMark memory(g_memoryWork);
    delete set;
}

}  // namespace

void LoadJingles() {
    g_jingleList = GetValue("SWITCHER", "samples", "");
    g_jingleDevice = OutputOpenings();
    // Without a device every load fails: they load once it is there.
    g_waitForDevice = !AudioDeviceOpen();
    if (!g_waitForDevice) LoadJingleList(g_jingleList, g_jingleSamples, g_jingleCount);
}

void PrepareJingles(const std::string& list) {
    JingleSet* set;
    {
        BusyMark memory(g_memoryWork);
        set = new JingleSet;
        g_jingleList = list;
    }
    set->device = OutputOpenings();
    {
        BusyMark audio(g_audioWork);
        BusyMark files(g_fileWork);
        BusyMark memory(g_memoryWork);
        LoadJingleList(list, set->samples, set->count);
    }
    // A set the worker has not taken yet never played: it goes at once.
    if (JingleSet* untaken = g_preparedJingles.exchange(set)) FreeSamples(untaken);
}

void TakeJingles() {
    // The samples let go of last time must be freed first.
    if (!g_preparedJingles.load() || g_replacedJingles.load()) return;
    JingleSet* const set = g_preparedJingles.exchange(nullptr);
    if (!set) return;
    // The set goes back holding the samples it replaces.
    for (int slot = 0; slot < kJingleSlots; ++slot) {
        const uint32_t sample = g_jingleSamples[slot];
        g_jingleSamples[slot] = set->samples[slot];
        set->samples[slot] = sample;
    }
    const int8_t count = g_jingleCount;
    g_jingleCount = set->count;
    set->count = count;
    set->lastChannel = g_jingleChannel;
    const uint32_t device = g_jingleDevice;
    g_jingleDevice = set->device;
    set->device = device;
    g_replacedJingles.store(set);
}

bool FreeReplacedJingles() {
    JingleSet* const set = g_replacedJingles.load();
    if (!set) return false;
    {
        BusyMark audio(g_audioWork);
        // Freeing a sample stops its channels: its last jingle plays out first.
        if (BASS_ChannelIsActive(set->lastChannel) == BASS_ACTIVE_PLAYING) return false;
    }
    g_replacedJingles.store(nullptr);
    FreeSamples(set);
    return true;
}

void PlayJingle() {
    if (g_jingleCount == 0) return;
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
    return g_jingleDevice == OutputOpenings();
}

bool ReloadJingles() {
    const uint32_t openings = OutputOpenings();
    // A device closed and not yet open again: they load once it is there.
    if (openings == g_reloadedFor || !AudioDeviceOpen()) return false;
    g_reloadedFor = openings;
    PrepareJingles(g_jingleList);
    if (!g_waitForDevice.exchange(false)) LogLine("jingles loaded again on the new audio device");
    return true;
}
