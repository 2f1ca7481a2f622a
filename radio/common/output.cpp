// Restarting an output device that stopped under the game.
#include "radio/common/output.h"

#include <windows.h>

#include <atomic>

#include "platform/busy.h"
#include "platform/runlog.h"
#include "platform/threads.h"
#include "radio/common/stream.h"

namespace {

// The helper thread polls, so a restart put off by the spacing comes on its own.
constexpr DWORD kRestartSpacingMs = 1000;
// A stop that comes back this soon after BASS_Start seemed to help is taken
// as a device that needs opening afresh.
constexpr DWORD kStartHeldMs = 10000;

std::atomic<bool> g_outputDown{false};
std::atomic<bool> g_startStationAnew{false};
std::atomic<uint32_t> g_deviceOpenings{0};

// Helper thread only.
bool g_tried = false;
DWORD g_lastTry = 0;
DWORD g_startedAt = 0;
bool g_started = false;

void NoteOutputDown() {
    if (!g_outputDown.exchange(true)) WakeHelperThread();
}

bool OpenDeviceAfresh() {
    BASS_Free();
    // The device may be busy for a moment, as at start-up: a second try.
    return BASS_Init(kBassDefaultDevice, kBassOutputRate, 0, nullptr, nullptr) ||
           BASS_Init(kBassDefaultDevice, kBassOutputRate, 0, nullptr, nullptr);
}

}  // namespace

void NoteChannelState(BassDword state) {
    if (state == BASS_ACTIVE_PAUSED_DEVICE) NoteOutputDown();
}

void NotePlayFailure() {
    if (BASS_ErrorGetCode() == BASS_ERROR_START) NoteOutputDown();
}

bool RestartOutput() {
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
    if (!OpenDeviceAfresh()) {
        const int32_t error = BASS_ErrorGetCode();
        LogLine("audio output stopped and the audio device cannot be opened again: %s (error %d); trying again",
                AudioErrorText(error), error);
        return true;
    }
    g_outputDown = false;
    ++g_deviceOpenings;
    g_startStationAnew = true;
    LogLine("audio output stopped and did not start again: the audio device was opened afresh");
    return true;
}

uint32_t OutputOpenings() {
    return g_deviceOpenings;
}

bool TakeStationRestart() {
    if (!g_startStationAnew.exchange(false)) return false;
    // An opening that ran meanwhile may have started it already.
    return BASS_ChannelIsActive(g_stationStream) != BASS_ACTIVE_PLAYING;
}
