// The tapes of playlist stations: each station's tracks in playing order with
// their lengths, learned from the tracks' headers or from the cache of earlier
// runs. The helper thread learns every playlist station's tape ahead, a track
// at a time between its other jobs, so that a tape is usually whole before
// the player tunes in; an opening that finds its tape still being learned
// learns on for a second at most and then plays the tracks known so far.
// Everything here but PlanTapes runs on the helper thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "radio/playlist/trackcache.h"
#include "radio/playlist/tracklist.h"

struct Track {
    TrackFile file;
    double seconds = 0;  // 0: not playable, or not learned yet
    bool exact = false;  // from a full scan of the file
    std::string title;   // what it is called on air, read from its tags when first opened to play
};

struct Tape {
    bool listed = false;
    std::string playlist;
    bool shuffle = false;
    std::vector<Track> tracks;
    size_t learned = 0;        // tracks learned, from the first on: the rest have no length yet
    bool partOnAir = false;    // an opening started on it before it was whole
    size_t vouched = 0;        // tracks, from the first on, whose length is known to be right or was scanned
    uint32_t highestRate = 0;  // of the tracks opened to play so far, samples a second
};

// Worker thread, once the settings are read: hands the playlist stations over
// to be learned ahead, in station order.
void PlanTapes();

// Helper work: one step of learning ahead (the cache read, a station's track
// list, one track, or the cache written); false when nothing was left to do.
bool LearnTapesStep();

// The opening of a playlist station: its tape, listed anew when the playlist
// or the shuffle changed, and learned for up to a second. Tracks not
// learned yet have no length, so that the tape plays as the ones known so far.
Tape& TapeForOpening(int8_t station, const char* playlist, bool shuffle);

// A track of the tape was opened with the full scan, which gave its exact
// length: it replaces the learned one on the tape and in the cache, and the
// tape's later tracks move with it.
void NoteExactLength(Tape& tape, Track& track, double seconds);
// For levelling, on the helper thread: a station's tape (1..11), what the
// cache knows of the tracks (a level is added to a track's line only), and
// the mark that the cache holds what its file lacks.
const Tape& StationTape(int8_t station);
TrackCache& KeptTracks();
bool KeptTracksRead();  // the cache file has been read: what it knows is in KeptTracks
void KeptTracksChanged();
// Cache keys of files that no tape holds (file stations' sources) whose lines are kept too.
std::vector<std::string>& KeptBesideTapes();

// For the run log: a track that the library would not open.
void LogTrackLeftOut(const TrackFile& track, int32_t error);
