// Playlist stations: a station whose section has no source but a "playlist"
// key plays a folder or a playlist file as one endless live broadcast, track
// after track without a gap.
#pragma once

#include <cstdint>

// Hands over the opening of the station's playlist, as the other openings
// are; does nothing when its section names none. Worker thread.
void StartPlaylist(int8_t station);

// Helper thread: after a track ended, frees it, and readies the track after
// the one now playing (or plays it at once when none was ready). False when
// no track had ended.
bool AdvancePlaylist();
