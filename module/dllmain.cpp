// The library entry: pins the module, starts the worker on attach, runs the exit work on detach.
#include <windows.h>

#include "module/entry.h"

namespace {

// The game keeps calling the banner and colour hooks and the worker runs on,
// so the module must never leave the process before it ends.
void PinModule() {
    HMODULE self;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&PinModule), &self);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Attach does the check and the thread start only; the worker does the rest.
        if (SupportedHost()) {
            PinModule();
            CreateThread(nullptr, 0, WorkerThread, nullptr, 0, nullptr);
        }
        return TRUE;
    case DLL_PROCESS_DETACH:
        DetachWork();
        return FALSE;
    default:
        return TRUE;
    }
}
