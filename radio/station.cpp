// Acting on a station change.
#include "radio/station.h"

#include "platform/bass.h"
#include "radio/player.h"
#include "radio/volume.h"

uint8_t g_lastStation = kNoStation;

void HandleStationChange() {
    const uint8_t station = CurrentStation();
    if (station == g_lastStation) return;
    ++g_stationChanges;
    BASS_ChannelStop(g_stationStream);
    if (IsStreamedStation(station)) StartStation(static_cast<int8_t>(station));
    g_streamVolume = 0.0f;
    g_lastStation = station;
}

void RestartChangedStation(uint16_t changedSources) {
    if (IsStreamedStation(g_lastStation) && (changedSources >> g_lastStation & 1u)) g_lastStation = kNoStation;
}
