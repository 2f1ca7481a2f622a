// Marks for the narrow stretches in which a module thread allocates or frees
// memory, changes the settings document, calls the audio library, or opens
// and reads or writes files (the library's file and network opens among
// them). When the process ends, every other thread is killed wherever it is
// before the exit work runs; a mark still raised then means a killed thread
// may have held the heap, the document or the library half-way, or (under
// Wine) left the process's file descriptor hand-over out of step, so that the
// next new file the process touches ends it; the exit work then skips what
// depends on it.
#pragma once

#include <atomic>

extern std::atomic<int> g_memoryWork;
extern std::atomic<int> g_audioWork;
extern std::atomic<int> g_fileWork;

// Raises a mark for the life of the scope.
struct BusyMark {
    explicit BusyMark(std::atomic<int>& mark) : mark_(mark) { ++mark_; }
    ~BusyMark() { --mark_; }
    BusyMark(const BusyMark&) = delete;
    BusyMark& operator=(const BusyMark&) = delete;

private:
    std::atomic<int>& mark_;
};
