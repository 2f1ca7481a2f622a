// Opening jobs and early position saves handed over to the helper thread one at a time.
#include "radio/common/opening.h"

#include "platform/runlog.h"
#include "platform/threads.h"
#include "settings/settings.h"

std::atomic<bool> g_openingThreadReady{false};
std::atomic<bool> g_openingJobWaiting{false};
bool g_openingJobRunning = false;

namespace {

// The one-slot hand-over: the worker fills the slot only while it is empty and
// then raises g_openingJobWaiting; the helper thread empties it and lowers the flag.
OpeningBody g_jobBody = nullptr;
void* g_jobArgument = nullptr;
OpeningBody g_jobAbandon = nullptr;

std::atomic<bool> g_saveRequested{false};
std::atomic<int32_t> g_saveSeconds{0};

}  // namespace

void StartOpeningThread() {
    g_openingThreadReady = StartHelperThread();
}

bool HandOverOpening(OpeningBody body, void* argument, OpeningBody abandon) {
    if (!g_openingThreadReady || g_openingJobWaiting) return false;
    g_jobBody = body;
    g_jobArgument = argument;
    g_jobAbandon = abandon;
    g_openingJobWaiting = true;
    WakeHelperThread();
    return true;
}

void RequestPositionSave(int32_t seconds) {
    g_saveSeconds = seconds;
    g_saveRequested = true;
    WakeHelperThread();
}

bool TakeWaitingOpening(OpeningBody& body, void*& argument) {
    if (!g_openingJobWaiting) return false;
    body = g_jobBody;
    argument = g_jobArgument;
    g_openingJobWaiting = false;
    return true;
}

bool RunWaitingOpening() {
    OpeningBody body;
    void* argument;
    const OpeningBody abandon = g_jobAbandon;
    if (!TakeWaitingOpening(body, argument)) return false;
    g_openingJobRunning = true;
    try {
        body(argument);
    } catch (...) {
        LogCaughtException("a station opening");
        if (g_openingJobRunning && abandon) abandon(argument);
    }
    g_openingJobRunning = false;
    return true;
}

bool SaveRequestedPosition() {
    if (!g_saveRequested.exchange(false)) return false;
    if (SavePosition(g_saveSeconds)) return true;
    // The player is writing the file: tried again at a later wake.
    g_saveRequested = true;
    return false;
}
