#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "module/library.h"
#include "module/tick.h"
#include "platform/bass.h"
#include "platform/patch.h"
#include "radio/jingles.h"
#include "radio/player.h"
#include "radio/station.h"
#include "radio/volume.h"
#include "settings/settings.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

struct Call {
    int fn;
    uint32_t handle;
    bool operator==(const Call& other) const { return fn == other.fn && handle == other.handle; }
};

std::ostream& operator<<(std::ostream& out, const Call& call) {
    return out << "{" << call.fn << ", " << std::hex << call.handle << std::dec << "}";
}

class Tick : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        folder.Write("audio/streams/s.mp3", "stream");
        folder.WriteWave("audio/streams/j.wav");
        UseSettings("[TRACK5]\r\nsource = audio/streams/s.mp3\r\n");
        g_initialised = true;
        g_audioLibraryState = kLibraryAccepted;
        PutPlayerInCar();
        SetHost<float>(host::kRadioVolumeAddr, 0.7f);

        stream = BASS_StreamCreateFile(kBassFalse, "audio/streams/s.mp3", 0, 0, BASS_SAMPLE_LOOP);
        BASS_ChannelPlay(stream, kBassFalse);
        g_stationStream = stream;
        jingle = BASS_SampleGetChannel(BASS_SampleLoad(kBassFalse, "audio/streams/j.wav", 0, 0, 1, 0), 0);
        BASS_ChannelPlay(jingle, kBassFalse);
        g_jingleChannel = jingle;
        mark = FakeBass_CallCount();
    }
    std::vector<BassCall> TickCalls() const {
        const auto all = BassCalls();
        return std::vector<BassCall>(all.begin() + mark, all.end());
    }

    std::vector<Call> TickCallList() const {
        std::vector<Call> list;
        for (const BassCall& call : TickCalls()) list.push_back({call.fn, call.handle});
        return list;
    }

    uint32_t stream = 0;
    uint32_t jingle = 0;
    int mark = 0;
};

TEST_F(Tick, AudioCallsOfAnAudibleTick) {
    struct Case {
        uint8_t last;
        int32_t station;
        std::vector<Call> calls;
    };
    const Call isActive{BF_IS_ACTIVE, stream};
    const Call streamVolume{BF_SET_ATTRIBUTE, stream};
    const Call jingleVolume{BF_SET_ATTRIBUTE, jingle};
    const Case cases[] = {
        {4, 4, {isActive, isActive, streamVolume, jingleVolume}},
        {12, 12, {isActive, isActive, streamVolume, jingleVolume, {BF_CHANNEL_STOP, jingle}}},
        // The start asks whether the stream plays, then hands the opening to a thread.
        {4, 5, {{BF_CHANNEL_STOP, stream}, isActive, isActive, isActive, streamVolume, jingleVolume}},
    };
    for (const Case& c : cases) {
        BASS_ChannelPlay(stream, kBassFalse);
        g_lastStation = c.last;
        g_streamVolume = 0.25f;
        TuneTo(c.station);
        mark = FakeBass_CallCount();
        RadioTick();
        EXPECT_EQ(TickCallList(), c.calls) << c.station;

        const auto calls = TickCalls();
        const bool changed = c.last != c.station;
        const BassCall& volume = calls[calls.size() - (c.station == 12 ? 3 : 2)];
        EXPECT_EQ(volume.args[0], BASS_ATTRIB_VOL);
        EXPECT_EQ(volume.value, changed ? 0.0f : 0.25f) << c.station;
        const BassCall& jingleCall = calls[calls.size() - (c.station == 12 ? 2 : 1)];
        EXPECT_EQ(jingleCall.args[0], BASS_ATTRIB_VOL);
        EXPECT_EQ(jingleCall.value, 0.7f);
        EXPECT_EQ(QueuedThreadCount(), changed ? 1 : 0) << c.station;
        ResetQueuedThreads();
        g_streamStarting = false;
    }
}

TEST_F(Tick, NotAudibleSilencesTheStreamAtOnceAndLeavesTheGameCode) {
    TuneTo(4);
    g_lastStation = 4;
    g_streamVolume = 0.6f;
    PatchByte(host::kRadioOutputSite, host::kRadioOutputOff);
    PatchByte(host::kRadioRetuneSite, host::kRadioRetuneOn);
    SetHost<uintptr_t>(host::kPlayerAddr, 0);
    Host().ResetCalls();

    RadioTick();
    EXPECT_EQ(TickCallList(), (std::vector<Call>{{BF_SET_ATTRIBUTE, stream}, {BF_SET_ATTRIBUTE, jingle}}));
    EXPECT_EQ(FakeBass_Volume(stream), 0.0f);
    EXPECT_EQ(FakeBass_Volume(jingle), 0.7f);
    EXPECT_EQ(FakeBass_Active(stream), 1u);  // kept playing, only silent
    EXPECT_EQ(CodeByte(host::kRadioOutputSite), host::kRadioOutputOff);
    EXPECT_EQ(CodeByte(host::kRadioRetuneSite), host::kRadioRetuneOn);
    EXPECT_TRUE(HostCalls().empty());  // no name or colour work
}

TEST_F(Tick, StationChangeWaitsWhileAStreamOpens) {
    TuneTo(5);
    g_lastStation = 4;
    g_streamStarting = true;
    RadioTick();
    EXPECT_TRUE(BassCallsOf(BF_CHANNEL_STOP).empty());
    EXPECT_EQ(QueuedThreadCount(), 0);
    EXPECT_EQ(g_lastStation, 4);
    EXPECT_EQ(CodeByte(host::kRadioRetuneSite), host::kRadioRetuneOff);

    g_streamStarting = false;
    RadioTick();
    const auto stops = BassCallsOf(BF_CHANNEL_STOP);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].handle, stream);
    EXPECT_EQ(QueuedThreadCount(), 1);
    EXPECT_EQ(g_lastStation, 5);
}

}  // namespace
