#include "module/entry.h"

#include <mmsystem.h>

#include "hud/banner.h"
#include "module/library.h"
#include "module/logevents.h"
#include "module/runlog.h"
#include "module/tick.h"
#include "platform/bass.h"
#include "platform/host.h"
#include "platform/patch.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

// A tick costs microseconds; the pause keeps the worker from holding a whole
// core and paces the volume fade in game time rather than in loop speed.
constexpr DWORD kTickPauseMs = 1;
constexpr UINT kTimerResolutionMs = 1;

}  // namespace

bool SupportedHost() {
    if (HostUnsupportedSignature() == host::kUnsupportedSignature) return false;
    const uint32_t signature = HostSupportedSignature();
    return signature == host::kSupportedSignatureA || signature == host::kSupportedSignatureB;
}

__attribute__((force_align_arg_pointer)) DWORD WINAPI WorkerThread(LPVOID) {
    RedirectCall(host::kBannerCallSite, reinterpret_cast<const void*>(&DrawBanner));
    timeBeginPeriod(kTimerResolutionMs);
    for (;;) {
        RadioTick();
        Sleep(kTickPauseMs);
    }
}

void DetachWork() {
    if (g_settingsLoaded) LogSave(SaveSettings(BaseDirFile("settings.ini").c_str()));
    CloseRunLog();
    if (!AudioLibraryAccepted()) return;
    BASS_Stop();
    BASS_Free();
}
