// The tracks of a playlist station: a folder of audio files or a .m3u/.m3u8
// playlist file, in their playing order, and where a broadcast time falls on
// the endless tape they make. Plain file and text work, shared with the
// players' checker.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct TrackFile {
    std::filesystem::path path;
    std::string name;  // as the player wrote or named it, UTF-8
};

// A line or file that is not a track, and why, in words for the player.
struct SkippedTrack {
    std::string name;
    std::string reason;
};

// Why a playlist gives no track list at all.
enum class TrackListFault { kNone, kMissing, kUnreadable };

struct TrackList {
    TrackListFault fault = TrackListFault::kNone;
    std::vector<TrackFile> tracks;
    std::vector<SkippedTrack> skipped;
};

// The longest path the audio library and the game's file calls take.
constexpr size_t kMaxTrackPath = 259;

// Reads the playlist key's value (UTF-8; relative paths from the game folder):
// a folder gives the audio files directly in it, in name order without letter
// case; a .m3u or .m3u8 file gives its lines in file order, paths relative to
// its own folder, blank and '#' lines left out, URLs and over-long paths
// skipped with a reason. With shuffle the order is a fixed mix of the tracks
// that depends on the station and the track names only.
TrackList ReadTrackList(const std::string& playlist, bool shuffle, uint8_t station);

// True when the name's ending is that of an audio format the library or one
// of its add-ons plays.
bool IsAudioFileName(const std::string& name);

// Finds where seconds falls on the tape made of tracks of these lengths, one
// after the other and over again: the track and the seconds into it. Tracks
// of no length are never chosen. False when the tape has no length.
bool LocateOnTape(const std::vector<double>& lengths, double seconds, size_t& track, double& within);
