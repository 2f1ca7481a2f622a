// Playlist tracks' loudness, for levelling: measured ahead on the helper
// thread as background work, a track at a time and in short slices: first the
// tracks coming up on the station on air, then every other. Kept in the track
// cache beside the length, so that each track is measured once. A track whose
// tags give its level is never decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "radio/level/level.h"
#include "radio/playlist/programme.h"
#include "radio/playlist/tape.h"
#include "radio/playlist/tracklist.h"
#include "radio/tags/tags.h"

// Worker thread, whenever the settings are read or taken afresh (after
// ReadLevelSettings): hands the file stations' sources over, to be measured
// after the playlists' tracks; none while levelling is off.
void PlanFileLevels();

// Helper work, ahead of the tapes' learning: takes the sources handed over,
// so that a write of the cache keeps what it knows of them.
bool TakeFileLevelsPlan();

// Helper work: a slice of measuring (at most kMeasureSliceMs), or the start or
// end of a track's; false when levelling is off or every track is known.
bool MeasureLevelsStep();

// Helper thread, as a playlist station plays: its programme and the first of
// its items not begun yet; null when none plays.
void NoteComingUp(const Programme* programme, size_t next);

// Helper work, ahead of the tapes' learning: a slice of measuring, or the
// start, of a track coming up on air (a few from the one noted) that has no
// level yet; a track of the rest being measured is put off for it. False
// when they are all known.
bool MeasureComingUpStep();

// How many levels were kept so far: a track without one at its open may have one now.
uint32_t LevelsStored();

// What the cache knows of the track's level, while its file is as it was
// when measured. Helper thread.
TrackLevel KnownLevel(const TrackFile& track);

// A track's level from its ReplayGain tags, else its R128 gain; unknown without either.
TrackLevel LevelFromTags(const TrackTags& tags);

// A file station's source as a track: its path for the file calls, its text as its name.
TrackFile SourceTrack(const char* source);
