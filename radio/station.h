// Which station the game is tuned to, and acting on a change of station.
#pragma once

#include <atomic>
#include <cstdint>

constexpr uint8_t kNoStation = 0;
constexpr uint8_t kLastStreamedStation = 11;
constexpr int32_t kStationRing = 13;

// Station for which the last change was handled; worker thread only.
extern uint8_t g_lastStation;
// Station changes handled so far, counted before the new station starts:
// other threads tell by it whether what they did belongs to an earlier station.
extern std::atomic<uint32_t> g_stationChanges;

// The station tuned now: 0 none, 1-11 ours, 12-13 the game's; other values
// come only from out-of-range game values.
uint8_t CurrentStation();

// Stations 1 to 11 play the player's sources.
bool IsStreamedStation(uint8_t station);

// On a change: stops the old stream, starts a streamed station, restarts the fade.
void HandleStationChange();
