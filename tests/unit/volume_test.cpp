#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Values no code path writes, so that a byte left alone shows.
constexpr uint8_t kUntouchedOutput = 0x55;
constexpr uint8_t kUntouchedRetune = 0x66;
constexpr int kUnchanged = -1;

class Volume : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        folder.Write("audio/streams/s.mp3", "stream");
        g_initialised = true;
        PutPlayerInCar();
    }
    // A stream of the audio fake that plays, made the station stream.
    static uint32_t PlayStream() {
        const uint32_t stream = BASS_StreamCreateFile(kBassFalse, "audio/streams/s.mp3", 0, 0, BASS_SAMPLE_LOOP);
        BASS_ChannelPlay(stream, kBassFalse);
        g_stationStream = stream;
        return stream;
    }

    static void MarkBytes(uint8_t output, uint8_t retune) {
        PatchByte(host::kRadioOutputSite, output);
        PatchByte(host::kRadioRetuneSite, retune);
    }
};

struct MuteRow {
    const char* what;
    bool gateOpen;
    bool audible;
    bool opening;
    bool jingles;
    int32_t station;
    uint8_t radioState;
    bool playing;
    float streamVolume;
    int output;  // kUnchanged: the byte keeps its old value
    int retune;
    bool draws;  // a jingle is drawn
};

TEST_F(Volume, CodeBytesAfterATick) {
    const MuteRow rows[] = {
        {"opening, jingles loaded", true, true, true, true, 4, 0, false, 0.0f, 0, 0, true},
        {"opening, jingles loaded, game station", true, true, true, true, 12, 0, false, 0.0f, 0, 0, false},
        {"opening, no jingles, radio state 7", true, true, true, false, 4, 7, false, 0.0f, 24, 0, false},
        {"opening, no jingles, radio state 6", true, true, true, false, 4, 6, false, 0.0f, 0, 0, false},
        {"stream playing", true, true, false, false, 4, 0, true, 0.2f, 0, 7, false},
        {"stream playing at the radio volume", true, true, false, false, 4, 0, true, 0.5f, 0, 7, false},
        {"not playing, volumes equal", true, true, false, false, 4, 0, false, 0.5f, 24, 7, false},
        {"not playing, volumes differ", true, true, false, false, 4, 0, false, 0.2f, kUnchanged, kUnchanged, false},
        {"not audible, playing", true, false, false, false, 4, 0, true, 0.5f, kUnchanged, kUnchanged, false},
        {"not audible, opening", true, false, true, true, 4, 7, false, 0.5f, kUnchanged, kUnchanged, false},
        {"gate closed", false, true, false, false, 4, 0, true, 0.5f, kUnchanged, kUnchanged, false},
    };
    for (const MuteRow& row : rows) {
        ResetModuleState();
        g_initialised = true;
        PutPlayerInCar();
        SetHost<uint32_t>(host::kGameActiveAddr, row.gateOpen ? 1 : 0);
        if (!row.audible) SetHost<uintptr_t>(host::kPlayerAddr, 0);
        SetHost<float>(host::kRadioVolumeAddr, 0.5f);
        SetHost<uint8_t>(host::kRadioStateAddr, row.radioState);
        TuneTo(row.station);
        g_lastStation = static_cast<uint8_t>(row.station);
        g_streamStarting = row.opening;
        if (row.jingles) {
            g_jingleSamples[0] = 0x100;  // gives no channel, so every opening tick draws
            g_jingleCount = 1;
        }
        if (row.playing) PlayStream();
        g_streamVolume = row.streamVolume;
        MarkBytes(kUntouchedOutput, kUntouchedRetune);

        for (int tick = 0; tick < 2; ++tick) {  // written again on every tick, not only on change
            RadioTick();
            EXPECT_EQ(CodeByte(host::kRadioOutputSite), row.output == kUnchanged ? kUntouchedOutput : row.output)
                << row.what;
            EXPECT_EQ(CodeByte(host::kRadioRetuneSite), row.retune == kUnchanged ? kUntouchedRetune : row.retune)
                << row.what;
            MarkBytes(kUntouchedOutput, kUntouchedRetune);
        }
        EXPECT_EQ(BassCallsOf(BF_SAMPLE_GET_CHANNEL).size(), row.draws ? 2u : 0u) << row.what;
    }
}

struct StepCase {
    const char* what;
    uint8_t altFlag;
    uint8_t radioMode;
    uint16_t capWord;
    uint8_t capByte;
    float attenuation;
    uint32_t clock;
    float hostVolume;
    float start;
    float expected;
};

TEST_F(Volume, StepFadesCapsAndAttenuates) {
    const StepCase cases[] = {
        {"odd clock rises a thousandth of the radio volume", 0, 0, 0, 0, 0.0f, 1, 0.5f, 0.2f, 0.2005f},
        {"even clock holds", 0, 0, 0, 0, 0.0f, 2, 0.5f, 0.2f, 0.2f},
        {"even clock still drops to a lowered volume", 0, 0, 0, 0, 0.0f, 2, 0.3f, 0.5f, 0.3f},
        {"last step lands on the radio volume", 0, 0, 0, 0, 0.0f, 1, 0.5f, 0.4999f, 0.5f},
        {"cap word at 0.8", 0, 0, 1, 0, 0.0f, 1, 0.8f, 0.1f, 0.4f},
        {"cap word in its high byte", 0, 0, 0x100, 0, 0.0f, 1, 0.8f, 0.1f, 0.4f},
        {"cap byte at 0.3", 0, 0, 0, 1, 0.0f, 1, 0.3f, 0.1f, 0.3f},
        {"attenuation 255", 0, 0, 0, 0, 255.0f, 1, 0.8f, 0.1f, 0.0f},
        {"attenuation 127.5 at 1.0", 0, 0, 0, 0, 127.5f, 1, 1.0f, 0.1f, 0.5f},
        {"attenuation computed in double", 0, 0, 0, 0, 100.0f, 2, 0.3f, 0.1f, 0.1823529452085495f},
        {"attenuation wins over the cap", 0, 0, 1, 1, 127.5f, 1, 1.0f, 0.1f, 0.5f},
        {"alternative station in mode 3 fades only", 1, 3, 1, 1, 127.5f, 1, 0.5f, 0.2f, 0.2005f},
        {"alternative station otherwise unchanged", 1, 0, 1, 0, 127.5f, 1, 0.1f, 0.2f, 0.2f},
    };
    for (const StepCase& c : cases) {
        SetHost<uint8_t>(host::kAltStationFlagAddr, c.altFlag);
        SetHost<uint8_t>(host::kRadioModeAddr, c.radioMode);
        SetHost<uint16_t>(host::kCapWordAddr, c.capWord);
        SetHost<uint8_t>(host::kCapByteAddr, c.capByte);
        SetHost<float>(host::kAttenuationAddr, c.attenuation);
        SetHost<uint32_t>(host::kClockMsAddr, c.clock);
        SetHost<float>(host::kRadioVolumeAddr, c.hostVolume);
        g_streamVolume = c.start;
        StepStreamVolume();
        EXPECT_EQ(g_streamVolume, c.expected) << c.what;
    }
}

TEST_F(Volume, FadeReachesTheRadioVolumeInAboutAThousandOddTicks) {
    for (float level : {1.0f, 0.7f, 0.05f}) {
        SetHost<float>(host::kRadioVolumeAddr, level);
        g_streamVolume = 0.0f;
        int oddTicks = 0;
        for (uint32_t clock = 0; g_streamVolume != level && clock < 4000; ++clock) {
            SetHost<uint32_t>(host::kClockMsAddr, clock);
            StepStreamVolume();
            ASSERT_LE(g_streamVolume, level);
            oddTicks += clock & 1;
        }
        EXPECT_EQ(g_streamVolume, level);
        EXPECT_GE(oddTicks, 999) << level;
        EXPECT_LE(oddTicks, 1001) << level;
    }
}

TEST_F(Volume, LoweredRadioVolumeAppliedOnTheNextTick) {
    TuneTo(4);
    g_lastStation = 4;
    const uint32_t stream = PlayStream();
    SetHost<float>(host::kRadioVolumeAddr, 0.8f);
    g_streamVolume = 0.8f;
    RadioTick();
    EXPECT_EQ(FakeBass_Volume(stream), 0.8f);

    SetHost<float>(host::kRadioVolumeAddr, 0.5f);
    RadioTick();
    EXPECT_EQ(FakeBass_Volume(stream), 0.8f);
    EXPECT_EQ(g_streamVolume, 0.5f);
    RadioTick();
    EXPECT_EQ(FakeBass_Volume(stream), 0.5f);
}

TEST_F(Volume, JingleStoppedOnEveryTickOfAStationNotStreamed) {
    folder.WriteWave("audio/streams/j.wav");
    const int32_t stations[] = {0, 4, 11, 12, 13};
    for (int32_t station : stations) {
        for (bool audible : {true, false}) {
            ResetModuleState();
            g_initialised = true;
            PutPlayerInCar();
            if (!audible) SetHost<uintptr_t>(host::kPlayerAddr, 0);
            SetHost<float>(host::kRadioVolumeAddr, 0.6f);
            TuneTo(station);
            g_lastStation = static_cast<uint8_t>(station);
            g_jingleChannel = BASS_SampleGetChannel(BASS_SampleLoad(kBassFalse, "audio/streams/j.wav", 0, 0, 1, 0), 0);
            BASS_ChannelPlay(g_jingleChannel, kBassFalse);
            const bool streamed = station >= 1 && station <= 11;
            for (int tick = 0; tick < 3; ++tick) {
                RadioTick();
                EXPECT_EQ(FakeBass_Active(g_jingleChannel), streamed ? 1u : 0u) << station << " " << audible;
                EXPECT_EQ(FakeBass_Volume(g_jingleChannel), 0.6f) << station << " " << audible;
            }
            size_t stops = 0;
            for (const BassCall& stop : BassCallsOf(BF_CHANNEL_STOP)) stops += stop.handle == g_jingleChannel;
            EXPECT_EQ(stops, streamed ? 0u : 3u) << station << " " << audible;
        }
    }
}

struct GiveBackCase {
    const char* what;
    int32_t station;
    const char* settings;
    bool openFails;
    float hostVolume;
    int firstTick;  // range of the tick that writes 7 and 24 back
    int lastTick;
};

TEST_F(Volume, GameRadioGivenBackOnceNoStreamPlays) {
    const GiveBackCase cases[] = {
        {"streamed station without a source", 5, "", false, 0.5f, 1990, 2010},
        {"source that fails to open", 5, "[TRACK5]\r\nsource = audio\r\n", true, 0.5f, 1990, 2010},
        {"game station at radio volume 0", 12, "", false, 0.0f, 1, 1},
    };
    for (const GiveBackCase& c : cases) {
        ResetModuleState();
        g_initialised = true;
        folder.WriteSettings(c.settings);
        LoadSettings();
        SetHost<float>(host::kRadioVolumeAddr, c.hostVolume);
        // A stream played on station 4 until now.
        g_lastStation = 4;
        PlayStream();
        g_streamVolume = c.hostVolume;
        MarkBytes(host::kRadioOutputOff, host::kRadioRetuneOn);
        TuneTo(c.station);

        int givenBack = 0;
        int threads = 0;
        for (int tick = 1; tick <= 3000 && !givenBack; ++tick) {
            SetHost<uint32_t>(host::kClockMsAddr, static_cast<uint32_t>(tick));
            RadioTick();
            // The source names a folder: the opening thread finds nothing it can play.
            threads += RunQueuedThread();
            if (CodeByte(host::kRadioOutputSite) == host::kRadioOutputOn) givenBack = tick;
            else EXPECT_EQ(CodeByte(host::kRadioRetuneSite), host::kRadioRetuneOn) << c.what;
        }
        EXPECT_EQ(threads, c.openFails ? 1 : 0) << c.what;
        EXPECT_GE(givenBack, c.firstTick) << c.what;
        EXPECT_LE(givenBack, c.lastTick) << c.what;
        EXPECT_EQ(CodeByte(host::kRadioRetuneSite), host::kRadioRetuneOn) << c.what;
        EXPECT_EQ(g_streamVolume, c.hostVolume) << c.what;
    }
}

}  // namespace
