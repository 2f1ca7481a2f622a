// Marks for the narrow stretches in which a module thread allocates or frees
// memory, changes the settings document, or calls the audio library. When the
// process ends, every other thread is killed wherever it is before the exit
// work runs; a mark still raised then means a killed thread may have held the
// heap, the document or the library half-way, and the exit work skips what
// depends on it.
#pragma once

#include <atomic>

extern std::atomic<int> g_memoryWork;
extern std::atomic<int> g_audioWork;

// Raises a mark for the life of the scope.
struct BusyMark {
    explicit BusyMark(std::atomic<int>& mark) : mark_(mark) { ++mark_; }
    ~BusyMark() { --mark_; }
    BusyMark(const BusyMark&) = delete;
    BusyMark& operator=(const BusyMark&) = delete;

private:
    std::atomic<int>& mark_;
};
