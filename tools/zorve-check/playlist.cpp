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

// Why a list gives no tracks at all; empty when it gives some.
std::string ListFault(const TrackList& list, const std::string& value) {
    if (list.fault == TrackListFault::kMissing) return "no folder or playlist file " + value + " in the game folder";
    if (list.fault == TrackListFault::kUnreadable) return "not a folder, nor a readable .m3u or .m3u8 file";
    return "";
}

// Every track of the list: its length, from the module's kept lengths while
// its file is as it was then, else read here; its title, level and doubts.
void LookAtTracks(const TrackList& list, const TrackCache& cache, PlaylistLook& look) {
    look.problems = list.skipped;
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
}

void LookAtClips(ClipsLook& clips, TapeKind kind, const std::string& folder, int station, const TrackCache& cache) {
    clips.key = TapeKey(kind);
    clips.folder = folder;
    if (folder.empty()) return;
    // Clips keep an order fixed by the station, as the game plays them.
    const TrackList list = ReadTrackList(folder, true, static_cast<uint8_t>(station));
    clips.fault = ListFault(list, folder);
    if (!clips.fault.empty()) return;
    PlaylistLook tracks{};
    LookAtTracks(list, cache, tracks);
    clips.clips = tracks.tracks;
    clips.seconds = tracks.seconds;
    clips.problems = std::move(tracks.problems);
    clips.clipLooks = std::move(tracks.trackLooks);
    if (clips.clips == 0) clips.fault = "no clip in it plays";
}

Tape TapeOfLooks(TapeKind kind, const std::vector<TrackLook>& looks) {
    Tape tape;
    tape.kind = kind;
    tape.listed = true;
    for (const TrackLook& look : looks) tape.tracks.push_back({{{}, look.name}, look.seconds, false, look.title});
    tape.learned = tape.tracks.size();
    return tape;
}

// The programme's items that start within its first hour.
void LayOutFirstHour(PlaylistLook& look) {
    constexpr double kHourSeconds = 3600;
    Tape songs = TapeOfLooks(TapeKind::kSongs, look.trackLooks);
    Tape idents = TapeOfLooks(TapeKind::kIdents, look.idents.clipLooks);
    Tape spots = TapeOfLooks(TapeKind::kSpots, look.spots.clipLooks);
    Programme programme;
    LayOutProgramme(songs, look.idents.clips ? &idents : nullptr, look.spots.clips ? &spots : nullptr, look.rules,
                    programme);
    double total = 0;
    for (const ProgrammeItem& item : programme) total += item.track->seconds;
    if (!(total > 0)) return;
    // The tape plays over again when the hour is longer.
    for (double at = 0; at < kHourSeconds;) {
        for (const ProgrammeItem& item : programme) {
            if (!(item.track->seconds > 0)) continue;
            if (at >= kHourSeconds) return;
            const char* kind = item.tape == &songs ? "song" : item.tape == &idents ? "ident" : "spot";
            look.firstHour.push_back({at, kind, item.track->file.name});
            at += item.track->seconds;
        }
    }
}

}  // namespace

PlaylistLook LookAtPlaylist(const std::string& section, int station) {
    PlaylistLook look{};
    if (!GetValue(section.c_str(), "source", "").empty()) return look;
    look.playlist = GetValue(section.c_str(), "playlist", "");
    if (look.playlist.empty()) return look;
    look.shuffle = GetLongValue(section.c_str(), "shuffle", 0) != 0;
    const TrackList list = ReadTrackList(look.playlist, look.shuffle, static_cast<uint8_t>(station));
    look.fault = ListFault(list, look.playlist);
    if (!look.fault.empty()) return look;
    // The lengths the module learned, while each file is as it was then.
    TrackCache cache;
    LoadTrackCache(BaseDirFile(kTrackCacheName).c_str(), cache);
    LookAtTracks(list, cache, look);
    if (look.tracks == 0) {
        look.fault = "no track in it plays";
        return look;
    }
    ProgrammeSetup setup = ReadProgrammeSetup(section);
    look.rules = setup.rules;
    look.refusals = std::move(setup.refusals);
    LookAtClips(look.idents, TapeKind::kIdents, setup.clips.idents, station, cache);
    LookAtClips(look.spots, TapeKind::kSpots, setup.clips.spots, station, cache);
    if (look.idents.clips || look.spots.clips) LayOutFirstHour(look);
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
