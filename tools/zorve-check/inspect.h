// What the module will make of a game folder: every station, jingle and the
// position entry, worked out with the module's own settings code from the
// game folder as current directory, as the game runs it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/zorve-check/playlist.h"

enum class Verdict {
    Plays,
    Note,      // nothing to play, or plays with a remark
    Warning,   // may not play; cannot be told from here
    Fails,     // configured, but will not play
};

struct ColourLook {
    const char* key;
    bool set;  // false: the game's own colour is used
    std::string text;
    uint8_t red, green, blue;
    std::string note;
};

struct StationLook {
    int number;
    std::string source;
    Verdict verdict;
    std::string status;  // "file", "stream", "no source", "not played", ...
    std::string detail;
    bool shown;  // has a name or colours of its own
    std::string name;
    ColourLook colorA, colorB, shadow;
    PlaylistLook playlist;  // for a station without a source
};

struct JingleLook {
    int number;  // position in the list, from 1
    std::string name;
    std::string path;
    Verdict verdict;
    std::string status;  // "loads", "skipped", "ignored", ...
    std::string detail;
};

struct PositionLook {
    std::string text;  // as written; empty when missing
    int32_t value;
    bool number;       // text read as a number
    bool used;         // taken as the broadcast offset
};

struct FolderLook {
    bool settingsFound;
    bool audioLibraryFound;
    std::string audioLibraryVersion;  // from its version resource; empty when it has none
    bool audioLibraryRefused;         // a version other than 2.4
    std::vector<std::string> addOns;  // bass*.dll beside it
    std::vector<StationLook> stations;
    std::vector<JingleLook> jingles;
    int jinglesLoaded;
    PositionLook position;
    bool reconnect;  // [INTERNET] reconnect: lost internet streams are opened again
};

extern const char kSettingsFile[];
extern const char kAudioLibrary[];

// Reads the settings with the module's loader; the current directory must be
// the game folder.
FolderLook InspectGameFolder();

bool AnyFailure(const FolderLook& look);
