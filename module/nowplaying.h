// Carries what plays from the radio to the screen's now-playing line.
#pragma once

// Every tick, after the station's own work: takes a name the radio announced
// and publishes it when [DISPLAY] nowplaying is on; no line is left from an
// earlier station; tells the line whether our radio is heard.
void CarryNowPlaying(bool audible);
