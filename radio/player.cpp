// Starting a station: its source opened on the helper thread as a file, playlist or internet stream.
#include "radio/player.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/files.h"
#include "platform/host.h"
#include "radio/common/creation.h"
#include "radio/common/nowplaying.h"
#include "radio/common/opening.h"
#include "radio/common/output.h"
#include "radio/common/stationlog.h"
#include "radio/common/stream.h"
#include "radio/internet/mirrors.h"
#include "radio/internet/netlevel.h"
#include "radio/internet/reconnect.h"
#include "radio/level/level.h"
#include "radio/playlist/levels.h"
#include "radio/playlist/playlist.h"
#include "radio/tags/tags.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

const char kPositionSection[] = "POSITION";
const char kPositionKey[] = "seconds";
constexpr uint32_t kMsPerSecond = 1000;

constexpr BassDword kFileStreamFlags = BASS_SAMPLE_LOOP | BASS_SAMPLE_FLOAT | BASS_STREAM_PRESCAN;

// With levelling on, a file station plays at its source's gain, fixed for the
// stream's life: 1 while the source is not measured yet. The gain applied.
float LevelFileStream(uint32_t stream, const char* source) {
    float gain;
    {
        BusyMark busy(g_memoryWork);
        gain = TrackGain(KnownLevel(SourceTrack(source)));
    }
    if (gain != 1 && !ApplyStreamGain(stream, gain)) gain = 1;
    return gain;
}

void StartOpening(OpeningBody body, const std::string& source) {
    char* copy;
    {
        BusyMark busy(g_memoryWork);
        copy = static_cast<char*>(std::malloc(source.size() + 1));
    }
    if (!copy) return;
    std::memcpy(copy, source.c_str(), source.size() + 1);
    StartOpeningJob(body, copy);
}

// The file station's title, from its tags or its name, and its levelling gain.
void AnnounceFileTitle(BassDword stream, const char* source, float gain) {
    BusyMark memory(g_memoryWork);
    TrackTags tags;
    ReadChannelTags(stream, tags);
    char note[kGainNoteMax];
    FormatGainNote(note, sizeof note, gain);
    AnnounceNowPlaying(TrackTitle(tags, source).c_str(), note);
}

// The stream on air goes before a new one is made; a playlist's through its own stop.
void TakeOffAir() {
    if (!StopPlaylistOnAir()) FreeStationStream();
}

}  // namespace

void StartStation(int8_t station) {
    if (g_startOffset == 0) {
        const int32_t stored = GetLongValue(kPositionSection, kPositionKey, 0);
        g_startOffset = stored > kMaxStartOffset ? 0 : stored;
    }

    // Asked for before the opening is handed over, so that the helper thread
    // puts the position on disk before an opening that may take seconds.
    const uint32_t broadcastSeconds = HostClockMs() / kMsPerSecond + static_cast<uint32_t>(g_startOffset.load());
    {
        BusyMark busy(g_memoryWork);
        SetLongValue(kPositionSection, kPositionKey, static_cast<int32_t>(broadcastSeconds));
    }
    RequestPositionSave(static_cast<int32_t>(broadcastSeconds));

    if (BASS_ChannelIsActive(g_stationStream) != BASS_ACTIVE_PLAYING && !g_streamStarting) {
        bool isUrl;
        {
            BusyMark busy(g_memoryWork);
            g_sourcePath = GetValue(TrackSection(station).c_str(), "source", "");
            isUrl = IsInternetAddress(g_sourcePath);
        }
        // A source that is both an existing file and an internet address opens as the file only.
        if (PathExists(g_sourcePath.c_str())) {
            StartOpening(StreamFileThread, g_sourcePath);
        } else if (isUrl) {
            TakeStationMirrors(station, g_sourcePath);
            StartOpening(StreamUrlThread, g_sourcePath);
        } else if (g_sourcePath.empty()) {
            StartPlaylist(station);
        }
    }
}

void StreamFileThread(void* source) {
    TakeOffAir();

    // A negative wait from the game would otherwise sleep for weeks.
    const int16_t wait = HostOpenWaitMs();
    Sleep(wait > 0 ? static_cast<DWORD>(wait) : 0);

    // A name with accents goes to the library as UTF-16, all others as they are.
    CallPath file;
    {
        BusyMark busy(g_memoryWork);
        file = ToCallPath(static_cast<const char*>(source));
    }
    {
        BusyMark busy(g_audioWork);
        BusyMark files(g_fileWork);
        BassDword stream;
        int32_t openError;
        {
            StreamCreationLock creation;
            stream = BASS_StreamCreateFile(kBassFalse, file.Name(), 0, 0,
                                           kFileStreamFlags | (file.Wide() ? BASS_UNICODE : 0));
            openError = OpenError(stream);
        }
        g_stationStream = stream;
        const float gain = stream && LevellingOn() ? LevelFileStream(stream, static_cast<const char*>(source)) : 1;

        // Taken after the wait and the open, so that both count towards the broadcast time.
        const double seconds = HostClockMs() / static_cast<double>(kMsPerSecond) + g_startOffset.load();
        const BassQword bytes = BASS_ChannelSeconds2Bytes(stream, seconds);
        const BassQword length = BASS_ChannelGetLength(stream, BASS_POS_BYTE);
        // With no length, or an answer that is the library's error value, there is
        // no live position to take: the stream starts at its beginning.
        const bool known = length != 0 && length != kBassErrorQword && bytes != kBassErrorQword;
        const BassQword position = known ? bytes % length : 0;
        BASS_ChannelSetPosition(stream, position, BASS_POS_BYTE);
        const BassBool played = BASS_ChannelPlay(stream, kBassFalse);
        if (stream && !played) NotePlayFailure();
        LogFileStart(static_cast<const char*>(source), stream, openError, played, seconds, bytes, length, position);
        if (stream && played) AnnounceFileTitle(stream, static_cast<const char*>(source), gain);
    }

    {
        BusyMark busy(g_memoryWork);
        file = CallPath();
    }
    FinishOpening(source);
}

void StreamUrlThread(void* source) {
    const char* url = static_cast<const char*>(source);
    {
        BusyMark busy(g_audioWork);
        BusyMark files(g_fileWork);  // the connection's socket is a file to the system
        TakeOffAir();

        // The source, else its mirrors in turn: address is the one that opened, or the last tried.
        std::string address;
        const UrlOpen open = OpenStationAddresses(url, address);
        const BassDword stream = open.stream;
        const int32_t openError = open.error;
        if (stream && LevellingOn()) LevelNetStream(stream, address.c_str());
        g_stationStream = stream;
        const BassBool played = BASS_ChannelPlay(stream, kBassFalse);
        if (stream && !played) NotePlayFailure();
        LogUrlStart(address.c_str(), stream, openError, played);
        WatchStationStream(address.c_str(), stream, openError);
        BusyMark memory(g_memoryWork);
        std::string().swap(address);
    }

    FinishOpening(source);
}
