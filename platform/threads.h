// Short-lived detached threads with the C runtime's thread start; the runtime
// closes the handle and frees its per-thread data when the body returns.
#pragma once

using ThreadBody = void(__cdecl*)(void* argument);

bool StartDetachedThread(ThreadBody body, void* argument);
