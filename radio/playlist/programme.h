// A playlist station's programme: its songs with the station's idents between
// them and breaks of spots at set times of the broadcast, as one endless tape
// of items whose lengths are the tracks' own. Plain list work over tapes,
// shared with the players' checker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "radio/playlist/tape.h"

// How often clips come. Absent keys give the defaults.
struct ProgrammeRules {
    uint32_t identsEvery = 2;         // songs between two idents; 0: no idents
    uint32_t spotsEveryMinutes = 15;  // broadcast between two breaks' due times; 0: no breaks
    uint32_t spotsCount = 2;          // spots in a break; 0: no breaks
};

// The idents and spots keys of a station's section: folders or playlists of clips.
struct ClipFolders {
    std::string idents;
    std::string spots;
};

// A station's programme keys as the settings give them, with a line for the
// run log for each value refused (its default is used instead).
struct ProgrammeSetup {
    ClipFolders clips;
    ProgrammeRules rules;
    std::vector<std::string> refusals;
};

// Reads the keys of a section ("TRACK3") of the settings in force.
ClipFolders ReadClipFolders(const std::string& section);
ProgrammeSetup ReadProgrammeSetup(const std::string& section);

// A whole number in first..last, written in decimal digits alone; false otherwise.
bool ParseProgrammeCount(const std::string& text, uint32_t last, uint32_t& value);

struct ProgrammeItem {
    Tape* tape;    // the tape the track is of
    Track* track;  // its length may be 0: unplayable, or not learned yet
    bool breakStart = false;  // the first spot of a break
};
using Programme = std::vector<ProgrammeItem>;

// Lays the programme out from the start of the song tape: after every
// identsEvery playable songs an ident; at the first song boundary at or after
// each due time of a break (every spotsEveryMinutes of the programme's own
// time from its start), spotsCount spots. A break and an ident never follow
// each other: an ident due at a break waits for the next song. Idents and
// spots each rotate through their playable clips in their tape's order, from
// its first clip at the programme's start; the songs go round again, on the
// same clock, until a break has come (when there are spots) and both
// rotations are back at their first clip, and the programme then starts over. idents or spots may be null.
// Clips not playable or not learned yet are passed over. The vector's room is
// kept, so that a programme laid out again into it allocates only when it grows.
void LayOutProgramme(Tape& songs, Tape* idents, Tape* spots, const ProgrammeRules& rules, Programme& programme);
