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

// What a tape holds: a playlist station's songs, or the clips of its idents or
// spots key, which play between the songs (radio/playlist/programme).
enum class TapeKind : uint8_t { kSongs, kIdents, kSpots };
constexpr size_t kTapeKinds = 3;

// The key that names a tape's files in a station's section.
inline const char* TapeKey(TapeKind kind) {
    return kind == TapeKind::kIdents ? "idents" : kind == TapeKind::kSpots ? "spots" : "playlist";
}

struct Track {
    TrackFile file;
    double seconds = 0;  // 0: not playable, or not learned yet
    bool exact = false;  // from a full scan of the file
    std::string title;   // what it is called on air, read from its tags when first opened to play
};

struct Tape {
    TapeKind kind = TapeKind::kSongs;
    bool listed = false;
    bool unlisted = false;     // its folder or list file is missing or unreadable
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

// The opening of a playlist station: its tape of this kind, listed anew when
// the playlist or the shuffle changed, and learned until a second after
// startedMs (the system's tick count when the opening began). Tracks not learned yet have no length, so that the tape plays as
// the ones known so far. A tape of songs learns on past the second while none
// of its tracks is known to play; one of clips never does.
Tape& TapeForOpening(int8_t station, TapeKind kind, const char* playlist, bool shuffle, uint32_t startedMs);

// A track of the tape was opened with the full scan, which gave its exact
// length: it replaces the learned one on the tape and in the cache, and the
// tape's later tracks move with it.
void NoteExactLength(Tape& tape, Track& track, double seconds);
// For levelling, on the helper thread: a station's tape (1..11), what the
// cache knows of the tracks (a level is added to a track's line only), and
// the mark that the cache holds what its file lacks.
const Tape& StationTape(int8_t station, TapeKind kind = TapeKind::kSongs);
TrackCache& KeptTracks();
bool KeptTracksRead();  // the cache file has been read: what it knows is in KeptTracks
void KeptTracksChanged();
// Cache keys of files that no tape holds (file stations' sources) whose lines are kept too.
std::vector<std::string>& KeptBesideTapes();

// For the run log: a track that the library would not open.
void LogTrackLeftOut(const TrackFile& track, int32_t error);
