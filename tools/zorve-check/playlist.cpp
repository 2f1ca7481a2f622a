// A playlist station's tracks, lengths and refusals for the checker.
#include "tools/zorve-check/playlist.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>
#include <system_error>

#include "platform/timetext.h"
#include "radio/playlist/lengthdoubt.h"
#include "radio/playlist/trackcache.h"
#include "settings/settings.h"
#include "settings/text.h"
#include "tools/zorve-check/filetags.h"
#include "tools/zorve-check/tracklength.h"

namespace fs = std::filesystem;

namespace {

constexpr double kCentiPerUnit = 100.0;

void NoteLevel(PlaylistLook& look, const CachedLength& kept) {
    if (kept.level == LevelSource::kNone) return;
    const double lufs = kept.loudnessCentiLufs / kCentiPerUnit;
    const bool first = look.measured + look.tagged == 0;
    look.quietestLufs = first || lufs < look.quietestLufs ? lufs : look.quietestLufs;
    look.loudestLufs = first || lufs > look.loudestLufs ? lufs : look.loudestLufs;
    ++(kept.level == LevelSource::kTags ? look.tagged : look.measured);
}

}  // namespace

PlaylistLook LookAtPlaylist(const std::string& section) {
    PlaylistLook look{};
    if (!GetValue(section.c_str(), "source", "").empty()) return look;
    look.playlist = GetValue(section.c_str(), "playlist", "");
    if (look.playlist.empty()) return look;
    look.shuffle = GetLongValue(section.c_str(), "shuffle", 0) != 0;
    const TrackList list = ReadTrackList(look.playlist, look.shuffle, 0);
    if (list.fault == TrackListFault::kMissing) {
        look.fault = "no folder or playlist file " + look.playlist + " in the game folder";
        return look;
    }
    if (list.fault == TrackListFault::kUnreadable) {
        look.fault = "not a folder, nor a readable .m3u or .m3u8 file";
        return look;
    }
    look.problems = list.skipped;
    // The lengths the module learned, while each file is as it was then.
    TrackCache cache;
    LoadTrackCache(BaseDirFile(kTrackCacheName).c_str(), cache);
    for (const TrackFile& track : list.tracks) {
        // A file cut short or damaged in a way nobody foresaw is named, and the others are still looked at.
        try {
            std::error_code error;
            double seconds = 0;
            if (!fs::is_regular_file(track.path, error)) {
                look.problems.push_back({track.name, "no such file"});
                continue;
            }
            FileStamp stamp;
            const CachedLength* cached =
                ReadFileStamp(track.path, stamp) ? CachedTrack(cache, TrackCacheKey(track.path), stamp) : nullptr;
            if (!cached || !cached->exact) {
                const LengthDoubt doubt = DoubtOfHeaderLength(track.path);
                if (doubt != LengthDoubt::kNone) look.lengthsInDoubt.push_back({track.name, LengthDoubtText(doubt)});
            }
            if (cached) {
                NoteLevel(look, *cached);
                ++look.cachedLengths;
                seconds = cached->micros / 1e6;
            } else {
                const Length length = TrackLength(track.path, track.name, seconds);
                if (length == Length::kNotAudio || (length == Length::kKnown && !(seconds > 0))) {
                    look.problems.push_back({track.name, length == Length::kNotAudio ? "not an audio file" : "no sound in it"});
                    continue;
                }
                if (length != Length::kKnown) {
                    seconds = 0;
                    ++look.unknownLengths;
                }
            }
            ++look.tracks;
            look.seconds += seconds;
            TrackTags tags;
            ReadFileTags(track.path, tags);
            if (!tags.title.empty()) ++look.titled;
            if (tags.damaged) look.damagedTags.push_back(track.name);
            look.trackLooks.push_back({track.name, seconds, TrackTitle(tags, track.name)});
        } catch (const std::exception& fault) {
            look.problems.push_back({track.name, std::string("could not be read: ") + fault.what()});
        }
    }
    if (look.tracks == 0) look.fault = "no track in it plays";
    return look;
}

std::string PlaylistSummary(const PlaylistLook& look) {
    char length[16];
    FormatDuration(length, sizeof length, static_cast<uint32_t>(std::lround(look.seconds)));
    std::string text = std::to_string(look.tracks) + (look.tracks == 1 ? " track, " : " tracks, ") + length;
    if (look.unknownLengths) text += " and " + std::to_string(look.unknownLengths) + " of a length not read here";
    if (look.cachedLengths)
        text += " (" + std::to_string(look.cachedLengths) + (look.cachedLengths == 1 ? " length" : " lengths") +
                " from " + kTrackCacheName + ")";
    text += look.shuffle ? ", shuffled" : ", in order";
    if (look.measured + look.tagged) {
        char spread[96];
        std::snprintf(spread, sizeof spread, "; loudness of %d measured and %d from tags, %.1f to %.1f LUFS",
                      look.measured, look.tagged, look.quietestLufs, look.loudestLufs);
        text += spread;
    }
    return text;
}
