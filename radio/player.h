// Opening and playing a station's source on short-lived threads, so that the
// worker never waits on a disk scan or a network connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Written by the opening threads, read by the worker.
extern std::atomic<uint32_t> g_stationStream;
extern std::atomic<bool> g_streamStarting;

// Seconds added to the game clock for the live position; worker writes it
// before any file thread that reads it is started.
extern std::atomic<int32_t> g_startOffset;
extern std::string g_sourcePath;

constexpr int32_t kMaxStartOffset = 16384;

// Starts the station's source unless a stream plays or opens, and records the
// broadcast time in POSITION/seconds on every call.
void StartStation(int8_t station);

// Thread bodies; each owns and frees its heap copy of the source text.
void __cdecl StreamFileThread(void* source);
void __cdecl StreamUrlThread(void* source);
