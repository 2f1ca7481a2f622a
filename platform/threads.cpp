#include "platform/threads.h"

#include <windows.h>

#include "module/runlog.h"

namespace {

HANDLE g_wake = nullptr;
HelperWork g_work = nullptr;

__attribute__((force_align_arg_pointer)) DWORD WINAPI HelperLoop(LPVOID) {
    for (;;) {
        WaitForSingleObject(g_wake, INFINITE);
        try {
            g_work();
        } catch (...) {
            LogCaughtException("the helper thread's work");
        }
    }
}

}  // namespace

bool StartHelperThread(HelperWork work) {
    g_work = work;
    // Auto-reset: a wake that comes while the thread works makes it run once more.
    g_wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!g_wake) return false;
    const HANDLE thread = CreateThread(nullptr, 0, HelperLoop, nullptr, 0, nullptr);
    if (!thread) return false;
    CloseHandle(thread);
    return true;
}

void WakeHelperThread() {
    if (g_wake) SetEvent(g_wake);
}
