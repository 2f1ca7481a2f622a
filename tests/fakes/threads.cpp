#include "tests/fakes/threads.h"

#include <process.h>

void ResetQueuedThreads() {
    g_openingJobWaiting = false;
    g_openingThreadReady = true;
}

void FailThreadStarts(bool fail) {
    g_openingThreadReady = !fail;
}

int QueuedThreadCount() {
    return g_openingJobWaiting ? 1 : 0;
}

bool RunQueuedThread() {
    return RunWaitingOpening();
}

bool RunQueuedThreadDetached() {
    OpeningBody body;
    void* argument;
    if (!TakeWaitingOpening(body, argument)) return false;
    return _beginthread(body, 0, argument) != static_cast<uintptr_t>(-1);
}
