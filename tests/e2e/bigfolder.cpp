#include "tests/e2e/bigfolder.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/rig.h"

namespace {

constexpr uint32_t kTrackRate = 8000;                       // Hz, mono
constexpr uint64_t kFloatBytesPerSecond = kTrackRate * 4;  // as the module opens tracks
constexpr uint32_t kTrackFlags = 0x80220100;               // unicode name, decode only, prescanned, float
constexpr uint32_t kLengthFlags = 0x80200100;              // unicode name, decode only, float
constexpr int32_t kStation = 7;
constexpr int32_t kGameStation = 12;
constexpr int32_t kSavedOffset = 100;
constexpr uint32_t kFrameMs = 16;
constexpr uint64_t kPositionSlackBytes = 8;  // a frame or two of rounding
constexpr uint32_t kLearnTimeoutMs = 60000;
constexpr DWORD kPollMs = 5;

// The pair's folder: long enough on its slow disk that a tune-in at the start
// finds the tape still being learned, whatever the machine's speed.
constexpr int kPairTracks = 120;
constexpr uint32_t kPairOpenMs = 25;
constexpr uint32_t kFirstClockMs = 3600000;
constexpr uint32_t kNextClockMs = 5432100;

// The benchmark's: a big folder on a disk of 3 ms an open, tuned 4 s after
// the game starts, and a long playlist file on an instant disk.
constexpr int kBenchTracks = 3000;
constexpr uint32_t kBenchOpenMs = 3;
constexpr uint32_t kBenchTuneAfterMs = 4000;
constexpr int kBenchListLines = 20000;
// The big folder's station has a programme: idents and spots of a few seconds.
constexpr int kBenchIdents = 20, kBenchSpots = 30;
const char kBenchProgramme[] = "idents = audio/streams/idents\r\nspots = audio/streams/spots\r\n";

const char kFolder[] = "audio/streams/big";
const char kList[] = "audio/streams/big.m3u";
const char kCache[] = "audio/streams/zorve-tracks.cache";

std::string Settings(const char* playlist) {
    return std::string("[TRACK7]\r\nplaylist = ") + playlist + "\r\n[POSITION]\r\nseconds = " +
           std::to_string(kSavedOffset) + "\r\n";
}

// Lengths of a few tens of seconds, all different, in whole milliseconds.
uint32_t TrackMs(int index) {
    return 20000 + static_cast<uint32_t>(index) * 7919 % 40000;
}

std::string TrackName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "track%05d.wav", index);
    return name;
}

// A WAV header that gives the audio fake the track's length; no samples follow.
void WriteWaveHeader(const std::string& path, uint32_t ms) {
    const uint32_t data = static_cast<uint32_t>(uint64_t{kTrackRate} * ms / 1000) * 2;
    const uint32_t fields[] = {36 + data, 16, 1 | 1u << 16, kTrackRate, kTrackRate * 2, 2 | 16u << 16, data};
    std::string wave(44, '\0');
    std::memcpy(&wave[0], "RIFF", 4);
    std::memcpy(&wave[4], &fields[0], 4);
    std::memcpy(&wave[8], "WAVEfmt ", 8);
    std::memcpy(&wave[16], &fields[1], 20);
    std::memcpy(&wave[36], "data", 4);
    std::memcpy(&wave[40], &fields[6], 4);
    WriteFile(path, wave);
}

void MakeFolder(int tracks) {
    PrepareGameFolder();
    CreateDirectoryA("audio\\streams\\big", nullptr);
    for (int i = 0; i < tracks; ++i) WriteWaveHeader(std::string(kFolder) + "/" + TrackName(i), TrackMs(i));
}

void StartGame(uint32_t clockMs) {
    SetOpenWait(0);
    SetGameDefaults();
    PutPlayerInCar();
    Host().StartDrawing(kFrameMs);
    StartClock(clockMs);
    HoldClock(clockMs);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
}

// The playlist's stream, once it plays, since call first: the only stream
// played but the jingles (modules of before the continuous stream played the
// track's own, which --asi may load).
uint32_t StreamPlayed(int first) {
    for (const BassCall& play : BassCallsOf(BF_PLAY, first))
        if (play.result && !IsJingleChannel(play.handle)) return play.handle;
    return 0;
}

uint32_t WaitForStream(int first) {
    uint32_t stream = 0;
    WaitFor([&] { return (stream = StreamPlayed(first)) != 0; }, "the big folder's stream playing");
    return stream;
}

// The track on air at the tune-in: the one track the opening positions.
uint32_t TrackOnAir(int first) {
    for (const BassCall& set : BassCallsOf(BF_SET_POSITION, first))
        for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, first))
            if (open.args[1] == kTrackFlags && open.result == set.handle) return set.handle;
    return 0;
}

int LengthOpens() {
    int opens = 0;
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE)) opens += open.args[1] == kLengthFlags;
    return opens;
}

std::string RunLog() {
    std::string log;
    ReadFile(kRunLogPath, log);
    return log;
}

bool LogSays(const std::string& text) {
    return RunLog().find(text) != std::string::npos;
}

size_t Lines(const std::string& text) {
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

std::string OpenedName(uint32_t stream) {
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE))
        if (open.result == stream) return open.text;
    return "";
}

uint64_t PositionSet(uint32_t stream) {
    for (const BassCall& call : BassCallsOf(BF_SET_POSITION))
        if (call.handle == stream) return call.qwords[0];
    return ~0ull;
}

}  // namespace

int PlayBigFolderFirstRun() {
    MakeFolder(kPairTracks);
    WriteFile(kSettingsPath, Settings(kFolder));
    FakeBass_SetOpenDelay(kPairOpenMs);
    TuneTo(kStation);
    StartGame(kFirstClockMs);
    WaitForStream(0);
    ResumeClock();
    CHECK(LogSays("playlist audio/streams/big: starts on a partial tape, "), "the run log says it started on a partial tape");

    const std::string complete = "playlist audio/streams/big: tape complete: " + std::to_string(kPairTracks) + " tracks";
    WaitFor([&] { return LogSays(complete); }, "the tape learned to its end", kLearnTimeoutMs);
    std::string cache;
    WaitFor([&] { return ReadFile(kCache, cache) && Lines(cache) == kPairTracks + 1u; }, "every length kept");
    CHECK(LengthOpens() == kPairTracks, "each length learned once, got " + std::to_string(LengthOpens()));
    return Failures();
}

int PlayBigFolderNextRun() {
    KeepAudioRecord();
    DeleteFileA(kBassLogName);
    WriteFile(kSettingsPath, Settings(kFolder));
    FakeBass_SetOpenDelay(kPairOpenMs);
    TuneTo(kStation);
    StartGame(kNextClockMs);
    WaitForStream(0);
    const uint32_t track = TrackOnAir(0);

    // Where the whole tape puts the broadcast time: the cache held every length.
    double position = std::fmod(kNextClockMs / 1000.0 + kSavedOffset, [] {
        double total = 0;
        for (int i = 0; i < kPairTracks; ++i) total += TrackMs(i) / 1000.0;
        return total;
    }());
    int index = 0;
    while (position >= TrackMs(index) / 1000.0) position -= TrackMs(index++) / 1000.0;
    const std::string opened = OpenedName(track), name = TrackName(index);
    CHECK(opened.size() > name.size() && opened.compare(opened.size() - name.size(), name.size(), name) == 0,
          "the track on air on the whole tape plays: " + TrackName(track) + ", got " + opened);
    const double expected = position * kFloatBytesPerSecond;
    CHECK(std::fabs(static_cast<double>(PositionSet(track)) - expected) <= kPositionSlackBytes,
          "from its place on the whole tape: " + std::to_string(expected) + ", got " + std::to_string(PositionSet(track)));
    CHECK(LengthOpens() == 0, "no track opened for its length, got " + std::to_string(LengthOpens()));
    CHECK(LogSays("playlist audio/streams/big: " + std::to_string(kPairTracks) + " tracks, "), "the whole tape known");
    CHECK(!LogSays("partial"), "no partial tape in the next run");
    return Failures();
}

namespace {

// Tunes in tuneAfterMs after the game starts and prints when the sound came
// and when the tape was whole, in ms, with the given name prefix.
void MeasureTuneIn(const char* name, uint32_t tuneAfterMs) {
    TuneTo(kGameStation);  // until the tune-in
    DeleteFileA(kRunLogPath);  // the last run's, until the module starts its own
    const double started = NowMs();
    double whole = 0;
    const auto tapeWhole = [&] {
        if (!whole && LogSays(" tracks, ") && LogSays(" in all")) whole = NowMs();
        return whole != 0;
    };
    StartGame(kFirstClockMs);
    ResumeClock();
    while (NowMs() - started < tuneAfterMs) {
        tapeWhole();
        Sleep(kPollMs);
    }
    const int first = BassCallCount();
    const double tuned = NowMs();
    TuneTo(kStation);
    const uint32_t stream = WaitForStream(first);
    std::printf("%s_sound_ms=%.0f\n", name, FakeBass_PlayedAtMs(stream) - tuned);
    WaitFor(tapeWhole, "the tape whole", kLearnTimeoutMs * 5);
    std::printf("%s_tape_whole_ms=%.0f\n", name, whole - started);
    std::printf("%s_lengths_opened=%d\n", name, LengthOpens());
    std::printf("%s_partial_start=%d\n", name, LogSays("partial") ? 1 : 0);
}

}  // namespace

int BenchBigFolderFirstRun() {
    MakeFolder(kBenchTracks);
    for (const char* folder : {"idents", "spots"}) CreateDirectoryA((std::string("audio\\streams\\") + folder).c_str(), nullptr);
    for (int i = 0; i < kBenchIdents + kBenchSpots; ++i) {
        const std::string clip = std::string(i < kBenchIdents ? "audio/streams/idents/" : "audio/streams/spots/") + TrackName(i);
        WriteWaveHeader(clip, TrackMs(i) / 10);
    }
    std::string settings = Settings(kFolder);
    settings.insert(settings.find("[POSITION]"), kBenchProgramme);
    WriteFile(kSettingsPath, settings);
    FakeBass_SetOpenDelay(kBenchOpenMs);
    MeasureTuneIn("folder_first", kBenchTuneAfterMs);
    return Failures();
}

int BenchBigFolderNextRun() {
    FakeBass_SetOpenDelay(kBenchOpenMs);
    MeasureTuneIn("folder_next", kBenchTuneAfterMs);
    return Failures();
}

int BenchLongList() {
    MakeFolder(0);
    CreateDirectoryA("audio\\streams\\many", nullptr);
    std::string list = "#EXTM3U\r\n";
    for (int i = 0; i < kBenchListLines; ++i) {
        WriteWaveHeader("audio/streams/many/" + TrackName(i), TrackMs(i));
        list += "many/" + TrackName(i) + "\r\n";
    }
    WriteFile(kList, list);
    WriteFile(kSettingsPath, Settings(kList));
    MeasureTuneIn("list", 0);
    return Failures();
}
