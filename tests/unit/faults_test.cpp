// Bad input and failing services: nothing may crash, run past a table or an
// entry, or lose the player's settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "hud/name.h"
#include "module/tick.h"
#include "radio/jingles.h"
#include "radio/player.h"
#include "radio/station.h"
#include "settings/settings.h"
#include "settings/text.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

class Faults : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        const int16_t noWait = 0;
        Host().WriteCode(host::kOpenWaitAddr, &noWait, sizeof noWait);
    }

    // Ticks with a running clock; odd clock values let the volume fade step.
    void Ticks(int count) {
        for (int i = 0; i < count; ++i) {
            SetHost<uint32_t>(host::kClockMsAddr, ++clockMs_);
            RadioTick();
        }
    }

    std::string NameEntry() const { return Host().TextEntry(); }

private:
    uint32_t clockMs_ = 0;
};

TEST_F(Faults, EveryAudioCallFailingLeavesTheGameRadioUsable) {
    folder.Write("music.mp3", "not really audio");
    folder.WriteWave("audio/streams/jingle.wav");
    const std::string settings =
        "[TRACK1]\r\nsource = music.mp3\r\nname = One\r\n"
        "[TRACK2]\r\nsource = http://radio.example/live\r\n"
        "[TRACK3]\r\nsource = music.mp3\r\n"
        "[SWITCHER]\r\nsamples = jingle.wav\r\n";
    folder.WriteSettings(settings);
    PutPlayerInCar();
    SetHost<float>(host::kRadioVolumeAddr, 0.5f);
    // The device opens at the first tick; every call after it fails.
    Ticks(1);

    // Long enough at each station for the fade to reach the game's volume.
    constexpr int kTicksPerStation = 2400;
    const uint8_t stations[] = {1, 2, 0, 3, 12, 1, 13, 2, 11, 3, 1};
    for (uint8_t station : stations) {
        FakeBass_Reset();  // keeps the call log small; the handles are all 0 anyway
        FakeBass_FailAll(1);
        TuneTo(station);
        Ticks(kTicksPerStation / 2);
        while (RunQueuedThread()) {
        }
        Ticks(kTicksPerStation / 2);

        const bool file = station == 1 || station == 3;
        EXPECT_EQ(BassCallsOf(BF_STREAM_CREATE_FILE).size(), file ? 1u : 0u) << int{station};
        EXPECT_EQ(BassCallsOf(BF_STREAM_CREATE_URL).size(), station == 2 ? 1u : 0u) << int{station};
        EXPECT_FALSE(g_streamStarting) << int{station};
        EXPECT_EQ(g_stationStream.load(), 0u) << int{station};
        // Nothing of ours plays, so the game's own radio must sound again.
        EXPECT_EQ(CodeByte(host::kRadioOutputSite), host::kRadioOutputOn) << int{station};
        EXPECT_EQ(CodeByte(host::kRadioRetuneSite), host::kRadioRetuneOn) << int{station};
        EXPECT_EQ(NameEntry(), station == 1 ? "One" : "") << int{station};
    }

    // The player's file survives the exit save with the position added.
    ASSERT_EQ(SaveSettings(BaseDirFile("settings.ini").c_str()), kSaveOk);
    const std::string saved = folder.Settings();
    EXPECT_NE(saved.find("source = http://radio.example/live"), std::string::npos);
    EXPECT_NE(saved.find("samples = jingle.wav"), std::string::npos);
    EXPECT_NE(saved.find("[POSITION]\r\nseconds = "), std::string::npos);
}

TEST_F(Faults, ThousandNameJingleListFillsOnlyTheTable) {
    constexpr int kNames = 1000;
    constexpr int kEveryNthExists = 50;  // 20 real files among the names
    std::string list;
    std::vector<std::string> existing;
    for (int i = 0; i < kNames; ++i) {
        const std::string name = "jingle" + std::to_string(i) + ".wav";
        if (i % kEveryNthExists == 7) {
            folder.WriteWave("audio/streams/" + name);
            existing.push_back(name);
        }
        list += (i ? "," : "") + name;
    }
    ASSERT_EQ(existing.size(), 20u);
    folder.WriteSettings("[SWITCHER]\r\nsamples = " + list + "\r\n");

    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    RadioTick();

    EXPECT_EQ(g_jingleCount, kJingleSlots);
    const auto loads = BassCallsOf(BF_SAMPLE_LOAD);
    ASSERT_EQ(loads.size(), size_t{kJingleSlots});
    for (int slot = 0; slot < kJingleSlots; ++slot) {
        EXPECT_EQ(std::string(loads[slot].text), BaseDirFile(existing[slot])) << slot;
        EXPECT_EQ(g_jingleSamples[slot], loads[slot].result) << slot;
        EXPECT_NE(g_jingleSamples[slot], 0u) << slot;
    }
    // The jingle state beside the table is as it was.
    EXPECT_EQ(g_jingleCursor, 0);
    EXPECT_EQ(g_jingleChannel, 0u);
    EXPECT_EQ(g_jingleRandomState, 1u);
}

TEST_F(Faults, HugeStationNameIsCutToTheGameEntry) {
    std::string longName(100000, ' ');
    for (size_t i = 0; i < longName.size(); ++i) longName[i] = static_cast<char>('A' + i % 26);
    folder.WriteSettings("[TRACK1]\r\nname = " + longName + "\r\n[TRACK2]\r\nname = Short\r\n");
    PutPlayerInCar();
    const size_t capacity = std::strlen(HOST_TEXT_ENTRY_INITIAL);

    // A shorter name in between must not shrink the room the entry is known to have.
    const uint8_t stations[] = {1, 2, 1};
    for (uint8_t station : stations) {
        TuneTo(station);
        Ticks(3);
        EXPECT_EQ(NameEntry(), station == 1 ? longName.substr(0, capacity) : "Short") << int{station};
        const char* entry = Host().TextEntry();
        for (size_t i = capacity + 1; i < HOST_TEXT_ENTRY_BLOCK; ++i)
            ASSERT_EQ(static_cast<uint8_t>(entry[i]), HOST_TEXT_GUARD) << "byte " << i;
    }
}

TEST_F(Faults, TenMegabyteSettingsFileLoadsAndSurvivesTheSave) {
    constexpr size_t kFileBytes = 10u << 20;
    std::string content =
        "; the player's own notes\r\n\r\n"
        "[TRACK1]\r\nsource = music.mp3\r\nname = Big One\r\ncolorA = 1,2,3\r\n\r\n"
        "[FILLER]\r\n";
    size_t fillerEntries = 0;
    const std::string value(100, 'v');
    while (content.size() < kFileBytes) {
        content += "key" + std::to_string(fillerEntries++) + " = " + value + "\r\n";
    }
    content += "\r\n[TRACK11]\r\nname = Last\r\n\r\n[POSITION]\r\nseconds = 77\r\n";
    folder.WriteSettings(content);

    const auto expectValues = [&](int32_t position) {
        EXPECT_EQ(GetValue("TRACK1", "source", ""), "music.mp3");
        EXPECT_EQ(GetValue("track1", "Name", ""), "Big One");
        EXPECT_EQ(GetValue("TRACK1", "colorA", ""), "1,2,3");
        EXPECT_EQ(GetValue("TRACK11", "name", ""), "Last");
        EXPECT_EQ(GetValue("FILLER", ("key" + std::to_string(fillerEntries - 1)).c_str(), ""), value);
        EXPECT_EQ(GetLongValue("POSITION", "seconds", 0), position);
    };
    LoadSettings();
    expectValues(77);

    SetLongValue("POSITION", "seconds", 1234);
    ASSERT_EQ(SaveSettings(BaseDirFile("settings.ini").c_str()), kSaveOk);
    EXPECT_FALSE(folder.Exists("audio/streams/settings.ini.tmp"));
    const std::string saved = folder.Settings();
    const auto entries = [](const std::string& text) { return std::count(text.begin(), text.end(), '='); };
    EXPECT_EQ(entries(saved), entries(content));
    EXPECT_NE(saved.find("; the player's own notes"), std::string::npos);
    EXPECT_GE(saved.size(), content.size());

    LoadSettings();
    expectValues(1234);
}

TEST_F(Faults, StationNumbersFrom128AreNeverStreamed) {
    folder.Write("music.mp3", "audio");
    folder.WriteSettings(
        "[TRACK-1]\r\nsource = music.mp3\r\nname = Minus One\r\ncolorB = 1,2,3\r\nshadow = 4,5,6\r\n"
        "[TRACK-128]\r\nsource = music.mp3\r\nname = Lowest\r\n"
        "[TRACK128]\r\nsource = music.mp3\r\nname = Wrong\r\n"
        "[TRACK255]\r\nsource = music.mp3\r\nname = Wrong\r\n");
    PutPlayerInCar();
    // The alternative station number is read as it is; mode 3 keeps the radio audible.
    SetHost<uint8_t>(host::kAltStationFlagAddr, 1);
    SetHost<uint8_t>(host::kRadioModeAddr, 3);

    for (int number = 128; number <= 255; ++number) {
        SetHost<uint8_t>(host::kAltStationAddr, static_cast<uint8_t>(number));
        Ticks(2);
        EXPECT_EQ(g_lastStation, number);
        const char* expected = number == 255 ? "Minus One" : number == 128 ? "Lowest" : "";
        EXPECT_EQ(NameEntry(), expected) << number;
        if (number == 255) {
            EXPECT_EQ(g_nameColour.load(), 0xFF030201u);
            EXPECT_EQ(CodeByte(host::kShadowRedSite), 4);
            EXPECT_EQ(CodeByte(host::kShadowGreenSite), 5);
            EXPECT_EQ(CodeByte(host::kShadowBlueSite), 6);
        }
    }
    EXPECT_EQ(QueuedThreadCount(), 0);
    EXPECT_FALSE(g_streamStarting);
    EXPECT_TRUE(BassCallsOf(BF_STREAM_CREATE_FILE).empty());
    EXPECT_TRUE(BassCallsOf(BF_STREAM_CREATE_URL).empty());
    EXPECT_EQ(GetValue("POSITION", "seconds", "none"), "none");
}

}  // namespace
