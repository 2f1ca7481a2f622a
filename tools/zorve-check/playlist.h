// What a playlist station will play: its tracks, their total length, and the
// tracks that will not play, each with the reason.
#pragma once

#include <string>
#include <vector>

#include "radio/playlist/tracklist.h"

// One playing track, for the list of every track.
struct TrackLook {
    std::string name;
    double seconds;    // 0 when its length cannot be read here
    std::string title; // what it is called on air
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
};

// The playlist of a station section; its value is read only when the
// station has no source, as the module does.
PlaylistLook LookAtPlaylist(const std::string& section);

// "12 tracks, 41:07, shuffled" and the like.
std::string PlaylistSummary(const PlaylistLook& look);
