// Playlist tapes: track lengths learned ahead on the helper thread and kept in the cache.
#include "radio/playlist/tape.h"

#include <windows.h>

#include <atomic>
#include <cmath>
#include <new>
#include <unordered_set>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/files.h"
#include "platform/runlog.h"
#include "platform/threads.h"
#include "platform/timetext.h"
#include "radio/common/dial.h"
#include "radio/common/output.h"
#include "radio/common/stationlog.h"
#include "radio/playlist/lengthdoubt.h"
#include "radio/playlist/trackcache.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

// Only the length is wanted: from the file's header, without a scan of the whole file.
constexpr BassDword kLengthFlags = BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_UNICODE;
// The whole file read for its length: exact, but as slow as a read of the file.
constexpr BassDword kScanFlags = kLengthFlags | BASS_STREAM_PRESCAN;
// A scanned length this close to the learned one leaves the tape as it is.
constexpr double kLengthToleranceSeconds = 0.010;
constexpr size_t kStationNumbers = kLastStreamedStation + 1;
// The longest an opening learns before it plays the tracks known so far.
constexpr DWORD kOpeningLearnMs = 1000;
// While a long learning runs, what it learned reaches the disk this often.
constexpr DWORD kCacheWriteEveryMs = 5000;
// A length not learned now: the library opens nothing without an audio device.
constexpr double kNotNow = -1;
// Lengths are kept to the microsecond, in the cache and on the tape alike, so
// that a tape from the cache is the very tape that was learned.
constexpr double kMicrosPerSecond = 1e6;

struct PlannedTape {
    int8_t station;
    TapeKind kind;
    bool shuffle;
    std::string playlist;
};
using TapePlan = std::vector<PlannedTape>;

// A tape of each kind for each station, kTapeKinds in a row per station.
constexpr size_t kTapeSlots = kStationNumbers * kTapeKinds;
// The order in which a station's tapes are learned: the short lists of clips
// first, so that the programme has them when its songs are still being learned.
constexpr TapeKind kLearningOrder[kTapeKinds] = {TapeKind::kIdents, TapeKind::kSpots, TapeKind::kSongs};

// Never destroyed: the exit work must not free memory. Helper thread only.
Tape* const g_tapes = new Tape[kTapeSlots];
TrackCache& g_cache = *new TrackCache;
TapePlan* g_plan = nullptr;
std::vector<std::string>& g_keptBeside = *new std::vector<std::string>;
bool g_cacheRead = false;
bool g_cacheDirty = false;     // holds lengths the file lacks
bool g_tapeCompleted = false;  // since the cache was last written
bool g_goneNoted = false;      // the cache was checked for tracks of no playlist of the plan
DWORD g_cacheWrittenAt = 0;
int8_t g_onAirStation = 0;     // the last one opened: its tape is learned first

// Handed from the worker to the helper thread.
std::atomic<TapePlan*> g_newPlan{nullptr};

Tape& TapeOf(int8_t station, TapeKind kind) {
    return g_tapes[static_cast<uint8_t>(station) * kTapeKinds + static_cast<size_t>(kind)];
}

std::string CachePath() {
    return BaseDirFile(kTrackCacheName);
}

bool Incomplete(const Tape& tape) {
    return tape.listed && tape.learned < tape.tracks.size();
}

void ResetTape(Tape& tape, TapeKind kind, const char* playlist, bool shuffle) {
    tape.kind = kind;
    tape.listed = false;
    tape.unlisted = false;
    tape.playlist = playlist;
    tape.shuffle = shuffle;
    tape.tracks.clear();
    tape.learned = 0;
    tape.partOnAir = false;
    tape.vouched = 0;
    tape.highestRate = 0;
}

void AdoptPlan(TapePlan* plan) {
    BusyMark memory(g_memoryWork);
    delete g_plan;
    g_plan = plan;
    for (const PlannedTape& planned : *plan) {
        Tape& tape = TapeOf(planned.station, planned.kind);
        // The tapes on air stay as they are; their next opening lists the new playlist.
        if (planned.station == g_onAirStation) continue;
        if (tape.playlist != planned.playlist || tape.shuffle != planned.shuffle)
            ResetTape(tape, planned.kind, planned.playlist.c_str(), planned.shuffle);
    }
    g_cacheWrittenAt = GetTickCount();
    g_goneNoted = false;
}

void ReadCache() {
    BusyMark memory(g_memoryWork);
    BusyMark files(g_fileWork);
    const std::string path = CachePath();
    g_cacheRead = true;
    if (LoadTrackCache(path.c_str(), g_cache) || !PathExists(path.c_str())) return;
    g_cacheDirty = true;
    LogLine("track lengths: %s is damaged or of another version; what it holds whole is used, and it is written anew",
            kTrackCacheName);
}

void WriteCache() {
    BusyMark memory(g_memoryWork);
    BusyMark files(g_fileWork);
    // Only the tracks of the playlists as they are now: the rest is left out.
    std::vector<std::string> paths;
    for (size_t slot = kTapeKinds; slot < kTapeSlots; ++slot) {
        if (!g_tapes[slot].listed) continue;
        for (const Track& track : g_tapes[slot].tracks) paths.push_back(TrackCacheKey(track.file.path));
    }
    paths.insert(paths.end(), g_keptBeside.begin(), g_keptBeside.end());
    if (!SaveTrackCache(CachePath().c_str(), FormatTrackCache(g_cache, paths)))
        LogLine("track lengths: %s could not be written; they are learned again in the next run", kTrackCacheName);
    g_cacheDirty = false;
    g_tapeCompleted = false;
    g_cacheWrittenAt = GetTickCount();
}

// Lengths of tracks that no playlist names any more are left out of the next write.
void NotePlaylistsGone() {
    BusyMark memory(g_memoryWork);
    std::unordered_set<std::string> named;
    for (size_t slot = kTapeKinds; slot < kTapeSlots; ++slot)
        for (const Track& track : g_tapes[slot].tracks) named.insert(TrackCacheKey(track.file.path));
    named.insert(g_keptBeside.begin(), g_keptBeside.end());
    for (const auto& entry : g_cache) {
        if (named.count(entry.first)) continue;
        g_cacheDirty = true;
        return;
    }
}

void ListTape(Tape& tape, int8_t station) {
    BusyMark memory(g_memoryWork);
    BusyMark files(g_fileWork);
    TrackList list = ReadTrackList(tape.playlist, tape.shuffle, static_cast<uint8_t>(station));
    const bool clips = tape.kind != TapeKind::kSongs;
    if (list.fault != TrackListFault::kNone) {
        LogLine("%s %s: %s%s", TapeKey(tape.kind), tape.playlist.c_str(),
                list.fault == TrackListFault::kMissing ? "there is no such folder or file"
                                                       : "not a folder, nor a readable .m3u or .m3u8 file",
                clips ? "; songs only" : "");
    }
    for (const SkippedTrack& skipped : list.skipped)
        LogLine("%s %s: %s left out: %s", TapeKey(tape.kind), tape.playlist.c_str(), skipped.name.c_str(),
                skipped.reason.c_str());
    tape.unlisted = list.fault != TrackListFault::kNone;
    tape.tracks.clear();
    tape.tracks.reserve(list.tracks.size());
    for (TrackFile& file : list.tracks) tape.tracks.push_back({std::move(file), 0, false, {}});
    tape.listed = true;
    tape.learned = 0;
    tape.vouched = 0;
}

// What an open of a track for its length found.
enum class Opened { kLength, kRefused, kUnknown, kNotNow };

// The track's length from an open with these flags: from its header, or with
// the full scan the exact one. A refusal is logged when the track is being
// learned; a later scan's refusal is said when the track comes to play. An
// open refused for want of a device is no refusal of the track: kNotNow.
Opened OpenForLength(const TrackFile& file, BassDword flags, double& seconds, bool learning = true) {
    BusyMark audio(g_audioWork);
    BusyMark files(g_fileWork);
    seconds = 0;
    const BassDword stream = BASS_StreamCreateFile(kBassFalse, file.path.c_str(), 0, 0, flags);
    if (!stream) {
        // Asked of the library itself: with the run log off OpenError says
        // nothing, and the track would be left out for want of a device.
        const int32_t error = BASS_ErrorGetCode();
        if (error == BASS_ERROR_INIT) return Opened::kNotNow;
        if (learning) LogTrackLeftOut(file, error);
        return Opened::kRefused;
    }
    const BassQword bytes = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
    if (bytes != kBassErrorQword) seconds = BASS_ChannelBytes2Seconds(stream, bytes);
    BASS_StreamFree(stream);
    if (bytes == kBassErrorQword) return Opened::kUnknown;
    if (!(seconds > 0)) seconds = 0;
    return Opened::kLength;
}

// The length from the file's header, or from the full scan when the header
// gives none; 0 when the library cannot open the track or tell its length,
// kNotNow when it opens nothing for want of a device.
double QuickLength(const TrackFile& file, bool& exact) {
    double seconds;
    exact = false;
    const Opened quick = OpenForLength(file, kLengthFlags, seconds);
    if (quick == Opened::kNotNow) return kNotNow;
    if (quick != Opened::kUnknown) return seconds;
    exact = true;
    const Opened scanned = OpenForLength(file, kScanFlags, seconds);
    if (scanned == Opened::kNotNow) return kNotNow;
    if (scanned == Opened::kUnknown) {
        LogLine("playlist track %s left out: the library cannot tell its length, not even from a full scan",
                file.name.c_str());
    } else if (scanned == Opened::kLength) {
        char length[16];
        FormatDuration(length, sizeof length, static_cast<uint32_t>(std::lround(seconds)));
        LogLine("playlist track %s: its header gives no length; a full scan found %s", file.name.c_str(), length);
    }
    return seconds;
}

// The cache's entry for the track's file as it is now, made afresh when it
// holds none or one of the file as it was.
CachedLength* CacheEntry(const std::string& key, const FileStamp& stamp) {
    CachedLength& entry = g_cache[key];
    if (entry.stamp.size != stamp.size || entry.stamp.writeTime != stamp.writeTime) entry = CachedLength{stamp};
    return &entry;
}

// From the cache while the file is as it was when learned, else from its
// header; false when it waits for a device.
bool LearnLength(Track& track) {
    std::string key;
    {
        BusyMark memory(g_memoryWork);
        key = TrackCacheKey(track.file.path);
    }
    FileStamp stamp;
    bool stamped;
    {
        BusyMark files(g_fileWork);
        stamped = ReadFileStamp(track.file.path, stamp);
    }
    if (stamped) {
        if (const CachedLength* cached = CachedTrack(g_cache, key, stamp)) {
            track.seconds = cached->micros / kMicrosPerSecond;
            track.exact = cached->exact;
            return true;
        }
    }
    bool exact;
    const double quick = QuickLength(track.file, exact);
    if (quick == kNotNow) return false;
    const auto micros = static_cast<uint64_t>(std::llround(quick * kMicrosPerSecond));
    track.seconds = micros / kMicrosPerSecond;
    track.exact = exact;
    BusyMark memory(g_memoryWork);
    if (stamped && micros > 0) {
        CachedLength* entry = CacheEntry(key, stamp);
        entry->micros = micros;
        entry->exact = exact;
        g_cacheDirty = true;
    } else if (g_cache.erase(key)) {
        g_cacheDirty = true;
    }
    return true;
}

void CompleteTape(const Tape& tape) {
    double total = 0;
    int playable = 0;
    for (const Track& track : tape.tracks) {
        total += track.seconds;
        playable += track.seconds > 0;
    }
    g_tapeCompleted = true;
    const bool clips = tape.kind != TapeKind::kSongs;
    // A missing folder of clips was named when it was listed.
    if (clips && tape.unlisted) return;
    if (clips && playable == 0) {
        LogLine("%s %s: no clip in it plays; songs only", TapeKey(tape.kind), tape.playlist.c_str());
        return;
    }
    char length[16];
    FormatDuration(length, sizeof length, static_cast<uint32_t>(total));
    LogLine("%s %s: %s%d %s, %s in all", TapeKey(tape.kind), tape.playlist.c_str(),
            tape.partOnAir ? "tape complete: " : "", playable, clips ? "clips" : "tracks", length);
}

// False when the track waits for a device.
bool LearnNextTrack(Tape& tape) {
    if (!LearnLength(tape.tracks[tape.learned])) return false;
    if (++tape.learned == tape.tracks.size()) CompleteTape(tape);
    return true;
}

bool HasPlayableTrack(const Tape& tape) {
    for (size_t i = 0; i < tape.learned; ++i)
        if (tape.tracks[i].seconds > 0) return true;
    return false;
}

Tape* TapeToLearn() {
    if (g_onAirStation) {
        for (TapeKind kind : kLearningOrder)
            if (Incomplete(TapeOf(g_onAirStation, kind))) return &TapeOf(g_onAirStation, kind);
    }
    for (const PlannedTape& planned : *g_plan) {
        Tape& tape = TapeOf(planned.station, planned.kind);
        if (Incomplete(tape)) return &tape;
    }
    return nullptr;
}

// Every tape learned, the next track whose header cannot vouch for its length
// is scanned, one a step; a scanned length is kept as exact, so that the track
// is never scanned again. False when no track is left to look at.
bool ScanNextDoubtful() {
    for (const PlannedTape& planned : *g_plan) {
        Tape& tape = TapeOf(planned.station, planned.kind);
        if (!tape.listed || tape.vouched >= tape.learned) continue;
        Track& track = tape.tracks[tape.vouched++];
        if (track.exact || !(track.seconds > 0)) return true;
        LengthDoubt doubt;
        {
            BusyMark memory(g_memoryWork);
            BusyMark files(g_fileWork);
            doubt = DoubtOfHeaderLength(track.file.path);
        }
        if (doubt == LengthDoubt::kNone) return true;
        double seconds;
        const Opened scanned = OpenForLength(track.file, kScanFlags, seconds, false);
        if (scanned == Opened::kNotNow) {
            --tape.vouched;  // looked at again once there is a device
            return false;
        }
        if (scanned == Opened::kLength && seconds > 0) NoteExactLength(tape, track, seconds);
        return true;
    }
    return false;
}

}  // namespace

void NoteExactLength(Tape& tape, Track& track, double seconds) {
    const auto micros = static_cast<uint64_t>(std::llround(seconds * kMicrosPerSecond));
    if (micros == 0) return;
    const double learned = track.seconds;
    const bool moved = std::fabs(seconds - learned) > kLengthToleranceSeconds;
    if (track.exact && !moved) return;
    track.exact = true;
    if (moved) {
        track.seconds = micros / kMicrosPerSecond;
        char now[16], before[16];
        FormatDuration(now, sizeof now, static_cast<uint32_t>(std::lround(seconds)));
        FormatDuration(before, sizeof before, static_cast<uint32_t>(std::lround(learned)));
        LogLine("%s %s: %s is %s long, not %s as its header said", TapeKey(tape.kind), tape.playlist.c_str(),
                track.file.name.c_str(), now, before);
    }
    FileStamp stamp;
    bool stamped;
    {
        BusyMark files(g_fileWork);
        stamped = ReadFileStamp(track.file.path, stamp);
    }
    if (!stamped) return;
    BusyMark memory(g_memoryWork);
    CachedLength* entry = CacheEntry(TrackCacheKey(track.file.path), stamp);
    entry->micros = static_cast<uint64_t>(std::llround(track.seconds * kMicrosPerSecond));
    entry->exact = true;
    // Written at the next step, or within kCacheWriteEveryMs of the last
    // write while a scan corrects many tracks.
    g_cacheDirty = true;
}

void PlanTapes() {
    TapePlan* plan;
    {
        BusyMark memory(g_memoryWork);
        plan = new (std::nothrow) TapePlan;
        if (!plan) return;
        for (int station = 1; station <= kLastStreamedStation; ++station) {
            const std::string section = TrackSection(static_cast<int8_t>(station));
            // A station with a source plays it, never its playlist.
            if (!GetValue(section.c_str(), "source", "").empty()) continue;
            std::string playlist = GetValue(section.c_str(), "playlist", "");
            if (playlist.empty()) continue;
            // Clips keep an order of their own, fixed by the station.
            for (TapeKind kind : {TapeKind::kIdents, TapeKind::kSpots}) {
                std::string clips = GetValue(section.c_str(), TapeKey(kind), "");
                if (!clips.empty()) plan->push_back({static_cast<int8_t>(station), kind, true, std::move(clips)});
            }
            plan->push_back({static_cast<int8_t>(station), TapeKind::kSongs,
                             GetLongValue(section.c_str(), "shuffle", 0) != 0, std::move(playlist)});
        }
    }
    if (TapePlan* old = g_newPlan.exchange(plan)) {
        BusyMark memory(g_memoryWork);
        delete old;
    }
    WakeHelperThread();
}

bool LearnTapesStep() {
    if (TapePlan* plan = g_newPlan.exchange(nullptr)) {
        AdoptPlan(plan);
        return true;
    }
    if (!g_plan) return false;
    if (!g_cacheRead) {
        // With no playlist station and no file station to level there is no file work to do.
        if (g_plan->empty() && g_keptBeside.empty()) return false;
        ReadCache();
        return true;
    }
    // Every playlist is listed before any track is learned, so that a write
    // knows all the tracks the cache is to keep.
    for (const PlannedTape& planned : *g_plan) {
        Tape& tape = TapeOf(planned.station, planned.kind);
        if (tape.listed) continue;
        ListTape(tape, planned.station);
        if (tape.tracks.empty()) CompleteTape(tape);
        return true;
    }
    if (!g_goneNoted) {
        g_goneNoted = true;
        NotePlaylistsGone();
    }
    if (g_cacheDirty && (g_tapeCompleted || GetTickCount() - g_cacheWrittenAt >= kCacheWriteEveryMs)) {
        WriteCache();
        return true;
    }
    Tape* tape = TapeToLearn();
    // Without a device the learning and the scans wait; the helper thread polls.
    if (!AudioDeviceOpen()) return false;
    if (tape) return LearnNextTrack(*tape);
    return ScanNextDoubtful();
}

Tape& TapeForOpening(int8_t station, TapeKind kind, const char* playlist, bool shuffle, uint32_t startedMs) {
    const DWORD started = startedMs;
    if (!g_cacheRead) ReadCache();
    Tape& tape = TapeOf(station, kind);
    if (!tape.listed || tape.playlist != playlist || tape.shuffle != shuffle) {
        {
            BusyMark memory(g_memoryWork);
            ResetTape(tape, kind, playlist, shuffle);
        }
        ListTape(tape, station);
        if (tape.tracks.empty()) CompleteTape(tape);
    }
    g_onAirStation = station;
    // Learns on past the limit only while no track of the tape is known to play.
    // Clips are never waited for: the station plays songs only until they are known.
    bool playable = HasPlayableTrack(tape) || kind != TapeKind::kSongs;
    while (Incomplete(tape) && (GetTickCount() - started < kOpeningLearnMs || !playable)) {
        if (!AudioDeviceOpen() || !LearnNextTrack(tape)) break;
        playable = playable || tape.tracks[tape.learned - 1].seconds > 0;
    }
    if (Incomplete(tape)) {
        tape.partOnAir = true;
        LogLine("%s %s: starts on a partial tape, %u of %u tracks learned; the rest are learned meanwhile",
                TapeKey(kind), tape.playlist.c_str(), static_cast<unsigned>(tape.learned), static_cast<unsigned>(tape.tracks.size()));
    }
    return tape;
}

const Tape& StationTape(int8_t station, TapeKind kind) {
    return TapeOf(station, kind);
}

TrackCache& KeptTracks() {
    return g_cache;
}

bool KeptTracksRead() {
    return g_cacheRead;
}

void KeptTracksChanged() {
    g_cacheDirty = true;
}

std::vector<std::string>& KeptBesideTapes() {
    return g_keptBeside;
}

void LogTrackLeftOut(const TrackFile& track, int32_t error) {
    LogLine("playlist track %s left out: %s (error %d)", track.name.c_str(), AudioErrorText(error), error);
}
