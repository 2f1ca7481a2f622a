// Playlist tracks' loudness, for levelling: measured ahead on the helper
// thread, a track at a time and in short slices, behind every other work,
// and kept in the track cache beside the length, so that each track is
// measured once. A track whose tags give its level is never decoded.
#pragma once

#include "radio/level/level.h"
#include "radio/playlist/tracklist.h"

// Helper work: a slice of measuring (at most kMeasureSliceMs), or the start or
// end of a track's; false when levelling is off or every track is known.
bool MeasureLevelsStep();

// What the cache knows of the track's level. Helper thread.
TrackLevel KnownLevel(const TrackFile& track);
