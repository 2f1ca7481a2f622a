// What a playlist station will play: its tracks, their total length, and the
// tracks that will not play, each with the reason.
#pragma once

#include <string>
#include <vector>

#include "radio/playlist/programme.h"
#include "radio/playlist/tracklist.h"

// One playing track, for the list of every track.
struct TrackLook {
    std::string name;
    double seconds;    // 0 when its length cannot be read here
    std::string title; // what it is called on air
};

// A station's idents or spots: its clips, their total length, and the clips
// that will not play, each with the reason.
struct ClipsLook {
    std::string key;     // "idents" or "spots"
    std::string folder;  // the key's value; empty: the station has none
    std::string fault;   // why none of them plays; empty when some do
    int clips = 0;       // clips that play
    double seconds = 0;
    std::vector<SkippedTrack> problems;
    std::vector<TrackLook> clipLooks;  // every playing clip, in the station's order
};

// An item of the programme, from the start of the tape.
struct ProgrammeLine {
    double at;          // seconds from the start
    std::string kind;   // "song", "ident" or "spot"
    std::string name;
};

struct PlaylistLook {
    std::string playlist;  // the key's value; empty: the station has no playlist
    bool shuffle;
    std::string fault;  // why the whole playlist plays nothing; empty when it plays
    int tracks;         // tracks that play
    double seconds;     // their total length, as far as it can be read here
    int unknownLengths; // playing tracks whose length cannot be read here
    int cachedLengths;  // lengths taken from the module's kept lengths
    // Levelling, from the module's kept track data: tracks whose loudness was
    // measured or taken from their tags, and the quietest and loudest of them.
    int measured;
    int tagged;
    double quietestLufs;
    double loudestLufs;
    std::vector<SkippedTrack> problems;
    // Tracks that play but whose header cannot vouch for their length, and
    // why: the game scans each once for its exact length.
    std::vector<SkippedTrack> lengthsInDoubt;
    int titled;         // playing tracks with a title in their tags
    std::vector<std::string> damagedTags;  // playing tracks whose tags are damaged in part
    std::vector<TrackLook> trackLooks;     // every playing track, in playing order
    ClipsLook idents;
    ClipsLook spots;
    ProgrammeRules rules;
    std::vector<std::string> refusals;     // programme values refused, as the run log says them
    std::vector<ProgrammeLine> firstHour;  // with idents or spots: the programme's first hour
};

// The playlist of a station section; its value is read only when the
// station has no source, as the module does. The station's number fixes the
// shuffled order, as it does in the game.
PlaylistLook LookAtPlaylist(const std::string& section, int station);

// "12 tracks, 41:07, shuffled" and the like.
std::string PlaylistSummary(const PlaylistLook& look);
