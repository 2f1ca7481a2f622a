// How the game sees a path that the module tests with PathExists, from the
// game folder as current directory: on Windows the path is asked for as it
// stands; elsewhere it is first looked up the way Windows would.
#pragma once

#include <string>

enum class PathKind {
    Missing,
    Folder,
    EmptyFile,
    Audio,    // starts like a WAV, AIFF, MP3, OGG, FLAC, Opus, AAC or M4A file
    Unknown,  // a file of some other kind
    Unchecked,  // a drive or network path, which only Windows can look up
};

struct PathLook {
    PathKind kind;
    std::string format;  // "WAV", "MP3", "FLAC", ... for Audio
};

// True for paths the module's PathExists accepts, as the game would see them.
bool ExistsForGame(const std::string& path);

PathLook LookAt(const std::string& path);

#ifndef _WIN32
// The path as Windows resolves it, mapped onto this file system: "\" and "/"
// both separate, "." and ".." are taken away by name, the last name loses its
// trailing dots and blanks, and names match without regard to letter case.
// Empty when nothing matches.
std::string ResolveLikeWindows(const std::string& path);
#endif
