// The module's long-lived helper thread: made once when the worker starts and
// alive until the process ends, so that no thread starts or ends while a game
// runs (an exit that kills a thread still starting up crashes the process).
// It runs the work that the subsystems hand it through a fixed table, filled
// by the worker before the thread starts, so that it names none of them.
#pragma once

#include <cstdint>

// One step of a piece of work: does what waits, if anything; true when it did something.
using HelperWork = bool (*)();

constexpr int kHelperWorkSlots = 12;
// The thread wakes by itself this often, for work that polls.
constexpr unsigned kHelperPollMs = 250;

// Urgent work (an opening, a position save, the next track, the device) runs
// as soon as it waits, at the thread's own priority. Background work (learning
// and measuring ahead) runs after it, below the game's threads' priority, and
// paced: the processor time of the steps that did something is followed by a
// rest of kBackgroundRestPerWork times it, so that it takes at most a fifth of
// a core, and it runs only while no urgent work waits.
enum class HelperPace : uint8_t { kUrgent, kBackground };
constexpr unsigned kBackgroundRestPerWork = 4;

// Adds work to the table, in order of priority, background work after all
// urgent work; only before StartHelperThread. False when the table is full.
bool AddHelperWork(HelperWork work, HelperPace pace = HelperPace::kUrgent);

// For background work in slices: true once urgent work waits (the thread was
// woken), so that the slice ends early.
bool UrgentHelperWorkWaiting();

// Starts the helper thread; false when the thread could not be made. Each
// time it is woken it runs the first work that has something to do, then
// starts again from the first, until none has.
bool StartHelperThread();

// Runs the table as the helper thread does after a wake, on the calling thread.
void RunHelperWork();
// One step of that: the first work that has something to do; false when none
// had, or when the background work waits out its rest. A work that throws is
// logged and passed over until the next wake.
bool RunHelperWorkStep();

// Wakes the helper thread; wakes that come while it works are kept, so work
// must take everything that is waiting each time it runs.
void WakeHelperThread();

using ThreadLoop = void (*)();

// Starts another long-lived thread, for work that may block for seconds (an
// internet connection) and so must not hold up the helper thread: it runs
// loop again and again for the life of the process. False when it could not
// be made.
bool StartLongLivedThread(ThreadLoop loop);
