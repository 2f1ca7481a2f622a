// Playlist stations: the tune-in, the track changes and the tracks opened ahead.
#include "radio/playlist/playlist.h"

#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/host.h"
#include "platform/runlog.h"
#include "radio/common/dial.h"
#include "radio/common/nowplaying.h"
#include "radio/common/output.h"
#include "radio/common/stationlog.h"
#include "radio/common/stream.h"
#include "radio/playlist/feed.h"
#include "radio/playlist/levels.h"
#include "radio/playlist/programme.h"
#include "radio/playlist/tape.h"
#include "radio/tags/tags.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

// Tracks are read, not played: the continuous stream plays them one after another.
constexpr BassDword kTrackFlags = BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_STREAM_PRESCAN | BASS_UNICODE;
// Tracks opened ahead of the one playing: enough for the stream's buffer to
// span a track change of short tracks, few enough that little is opened in vain.
constexpr size_t kTracksAhead = 2;
constexpr uint32_t kMsPerSecond = 1000;

// The texts of a job, each to its terminator, one after the other.
enum JobText { kPlaylistText, kIdentsText, kSpotsText, kRefusalsText, kJobTexts };

struct PlaylistJob {
    int8_t station;
    bool shuffle;
    ProgrammeRules rules;
    char texts[1];  // the playlist, idents and spots keys' values, the refusals' log lines one a line
};

const char* JobTextOf(const PlaylistJob& job, JobText which) {
    const char* text = job.texts;
    for (int n = 0; n < which; ++n) text += std::strlen(text) + 1;
    return text;
}

// The tape of songs on air and its programme, the helper thread's. The
// programme is laid out at the tune-in and played as it is until the next one.
Tape* g_airTape = nullptr;
Programme& g_programme = *new Programme;
size_t g_airTrack = 0;    // of the programme
size_t g_lastOpened = 0;  // the item opened last, playing or waiting
uint32_t g_levelsSeen = 0;  // LevelsStored() when the waiting items were last levelled

// The tape of songs on air (null: none) and the programme's item playing: the
// items after it are measured first.
void SetOnAir(Tape* tape, size_t item = 0) {
    g_airTape = tape;
    g_airTrack = item;
    NoteComingUp(tape ? &g_programme : nullptr, item + 1);
}

void FreeStream(uint32_t stream) {
    if (!stream) return;
    BusyMark audio(g_audioWork);
    BASS_StreamFree(stream);
}

std::vector<double> Lengths(const Programme& programme) {
    std::vector<double> lengths;
    lengths.reserve(programme.size());
    for (const ProgrammeItem& item : programme) lengths.push_back(item.track->seconds);
    return lengths;
}

// Where the broadcast time falls on the programme's playable items.
bool Locate(const Programme& programme, double seconds, size_t& index, double& within) {
    BusyMark memory(g_memoryWork);  // made and freed within
    return LocateOnTape(Lengths(programme), seconds, index, within);
}

bool IsSong(const ProgrammeItem& item) {
    return item.tape->kind == TapeKind::kSongs;
}

double BroadcastSeconds() {
    return HostClockMs() / static_cast<double>(kMsPerSecond) + g_startOffset.load();
}

// Opens an item's decoding channel at its start; a track the library refuses
// is left out of its tape from now on, but not for want of a device. The
// open scans the whole file, so its length is exact and corrects the tape's.
// The song tape keeps the highest rate of every item opened.
FeedTrack OpenTrack(Tape& songs, size_t index) {
    Tape& tape = *g_programme[index].tape;
    Track& track = *g_programme[index].track;
    BusyMark audio(g_audioWork);
    BusyMark files(g_fileWork);
    FeedTrack opened;
    const BassDword channel = BASS_StreamCreateFile(kBassFalse, track.file.path.c_str(), 0, 0, kTrackFlags);
    if (!channel) {
        // Asked of the library itself: with the run log off OpenError says
        // nothing, and a track refused for want of a device is no bad track.
        const int32_t error = BASS_ErrorGetCode();
        if (error == BASS_ERROR_INIT) return opened;
        LogTrackLeftOut(track.file, error);
        track.seconds = 0;
        return opened;
    }
    BassChannelInfo info{};
    if (!BASS_ChannelGetInfo(channel, &info) || info.chans == 0 || info.chans > kMaxTrackChannels || info.freq == 0) {
        LogLine("playlist track %s left out: %u channels at %u Hz", track.file.name.c_str(), info.chans, info.freq);
        BASS_StreamFree(channel);
        track.seconds = 0;
        return opened;
    }
    const BassQword bytes = BASS_ChannelGetLength(channel, BASS_POS_BYTE);
    if (bytes != kBassErrorQword) NoteExactLength(tape, track, BASS_ChannelBytes2Seconds(channel, bytes));
    if (info.freq > songs.highestRate) songs.highestRate = info.freq;
    TrackLevel level = KnownLevel(track.file);
    // The tags are read at the first open for the title, and whenever the
    // level is not known yet: a tagged track plays at its tags' level from its first play.
    if (track.title.empty() || (!level.known && LevellingOn())) {
        BusyMark memory(g_memoryWork);
        TrackTags tags;
        ReadChannelTags(channel, tags);
        if (track.title.empty()) track.title = TrackTitle(tags, track.file.name);
        if (!level.known) level = LevelFromTags(tags);
    }
    opened.channel = channel;
    opened.chans = info.chans;
    opened.rate = info.freq;
    opened.track = static_cast<uint32_t>(index);
    // Fixed once the track begins, even when its level becomes known meanwhile;
    // until then a level measured since is taken (LevelWaitingTracks).
    opened.gain = TrackGain(level);
    return opened;
}

// A track handed over before its level was known plays at that level when it
// becomes known before the track begins.
void LevelWaitingTracks() {
    const uint32_t stored = LevelsStored();
    if (stored == g_levelsSeen || !g_airTape) return;
    g_levelsSeen = stored;
    uint32_t waiting[kFeedQueue];
    const size_t count = WaitingTracks(waiting);
    for (size_t i = 0; i < count; ++i) {
        const TrackLevel level = KnownLevel(g_programme[waiting[i]].track->file);
        if (level.known) SetWaitingGain(waiting[i], TrackGain(level));
    }
}

// Opens the playable tracks after the last one opened until kTracksAhead
// wait; when none of the tape opens any more, the stream ends after what it
// holds. True when a track was handed over.
bool ReadyNextTracks() {
    if (!g_airTape) return false;
    const size_t items = g_programme.size();
    bool readied = false;
    while (FeedTracksWaiting() < kTracksAhead) {
        FeedTrack next;
        for (size_t step = 1; step <= items && !next.channel && AudioDeviceOpen(); ++step) {
            const size_t index = (g_lastOpened + step) % items;
            if (g_programme[index].track->seconds > 0) next = OpenTrack(*g_airTape, index);
        }
        // Without a device nothing opens, and the tape is not at its end.
        if (!next.channel && !AudioDeviceOpen()) break;
        if (!next.channel) {
            EndFeed();
            break;
        }
        g_lastOpened = next.track;
        readied = QueueFeedTrack(next);
    }
    return readied;
}

// The run log's line for an item as it starts, and the now-playing name of a
// song; a clip leaves the song's name on screen as it is. A break is named as
// it starts, or at a tune-in within it, with its spots from there on.
void AnnounceItem(size_t index, float gainApplied, bool tunedIn) {
    const ProgrammeItem& item = g_programme[index];
    if (IsSong(item)) {
        char gain[kGainNoteMax];
        FormatGainNote(gain, sizeof gain, gainApplied);
        AnnounceNowPlaying(item.track->title.c_str(), gain);
        return;
    }
    if (item.tape->kind == TapeKind::kIdents) {
        LogLine("ident: %s", item.track->file.name.c_str());
        return;
    }
    if (!item.breakStart && !tunedIn) return;
    BusyMark memory(g_memoryWork);
    std::string spots;
    for (size_t n = index; n < g_programme.size() && g_programme[n].tape == item.tape; ++n) {
        if (n > index && g_programme[n].breakStart) break;
        if (!(g_programme[n].track->seconds > 0)) continue;
        spots += (spots.empty() ? "" : ", ") + g_programme[n].track->file.name;
    }
    LogLine("spots: %s", spots.c_str());
}

// Opens the item that is on air at the broadcast time, positioned there, and
// starts the tape's stream with it. False when no item of the programme plays,
// or (notNow) when the library has no device for it now.
bool PlayAt(Tape& tape, bool& notNow) {
    size_t index;
    double within;
    FeedTrack first;
    notNow = false;
    for (;;) {
        if (!Locate(g_programme, BroadcastSeconds(), index, within)) return false;
        if (!AudioDeviceOpen()) return false;
        first = OpenTrack(tape, index);
        if (!first.channel) {
            // A track refused is left out, and the next one tried; a refusal for
            // want of a device (BASS_ERROR_INIT) leaves it in, and would be tried
            // again at once, for ever.
            notNow = g_programme[index].track->seconds > 0;
            if (notNow) return false;
            continue;
        }
        // Read again once the track is open, so that the open's time counts too.
        size_t nowIndex;
        if (!Locate(g_programme, BroadcastSeconds(), nowIndex, within)) return false;
        if (nowIndex == index) break;
        FreeStream(first.channel);  // the broadcast moved on to the next track meanwhile
    }
    BusyMark audio(g_audioWork);
    const BassQword length = BASS_ChannelGetLength(first.channel, BASS_POS_BYTE);
    BassQword bytes = BASS_ChannelSeconds2Bytes(first.channel, within);
    // The header's length may be a little longer than the scanned one.
    if (bytes == kBassErrorQword) bytes = 0;
    if (length != kBassErrorQword && bytes > length) bytes = length;
    BASS_ChannelSetPosition(first.channel, bytes, BASS_POS_BYTE);
    const uint32_t stream = StartFeed(first, tape.highestRate);
    if (!stream) return false;
    SetOnAir(&tape, index);
    g_lastOpened = index;
    ReadyNextTracks();
    if (!BASS_ChannelPlay(stream, kBassFalse)) NotePlayFailure();
    g_stationStream = stream;
    const Track& track = *g_programme[index].track;
    char from[16], of[16];
    FormatDuration(from, sizeof from, static_cast<uint32_t>(within));
    FormatDuration(of, sizeof of, static_cast<uint32_t>(track.seconds));
    LogLine("station start: playlist %s playing %s from %s of %s", tape.playlist.c_str(), track.file.name.c_str(),
            from, of);
    AnnounceItem(index, first.gain, true);
    return true;
}

void LogTrackChange(float gainApplied) {
    const ProgrammeItem& item = g_programme[g_airTrack];
    if (IsSong(item)) LogLine("playlist %s: next track %s", g_airTape->playlist.c_str(), item.track->file.name.c_str());
    AnnounceItem(g_airTrack, gainApplied, false);
}

// The station's tapes, learned within the opening's second, and its programme
// laid out; a clip key left empty, or a list of no playable clip, adds nothing.
// Clips first: they are few, and a station whose songs take the whole second
// still has them. The tape of songs.
Tape& LayOutOnAir(const PlaylistJob& job) {
    const DWORD started = GetTickCount();
    Tape* clips[kTapeKinds] = {};
    for (TapeKind kind : {TapeKind::kIdents, TapeKind::kSpots}) {
        const char* folder = JobTextOf(job, kind == TapeKind::kIdents ? kIdentsText : kSpotsText);
        if (*folder) clips[static_cast<size_t>(kind)] = &TapeForOpening(job.station, kind, folder, true, started);
    }
    Tape& songs = TapeForOpening(job.station, TapeKind::kSongs, JobTextOf(job, kPlaylistText), job.shuffle, started);
    BusyMark memory(g_memoryWork);
    LayOutProgramme(songs, clips[static_cast<size_t>(TapeKind::kIdents)], clips[static_cast<size_t>(TapeKind::kSpots)],
                    job.rules, g_programme);
    return songs;
}

void StreamPlaylistThread(void* argument) {
    const PlaylistJob& job = *static_cast<const PlaylistJob*>(argument);
    SetOnAir(nullptr);
    // The tape's stream is on air unless another opening freed it; either way it is taken off.
    const uint32_t onAir = g_stationStream.exchange(0);
    const bool feedOnAir = FeedStream() && onAir == FeedStream();
    StopFeed(!feedOnAir);
    if (!feedOnAir) FreeStream(onAir);

    // The same wait as before a file opens; a negative one counts as none.
    const int16_t wait = HostOpenWaitMs();
    Sleep(wait > 0 ? static_cast<DWORD>(wait) : 0);

    const char* playlist = JobTextOf(job, kPlaylistText);
    for (const char* line = JobTextOf(job, kRefusalsText); *line;) {
        const size_t length = std::strcspn(line, "\n");
        LogLine("%.*s", static_cast<int>(length), line);
        line += length + (line[length] ? 1 : 0);
    }
    Tape& tape = LayOutOnAir(job);
    bool notNow;
    if (!PlayAt(tape, notNow)) {
        StopFeed();
        SetOnAir(nullptr);
        g_stationStream = 0;
        if (notNow) {
            LogLine("station start: playlist %s: %s (error %d)", playlist, AudioErrorText(BASS_ERROR_INIT),
                    BASS_ERROR_INIT);
        } else {
            LogLine("station start: playlist %s: no track in it plays", playlist);
        }
    }
    FinishOpening(argument);
}

}  // namespace

void StartPlaylist(int8_t station) {
    PlaylistJob* job;
    {
        BusyMark memory(g_memoryWork);
        const std::string section = TrackSection(station);
        const std::string playlist = GetValue(section.c_str(), "playlist", "");
        if (playlist.empty()) return;
        const ProgrammeSetup setup = ReadProgrammeSetup(section);
        std::string refusals;
        for (const std::string& line : setup.refusals) refusals += line + '\n';
        const std::string* texts[kJobTexts] = {&playlist, &setup.clips.idents, &setup.clips.spots, &refusals};
        size_t size = 0;
        for (const std::string* text : texts) size += text->size() + 1;
        job = static_cast<PlaylistJob*>(std::malloc(offsetof(PlaylistJob, texts) + size));
        if (!job) return;
        job->station = station;
        job->shuffle = GetLongValue(section.c_str(), "shuffle", 0) != 0;
        job->rules = setup.rules;
        char* at = job->texts;
        for (const std::string* text : texts) {
            std::memcpy(at, text->c_str(), text->size() + 1);
            at += text->size() + 1;
        }
    }
    StartOpeningJob(StreamPlaylistThread, job);
}

bool AdvancePlaylist() {
    bool worked = false;
    FeedChange change;
    while (TakeFeedChange(change)) {
        worked = true;
        if (FeedOnDevice()) FreeStream(change.spent);
        if (g_airTape && change.generation == FeedGeneration() && change.next != kNoTrack) {
            SetOnAir(g_airTape, change.next);
            LogTrackChange(change.gain);
        }
    }
    if (!g_airTape) return worked;
    LevelWaitingTracks();
    const uint32_t stream = FeedStream();
    BassDword state;
    {
        BusyMark audio(g_audioWork);
        state = BASS_ChannelIsActive(stream);
    }
    const bool replaced = g_stationStream != stream;
    if (!stream || replaced || state == BASS_ACTIVE_STOPPED) {
        // Tuned away (a stopped stream never plays again: the next tune opens
        // anew), another station's stream took over, or the tape played out:
        // the tape's tracks go with its stream.
        SetOnAir(nullptr);
        StopFeed(replaced);
        uint32_t expected = stream;
        g_stationStream.compare_exchange_strong(expected, 0);
        return true;
    }
    return ReadyNextTracks() || worked;
}

bool StopPlaylistOnAir() {
    uint32_t stream = FeedStream();
    if (!stream || !g_stationStream.compare_exchange_strong(stream, 0)) return false;
    SetOnAir(nullptr);
    StopFeed();
    return true;
}
