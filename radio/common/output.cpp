// Restarting an output device that stopped under the game.
#include "radio/common/output.h"

#include <windows.h>

#include <atomic>

#include "platform/busy.h"
#include "platform/runlog.h"
#include "platform/threads.h"
#include "radio/common/stream.h"

std::atomic<bool> g_audioDeviceMissing{false};

namespace {

// The helper thread polls, so a restart put off by the spacing comes on its own.
constexpr DWORD kRestartSpacingMs = 1000;
// A stop that comes back this soon after BASS_Start seemed to help is taken
// as a device that needs opening afresh.
constexpr DWORD kStartHeldMs = 10000;
// A device that is not there is looked for calmly: often at first, as a
// headset is switched on in seconds, then seldom.
constexpr DWORD kDeviceRetryEarlyMs = 2000;
constexpr DWORD kDeviceRetryLateMs = 10000;
constexpr DWORD kDeviceEarlyPeriodMs = 60000;
constexpr DWORD kMsPerSecond = 1000;

std::atomic<bool> g_outputDown{false};
std::atomic<bool> g_startStationAnew{false};
std::atomic<uint32_t> g_deviceOpenings{0};
// No device since (written before g_audioDeviceMissing is raised).
std::atomic<DWORD> g_missingSince{0};
std::atomic<int32_t> g_missingError{0};
// The device is another plug-in's: BASS_Init answered BASS_ERROR_ALREADY. It
// plays ours as well, and is never stopped or closed by us.
std::atomic<bool> g_deviceShared{false};
std::atomic<bool> g_sharingToLog{false};

// Helper thread only, but for the worker's first open of the device, which
// writes them before it raises g_audioDeviceMissing.
bool g_tried = false;
DWORD g_lastTry = 0;
DWORD g_startedAt = 0;
bool g_started = false;

void NoteOutputDown() {
    if (!g_outputDown.exchange(true)) WakeHelperThread();
}

// One BASS_Init. "Already" means that another plug-in in the game opened the
// library's device first: it is there, and ours plays through it.
bool InitOnce() {
    if (BASS_Init(kBassDefaultDevice, kBassOutputRate, 0, nullptr, nullptr)) return true;
    if (BASS_ErrorGetCode() != BASS_ERROR_ALREADY) return false;
    if (!g_deviceShared.exchange(true)) g_sharingToLog = true;
    return true;
}

bool InitDevice() {
    // The device may be busy for a moment, as at start-up: a second try.
    return InitOnce() || InitOnce();
}

bool OpenDeviceAfresh() {
    BASS_Free();
    // Every channel went with the device, and the library may give their
    // numbers again: they are forgotten before anything is made on the next
    // one. What other threads hold is stamped with the openings' count.
    ++g_deviceOpenings;
    g_stationStream = 0;
    return InitDevice();
}

// Once, when a BASS_Init first found the device to be another plug-in's.
void LogSharedDevice() {
    if (g_sharingToLog.exchange(false)) LogLine("audio library already set up by another plug-in: sharing it");
}

// The device is closed and BASS_Init failed now, with BASS_ErrorGetCode's error.
void NoteDeviceMissing(DWORD now) {
    g_missingError = BASS_ErrorGetCode();
    g_missingSince = now;
    g_lastTry = now;
    g_tried = true;
    g_audioDeviceMissing = true;
}

// Helper thread: the calm retry of a device that is not there.
bool RetryMissingDevice() {
    const DWORD now = GetTickCount();
    const DWORD spacing = now - g_missingSince < kDeviceEarlyPeriodMs ? kDeviceRetryEarlyMs : kDeviceRetryLateMs;
    if (now - g_lastTry < spacing) return false;
    g_lastTry = now;
    {
        BusyMark audio(g_audioWork);
        if (!InitOnce()) return true;
    }
    g_outputDown = false;
    g_started = false;
    ++g_deviceOpenings;
    g_startStationAnew = true;
    g_audioDeviceMissing = false;
    LogLine("audio device ready after %u s", static_cast<unsigned>((now - g_missingSince) / kMsPerSecond));
    LogSharedDevice();
    return true;
}

}  // namespace

void NoteChannelState(BassDword state) {
    if (state == BASS_ACTIVE_PAUSED_DEVICE) NoteOutputDown();
}

void NotePlayFailure() {
    if (BASS_ErrorGetCode() == BASS_ERROR_START) NoteOutputDown();
}

bool RestartOutput() {
    if (g_audioDeviceMissing) return RetryMissingDevice();
    if (!g_outputDown) return false;
    const DWORD now = GetTickCount();
    if (g_tried && now - g_lastTry < kRestartSpacingMs) return false;
    g_tried = true;
    g_lastTry = now;

    BusyMark audio(g_audioWork);
    if (!(g_started && now - g_startedAt < kStartHeldMs)) {
        const BassBool started = BASS_Start();
        const BassDword state = BASS_ChannelIsActive(g_stationStream);
        if (started && state != BASS_ACTIVE_PAUSED_DEVICE) {
            g_outputDown = false;
            g_started = true;
            g_startedAt = now;
            // A stream that plays or waits for data goes on by itself; one whose
            // play failed must be started anew.
            if (state != BASS_ACTIVE_PLAYING && state != BASS_ACTIVE_STALLED) g_startStationAnew = true;
            LogLine("audio output stopped (a headset unplugged?): started again");
            return true;
        }
    }
    g_started = false;
    // Another plug-in's device is never closed under it: BASS_Start again, a second later.
    if (g_deviceShared) return true;
    if (!OpenDeviceAfresh()) {
        // Everything was freed with the device: from here on, as with no device at start.
        NoteDeviceMissing(now);
        g_outputDown = false;
        const int32_t error = g_missingError;
        LogLine("audio output stopped and the audio device cannot be opened again: %s (error %d); tried again every "
                "few seconds; the game's own radio plays meanwhile",
                AudioErrorText(error), error);
        return true;
    }
    g_outputDown = false;
    g_startStationAnew = true;
    LogLine("audio output stopped and did not start again: the audio device was opened afresh");
    LogSharedDevice();
    return true;
}

bool OpenAudioDevice() {
    if (InitDevice()) return true;
    NoteDeviceMissing(GetTickCount());
    return false;
}

void LogAudioDevice() {
    if (g_audioDeviceMissing) {
        LogLine("no audio device (error %d): tried again every few seconds; the game's own radio plays meanwhile",
                g_missingError.load());
    }
    LogSharedDevice();
}

bool AudioDeviceOurs() {
    return !g_deviceShared;
}

bool AudioDeviceOpen() {
    return !g_audioDeviceMissing;
}

uint32_t OutputOpenings() {
    return g_deviceOpenings;
}

bool TakeStationRestart() {
    if (!g_startStationAnew.exchange(false)) return false;
    // An opening that ran meanwhile may have started it already.
    return BASS_ChannelIsActive(g_stationStream) != BASS_ACTIVE_PLAYING;
}
