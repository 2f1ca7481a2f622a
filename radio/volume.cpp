// The stream's volume, its fade and the game radio's muting.
#include "radio/volume.h"

#include <windows.h>

#include "platform/bass.h"
#include "platform/host.h"
#include "platform/patch.h"
#include "radio/common/dial.h"
#include "radio/common/stream.h"
#include "radio/internet/reconnect.h"
#include "radio/jingles.h"

float g_streamVolume = 0.0f;

namespace {

constexpr double kFadeFactor = 0.001;  // share of the radio volume gained per odd-clock tick
constexpr double kCapVolume = 0.4;
constexpr double kAttenuationScale = 255.0;
constexpr uint8_t kRadioStateKeepsRadio = 7;
constexpr uint8_t kRadioModeAudible = 3;

// A short stall counts as playing, so that the game's station does not flicker in on a slow connection.
bool StreamPlaying() {
    const uint32_t stream = g_stationStream;
    return CountsAsPlaying(stream, BASS_ChannelIsActive(stream), GetTickCount());
}

}  // namespace

void MuteWhileOpening() {
    if (g_jingleCount == 0) {
        PatchByte(host::kRadioOutputSite,
                  HostRadioState() == kRadioStateKeepsRadio ? host::kRadioOutputOn : host::kRadioOutputOff);
    } else {
        PatchByte(host::kRadioOutputSite, host::kRadioOutputOff);
        if (IsStreamedStation(CurrentStation())) PlayJingle();
    }
    PatchByte(host::kRadioRetuneSite, host::kRadioRetuneOff);
}

void UpdateHostMute() {
    // The stream may change between the two questions; each answer acts alone.
    if (!StreamPlaying() && g_streamVolume == HostRadioVolume()) {
        PatchByte(host::kRadioRetuneSite, host::kRadioRetuneOn);
        PatchByte(host::kRadioOutputSite, host::kRadioOutputOn);
    }
    if (StreamPlaying()) {
        PatchByte(host::kRadioOutputSite, host::kRadioOutputOff);
        PatchByte(host::kRadioRetuneSite, host::kRadioRetuneOn);
    }
}

void ApplyVolumes() {
    BASS_ChannelSetAttribute(g_stationStream, BASS_ATTRIB_VOL, g_streamVolume);
    BASS_ChannelSetAttribute(g_jingleChannel, BASS_ATTRIB_VOL, HostRadioVolume());
    if (!IsStreamedStation(CurrentStation())) BASS_ChannelStop(g_jingleChannel);
}

void StepStreamVolume() {
    const bool alternative = HostAltStationFlag() != 0;
    if (alternative && HostRadioMode() != kRadioModeAudible) return;

    // The clock's lowest bit, not a time difference, gates each step.
    const double target = HostRadioVolume();
    const double gate = (HostClockMs() & 1u) ? 1.0 : 0.0;
    const double step = gate * target * kFadeFactor;
    const double faded = g_streamVolume + step;
    g_streamVolume = static_cast<float>(faded < target ? faded : target);
    if (alternative) return;

    if (HostCapWord() != 0 || HostCapByte() != 0) {
        g_streamVolume = static_cast<float>(target < kCapVolume ? target : kCapVolume);
    }
    const double attenuation = HostAttenuation();
    if (attenuation != 0.0) {
        g_streamVolume = static_cast<float>((1.0 - attenuation / kAttenuationScale) * target);
    }
}
