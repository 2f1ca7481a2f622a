#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "radio/jingles.h"
#include "settings/settings.h"
#include "tests/unit/support.h"

namespace {

class Jingles : public ModuleTest {
protected:
    void Load(const std::string& list) {
        UseSettings("[SWITCHER]\r\nsamples = " + list + "\r\n");
        LoadJingles();
    }

    // Slots of the sample handles asked for a channel since the last reset.
    std::vector<int> DrawnSlots() {
        std::vector<int> slots;
        for (const BassCall& call : BassCallsOf(BF_SAMPLE_GET_CHANNEL)) slots.push_back(SlotOf(call.handle));
        return slots;
    }

    static int SlotOf(uint32_t sample) {
        for (int slot = 0; slot < kJingleSlots; ++slot)
            if (g_jingleSamples[slot] == sample) return slot;
        return -1;
    }

    // Distinct made-up handles, so that every draw tells its slot.
    static void FillSlotsWithMarkers(int count) {
        for (int slot = 0; slot < kJingleSlots; ++slot) g_jingleSamples[slot] = slot < count ? 0x100u + slot : 0u;
        g_jingleCount = static_cast<int8_t>(count);
    }

    void LoadWaves(int count) {
        std::string list;
        for (int i = 0; i < count; ++i) {
            const std::string name = "j" + std::to_string(i) + ".wav";
            folder.WriteWave("audio/streams/" + name);
            list += (i ? "," : "") + name;
        }
        Load(list);
        ASSERT_EQ(g_jingleCount, count);
    }
};

struct ListCase {
    const char* what;
    const char* list;
    // Name loaded into each filled slot in order; a leading '!' marks a file
    // that exists but is not audio, whose slot holds 0.
    std::vector<std::string> slots;
};

TEST_F(Jingles, ListFillsSlotsInOrder) {
    const ListCase cases[] = {
        {"two names", "a.wav,b.wav", {"a.wav", "b.wav"}},
        {"space after the comma begins the name", "a.wav, b.wav", {"a.wav"}},
        {"two commas in a row", "a.wav,,b.wav", {"a.wav", "b.wav"}},
        {"trailing comma", "a.wav,", {"a.wav"}},
        {"leading comma", ",b.wav", {"b.wav"}},
        {"missing file skipped", "gone.wav,b.wav", {"b.wav"}},
        {"not audio takes a slot", "notes.txt,b.wav", {"!notes.txt", "b.wav"}},
        {"folder takes a slot", "sub,a.wav", {"!sub", "a.wav"}},
        {"name below a folder", "sub/c.wav", {"sub/c.wav"}},
        {"empty list", "", {}},
    };
    for (const ListCase& c : cases) {
        ResetModuleState();
        GameFolder caseFolder;
        caseFolder.WriteWave("audio/streams/a.wav");
        caseFolder.WriteWave("audio/streams/b.wav");
        CreateDirectoryA((caseFolder.Path() + "/audio/streams/sub").c_str(), nullptr);
        caseFolder.WriteWave("audio/streams/sub/c.wav");
        caseFolder.Write("audio/streams/notes.txt", "not a sound");
        caseFolder.WriteSettings(std::string("[SWITCHER]\r\nsamples = ") + c.list + "\r\n");
        LoadSettings();
        LoadJingles();

        ASSERT_EQ(g_jingleCount, static_cast<int>(c.slots.size())) << c.what;
        const auto loads = BassCallsOf(BF_SAMPLE_LOAD);
        ASSERT_EQ(loads.size(), c.slots.size()) << c.what;
        for (size_t slot = 0; slot < c.slots.size(); ++slot) {
            const bool audio = c.slots[slot][0] != '!';
            const std::string name = audio ? c.slots[slot] : c.slots[slot].substr(1);
            EXPECT_STREQ(loads[slot].text, ("./audio/streams/" + name).c_str()) << c.what;
            // From a file, whole, one playback at a time, no flags.
            EXPECT_EQ(std::vector<uint32_t>(loads[slot].args, loads[slot].args + 4), (std::vector<uint32_t>{0, 0, 1, 0}));
            EXPECT_EQ(g_jingleSamples[slot], loads[slot].result) << c.what;
            EXPECT_EQ(g_jingleSamples[slot] != 0, audio) << c.what;
        }
        for (size_t slot = c.slots.size(); slot < kJingleSlots; ++slot) EXPECT_EQ(g_jingleSamples[slot], 0u) << c.what;
    }
}

TEST_F(Jingles, NamesPastTheFifteenthLoadedAreIgnored) {
    // One missing name among them: the table fills with the first fifteen that exist.
    std::string list = "gone.wav";
    for (int i = 0; i < 18; ++i) {
        const std::string name = "j" + std::to_string(i) + ".wav";
        folder.WriteWave("audio/streams/" + name);
        list += "," + name;
    }
    Load(list);
    EXPECT_EQ(g_jingleCount, kJingleSlots);
    const auto loads = BassCallsOf(BF_SAMPLE_LOAD);
    ASSERT_EQ(loads.size(), 15u);
    EXPECT_STREQ(loads[14].text, "./audio/streams/j14.wav");
    for (int slot = 0; slot < kJingleSlots; ++slot) EXPECT_EQ(g_jingleSamples[slot], loads[slot].result);
    // The state stored beside the table is untouched.
    EXPECT_EQ(g_jingleCursor, 0);
    EXPECT_EQ(g_jingleChannel, 0u);
    EXPECT_EQ(g_jingleRandomState, 1u);
}

TEST_F(Jingles, FreshGeneratorDrawsTheKnownSlots) {
    FillSlotsWithMarkers(kJingleSlots);
    for (int i = 0; i < 12; ++i) PlayJingle();  // marker handles give no channel: every call draws
    EXPECT_EQ(DrawnSlots(), (std::vector<int>{11, 3, 6, 13, 3, 9, 9, 10, 0, 8, 0, 1}));
    EXPECT_EQ(g_jingleCursor, 12);
    for (const BassCall& call : BassCallsOf(BF_SAMPLE_GET_CHANNEL)) EXPECT_EQ(call.args[0], 0u);
}

TEST_F(Jingles, NegativeCursorStaysInsideTheTable) {
    FillSlotsWithMarkers(kJingleSlots);
    g_jingleCursor = 127;
    PlayJingle();  // draw 41 + 127
    EXPECT_EQ(g_jingleCursor, -128);
    g_jingleRandomState = 1;
    g_jingleCursor = -100;
    PlayJingle();  // draw 41 - 100 = -59, which is 1 modulo 15
    EXPECT_EQ(g_jingleCursor, -99);
    EXPECT_EQ(DrawnSlots(), (std::vector<int>{3, 1}));
}

TEST_F(Jingles, ThreeJinglesPlayFromTheNinthCall) {
    LoadWaves(3);
    for (int i = 0; i < 8; ++i) {
        PlayJingle();
        EXPECT_EQ(g_jingleChannel, 0u) << i;
    }
    for (const BassCall& play : BassCallsOf(BF_PLAY)) EXPECT_EQ(play.handle, 0u);

    PlayJingle();
    ASSERT_NE(g_jingleChannel, 0u);
    EXPECT_EQ(DrawnSlots().back(), 0);
    const auto plays = BassCallsOf(BF_PLAY);
    ASSERT_EQ(plays.size(), 9u);
    EXPECT_EQ(plays.back().handle, g_jingleChannel);
    EXPECT_EQ(plays.back().args[0], 0u);  // no restart
    EXPECT_EQ(FakeBass_Active(g_jingleChannel), 1u);
}

TEST_F(Jingles, FifteenJinglesPlayOnEveryDraw) {
    LoadWaves(kJingleSlots);
    for (int i = 0; i < 30; ++i) {
        PlayJingle();
        ASSERT_NE(g_jingleChannel, 0u) << i;
        EXPECT_EQ(FakeBass_Active(g_jingleChannel), 1u) << i;
        FakeBass_SetActive(g_jingleChannel, 0);  // the jingle ends
    }
    EXPECT_EQ(BassCallsOf(BF_SAMPLE_GET_CHANNEL).size(), 30u);
}

TEST_F(Jingles, NoDrawWhileAJinglePlays) {
    LoadWaves(kJingleSlots);
    PlayJingle();
    const uint32_t playing = g_jingleChannel;
    const uint32_t state = g_jingleRandomState;
    for (int i = 0; i < 5; ++i) PlayJingle();
    EXPECT_EQ(g_jingleChannel, playing);
    EXPECT_EQ(g_jingleRandomState, state);
    EXPECT_EQ(g_jingleCursor, 1);
    EXPECT_EQ(BassCallsOf(BF_SAMPLE_GET_CHANNEL).size(), 1u);

    FakeBass_SetActive(playing, 0);
    PlayJingle();
    EXPECT_EQ(BassCallsOf(BF_SAMPLE_GET_CHANNEL).size(), 2u);
}

}  // namespace
