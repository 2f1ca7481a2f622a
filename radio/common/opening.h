// Stream openings and early position saves, run on the module's long-lived
// helper thread: the worker hands over one opening job at a time and never
// waits for it.
#pragma once

#include <atomic>
#include <cstdint>

using OpeningBody = void (*)(void* argument);

// Set once the helper thread runs; without it no job can be handed over.
extern std::atomic<bool> g_openingThreadReady;
// A job has been handed over and not yet taken.
extern std::atomic<bool> g_openingJobWaiting;

// Starts the helper thread; called once by the worker before its first tick,
// after it has handed the thread its work (platform/threads.h).
void StartOpeningThread();

// Hands a job to the helper thread: body runs there with argument, which it
// owns; should an exception cut body short before it lowered
// g_openingJobRunning, abandon runs with argument to end the job. False when
// the job cannot be taken: no helper thread, or a job that is still waiting
// to be taken.
bool HandOverOpening(OpeningBody body, void* argument, OpeningBody abandon);

// Asks the helper thread to write this broadcast position into settings.ini
// after any opening it has to run; a newer request replaces an older one.
void RequestPositionSave(int32_t seconds);

// Takes the waiting job out of the slot; false when none waits.
bool TakeWaitingOpening(OpeningBody& body, void*& argument);

// Raised while a job runs; the job lowers it as it ends its own work, after
// which an exception no longer calls for its abandon. Helper thread only.
extern bool g_openingJobRunning;

// Runs the waiting job on the calling thread; false when none waits. A job
// that an exception cuts short is logged and abandoned, so that the next
// station change opens again.
bool RunWaitingOpening();

// Writes the requested position, if any, to settings.ini; false when none was
// requested, or when it waits because the player is writing the file.
bool SaveRequestedPosition();
