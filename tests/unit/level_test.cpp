// Levelling's keys and gains: off unless asked for, the target's range, the
// clipping limit and the loudness that tags give.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/bass.h"
#include "radio/common/output.h"
#include "radio/level/level.h"
#include "radio/playlist/levels.h"
#include "radio/playlist/tape.h"
#include "tests/unit/support.h"

namespace {

class Level : public ModuleTest {};

TrackLevel Known(double lufs, double peak) {
    TrackLevel level;
    level.known = true;
    level.loudnessLufs = lufs;
    level.peak = peak;
    return level;
}

TEST_F(Level, GainBringsATrackToTheTargetWithoutClipping) {
    const double kOff = 0;
    struct Case {
        const char* settings;
        TrackLevel level;
        double gainDb;
        bool refused;  // the target was refused and said so
    };
    const Case cases[] = {
        {"", Known(-10, 0.3), kOff, false},
        {"[SOUND]\nlevel = 0\n", Known(-10, 0.3), kOff, false},
        {"[SOUND]\nlevel = 1\n", Known(-10, 0.3), -8, false},
        {"[SOUND]\nlevel = 1\ntarget = -23\n", Known(-10, 0.3), -13, false},
        {"[SOUND]\nlevel = 1\ntarget = -12.5\n", Known(-26, 0.05), 13.5, false},
        {"[SOUND]\nlevel = 1\n", Known(-30, std::pow(10, -3 / 20.0)), 3, false},  // up to full scale only
        {"[SOUND]\nlevel = 1\ntarget = -5\n", Known(-10, 0.3), -8, true},
        {"[SOUND]\nlevel = 1\ntarget = -31\n", Known(-10, 0.3), -8, true},
        {"[SOUND]\nlevel = 1\ntarget = loud\n", Known(-10, 0.3), -8, true},
        {"[SOUND]\nlevel = 1\n", TrackLevel{}, kOff, false},          // not measured yet
        {"[SOUND]\nlevel = 1\n", Known(-70, 0.001), kOff, false},     // nothing above the gates
        {"[SOUND]\nlevel = 1\n", LevelFromReplayGain(-6.5f, true, 0.5f), -6.5, false},
        {"[SOUND]\nlevel = 1\n", LevelFromReplayGain(4, false, 0), kOff, false},  // no peak: never raised
        {"[SOUND]\nlevel = 1\n", LevelFromR128Gain(-5 * 256), kOff, false},       // -18 LUFS already
        {"[SOUND]\nlevel = 1\n", LevelFromR128Gain(-8 * 256), -3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        UseSettings(c.settings);
        ReadLevelSettings();
        EXPECT_NEAR(GainDb(TrackGain(c.level)), c.gainDb, 0.01);
        EXPECT_EQ(LogRefusedTarget(), c.refused);
        EXPECT_FALSE(LogRefusedTarget());
    }
    // Off again for the tests that follow.
    UseSettings("");
    ReadLevelSettings();
}

// A file the library opens but that gives neither samples nor an end is read
// on at later wakes, not for good: a read of nothing is no end, and no level
// is made of it.
TEST_F(Level, ASourceThatGivesNoSamplesIsPassedOver) {
    constexpr int kWakes = 100;
    folder.Write("audio/streams/stub.wav", "RIFF");
    UseSettings("[SOUND]\nlevel = 1\n[TRACK3]\nsource = audio/streams/stub.wav\n");
    ReadLevelSettings();
    PlanTapes();
    PlanFileLevels();
    for (int wake = 0; wake < kWakes; ++wake)
        while (TakeFileLevelsPlan() | LearnTapesStep() | MeasureLevelsStep()) {
        }
    const std::vector<BassCall> reads = BassCallsOf(BF_GET_DATA);
    ASSERT_GT(reads.size(), 1u);
    EXPECT_LT(reads.size(), 20u);
    const std::vector<BassCall> frees = BassCallsOf(BF_STREAM_FREE);
    EXPECT_TRUE(std::any_of(frees.begin(), frees.end(), [&](const BassCall& free) { return free.handle == reads[0].handle; }));
    EXPECT_EQ(KnownLevel(SourceTrack("audio/streams/stub.wav")).known, false);
    UseSettings("");
    ReadLevelSettings();
}

// While the library has no device every open fails with BASS_ERROR_INIT: a
// track is then put off, never passed over for the rest of the session.
TEST_F(Level, MeasuringWaitsForTheDevice) {
    constexpr int kMostSteps = 100;
    // A second of a square wave, 16-bit mono at 8 kHz.
    std::string wave("RIFF\x34\x3E\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x40\x1F\0\0\x80\x3E\0\0\x02\0\x10\0data\x80\x3E\0\0", 44);
    for (int i = 0; i < 8000; ++i) wave += i % 16 < 8 ? std::string("\x00\x20", 2) : std::string("\x00\xE0", 2);
    folder.Write("audio/streams/song.wav", wave);
    UseSettings("[SOUND]\nlevel = 1\n[TRACK3]\nsource = audio/streams/song.wav\n");
    ReadLevelSettings();
    PlanTapes();
    PlanFileLevels();
    const auto measure = [] {
        for (int steps = 0; (TakeFileLevelsPlan() | LearnTapesStep() | MeasureLevelsStep()) && steps < kMostSteps;)
            ++steps;
    };
    BASS_Free();
    measure();
    EXPECT_TRUE(BassCallsOf(BF_GET_DATA).empty());
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    measure();
    EXPECT_TRUE(KnownLevel(SourceTrack("audio/streams/song.wav")).known);
    UseSettings("");
    ReadLevelSettings();
}

// The device opened afresh (BASS_Free, BASS_Init) in the middle of a measure:
// its channel went with the old device, and the library gives its number to
// the next stream made. The measure neither reads nor frees that stream.
TEST_F(Level, AMeasureOfAClosedDeviceLeavesItsNumberAlone) {
    constexpr uint32_t kRate = 8000, kSeconds = 2;
    std::string wave = "RIFF----WAVEfmt \x10\0\0\0\1\0\1\0\x40\x1F\0\0\x80\x3E\0\0\2\0\x10\0data";
    const uint32_t bytes = kRate * kSeconds * 2;
    for (int i = 0; i < 4; ++i) wave += static_cast<char>(bytes >> (8 * i) & 0xFF);
    folder.Write("audio/streams/long.wav", wave + std::string(bytes, '\x10'));
    UseSettings("[SOUND]\nlevel = 1\n[TRACK3]\nsource = audio/streams/long.wav\n");
    ReadLevelSettings();
    PlanTapes();
    PlanFileLevels();
    FakeBass_ReuseHandles(1);
    while (TakeFileLevelsPlan() | LearnTapesStep()) {}
    ASSERT_TRUE(MeasureLevelsStep());  // the measure's channel opened
    ASSERT_EQ(BassCallsOf(BF_STREAM_CREATE_FILE).size(), 1u);

    // Restarts are a second apart: BASS_Start first, then, as the output stops
    // again at once, the device opened afresh.
    FakeNet_LoseDevice(1);
    for (int i = 0; i < 60 && BassCallsOf(BF_FREE).empty(); ++i) {
        NoteChannelState(BASS_ACTIVE_PAUSED_DEVICE);
        RestartOutput();
        Sleep(50);
    }
    ASSERT_FALSE(BassCallsOf(BF_FREE).empty());
    const uint32_t other = BASS_StreamCreateFile(0, "audio/streams/long.wav", 0, 0, BASS_STREAM_DECODE);
    const size_t mark = BassCalls().size();
    for (int i = 0; i < 3; ++i) MeasureLevelsStep();
    const std::vector<BassCall> calls = BassCalls();
    for (size_t i = mark; i < calls.size(); ++i)
        EXPECT_FALSE(calls[i].handle == other && (calls[i].fn == BF_GET_DATA || calls[i].fn == BF_STREAM_FREE))
            << "call " << calls[i].fn << " on the other's stream";
    TakeStationRestart();
    FakeBass_ReuseHandles(0);
    UseSettings("");
    ReadLevelSettings();
}

}  // namespace
