// Opening and playing a station's source on the helper thread, so that the
// worker never waits on a disk scan or a network connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "radio/opening.h"

// Written by the opening jobs, read by the worker.
extern std::atomic<uint32_t> g_stationStream;
extern std::atomic<bool> g_streamStarting;

// Seconds added to the game clock for the live position; worker writes it
// before any file job that reads it is handed over.
extern std::atomic<int32_t> g_startOffset;
// Never destroyed: the exit work must not free memory (see module/busy.h).
extern std::string& g_sourcePath;

constexpr int32_t kMaxStartOffset = 16384;

// Starts the station's source unless a stream plays or opens, and records the
// broadcast time in POSITION/seconds on every call; the helper thread then
// writes it to settings.ini as well.
void StartStation(int8_t station);

// Raises the opening flag and hands job (from malloc) over to the helper
// thread; frees it and lowers the flag again when it cannot be handed over.
void StartOpeningJob(OpeningBody body, void* job);
// The last step of every opening job: frees the job and lowers the flag.
void FinishOpening(void* job);

// Opens an internet stream as stations open them; 0 when it cannot be opened.
// Blocks until the server answers or the library gives up.
uint32_t OpenUrlStream(const char* url);

// Opening jobs; each owns and frees its heap copy of the source text.
void StreamFileThread(void* source);
void StreamUrlThread(void* source);
