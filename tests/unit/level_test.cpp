// Levelling's keys and gains: off unless asked for, the target's range, the
// clipping limit and the loudness that tags give.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

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

}  // namespace
