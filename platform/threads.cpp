// The long-lived helper thread and its table of work.
#include "platform/threads.h"

#include <windows.h>

#include "platform/runlog.h"

namespace {

HANDLE g_wake = nullptr;
HelperWork g_work[kHelperWorkSlots] = {};
int g_workCount = 0;

__attribute__((force_align_arg_pointer)) DWORD WINAPI HelperLoop(LPVOID) {
    for (;;) {
        WaitForSingleObject(g_wake, kHelperPollMs);
        RunHelperWork();
    }
}

}  // namespace

bool AddHelperWork(HelperWork work) {
    if (g_workCount == kHelperWorkSlots) return false;
    g_work[g_workCount++] = work;
    return true;
}

bool StartHelperThread() {
    // Auto-reset: a wake that comes while the thread works makes it run once more.
    g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!g_wake) return false;
    const HANDLE thread = CreateThread(nullptr, 0, HelperLoop, nullptr, 0, nullptr);
    if (!thread) return false;
    CloseHandle(thread);
    return true;
}

void RunHelperWork() {
    while (RunHelperWorkStep()) {
    }
}

bool RunHelperWorkStep() {
    for (int slot = 0; slot < g_workCount; ++slot) {
        try {
            if (g_work[slot]()) return true;
        } catch (...) {
            // The work after it goes on; it is tried again at the next wake.
            LogCaughtException("the helper thread's work");
        }
    }
    return false;
}

void WakeHelperThread() {
    if (g_wake) SetEvent(g_wake);
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
