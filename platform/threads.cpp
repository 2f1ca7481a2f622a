// The long-lived helper thread and its table of work.
#include "platform/threads.h"

#include <windows.h>

#include <atomic>

#include "platform/runlog.h"

namespace {

constexpr LONGLONG kMsPerSecond = 1000;
constexpr ULONGLONG kThreadTimeUnitsPerSecond = 10000000;  // GetThreadTimes counts 100 ns
// A rest is taken once this much of it is owed: steps of microseconds (a
// length from the cache) go on without a wait after each.
constexpr ULONGLONG kLeastRestUnits = kThreadTimeUnitsPerSecond / 100;
// Steps of one background work go on under one lowering for this long: a
// length from the cache takes microseconds, the lowering and the pacing more.
constexpr LONGLONG kBackgroundBurstMs = 5;

HANDLE g_wake = nullptr;
HANDLE g_thread = nullptr;
DWORD g_threadId = 0;
HelperWork g_work[kHelperWorkSlots] = {};
HelperPace g_pace[kHelperWorkSlots] = {};
int g_workCount = 0;
// The helper thread's pacing of background work: the rest owed, in 100 ns,
// and the end of the rest under way, in performance-counter ticks.
ULONGLONG g_restOwed = 0;
LONGLONG g_restUntil = 0;
bool g_backgroundHeld = false;  // a background work waits out its rest
// Set by a wake from another thread, cleared when the table is scanned from its first work.
std::atomic<bool> g_urgentWaiting{false};
// The helper thread runs background work at the lowered priority.
std::atomic<bool> g_lowered{false};

LONGLONG Now() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

LONGLONG TicksPerSecond() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

LONGLONG TicksPerMs() {
    return TicksPerSecond() / kMsPerSecond;
}

// The processor time the calling thread has had, in 100 ns: a step's wait
// for the disk is no load on the game and is not paced.
ULONGLONG ThreadTime() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    const auto units = [](const FILETIME& time) { return ULONGLONG{time.dwHighDateTime} << 32 | time.dwLowDateTime; };
    return units(kernel) + units(user);
}

// The wait until the next wake by itself: the rest's end when background
// work waits it out, else the poll.
DWORD NextWaitMs() {
    if (!g_backgroundHeld) return kHelperPollMs;
    const LONGLONG left = (g_restUntil - Now()) / TicksPerMs() + 1;
    return left < static_cast<LONGLONG>(kHelperPollMs) ? static_cast<DWORD>(left < 0 ? 0 : left) : kHelperPollMs;
}

__attribute__((force_align_arg_pointer)) DWORD WINAPI HelperLoop(LPVOID) {
    for (;;) {
        WaitForSingleObject(g_wake, NextWaitMs());
        RunHelperWork();
    }
}

// Below the game's threads for the length of a background step, its file
// reads too (Windows' background mode); back to the thread's own priority after.
struct Lowered {
    Lowered() {
        SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_BEGIN);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
        g_lowered = true;
    }
    ~Lowered() {
        g_lowered = false;
        SetThreadPriority(GetCurrentThread(), THREAD_MODE_BACKGROUND_END);
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
    }
};

bool RunBackground(HelperWork work) {
    const ULONGLONG started = ThreadTime();
    const LONGLONG burstEnd = Now() + kBackgroundBurstMs * TicksPerMs();
    bool worked = false;
    {
        Lowered lowered;
        while (work()) {
            worked = true;
            if (UrgentHelperWorkWaiting() || Now() >= burstEnd) break;
        }
    }
    // Only a step that did something rests: a look that finds nothing costs next to nothing.
    if (!worked) return false;
    // The system counts a thread's time per clock tick: over many steps the sum is right.
    g_restOwed += (ThreadTime() - started) * kBackgroundRestPerWork;
    if (g_restOwed >= kLeastRestUnits) {
        g_restUntil = Now() + static_cast<LONGLONG>(g_restOwed * TicksPerSecond() / kThreadTimeUnitsPerSecond);
        g_restOwed = 0;
    }
    return true;
}

}  // namespace

bool AddHelperWork(HelperWork work, HelperPace pace) {
    if (g_workCount == kHelperWorkSlots) return false;
    g_pace[g_workCount] = pace;
    g_work[g_workCount++] = work;
    return true;
}

bool StartHelperThread() {
    // Auto-reset: a wake that comes while the thread works makes it run once more.
    g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!g_wake) return false;
    // Kept open: a wake raises the thread's priority while it runs background work.
    g_thread = CreateThread(nullptr, 0, HelperLoop, nullptr, 0, &g_threadId);
    return g_thread != nullptr;
}

void RunHelperWork() {
    while (RunHelperWorkStep()) {
    }
}

bool RunHelperWorkStep() {
    // Whatever waits now is found by this scan.
    g_urgentWaiting = false;
    g_backgroundHeld = false;
    for (int slot = 0; slot < g_workCount; ++slot) {
        const bool background = g_pace[slot] == HelperPace::kBackground;
        if (background && Now() < g_restUntil) {
            g_backgroundHeld = true;
            return false;
        }
        try {
            if (background ? RunBackground(g_work[slot]) : g_work[slot]()) return true;
        } catch (...) {
            // The work after it goes on; it is tried again at the next wake.
            LogCaughtException("the helper thread's work");
        }
    }
    return false;
}

bool UrgentHelperWorkWaiting() {
    return g_urgentWaiting.load(std::memory_order_relaxed);
}

void WakeHelperThread() {
    if (!g_wake) return;
    // The helper thread's own background work may hand work on to itself: that waits its turn.
    if (GetCurrentThreadId() != g_threadId) {
        g_urgentWaiting = true;
        // A slice under way at the lowered priority would hold the urgent work
        // up for as long as the game keeps the cores busy.
        if (g_lowered) SetThreadPriority(g_thread, THREAD_PRIORITY_NORMAL);
    }
    SetEvent(g_wake);
}

namespace {

__attribute__((force_align_arg_pointer)) DWORD WINAPI LongLivedLoop(LPVOID loop) {
    for (;;) {
        // No exception may end a module thread; the loop starts again.
        try {
            reinterpret_cast<ThreadLoop>(loop)();
        } catch (...) {
            LogCaughtException("a long-lived thread's work");
        }
    }
}

}  // namespace

bool StartLongLivedThread(ThreadLoop loop) {
    const HANDLE thread = CreateThread(nullptr, 0, LongLivedLoop, reinterpret_cast<LPVOID>(loop), 0, nullptr);
    if (!thread) return false;
    CloseHandle(thread);
    return true;
}
