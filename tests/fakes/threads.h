// The tests' thread start: opening threads wait in a queue until a test runs
// them, so that the opening phase can be observed step by step.
#pragma once

#include "platform/threads.h"

// Forgets queued threads (without running them) and lets starts succeed.
void ResetQueuedThreads();
// Makes every start fail from now on, as when the system has no room for a thread.
void FailThreadStarts(bool fail);
int QueuedThreadCount();
// Runs the oldest queued thread body on the calling thread; false if none.
bool RunQueuedThread();
// Runs the oldest queued thread body on a new real thread; false if none.
bool RunQueuedThreadDetached();
