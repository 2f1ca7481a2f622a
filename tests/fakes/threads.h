// The tests' view of the opening hand-over: no helper thread runs, so a job
// handed over waits until a test runs it, and the opening phase can be
// observed step by step.
#pragma once

#include "radio/common/opening.h"

// Forgets a waiting job (without running it) and lets hand-overs succeed.
void ResetQueuedThreads();
// Makes every hand-over fail from now on, as when the helper thread could not be made.
void FailThreadStarts(bool fail);
int QueuedThreadCount();
// Runs the waiting job on the calling thread; false if none.
bool RunQueuedThread();
// Runs the waiting job on a new real thread; false if none.
bool RunQueuedThreadDetached();
