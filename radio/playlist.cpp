#include "radio/playlist.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/host.h"
#include "platform/runlog.h"
#include "platform/threads.h"
#include "radio/dial.h"
#include "radio/stationlog.h"
#include "radio/stream.h"
#include "radio/tape.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

// Tracks play once each (no loop flag), so that the library tells when one ends.
constexpr BassDword kTrackFlags = BASS_SAMPLE_FLOAT | BASS_STREAM_PRESCAN | BASS_UNICODE;
// At mix time, so that the next track is queued before the last of this one is heard.
constexpr BassDword kEndSync = BASS_SYNC_END | BASS_SYNC_MIXTIME;
constexpr uint32_t kMsPerSecond = 1000;

struct PlaylistJob {
    int8_t station;
    bool shuffle;
    char playlist[1];  // the key's value, to its terminator
};

// The tape on air. The helper thread owns these but for the atomics, which
// the library's thread uses at a track's end.
Tape* g_airTape = nullptr;
int8_t g_airStation = 0;
size_t g_airTrack = 0;
size_t g_nextTrack = 0;
std::atomic<uint32_t> g_generation{0};     // changes with every playlist opening
std::atomic<uint32_t> g_nextStream{0};     // the next track, opened and waiting at its start
std::atomic<uint32_t> g_endedStream{0};    // a track that ended, for the helper thread to free

void FreeStream(uint32_t stream) {
    if (!stream) return;
    BusyMark audio(g_audioWork);
    BASS_StreamFree(stream);
}

// Runs on the library's thread: no allocation, no lock, no file work.
__attribute__((force_align_arg_pointer)) void __stdcall TrackEnded(BassDword, BassDword channel, BassDword,
                                                                   void* user) {
    if (reinterpret_cast<uintptr_t>(user) != g_generation) return;
    BusyMark audio(g_audioWork);
    const uint32_t next = g_nextStream.exchange(0);
    if (next) {
        float volume = 0;
        BASS_ChannelGetAttribute(channel, BASS_ATTRIB_VOL, &volume);
        BASS_ChannelSetAttribute(next, BASS_ATTRIB_VOL, volume);
        uint32_t expected = channel;
        if (g_stationStream.compare_exchange_strong(expected, next)) {
            BASS_ChannelPlay(next, kBassFalse);
        } else {
            g_nextStream = next;  // another station took over meanwhile; the next opening frees it
        }
    }
    g_endedStream = channel;
    WakeHelperThread();
}

std::vector<double> Lengths(const Tape& tape) {
    std::vector<double> lengths;
    for (const Track& track : tape.tracks) lengths.push_back(track.seconds);
    return lengths;
}

// Opens a track at its start, with the end sync of this opening's tape; a
// track the library refuses is left out of the tape from now on.
uint32_t OpenTrack(Track& track) {
    BusyMark audio(g_audioWork);
    BusyMark files(g_fileWork);
    const BassDword stream = BASS_StreamCreateFile(kBassFalse, track.file.path.c_str(), 0, 0, kTrackFlags);
    if (!stream) {
        LogTrackLeftOut(track.file, OpenError(stream));
        track.seconds = 0;
        return 0;
    }
    BASS_ChannelSetSync(stream, kEndSync, 0, TrackEnded, reinterpret_cast<void*>(static_cast<uintptr_t>(g_generation.load())));
    return stream;
}

// Opens the track that is on air at broadcast time seconds and plays it from
// there. False when no track of the tape plays.
bool PlayAt(Tape& tape, double seconds) {
    size_t index;
    double within;
    for (;;) {
        {
            BusyMark memory(g_memoryWork);  // made and freed within
            const std::vector<double> lengths = Lengths(tape);
            if (!LocateOnTape(lengths, seconds, index, within)) return false;
        }
        const uint32_t stream = OpenTrack(tape.tracks[index]);
        if (!stream) continue;
        BusyMark audio(g_audioWork);
        const BassQword length = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
        BassQword bytes = BASS_ChannelSeconds2Bytes(stream, within);
        // The header's length may be a little longer than the scanned one.
        if (bytes == kBassErrorQword) bytes = 0;
        if (length != kBassErrorQword && bytes > length) bytes = length;
        BASS_ChannelSetPosition(stream, bytes, BASS_POS_BYTE);
        BASS_ChannelPlay(stream, kBassFalse);
        g_stationStream = stream;
        g_airTrack = index;
        char from[16], of[16];
        FormatDuration(from, sizeof from, static_cast<uint32_t>(within));
        FormatDuration(of, sizeof of, static_cast<uint32_t>(tape.tracks[index].seconds));
        LogLine("station start: playlist %s playing %s from %s of %s", tape.playlist.c_str(),
                tape.tracks[index].file.name.c_str(), from, of);
        return true;
    }
}

// Opens the playable track after the one on air, if none waits yet.
void ReadyNextTrack() {
    if (!g_airTape || g_nextStream) return;
    std::vector<Track>& tracks = g_airTape->tracks;
    for (size_t step = 1; step <= tracks.size(); ++step) {
        const size_t index = (g_airTrack + step) % tracks.size();
        if (!(tracks[index].seconds > 0)) continue;
        if (const uint32_t stream = OpenTrack(tracks[index])) {
            g_nextTrack = index;
            g_nextStream = stream;
            return;
        }
    }
}

void LogTrackChange() {
    LogLine("playlist %s: next track %s", g_airTape->playlist.c_str(), g_airTape->tracks[g_airTrack].file.name.c_str());
}

void StreamPlaylistThread(void* argument) {
    const PlaylistJob& job = *static_cast<const PlaylistJob*>(argument);
    ++g_generation;
    g_airTape = nullptr;
    FreeStream(g_stationStream);
    FreeStream(g_nextStream.exchange(0));
    FreeStream(g_endedStream.exchange(0));

    // The same wait as before a file opens; a negative one counts as none.
    const int16_t wait = HostOpenWaitMs();
    Sleep(wait > 0 ? static_cast<DWORD>(wait) : 0);

    Tape& tape = TapeForOpening(job.station, job.playlist, job.shuffle);
    const double seconds = HostClockMs() / static_cast<double>(kMsPerSecond) + g_startOffset.load();
    if (PlayAt(tape, seconds)) {
        g_airTape = &tape;
        g_airStation = job.station;
    } else {
        g_stationStream = 0;
        LogLine("station start: playlist %s: no track in it plays", job.playlist);
    }
    FinishOpening(argument);
    ReadyNextTrack();
}

}  // namespace

void StartPlaylist(int8_t station) {
    PlaylistJob* job;
    {
        BusyMark memory(g_memoryWork);
        const std::string section = TrackSection(station);
        const std::string playlist = GetValue(section.c_str(), "playlist", "");
        if (playlist.empty()) return;
        job = static_cast<PlaylistJob*>(std::malloc(offsetof(PlaylistJob, playlist) + playlist.size() + 1));
        if (!job) return;
        job->station = station;
        job->shuffle = GetLongValue(section.c_str(), "shuffle", 0) != 0;
        std::memcpy(job->playlist, playlist.c_str(), playlist.size() + 1);
    }
    StartOpeningJob(StreamPlaylistThread, job);
}

bool AdvancePlaylist() {
    const uint32_t ended = g_endedStream.exchange(0);
    if (!ended) return false;
    const uint32_t onAir = g_stationStream;
    if (g_airTape && onAir != ended) {
        g_airTrack = g_nextTrack;
        LogTrackChange();
    }
    FreeStream(ended);
    if (!g_airTape) return true;
    if (onAir == ended) {
        // Nothing was ready at the end: the next track plays as soon as it opens.
        ReadyNextTrack();
        const uint32_t next = g_nextStream.exchange(0);
        if (next) {
            BusyMark audio(g_audioWork);
            uint32_t expected = ended;
            if (g_stationStream.compare_exchange_strong(expected, next)) {
                BASS_ChannelPlay(next, kBassFalse);
                g_airTrack = g_nextTrack;
                LogTrackChange();
            } else {
                g_nextStream = next;
            }
        }
    } else if (CurrentStation() != static_cast<uint8_t>(g_airStation)) {
        // Tuned away just as the track ended: the one that followed must not play on.
        BusyMark audio(g_audioWork);
        BASS_ChannelStop(onAir);
    }
    ReadyNextTrack();
    return true;
}
