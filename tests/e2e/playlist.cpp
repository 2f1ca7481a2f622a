#include "tests/e2e/playlist.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/rig.h"

namespace {

constexpr uint32_t kResampledRate = 48000;
// The output's rate: the tracks' own, so that the stream's bytes are those
// read from the tracks, or another, through the resampler.
uint32_t g_outputRate = kTrackRate;
double StreamBytesPerMs() {
    return g_outputRate * 8 / 1000.0;  // the stream: stereo float
}
constexpr uint32_t kTrackMs[] = {3000, 3000, 4000, 3000};  // 13 s of tape
// With the saved offset of 100 s: broadcast time 1307.5 s: 7.5 s into the tape, 1.5 s into the third track.
constexpr uint32_t kFolderClockMs = 1207500;
// Broadcast time 6003.5 s: 3.5 s into the 6 s list, 0.5 s into its second track.
constexpr uint32_t kListClockMs = 5903500;
// 8 tracks of 250 ms: broadcast time 200.05 s, 0.05 s into the first.
constexpr uint32_t kShortClockMs = 100050;
constexpr uint32_t kShortTracks = 8, kShortMs = 250;
// Broadcast time 104.5 s: 0.5 s into the folder's first track; 2.5 s once its open has taken 2 s.
constexpr uint32_t kReopenClockMs = 4500, kOpenTakesMs = 2000;
constexpr uint32_t kCrowdTracks = 1000, kCrowdMs = 250;
constexpr uint32_t kTrackFlags = 0x80220100;   // unicode name, decode only, prescanned, float
constexpr uint32_t kLengthFlags = 0x80200100;  // unicode name, decode only, float
constexpr double kMostGapMs = 20;
constexpr double kMostSoundingMs = 1200;
// The two tracks waiting in the stream at the tune-away, and one more when a
// track change of these 250 ms tracks lands between the tune-away and the
// stream's stop on a loaded machine: the track readied then is freed unread.
constexpr size_t kMostOpenedInVain = 3;
constexpr uint32_t kFrameMs = 16;
constexpr float kRadioVolume = 0.8f;

const char kSettings[] =
    "[TRACK2]\r\nplaylist = audio/streams/rock\r\nname = Rock Radio\r\n"
    "[TRACK4]\r\nplaylist = audio/streams/mix.m3u\r\n"
    "[TRACK5]\r\nplaylist = audio/streams/short\r\n"
    "[TRACK6]\r\nplaylist = audio/streams/empty\r\n"
    "[TRACK7]\r\nplaylist = audio/streams/crowd\r\n"
    "[SWITCHER]\r\nsamples = one.wav\r\n"
    "[POSITION]\r\nseconds = 100\r\n";
const char kList[] = "#EXTM3U\r\nrock/01.wav\r\nrock/missing.wav\r\nhttp://radio.example/x.mp3\r\n\r\nrock/02.wav\r\n";

}  // namespace

bool EndsWith(const char* text, const char* ending) {
    const size_t length = std::strlen(text), size = std::strlen(ending);
    return length >= size && std::strcmp(text + length - size, ending) == 0;
}

std::vector<Piece> Heard(uint32_t stream, int first) {
    std::vector<Piece> pieces;
    const std::vector<BassCall> calls = BassCallsFrom(first);
    for (const BassCall& pull : calls) {
        if (pull.fn != BF_STREAM_PULL || pull.handle != stream) continue;
        double at = static_cast<double>(pull.qwords[0]);
        const double heard = static_cast<double>(pull.qwords[1]);
        for (const BassCall& read : calls) {
            if (read.fn != BF_GET_DATA || read.args[1] != pull.args[1] || read.result == 0xFFFFFFFFu) continue;
            // Mono to stereo; resampled, as many bytes in time, though the
            // resampler reads ahead of what it writes.
            const double written = read.result * 2.0 * g_outputRate / kTrackRate;
            pieces.push_back({read.handle, read.qwords[0], read.qwords[0] + read.result,
                              pull.time * 1000 + (at - heard) / StreamBytesPerMs(),
                              pull.time * 1000 + (at + written - heard) / StreamBytesPerMs()});
            at += written;
        }
    }
    return pieces;
}

// The track channel the module opened from the file ending in name, since first.
uint32_t TrackOpened(const char* name, int first) {
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, first))
        if (open.args[1] == kTrackFlags && EndsWith(open.text, name) && open.result) return static_cast<uint32_t>(open.result);
    return 0;
}

uint32_t StreamPlaying(int first) {
    uint32_t stream = 0;
    WaitFor(
        [&] {
            for (const BassCall& made : BassCallsOf(BF_STREAM_CREATE, first))
                for (const BassCall& play : BassCallsOf(BF_PLAY, first))
                    if (made.result && play.handle == made.result) stream = play.handle;
            return stream != 0;
        },
        "the playlist stream playing");
    return stream;
}

uint64_t PositionSet(uint32_t channel, int first) {
    for (const BassCall& call : BassCallsOf(BF_SET_POSITION, first))
        if (call.handle == channel) return call.qwords[0];
    return ~0ull;
}

namespace {

int JinglesSince(int first) {
    int jingles = 0;
    for (const BassCall& play : BassCallsOf(BF_PLAY, first)) jingles += IsJingleChannel(play.handle);
    return jingles;
}

}  // namespace

void TuneHeld(int32_t station, uint32_t clockMs) {
    HoldClock(clockMs);
    TuneTo(station);
}

// Follows the stream until the track channel `last` has been heard, the game's
// radio watched all along; the pieces heard by then.
std::vector<Piece> HearUntil(uint32_t stream, int first, const std::function<uint32_t()>& last, bool& radioHeard,
                             const std::string& what) {
    std::vector<Piece> pieces;
    WaitFor(
        [&] {
            radioHeard |= !RadioBytesAre(host::kRadioOutputOff, host::kRadioRetuneOn);
            const uint32_t channel = last();
            if (!channel) return false;
            pieces = Heard(stream, first);
            for (const Piece& piece : pieces)
                if (piece.channel == channel && piece.heardToMs < NowMs()) return true;
            return false;
        },
        what);
    return pieces;
}

// The name of the track file a channel was opened from, since first.
std::string TrackName(uint32_t channel, int first) {
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, first))
        if (open.args[1] == kTrackFlags && open.result == channel) return open.text;
    return "";
}

// Consecutive pieces of different channels: the first ran to its end (bytes
// long, by its name) and the next began at its start, heard within kMostGapMs
// of each other. Through the resampler the reads run ahead of what is heard,
// and the joins are the sound tests' to judge: only the order of reads counts.
double CheckSeamless(const std::vector<Piece>& pieces, int first,
                     const std::function<uint64_t(const std::string&)>& bytes, const std::string& what) {
    double least = 0, most = 0;
    int changes = 0;
    for (size_t i = 1; i < pieces.size(); ++i) {
        const Piece &before = pieces[i - 1], &after = pieces[i];
        if (before.channel == after.channel) {
            CHECK(after.from == before.to, what + ": a track read on without a skip");
            continue;
        }
        const std::string name = TrackName(before.channel, first);
        CHECK(after.from == 0 && before.to == bytes(name), what + ": " + name + " ended at " + std::to_string(before.to));
        const double gap = after.heardFromMs - before.heardToMs;
        if (g_outputRate != kTrackRate) {
            ++changes;
            continue;
        }
        CHECK(gap > -kMostGapMs && gap < kMostGapMs, what + ": " + std::to_string(gap) + " ms between two tracks");
        least = changes++ ? std::min(least, gap) : gap;
        most = std::max(most, gap);
    }
    if (g_outputRate != kTrackRate) {
        std::printf("playlists: %s at %u Hz: %d track changes, each track read to its end and the next from its start\n",
                    what.c_str(), g_outputRate, changes);
        return 0;
    }
    std::printf("playlists: %s: %d track changes heard, from %.2f to %.2f ms between a track's end and the next\n",
                what.c_str(), changes, least, most);
    return std::max(std::fabs(least), std::fabs(most));
}

// The game runs with the player in a car and the clock at clockMs.
void StartDriving(uint32_t clockMs) {
    FakeBass_SetOutputRate(g_outputRate);
    SetOpenWait(0);
    SetGameDefaults();
    SetHost<float>(host::kRadioVolumeAddr, kRadioVolume);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    PutPlayerInCar();
    Host().StartDrawing(kFrameMs);
    StartClock(clockMs);
}

int PlayPlaylists() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, kSettings);
    for (const char* folder : {"rock", "empty", "short", "crowd"})
        CreateDirectoryA((std::string("audio\\streams\\") + folder).c_str(), nullptr);
    for (int i = 0; i < 4; ++i) WriteWaveOfLength("audio/streams/rock/0" + std::to_string(i + 1) + ".wav", kTrackMs[i], kTrackRate);
    for (uint32_t i = 1; i <= kShortTracks; ++i)
        WriteWaveOfLength("audio/streams/short/0" + std::to_string(i) + ".wav", kShortMs, kTrackRate);
    for (uint32_t i = 0; i < kCrowdTracks; ++i)
        WriteWaveOfLength("audio/streams/crowd/" + std::to_string(1000 + i) + ".wav", kCrowdMs, kTrackRate);
    WriteFile("audio/streams/rock/cover.jpg", "not a track");
    WriteFile("audio/streams/mix.m3u", kList);
    WriteWave("audio/streams/one.wav");
    StartDriving(kFolderClockMs);

    // The folder: four tracks learned from their headers, the third on air 1.5 s in.
    const int tuned = BassCallCount();
    TuneHeld(2, kFolderClockMs);
    const uint32_t stream = StreamPlaying(tuned);
    const uint32_t third = TrackOpened("03.wav", tuned);
    CHECK(PositionSet(third, tuned) == kFloatBytesPerSecond * 3 / 2,
          "the third track starts 1.5 s in, got " + std::to_string(PositionSet(third, tuned)));
    ResumeClock();
    WaitFor([] { return RadioBytesAre(host::kRadioOutputOff, host::kRadioRetuneOn); }, "the game radio silenced");

    // 2.5 s later the fourth follows in the same stream, sample-exact: no jingle, the game radio silent.
    const int playing = BassCallCount();
    bool radioHeard = false;
    const auto folderPieces = HearUntil(stream, tuned, [&] { return TrackOpened("04.wav", tuned); }, radioHeard,
                                        "the fourth track heard after the third");
    CheckSeamless(folderPieces, tuned, [](const std::string& name) {
        return kTrackMs[name[name.size() - 5] - '1'] * kFloatBytesPerSecond / 1000;
    }, "folder");
    CHECK(!radioHeard, "the game radio stays silent through the track change");
    CHECK(JinglesSince(playing) == 0, "no jingle at a track change");
    CHECK(FakeBass_Active(stream) == 1 && BassCallsOf(BF_PLAY, playing).empty(), "one stream plays on");
    CHECK(PositionSet(TrackOpened("04.wav", tuned), tuned) == ~0ull, "the next track plays from its start");

    // The playlist file: a missing track and a URL are left out of the tape.
    const int listed = BassCallCount();
    TuneHeld(4, kListClockMs);
    StreamPlaying(listed);
    CHECK(PositionSet(TrackOpened("rock/02.wav", listed), listed) == kFloatBytesPerSecond / 2,
          "0.5 s into the list's second playable track");
    // Learned ahead or at the tune-in, each once: the list's two are the folder's first two.
    int lengthsLearned = 0;
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, 0))
        lengthsLearned += open.args[1] == kLengthFlags && open.result != 0 && std::strstr(open.text, "rock") != nullptr;
    CHECK(lengthsLearned == 4, "each rock track's length learned once, got " + std::to_string(lengthsLearned));
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, listed))
        CHECK(std::strstr(open.text, "http") == nullptr, "URL lines are not opened");
    CHECK(FakeBass_Active(stream) == 0, "the folder's stream is gone");

    // Tracks shorter than the stream's buffer play in order, each to its end;
    // one that disappears before its turn is passed over.
    const int shortTuned = BassCallCount();
    TuneHeld(5, kShortClockMs);
    const uint32_t shortStream = StreamPlaying(shortTuned);
    DeleteFileA("audio/streams/short/07.wav");
    ResumeClock();
    WaitFor([] { return RadioBytesAre(host::kRadioOutputOff, host::kRadioRetuneOn); }, "the game radio silenced");
    radioHeard = false;
    const auto shortPieces = HearUntil(shortStream, shortTuned, [&] { return TrackOpened("08.wav", shortTuned); },
                                       radioHeard, "the short tracks heard to the last");
    CheckSeamless(shortPieces, shortTuned, [](const std::string&) { return kShortMs * kFloatBytesPerSecond / 1000; },
                  "short tracks");
    std::string order;  // the tracks' numbers as heard
    for (const Piece& piece : shortPieces) {
        const std::string name = TrackName(piece.channel, shortTuned);
        if (!name.empty() && (order.empty() || order.back() != name[name.size() - 5])) order += name[name.size() - 5];
    }
    CHECK(order.rfind("1234568", 0) == 0, "the short tracks in order, the vanished one passed over: " + order);
    CHECK(!radioHeard, "the game radio stays silent through the short tracks");

    // A thousand short tracks: sound soon after tuning in, few tracks opened in vain.
    const int crowdTuned = BassCallCount();
    const double tunedAt = NowMs();
    TuneTo(7);
    const uint32_t crowdStream = StreamPlaying(crowdTuned);
    std::vector<Piece> crowdPieces;
    WaitFor([&] { return !(crowdPieces = Heard(crowdStream, crowdTuned)).empty(); }, "the crowded folder heard");
    const double soundingMs = crowdPieces.empty() ? 1e9 : crowdPieces.front().heardFromMs - tunedAt;
    std::printf("playlists: a folder of %u tracks sounds %.0f ms after tuning in\n", kCrowdTracks, soundingMs);
    CHECK(soundingMs < kMostSoundingMs, "sounding " + std::to_string(soundingMs) + " ms after tuning in");
    Sleep(kCrowdMs);

    // An empty folder plays nothing: the game radio comes back after the fade.
    TuneTo(6);
    WaitFor([] { return RadioBytesAre(host::kRadioOutputOn, host::kRadioRetuneOn); }, "the game radio given back");
    crowdPieces = Heard(crowdStream, crowdTuned);
    size_t openedInVain = 0;
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, crowdTuned)) {
        if (open.args[1] != kTrackFlags || !open.result) continue;
        bool read = false;
        for (const Piece& piece : crowdPieces) read |= piece.channel == open.result;
        openedInVain += !read;
    }
    std::printf("playlists: %zu tracks of the crowded folder opened and never played\n", openedInVain);
    CHECK(openedInVain <= kMostOpenedInVain, std::to_string(openedInVain) + " tracks opened and never played");

    // The broadcast time is read once the track is open, so that the open's time counts.
    const int reopened = BassCallCount();
    FakeBass_HoldOpens(1);
    HoldClock(kReopenClockMs);
    TuneTo(2);
    WaitFor([] { return FakeBass_OpensWaiting() == 1; }, "the track's open under way");
    HoldClock(kReopenClockMs + kOpenTakesMs);
    FakeBass_HoldOpens(0);
    StreamPlaying(reopened);
    CHECK(PositionSet(TrackOpened("01.wav", reopened), reopened) == kFloatBytesPerSecond * 5 / 2,
          "2.5 s into the first track, where the broadcast was when it opened");
    ResumeClock();

    std::string log;
    ReadFile(kRunLogPath, log);
    for (const char* line : {"station start: playlist audio/streams/rock playing 03.wav from 0:01 of 0:04\r\n",
                             "playlist audio/streams/rock: next track 04.wav\r\n",
                             "playlist audio/streams/short: next track 08.wav\r\n",
                             "playlist track 07.wav left out: ",
                             "playlist audio/streams/mix.m3u: http://radio.example/x.mp3 left out: a URL",
                             "playlist track rock/missing.wav left out: ",
                             "station start: playlist audio/streams/empty: no track in it plays\r\n"})
        CHECK(log.find(line) != std::string::npos, std::string("the run log says: ") + line);
    return Failures();
}

namespace {

// A tape whose second track's header says 4 s where it runs 10 s, and a
// track whose header gives no length at all.
constexpr uint32_t kExactTrackMs[] = {3000, 10000, 3000, 2000};
constexpr uint32_t kHeaderSaysMs = 4000;
const char kExactSettings[] =
    "[TRACK3]\r\nplaylist = audio/streams/vbr\r\n"
    "[POSITION]\r\nseconds = 100\r\n";
const char kExactCache[] = "audio/streams/zorve-tracks.cache";
// Broadcast time 504.5 s: 0.5 s into the first track on the header's tape of 12 s.
constexpr uint32_t kFirstTuneMs = 404500;
// Broadcast time 551.5 s: 8.5 s into the second track on the true tape of
// 18 s; the header's tape would put it 1.5 s into the last.
constexpr uint32_t kSecondTuneMs = 451500;
constexpr double kTrueSecondsIn = 8.5;
constexpr double kMostMissSeconds = 0.5;
constexpr int32_t kOtherStation = 4;  // nothing in its section

}  // namespace

int PlayExactTape() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, kExactSettings);
    CreateDirectoryA("audio\\streams\\vbr", nullptr);
    const char* names[] = {"01.wav", "02.mp3", "03.wav", "04.ogg"};
    for (int i = 0; i < 4; ++i) WriteWaveOfLength(std::string("audio/streams/vbr/") + names[i], kExactTrackMs[i], kTrackRate);
    FakeBass_SetHeaderLength("02.mp3", kFloatBytesPerSecond * kHeaderSaysMs / 1000);
    FakeBass_SetHeaderLength("04.ogg", ~0ull);
    StartDriving(kFirstTuneMs);

    // The first track plays; the second, opened ahead with the full scan, corrects the tape.
    const int tuned = BassCallCount();
    TuneHeld(3, kFirstTuneMs);
    const uint32_t stream = StreamPlaying(tuned);
    WaitFor([&] { return TrackOpened("02.mp3", tuned) != 0; }, "the second track opened ahead");
    WaitFor(
        [] {
            std::string cache;
            return ReadFile(kExactCache, cache) && cache.find("\t10000000\te\t-\t-\taudio/streams/vbr/02.mp3\n") != std::string::npos;
        },
        "the cache holds the second track's exact length");

    // Tuned away and back: the broadcast is where the true lengths put it.
    TuneTo(kOtherStation);
    WaitFor([&] { return FakeBass_Active(stream) == 0; }, "the tape's stream gone");
    const int retuned = BassCallCount();
    TuneHeld(3, kSecondTuneMs);
    StreamPlaying(retuned);
    const uint64_t placed = PositionSet(TrackOpened("02.mp3", retuned), retuned);
    const double secondsIn = static_cast<double>(placed) / kFloatBytesPerSecond;
    CHECK(placed != ~0ull && secondsIn > kTrueSecondsIn - kMostMissSeconds && secondsIn < kTrueSecondsIn + kMostMissSeconds,
          "the tune-in lands " + std::to_string(kTrueSecondsIn) + " s into the second track, got " +
              (placed != ~0ull ? std::to_string(secondsIn) : std::string("another track")));
    ResumeClock();

    std::string log;
    ReadFile(kRunLogPath, log);
    for (const char* line : {"playlist audio/streams/vbr: 02.mp3 is 0:10 long, not 0:04 as its header said\r\n",
                             "playlist track 04.ogg: its header gives no length; a full scan found 0:02\r\n"})
        CHECK(log.find(line) != std::string::npos, std::string("the run log says: ") + line);
    CHECK(log.find("02.mp3 is 0:10 long") == log.rfind("02.mp3 is 0:10 long"), "the correction is said once");
    return Failures();
}

int PlayPlaylistsResampled() {
    g_outputRate = kResampledRate;
    return PlayPlaylists();
}

int PlayExactTapeResampled() {
    g_outputRate = kResampledRate;
    return PlayExactTape();
}
