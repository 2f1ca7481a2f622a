// The radio tick: the first active tick's set-up, then every pass in its fixed order.
#include "module/tick.h"

#include "hud/name.h"
#include "module/library.h"
#include "module/logevents.h"
#include "module/nowplaying.h"
#include "module/reload.h"
#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/host.h"
#include "radio/common/output.h"
#include "radio/internet/reconnect.h"
#include "radio/jingles.h"
#include "radio/level/level.h"
#include "radio/player.h"
#include "radio/playlist/levels.h"
#include "radio/playlist/tape.h"
#include "radio/station.h"
#include "radio/volume.h"
#include "settings/settings.h"

bool g_initialised = false;

namespace {

constexpr uint8_t kRadioModeAudible = 3;

void InitialiseOnce() {
    // Without a device the helper thread tries again; the jingles load then.
    OpenAudioDevice();
    LoadSettings();
    ReadLevelSettings();
    PlanFileLevels();
    BeginRunLog();
    LogAudioDevice();
    LoadAudioAddOns();
    LoadJingles();
    PlanTapes();
    NoteSettingsInForce();
    g_initialised = true;
}

// The tick's gate: true for 2.4. When the first answer refuses the library,
// reads the settings and starts the run log, which says why nothing plays.
bool AudioLibraryReady() {
    const bool firstAnswer = g_audioLibraryState.load() == kLibraryNotAsked;
    if (AudioLibraryAccepted()) return true;
    if (firstAnswer) {
        BusyMark memory(g_memoryWork);
        LoadSettings();
        BeginRunLog();
    }
    return false;
}

// Each condition is tested only when the ones before it hold, so no object is
// read through a null pointer.
bool InVehicleWithRadio() {
    if (HostAltStationFlag() != 0) return false;
    const uintptr_t player = HostPlayer();
    if (player == 0) return false;
    if (HostPlayerState(player) != host::kPlayerStateDriving) return false;
    const uintptr_t vehicle = HostPlayerVehicle(player);
    if (vehicle == 0) return false;
    if (HostModelNoRadio(HostVehicleModel(vehicle)) != 0) return false;
    return HostVehicleRadioOff() == 0;
}

}  // namespace

bool RadioAudible() {
    return InVehicleWithRadio() || HostRadioMode() == kRadioModeAudible;
}

void RadioTick() {
    if (HostGameActive() == 0) return;
    // Nearly every step from here on calls the audio library.
    BusyMark audio(g_audioWork);
    if (!AudioLibraryReady()) return;
    if (!g_initialised) {
        BusyMark memory(g_memoryWork);
        InitialiseOnce();
    }
    TakeReloadedSettings();

    const bool audible = RadioAudible();
    if (audible) {
        ShowStationName(static_cast<int8_t>(CurrentStation()));
        ApplyStationColours(static_cast<int8_t>(CurrentStation()));
        if (g_streamStarting) {
            MuteWhileOpening();
        } else {
            // Without a device, or before its jingles are taken, a station waits: the game's radio
            // plays. Once the device is open afresh (or at last) the station starts anew, at its live
            // position, with the jingles that fill its opening.
            if (AudioDeviceOpen() && JinglesOnDevice()) {
                if (TakeStationRestart()) g_lastStation = kNoStation;
                HandleStationChange();
            }
            UpdateHostMute();
            // A reconnected stream fades in as after a station change.
            if (KeepStationOnAir()) g_streamVolume = 0.0f;
        }
    } else {
        g_streamVolume = 0.0f;
    }

    ApplyVolumes();
    StepStreamVolume();
    CarryNowPlaying(audible);
}
