// Playlist stations: a station whose section has no source but a "playlist"
// key plays a folder or a playlist file as one endless live broadcast, track
// after track without a gap.
#pragma once

#include <cstdint>

// Hands over the opening of the station's playlist, as the other openings
// are; does nothing when its section names none. Worker thread.
void StartPlaylist(int8_t station);

// Helper thread: frees the tracks the stream has played out, logs each track
// change it reports, and opens the tracks that follow; lets the tape go when
// another station's stream took over. False when there was nothing to do.
bool AdvancePlaylist();

// Helper thread, in another station's opening: when the playlist's stream is
// on air, takes it off and stops it with its tracks before anything new is
// made, so that its number, which the library may give to the next stream,
// is forgotten first. True when it did.
bool StopPlaylistOnAir();
