// The station's stream on air and the hand-over of its openings to the
// helper thread: what the openings write and the worker reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "radio/common/opening.h"

// Written by the opening jobs, read by the worker. A thread that frees the
// stream on air takes it off first (an exchange), so that it is freed once, by
// whoever took it, and its number is forgotten before the library can give it
// to a new stream.
extern std::atomic<uint32_t> g_stationStream;
extern std::atomic<bool> g_streamStarting;
// Station changes handled so far, counted by the worker before the new station
// starts: other threads tell by it whether what they did belongs to an earlier station.
extern std::atomic<uint32_t> g_stationChanges;

// Seconds added to the game clock for the live position; worker writes it
// before any file job that reads it is handed over.
extern std::atomic<int32_t> g_startOffset;
// Never destroyed: the exit work must not free memory (see platform/busy.h).
extern std::string& g_sourcePath;

constexpr int32_t kMaxStartOffset = 16384;

// Takes the stream off the air and frees it, if no other thread took it
// first. Helper thread, in an opening.
void FreeStationStream();

// Raises the opening flag and hands job (from malloc) over to the helper
// thread; frees it and lowers the flag again when it cannot be handed over.
void StartOpeningJob(OpeningBody body, void* job);
// The last step of every opening job: frees the job and lowers the flag.
void FinishOpening(void* job);
