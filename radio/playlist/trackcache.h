// The track lengths learned in earlier runs: audio/streams/zorve-tracks.cache,
// plain text, a line per track, with what else is known of the track: whether
// its length came from a full scan, and its loudness and peak for levelling.
// Lines of the first format are still read for their lengths. A length is trusted only while its file has
// the size and last write time it had when it was learned, and only from a
// line that carries its own intact check sum in a file of this format. Plain
// file and text work, shared with the players' checker.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/files.h"

// The cache's name in the module's folder.
extern const char kTrackCacheName[];

// How a track's loudness became known.
enum class LevelSource : uint8_t { kNone, kTags, kMeasured };

struct CachedLength {
    FileStamp stamp;
    uint64_t micros = 0;  // the length in microseconds, above 0
    bool exact = false;   // from a full scan of the file: never to be scanned again
    LevelSource level = LevelSource::kNone;
    int32_t loudnessCentiLufs = 0;  // integrated loudness, hundredths of LUFS (with a level)
    uint32_t peakMillionths = 0;    // sample peak, millionths of full scale (with a level)
};

// By TrackCacheKey of the track's path.
using TrackCache = std::unordered_map<std::string, CachedLength>;

// The path as the playlist gives it, in UTF-8 with forward slashes, so that
// the module and the checker on any system name a track alike.
std::string TrackCacheKey(const std::filesystem::path& path);

// The lines of text that are whole and intact. False when the text is not a
// cache of this format at all (nothing is taken then) or when any line was
// refused: the cache should then be written anew.
bool ParseTrackCache(const std::string& text, TrackCache& cache);

// A cache file's text with the lengths of these paths that cache holds, each
// once, in this order; every other length is left out.
std::string FormatTrackCache(const TrackCache& cache, const std::vector<std::string>& paths);

// What the cache holds for the track at path when its file is as it is now
// (stamp); null otherwise.
const CachedLength* CachedTrack(const TrackCache& cache, const std::string& path, const FileStamp& stamp);

// Reads the cache file; an unreadable, missing or overlong one gives an empty cache and false.
bool LoadTrackCache(const char* file, TrackCache& cache);

// Writes text to file through file.tmp and one rename, so that a write cut
// short leaves the old cache whole. False when it could not be written.
bool SaveTrackCache(const char* file, const std::string& text);
