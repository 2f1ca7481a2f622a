// Playlist stations driven through the real module: the live track, a track
// change, a track that will not play, and a playlist with nothing to play.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

int PlayPlaylists();

// A track whose header gives a wrong length, and one that gives none: the
// tape and the cache take the exact lengths of the full scan.
int PlayExactTape();

// What the playlist drives share with the programme's.

// Tracks are 8 kHz mono, read as float; the stream is stereo float.
constexpr uint32_t kTrackRate = 8000;
constexpr uint64_t kFloatBytesPerSecond = kTrackRate * 4;

// A run of bytes read from a track's channel into the playlist stream, and
// when it is heard: each pull of the stream is heard a buffer after it is
// written, from where the pull says the stream was heard.
struct Piece {
    uint32_t channel;
    uint64_t from, to;  // the channel's bytes
    double heardFromMs, heardToMs;
};

bool EndsWith(const char* text, const char* ending);
std::vector<Piece> Heard(uint32_t stream, int first);
// The track channel the module opened from the file ending in name, since first.
uint32_t TrackOpened(const char* name, int first);
uint32_t StreamPlaying(int first);
// Where the module placed the channel, in bytes; all ones when it did not.
uint64_t PositionSet(uint32_t channel, int first);
void TuneHeld(int32_t station, uint32_t clockMs);
// Follows the stream until the track channel `last` has been heard, the game's
// radio watched all along; the pieces heard by then.
std::vector<Piece> HearUntil(uint32_t stream, int first, const std::function<uint32_t()>& last, bool& radioHeard,
                             const std::string& what);
std::string TrackName(uint32_t channel, int first);
// Consecutive pieces of different channels: the first ran to its end (bytes
// long, by its name) and the next began at its start, heard within 20 ms of
// each other (at the tracks' own rate). The largest gap or overlap at a join,
// in ms; 0 through the resampler, where only the order of reads is checked.
double CheckSeamless(const std::vector<Piece>& pieces, int first,
                     const std::function<uint64_t(const std::string&)>& bytes, const std::string& what);
// The game runs with the player in a car and the clock at clockMs; the output
// mixes at the tracks' rate unless a resampled drive set another.
void StartDriving(uint32_t clockMs);
// The same drives with the output at 48 kHz: every track through the resampler.
int PlayPlaylistsResampled();
int PlayExactTapeResampled();
