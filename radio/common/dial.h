// Which station the game is tuned to.
#pragma once

#include <cstdint>

constexpr uint8_t kNoStation = 0;
constexpr uint8_t kLastStreamedStation = 11;
constexpr int32_t kStationRing = 13;

// The station tuned now: 0 none, 1-11 ours, 12-13 the game's; other values
// come only from out-of-range game values.
uint8_t CurrentStation();

// Stations 1 to 11 play the player's sources.
bool IsStreamedStation(uint8_t station);
