// Acting on a change of the station the game is tuned to.
#pragma once

#include <cstdint>

#include "radio/common/dial.h"

// Station for which the last change was handled; worker thread only.
extern uint8_t g_lastStation;

// On a change: stops the old stream, starts a streamed station, restarts the fade.
void HandleStationChange();

// The settings changed the sources of the stations in changedSources (bit n
// for station n): the one tuned now plays afresh from the next audible tick,
// as after a change of station.
void RestartChangedStation(uint16_t changedSources);
