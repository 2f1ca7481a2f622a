// The game-variant check, the worker thread and the helper thread's work list, and the exit work.
#include "module/entry.h"

#include <mmsystem.h>

#include "hud/banner.h"
#include "module/library.h"
#include "module/logevents.h"
#include "module/reload.h"
#include "module/tick.h"
#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/host.h"
#include "platform/patch.h"
#include "platform/runlog.h"
#include "platform/threads.h"
#include "radio/common/opening.h"
#include "radio/common/output.h"
#include "radio/internet/netlevel.h"
#include "radio/internet/reconnect.h"
#include "radio/internet/streamtags.h"
#include "radio/jingles.h"
#include "radio/playlist/levels.h"
#include "radio/playlist/playlist.h"
#include "radio/playlist/tape.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

// A tick costs microseconds; the pause keeps the worker from holding a whole
// core and paces the volume fade in game time rather than in loop speed.
constexpr DWORD kTickPauseMs = 1;
constexpr UINT kTimerResolutionMs = 1;
// settings.ini in the module's folder, with the suffix of the save's temporary file.
const char kSettingsTemporaryPath[] = "./audio/streams/settings.ini.tmp";
const char kTrackCacheTemporaryPath[] = "./audio/streams/zorve-tracks.cache.tmp";

}  // namespace

bool SupportedHost() {
    if (HostUnsupportedSignature() == host::kUnsupportedSignature) return false;
    const uint32_t signature = HostSupportedSignature();
    return signature == host::kSupportedSignatureA || signature == host::kSupportedSignatureB;
}

// The helper thread's work in order of priority (see ListHelperWork).
constexpr HelperWork kUrgentWork[] = {SaveRequestedPosition, RestartOutput,   ReloadJingles,  RunWaitingOpening,
                                      AdvancePlaylist,       LogStreamTitles, ReloadSettings, TakeFileLevelsPlan,
                                      SaveStationLevels};
constexpr HelperWork kBackgroundWork[] = {MeasureComingUpStep, LearnTapesStep, MeasureLevelsStep};
// A work past the table's slots would be dropped without a word: the build says so instead.
static_assert(sizeof kUrgentWork / sizeof kUrgentWork[0] + sizeof kBackgroundWork / sizeof kBackgroundWork[0] <=
                  kHelperWorkSlots,
              "the helper thread's work table (platform/threads.h) needs more slots");

void ListHelperWork() {
    static bool listed = false;
    if (listed) return;
    listed = true;
    // The position save first: it takes milliseconds, and an opening may take
    // seconds, during which an exit would find the helper busy and skip its own
    // save. Then the opening, so that the sound starts as soon as it can; then
    // a playlist's track change. An output that stopped is started again
    // before any opening plays into it. Then an internet stream's title and
    // the player's edits of the settings, and the file stations to be
    // measured, known before a cache write, and the internet stations' levels
    // put on disk now and then. Behind all of these, paced and below the
    // game's priority: the loudness of the tracks coming up on the station on
    // air, so that each is levelled before it plays; a playlist track's length
    // learned ahead, one at a time; last, a slice of the rest of the library's
    // loudness, once every length is known.
    for (const HelperWork work : kUrgentWork) AddHelperWork(work, HelperPace::kUrgent);
    for (const HelperWork work : kBackgroundWork) AddHelperWork(work, HelperPace::kBackground);
}

void StartHelper() {
    ListHelperWork();
    StartOpeningThread();
    StartReconnectThread();
}

__attribute__((force_align_arg_pointer)) DWORD WINAPI WorkerThread(LPVOID) {
    RedirectCall(host::kBannerCallSite, reinterpret_cast<const void*>(&DrawBanner));
    timeBeginPeriod(kTimerResolutionMs);
    StartHelper();
    for (;;) {
        try {
            RadioTick();
        } catch (...) {
            // The next tick starts afresh from the game's state.
            LogCaughtException("a radio tick");
        }
        Sleep(kTickPauseMs);
    }
}

void DetachWork() {
    // A thread killed inside memory or document work may have left the heap
    // locked or the document half-changed, one killed inside file work the
    // next file the exit opens unusable: the save would hang, write damage or
    // end the process. The helper thread has then put the position on disk already.
    if (g_memoryWork == 0 && g_fileWork == 0) {
        if (g_settingsLoaded) {
            try {
                LogSave(SaveSettings(BaseDirFile("settings.ini").c_str()));
            } catch (...) {
                LogCaughtException("the settings save at exit");
            }
        }
    } else {
        // The temporary files of saves the exit cut short; no heap is needed for this.
        DeleteFileA(kSettingsTemporaryPath);
        DeleteFileA(kTrackCacheTemporaryPath);
        LogLine("exit: settings.ini left as saved at the last station start (the game closed mid-work)");
    }
    // A thread killed inside an audio call may hold the library's own locks.
    const bool audioCutShort = g_audioWork != 0;
    if (audioCutShort && g_audioLibraryState == kLibraryAccepted)
        LogLine("exit: audio library left open (the game closed mid-call)");
    CloseRunLog();
    // A device another plug-in opened stays as it is: that plug-in may still play, and closes it itself.
    if (audioCutShort || !AudioLibraryAccepted() || !AudioDeviceOurs()) return;
    BASS_Stop();
    BASS_Free();
}
