// The module's long-lived helper thread: made once when the worker starts and
// alive until the process ends, so that no thread starts or ends while a game
// runs (an exit that kills a thread still starting up crashes the process).
#pragma once

using HelperWork = void (*)();

// Starts the helper thread, which runs work each time it is woken; false when
// the thread could not be made.
bool StartHelperThread(HelperWork work);

// Wakes the helper thread; wakes that come while it works are kept, so work
// must take everything that is waiting each time it runs.
void WakeHelperThread();

using ThreadLoop = void (*)();

// Starts another long-lived thread, for work that may block for seconds (an
// internet connection) and so must not hold up the helper thread: it runs
// loop again and again for the life of the process. False when it could not
// be made.
bool StartLongLivedThread(ThreadLoop loop);
