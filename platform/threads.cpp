#include "platform/threads.h"

#include <process.h>

#include <cstdint>

bool StartDetachedThread(ThreadBody body, void* argument) {
    constexpr unsigned kDefaultStackSize = 0;
    return _beginthread(body, kDefaultStackSize, argument) != static_cast<uintptr_t>(-1);
}
