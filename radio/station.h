// Acting on a change of the station the game is tuned to.
#pragma once

#include <cstdint>

#include "radio/dial.h"

// Station for which the last change was handled; worker thread only.
extern uint8_t g_lastStation;

// On a change: stops the old stream, starts a streamed station, restarts the fade.
void HandleStationChange();
