// What the game did during a drive, for the sound and picture of it
// (scripts/render): one line per change, "SECONDS KEY VALUE", the seconds on
// the clock of the fake audio library's record, so both share one time axis.
#pragma once

#include <string>

// Now, on the clock of the fake audio library's record.
double RecordSeconds();

// Starts the file (the line "start" is where the rendered drive begins).
void OpenTimeline(const char* path);
void TimelineMark(const char* key, const std::string& value);
// Notes the game state the sound depends on, where it changed since the last
// look: whether the game's own radio sounds, the radio audible, the player in
// a car, the game's radio volume and cap, the station name on screen.
void SampleGame();
void CloseTimeline();
