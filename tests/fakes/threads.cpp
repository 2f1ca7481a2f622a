#include "tests/fakes/threads.h"

#include <process.h>

#include <deque>
#include <utility>

namespace {

std::deque<std::pair<ThreadBody, void*>> g_queued;
bool g_failStarts = false;

}  // namespace

bool StartDetachedThread(ThreadBody body, void* argument) {
    if (g_failStarts) return false;
    g_queued.emplace_back(body, argument);
    return true;
}

void ResetQueuedThreads() {
    g_queued.clear();
    g_failStarts = false;
}

void FailThreadStarts(bool fail) {
    g_failStarts = fail;
}

int QueuedThreadCount() {
    return static_cast<int>(g_queued.size());
}

bool RunQueuedThread() {
    if (g_queued.empty()) return false;
    const auto thread = g_queued.front();
    g_queued.pop_front();
    thread.first(thread.second);
    return true;
}

bool RunQueuedThreadDetached() {
    if (g_queued.empty()) return false;
    const auto thread = g_queued.front();
    g_queued.pop_front();
    return _beginthread(thread.first, 0, thread.second) != static_cast<uintptr_t>(-1);
}
