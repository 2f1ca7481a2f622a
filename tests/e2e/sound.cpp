#include "tests/e2e/sound.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/e2e/rig.h"
#include "tests/e2e/timeline.h"

namespace {

constexpr int32_t kSavedOffset = 600;
constexpr uint32_t kStartClockMs = 95000;
constexpr float kRadioVolume = 0.8f;
constexpr int16_t kOpenWaitMs = 600;
constexpr DWORD kFollowPollMs = 2;
constexpr uint32_t kHeardMs = 1500;  // each station is heard this long at full volume
constexpr uint32_t kOnFootMs = 1000;

const char kSunrise[] = "audio/streams/music/sunrise.wav";
const char kNightDrive[] = "audio/streams/music/night-drive.wav";
// A playlist of three songs of 6, 5 and 7 s, tuned 4 s into the first so that
// its change to the second is heard at full volume.
const char kCity[] = "audio/streams/music/city";
constexpr int32_t kCityStation = 5;
constexpr uint32_t kCityTapeMs = 18000;
constexpr uint32_t kCityIntoMs = 4000;
constexpr uint32_t kCityHeardMs = 3500;

std::string Settings() {
    return std::string("[TRACK1]\nsource = ") + kSunrise + "\n[TRACK3]\nsource = " + kNightDrive +
           "\n[TRACK5]\nplaylist = " + kCity +
           "\n[SWITCHER]\nsamples = jingles/beep.wav,jingles/sweep.wav,jingles/chime.wav\n"
           "[POSITION]\nseconds = " + std::to_string(kSavedOffset) + "\n";
}

// Waits as WaitFor does, noting the game's state on the way.
bool Follow(const std::function<bool()>& ready, const std::string& what) {
    return WaitFor([&] {
        SampleGame();
        return ready();
    }, what);
}

void FollowFor(DWORD ms) {
    const DWORD start = GetTickCount();
    Follow([&] { return GetTickCount() - start >= ms; }, "time to pass");
}

uint32_t StreamPlayedSince(int first) {
    for (const BassCall& call : BassCallsOf(BF_PLAY, first))
        if (call.result && !IsJingleChannel(call.handle)) return call.handle;
    return 0;
}

bool AtVolume(uint32_t stream, float volume) {
    return FakeBass_Volume(stream) == volume;
}

// Tunes with the clock held until the stream plays, so that the broadcast
// time the module should use is known exactly.
uint32_t TuneAndHear(int32_t station, const char* source, uint32_t clockMs) {
    const int first = BassCallCount();
    HoldClock(clockMs);
    TuneTo(station);
    TimelineMark("station", std::to_string(station));
    Follow([&] { return StreamPlayedSince(first) != 0; }, std::string("the stream of ") + source);
    char broadcast[64];
    std::snprintf(broadcast, sizeof broadcast, "%.3f", clockMs / 1000.0 + kSavedOffset);
    TimelineMark("broadcast", std::string(source) + " " + broadcast);
    ResumeClock();
    const uint32_t stream = StreamPlayedSince(first);
    Follow([&] { return AtVolume(stream, kRadioVolume); }, std::string(source) + " at full volume");
    return stream;
}

}  // namespace

int PlaySoundDrive() {
    WriteFile(kSettingsPath, Settings());
    KeepAudioRecord();
    OpenTimeline("drive-timeline.txt");
    SetGameDefaults();
    SetHost<float>(host::kRadioVolumeAddr, kRadioVolume);
    SetOpenWait(kOpenWaitMs);
    FakeBass_SetJingleLength(FAKEBASS_OWN_LENGTH);
    StartClock(kStartClockMs);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    Follow([] { return BassCallsOf(BF_SAMPLE_LOAD).size() == 3; }, "the jingles");

    PutPlayerInCar();
    const uint32_t stream = TuneAndHear(1, kSunrise, kStartClockMs + 1000);
    FollowFor(kHeardMs);

    PlayerLeavesCar();
    Follow([&] { return AtVolume(stream, 0.0f); }, "the stream silent");
    FollowFor(kOnFootMs);
    PutPlayerInCar();
    Follow([&] { return AtVolume(stream, kRadioVolume); }, "the stream back at full volume");
    FollowFor(kHeardMs / 3);

    TuneAndHear(3, kNightDrive, ClockMs() + 500);
    FollowFor(kHeardMs);

    uint32_t clockMs = ClockMs() + 500;
    const uint32_t broadcastMs = clockMs + static_cast<uint32_t>(kSavedOffset) * 1000;
    clockMs += (kCityIntoMs + kCityTapeMs - broadcastMs % kCityTapeMs) % kCityTapeMs;
    const int first = BassCallCount();
    HoldClock(clockMs);
    TuneTo(kCityStation);
    TimelineMark("station", std::to_string(kCityStation));
    Follow([&] { return StreamPlayedSince(first) != 0; }, "the playlist's stream");
    ResumeClock();
    FollowFor(kCityHeardMs);
    CloseTimeline();
    return Failures();
}
