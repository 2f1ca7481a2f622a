#include "tests/e2e/playlist.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "tests/e2e/rig.h"

namespace {

constexpr uint32_t kTrackRate = 8000;                 // Hz, mono
constexpr uint64_t kFloatBytesPerSecond = kTrackRate * 4;  // as the module opens tracks
constexpr uint32_t kTrackMs[] = {3000, 3000, 4000, 3000};  // 13 s of tape
// With the saved offset of 100 s: broadcast time 1307.5 s: 7.5 s into the tape, 1.5 s into the third track.
constexpr uint32_t kFolderClockMs = 1207500;
// Broadcast time 6003.5 s: 3.5 s into the 6 s list, 0.5 s into its second track.
constexpr uint32_t kListClockMs = 5903500;
constexpr uint32_t kTrackFlags = 0x80020100;  // unicode name, prescanned, float, no loop
constexpr uint32_t kLengthFlags = 0x80200100; // unicode name, decode only, float
constexpr double kMaxGapMs = 50;
constexpr uint32_t kFrameMs = 16;
constexpr float kRadioVolume = 0.8f;

const char kSettings[] =
    "[TRACK2]\r\nplaylist = audio/streams/rock\r\nname = Rock Radio\r\n"
    "[TRACK4]\r\nplaylist = audio/streams/mix.m3u\r\n"
    "[TRACK6]\r\nplaylist = audio/streams/empty\r\n"
    "[SWITCHER]\r\nsamples = one.wav\r\n"
    "[POSITION]\r\nseconds = 100\r\n";
const char kList[] = "#EXTM3U\r\nrock/01.wav\r\nrock/missing.wav\r\nhttp://radio.example/x.mp3\r\n\r\nrock/02.wav\r\n";

bool EndsWith(const char* text, const char* ending) {
    const size_t length = std::strlen(text), size = std::strlen(ending);
    return length >= size && std::strcmp(text + length - size, ending) == 0;
}

// The stream the module played from the track file ending in name, since first.
uint32_t PlayedTrack(const char* name, int first) {
    uint32_t stream = 0;
    WaitFor(
        [&] {
            for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, first)) {
                if (open.args[1] != kTrackFlags || !EndsWith(open.text, name) || !open.result) continue;
                for (const BassCall& play : BassCallsOf(BF_PLAY, first))
                    if (play.handle == open.result) stream = static_cast<uint32_t>(open.result);
            }
            return stream != 0;
        },
        std::string("the track ") + name + " playing");
    return stream;
}

uint64_t PositionSet(uint32_t stream, int first) {
    for (const BassCall& call : BassCallsOf(BF_SET_POSITION, first))
        if (call.handle == stream) return call.qwords[0];
    return ~0ull;
}

int JinglesSince(int first) {
    int jingles = 0;
    for (const BassCall& play : BassCallsOf(BF_PLAY, first)) jingles += IsJingleChannel(play.handle);
    return jingles;
}

void TuneHeld(int32_t station, uint32_t clockMs) {
    HoldClock(clockMs);
    TuneTo(station);
}

}  // namespace

int PlayPlaylists() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, kSettings);
    CreateDirectoryA("audio\\streams\\rock", nullptr);
    CreateDirectoryA("audio\\streams\\empty", nullptr);
    for (int i = 0; i < 4; ++i) WriteWaveOfLength("audio/streams/rock/0" + std::to_string(i + 1) + ".wav", kTrackMs[i], kTrackRate);
    WriteFile("audio/streams/rock/cover.jpg", "not a track");
    WriteFile("audio/streams/mix.m3u", kList);
    WriteWave("audio/streams/one.wav");
    SetOpenWait(0);
    SetGameDefaults();
    SetHost<float>(host::kRadioVolumeAddr, kRadioVolume);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    PutPlayerInCar();
    Host().StartDrawing(kFrameMs);
    StartClock(kFolderClockMs);

    // The folder: four tracks learned from their headers, the third on air 1.5 s in.
    const int tuned = BassCallCount();
    TuneHeld(2, kFolderClockMs);
    const uint32_t third = PlayedTrack("03.wav", tuned);
    CHECK(PositionSet(third, tuned) == kFloatBytesPerSecond * 3 / 2,
          "the third track starts 1.5 s in, got " + std::to_string(PositionSet(third, tuned)));
    ResumeClock();
    WaitFor([] { return RadioBytesAre(host::kRadioOutputOff, host::kRadioRetuneOn); }, "the game radio silenced");

    // 2.5 s later the fourth follows: no jingle, the game radio silent, at the volume reached.
    const int playing = BassCallCount();
    const uint32_t fourth = PlayedTrack("04.wav", tuned);
    bool radioHeard = false;
    WaitFor(
        [&] {
            radioHeard |= !RadioBytesAre(host::kRadioOutputOff, host::kRadioRetuneOn);
            for (const BassCall& play : BassCallsOf(BF_PLAY, playing))
                if (play.handle == fourth) return true;
            return false;
        },
        "the fourth track playing after the third");
    const double gap = FakeBass_PlayedAtMs(fourth) - FakeBass_EndedAtMs(third);
    CHECK(gap >= 0 && gap <= kMaxGapMs, "at most 50 ms between the tracks, got " + std::to_string(gap) + " ms");
    CHECK(!radioHeard, "the game radio stays silent through the track change");
    CHECK(JinglesSince(playing) == 0, "no jingle at a track change");
    CHECK(PositionSet(fourth, playing) == ~0ull, "the next track plays from its start");
    float handedVolume = -1;
    for (const BassCall& call : BassCallsOf(BF_SET_ATTRIBUTE, playing))
        if (call.handle == fourth && handedVolume < 0) handedVolume = call.value;
    CHECK(handedVolume > 0, "the next track starts at the volume reached, got " + std::to_string(handedVolume));

    // The playlist file: a missing track and a URL are left out of the tape.
    const int listed = BassCallCount();
    TuneHeld(4, kListClockMs);
    const uint32_t second = PlayedTrack("rock/02.wav", listed);
    // Learned ahead or at the tune-in, each once: the list's two are the folder's first two.
    int lengthsLearned = 0;
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, 0))
        lengthsLearned += open.args[1] == kLengthFlags && open.result != 0;
    CHECK(lengthsLearned == 4, "each track's length learned once, got " + std::to_string(lengthsLearned));
    CHECK(PositionSet(second, listed) == kFloatBytesPerSecond / 2, "0.5 s into the list's second playable track");
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, listed))
        CHECK(std::strstr(open.text, "http") == nullptr, "URL lines are not opened");

    // An empty folder plays nothing: the game radio comes back after the fade.
    ResumeClock();
    TuneTo(6);
    WaitFor([] { return RadioBytesAre(host::kRadioOutputOn, host::kRadioRetuneOn); }, "the game radio given back");

    std::string log;
    ReadFile(kRunLogPath, log);
    for (const char* line : {"station start: playlist audio/streams/rock playing 03.wav from 0:01 of 0:04\r\n",
                             "playlist audio/streams/rock: next track 04.wav\r\n",
                             "playlist audio/streams/mix.m3u: http://radio.example/x.mp3 left out: a URL",
                             "playlist track rock/missing.wav left out: ",
                             "station start: playlist audio/streams/empty: no track in it plays\r\n"})
        CHECK(log.find(line) != std::string::npos, std::string("the run log says: ") + line);
    return Failures();
}
