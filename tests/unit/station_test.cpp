#include <gtest/gtest.h>

#include "platform/bass.h"
#include "radio/player.h"
#include "radio/station.h"
#include "radio/volume.h"
#include "settings/settings.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

class Station : public ModuleTest {
protected:
    // A stream of the audio fake, playing, as the previous station left it.
    static uint32_t PlayingStream() {
        const uint32_t stream = BASS_StreamCreateFile(kBassFalse, "old.mp3", 0, 0, BASS_SAMPLE_LOOP);
        BASS_ChannelPlay(stream, kBassFalse);
        return stream;
    }
};

struct StationCase {
    uint8_t altFlag;
    uint8_t altStation;
    int32_t base;
    int8_t step;
    uint8_t station;
};

TEST_F(Station, CurrentStationMakesOneCorrectionAndCutsToEightBits) {
    const StationCase cases[] = {
        {1, 20, 3, 0, 20},    // alternative number used as it is
        {1, 0, 3, 0, 0},
        {0, 20, 3, 0, 3},     // alternative number ignored without the flag
        {0, 0, 13, 1, 1},
        {0, 0, 1, -1, 0},
        {0, 0, 0, -1, 12},
        {0, 0, 0, 0, 0},
        {0, 0, -12, 0, 1},
        {0, 0, -13, 0, 0},
        {0, 0, -14, 0, 255},
        {0, 0, 13, 0, 13},
        {0, 0, 14, 0, 1},
        {0, 0, 26, 0, 13},
        {0, 0, 27, 0, 14},
        {0, 0, 12, 127, 126},  // step sign-extended: 139 - 13
        {0, 0, 12, -128, 153}, // -116 + 13 = -103, cut to 8 bits
        {0, 0, INT32_MAX, 1, 13},   // wraps to INT32_MIN; + 13 leaves 0x8000000D
    };
    for (const StationCase& c : cases) {
        SetHost<uint8_t>(host::kAltStationFlagAddr, c.altFlag);
        SetHost<uint8_t>(host::kAltStationAddr, c.altStation);
        TuneTo(c.base, c.step);
        EXPECT_EQ(CurrentStation(), c.station) << int(c.altFlag) << " " << c.base << " " << int(c.step);
    }
}

TEST_F(Station, OnlyOneToElevenAreStreamed) {
    for (int station = 0; station < 256; ++station)
        EXPECT_EQ(IsStreamedStation(static_cast<uint8_t>(station)), station >= 1 && station <= 11) << station;
}

// Calls logged from index `from` on.
std::vector<BassCall> CallsFrom(size_t from) {
    const auto calls = BassCalls();
    return std::vector<BassCall>(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end());
}

TEST_F(Station, ChangeToAGameStationStopsAndStartsNothing) {
    folder.Write("old.mp3", "x");
    const uint32_t stream = PlayingStream();
    g_stationStream = stream;
    g_lastStation = 3;
    g_streamVolume = 0.7f;
    TuneTo(12, 0);
    const size_t mark = BassCalls().size();

    HandleStationChange();

    const auto calls = CallsFrom(mark);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].fn, BF_CHANNEL_STOP);
    EXPECT_EQ(calls[0].handle, stream);
    EXPECT_EQ(g_stationStream.load(), stream);  // stopped, not freed
    EXPECT_EQ(QueuedThreadCount(), 0);
    EXPECT_EQ(g_streamVolume, 0.0f);
    EXPECT_EQ(g_lastStation, 12);
}

TEST_F(Station, ChangeToAStreamedStationStopsThenStartsIt) {
    folder.Write("old.mp3", "x");
    folder.Write("five.mp3", "x");
    folder.WriteSettings("[TRACK5]\nsource = five.mp3\n");
    LoadSettings();
    const uint32_t stream = PlayingStream();
    g_stationStream = stream;
    g_lastStation = 3;
    g_streamVolume = 0.7f;
    TuneTo(5, 0);
    const size_t mark = BassCalls().size();

    HandleStationChange();

    const auto calls = CallsFrom(mark);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].fn, BF_CHANNEL_STOP);
    EXPECT_EQ(calls[0].handle, stream);
    EXPECT_EQ(calls[1].fn, BF_IS_ACTIVE);  // the start's gate, on the stopped stream
    EXPECT_EQ(calls[1].handle, stream);
    EXPECT_EQ(g_sourcePath, "five.mp3");
    EXPECT_EQ(QueuedThreadCount(), 1);
    EXPECT_EQ(g_streamVolume, 0.0f);
    EXPECT_EQ(g_lastStation, 5);
}

TEST_F(Station, UnchangedStationMakesNoAudioCall) {
    for (uint8_t station : {0, 4, 12}) {
        ResetModuleState();
        g_lastStation = station;
        g_stationStream = 0x10000001;
        g_streamVolume = 0.5f;
        TuneTo(station, 0);
        HandleStationChange();
        EXPECT_TRUE(BassCalls().empty()) << int(station);
        EXPECT_EQ(g_streamVolume, 0.5f);
        EXPECT_EQ(QueuedThreadCount(), 0);
    }
}

}  // namespace
