// Losses of internet streams and the reconnect thread that opens them again.
#include "radio/internet/reconnect.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/busy.h"
#include "platform/runlog.h"
#include "platform/threads.h"
#include "radio/common/output.h"
#include "radio/common/stream.h"
#include "radio/internet/mirrors.h"
#include "radio/internet/netlevel.h"
#include "radio/internet/netopen.h"
#include "radio/internet/streamtags.h"
#include "radio/level/level.h"
#include "settings/settings.h"

namespace {

const char kInternetSection[] = "INTERNET";
const char kReconnectKey[] = "reconnect";
constexpr uint32_t kFirstWaitMs = 1000;
constexpr uint32_t kLongestWaitMs = 30000;
constexpr uint32_t kMsPerSecond = 1000;
constexpr size_t kAddressMax = 1024;

enum LossReason : int32_t { kLossClosed, kLossUnopened, kLossStalled };

// The latest loss, from the worker to the reconnect thread: the fields first,
// then the flag.
std::atomic<bool> g_lossPosted{false};
std::atomic<int32_t> g_lossReason{kLossClosed};
std::atomic<uint32_t> g_lossStream{0};
std::atomic<uint32_t> g_lossDevice{0};  // OutputOpenings() when the loss was posted
std::atomic<uint32_t> g_lossChanges{0};
std::atomic<int32_t> g_lossError{0};
std::atomic<bool> g_lossRestartsWaits{false};
std::atomic<bool> g_lossReconnects{false};

// From the library's thread and the opening threads to the worker.
std::atomic<uint32_t> g_netStream{0};  // the latest internet stream opened: only those are reconnected
std::atomic<uint32_t> g_endedStream{0};
std::atomic<uint32_t> g_unopenedAt{0};  // g_stationChanges + 1 of an open that failed; 0 none
std::atomic<int32_t> g_unopenedError{0};

// A reconnected stream for the worker to put on air, and one it did not want
// back; each with OutputOpenings() of its device (a stream of a device closed
// since is gone, and its number may be another's).
std::atomic<uint32_t> g_readyStream{0};
std::atomic<uint32_t> g_readyChanges{0};
std::atomic<uint32_t> g_readyDevice{0};
std::atomic<uint32_t> g_unwantedStream{0};
std::atomic<uint32_t> g_unwantedDevice{0};

HANDLE g_wake = nullptr;

// The station's internet address, written by the opening thread and read by
// the reconnect thread; no other thread takes this lock.
SRWLOCK g_addressLock = SRWLOCK_INIT;
char g_address[kAddressMax];

// Worker only.
uint32_t g_stalledStream = 0;
DWORD g_stalledSince = 0;
bool g_stallReported = false;
uint32_t g_reconnectedStream = 0;
DWORD g_reconnectedAt = 0;

// Reconnect thread only.
struct Plan {
    bool pending = false;
    uint32_t changes = 0;  // g_stationChanges of the station to reconnect
    DWORD attemptAt = 0;
    uint32_t attempts = 0;  // since the last steady play
    char address[kAddressMax] = "";
};
Plan g_plan;

void Wake() {
    if (g_wake) SetEvent(g_wake);
}

// Runs on the library's update thread when the end is decoded, a buffer
// before it is heard and the library frees the stream (AUTOFREE): its number
// is forgotten first. Only a stream on air is a loss.
__attribute__((force_align_arg_pointer)) void __stdcall StreamEnded(BassDword, BassDword channel, BassDword,
                                                                    void*) {
    ForgetWatchedStream(channel);
    uint32_t onAir = channel;
    if (g_stationStream.compare_exchange_strong(onAir, 0)) g_endedStream = channel;
}

// The address a later loss reconnects from.
void KeepAddress(const char* url) {
    AcquireSRWLockExclusive(&g_addressLock);
    // An address too long to keep is not reconnected.
    const size_t length = std::strlen(url);
    if (length < kAddressMax) {
        std::memcpy(g_address, url, length + 1);
    } else {
        g_address[0] = 0;
    }
    ReleaseSRWLockExclusive(&g_addressLock);
}

bool ReconnectWanted() {
    return GetLongValue(kInternetSection, kReconnectKey, 0) != 0;
}

void PostLoss(LossReason reason, uint32_t stream, int32_t error) {
    const bool reconnected = stream != 0 && stream == g_reconnectedStream;
    g_lossReason = reason;
    g_lossStream = stream;
    g_lossDevice = OutputOpenings();
    g_lossError = error;
    g_lossChanges = g_stationChanges.load();
    g_lossRestartsWaits = !(reconnected && GetTickCount() - g_reconnectedAt < kSteadyPlayMs);
    g_lossReconnects = ReconnectWanted();
    g_lossPosted = true;
    Wake();
}

// Frees a stream made on the device that device counted.
void FreeStream(uint32_t stream, uint32_t device) {
    if (!stream || device != OutputOpenings()) return;
    BusyMark audio(g_audioWork);
    BusyMark files(g_fileWork);  // the connection's socket is a file to the system
    FreeNetStream(stream);
}

void Watch(BassDword stream, const char* url) {
    g_netStream = stream;
    {
        BusyMark audio(g_audioWork);
        BASS_ChannelSetSync(stream, BASS_SYNC_END | BASS_SYNC_MIXTIME, 0, StreamEnded, nullptr);
    }
    WatchStreamTags(stream, url);
}

uint32_t Seconds(uint32_t ms) {
    return ms / kMsPerSecond;
}

void PlanAttempt() {
    const uint32_t waitMs = ReconnectWaitMs(g_plan.attempts);
    g_plan.attemptAt = GetTickCount() + waitMs;
    g_plan.pending = true;
}

void LogLoss(LossReason reason, int32_t error, bool reconnects) {
    const char* url = g_plan.address;
    char next[64] = "";
    if (reconnects) std::snprintf(next, sizeof next, "; reconnecting in %u s", Seconds(ReconnectWaitMs(g_plan.attempts)));
    switch (reason) {
    case kLossClosed:
        LogLine("internet stream %s lost: the server closed the connection%s", url,
                reconnects ? next : " (the game's own station plays until you tune again)");
        break;
    case kLossUnopened:
        // Without reconnecting, the station start has said why already.
        if (reconnects) LogLine("internet stream %s not opened: %s (error %d)%s", url, AudioErrorText(error), error, next);
        break;
    case kLossStalled:
        if (reconnects) {
            LogLine("internet stream %s lost: no sound for %u s (stalled)%s", url, Seconds(kStallGraceMs), next);
        } else {
            LogLine("internet stream %s: no sound for %u s (stalled); kept, as it may go on by itself; the game's own "
                    "station plays meanwhile", url, Seconds(kStallGraceMs));
        }
        break;
    }
}

void TakeLoss() {
    if (!g_lossPosted.exchange(false)) return;
    const uint32_t changes = g_lossChanges;
    if (changes != g_stationChanges) return;  // the station changed first
    const LossReason reason = static_cast<LossReason>(g_lossReason.load());
    const bool reconnects = g_lossReconnects;
    if (changes != g_plan.changes || g_lossRestartsWaits) g_plan.attempts = 0;
    g_plan.changes = changes;
    g_plan.pending = false;
    AcquireSRWLockShared(&g_addressLock);
    std::memcpy(g_plan.address, g_address, kAddressMax);
    ReleaseSRWLockShared(&g_addressLock);
    const bool canReconnect = reconnects && g_plan.address[0] != 0;
    LogLoss(reason, g_lossError, canReconnect);
    if (!canReconnect) return;
    // Freed here only if still on air: else the station's next opening took it.
    uint32_t stalled = g_lossStream;
    if (reason == kLossStalled && g_lossDevice == OutputOpenings() && g_stationStream.compare_exchange_strong(stalled, 0))
        FreeStream(stalled, g_lossDevice);
    PlanAttempt();
}

void Attempt() {
    // Without a device no stream opens: the attempt waits its turn again, unlogged and uncounted.
    if (!AudioDeviceOpen()) {
        g_plan.attemptAt = GetTickCount() + ReconnectWaitMs(g_plan.attempts);
        return;
    }
    const uint32_t number = ++g_plan.attempts;
    // A station with mirrors goes on to its next address at each attempt.
    NextStationAddress(g_plan.address, kAddressMax);
    const char* url = g_plan.address;
    BassDword stream;
    int32_t error;
    const uint32_t device = OutputOpenings();
    {
        BusyMark audio(g_audioWork);
        BusyMark files(g_fileWork);
        const UrlOpen open = OpenUrlStream(url);
        stream = open.stream;
        error = open.error;
    }
    // The device was opened afresh during the connect: the stream went with the old one.
    if (stream && device != OutputOpenings()) {
        stream = 0;
        error = BASS_ERROR_INIT;
    }
    if (g_plan.changes != g_stationChanges) {
        FreeStream(stream, device);
        g_plan.pending = false;
        LogLine("reconnect attempt %u to %s ended after a station change: left unplayed", number, url);
        return;
    }
    if (!stream) {
        NoteAddressRefused(url, error);
        PlanAttempt();
        LogLine("reconnect attempt %u to %s failed: %s (error %d); next in %u s", number, url, AudioErrorText(error),
                error, Seconds(ReconnectWaitMs(g_plan.attempts)));
        return;
    }
    g_plan.pending = false;
    LogLine("reconnect attempt %u to %s: connected, playing again", number, url);
    NoteAddressWorked(url);
    KeepAddress(url);
    if (LevellingOn()) LevelNetStream(stream, url);
    Watch(stream, url);
    g_readyChanges = g_plan.changes;
    const uint32_t replacedDevice = g_readyDevice.exchange(device);
    FreeStream(g_readyStream.exchange(stream), replacedDevice);
}

void ReconnectLoop() {
    DWORD wait = INFINITE;
    if (g_plan.pending) {
        const int32_t left = static_cast<int32_t>(g_plan.attemptAt - GetTickCount());
        wait = left > 0 ? static_cast<DWORD>(left) : 0;
    }
    WaitForSingleObject(g_wake, wait);
    FreeStream(g_unwantedStream.exchange(0), g_unwantedDevice);
    TakeLoss();
    if (g_plan.pending && g_plan.changes != g_stationChanges) {
        g_plan.pending = false;
        LogLine("reconnect to %s called off: the station changed", g_plan.address);
    }
    if (g_plan.pending && static_cast<int32_t>(GetTickCount() - g_plan.attemptAt) >= 0) Attempt();
}

bool PutReconnectedOnAir() {
    const uint32_t ready = g_readyStream.exchange(0);
    if (!ready) return false;
    const uint32_t device = g_readyDevice;
    if (device != OutputOpenings()) return false;  // gone with its device
    if (g_readyChanges != g_stationChanges || BASS_ChannelIsActive(g_stationStream) == BASS_ACTIVE_PLAYING) {
        const uint32_t unwantedDevice = g_unwantedDevice.exchange(device);
        FreeStream(g_unwantedStream.exchange(ready), unwantedDevice);
        Wake();
        return false;
    }
    g_stationStream = ready;
    g_reconnectedStream = ready;
    g_reconnectedAt = GetTickCount();
    if (!BASS_ChannelPlay(ready, kBassFalse)) NotePlayFailure();
    return true;
}

}  // namespace

uint32_t ReconnectWaitMs(uint32_t attempt) {
    uint32_t wait = kFirstWaitMs;
    for (uint32_t n = 0; n < attempt && wait < kLongestWaitMs; ++n) wait *= 2;
    return wait < kLongestWaitMs ? wait : kLongestWaitMs;
}

void StartReconnectThread() {
    // Auto-reset: a wake while an attempt runs is kept for the next turn.
    g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (g_wake && !StartLongLivedThread(ReconnectLoop)) {
        CloseHandle(g_wake);
        g_wake = nullptr;
    }
}

bool CountsAsPlaying(BassDword stream, BassDword state, uint32_t now) {
    NoteChannelState(state);
    if (state != BASS_ACTIVE_STALLED) {
        g_stalledStream = 0;
        return state == BASS_ACTIVE_PLAYING;
    }
    if (stream != g_stalledStream) {
        g_stalledStream = stream;
        g_stalledSince = now;
        g_stallReported = false;
    }
    if (now - g_stalledSince < kStallGraceMs) return true;
    // A playlist's stream that starves is kept: only internet streams are reconnected.
    if (!g_stallReported && stream == g_netStream) PostLoss(kLossStalled, stream, BASS_OK);
    g_stallReported = true;
    return false;
}

bool KeepStationOnAir() {
    const uint32_t ended = g_endedStream.exchange(0);
    if (ended) PostLoss(kLossClosed, ended, BASS_OK);
    const uint32_t unopened = g_unopenedAt.exchange(0);
    if (unopened && unopened - 1 == g_stationChanges && g_stationStream == 0)
        PostLoss(kLossUnopened, 0, g_unopenedError);
    return PutReconnectedOnAir();
}

void WatchStationStream(const char* url, BassDword stream, int32_t openError) {
    KeepAddress(url);
    if (!stream) {
        g_unopenedError = openError;
        g_unopenedAt = g_stationChanges + 1;
        return;
    }
    Watch(stream, url);
}
