// Settings edited while the game runs: when a change counts as settled, and
// an edit taken whole while the module's own saves are never taken for one.
#include <gtest/gtest.h>


#include "module/logevents.h"
#include "module/reload.h"
#include "platform/bass.h"
#include "radio/common/opening.h"
#include "radio/jingles.h"
#include "radio/station.h"
#include "settings/live.h"
#include "settings/settings.h"
#include "settings/watch.h"
#include "tests/unit/support.h"

namespace {

using Live = ModuleTest;

TEST_F(Live, AChangeIsTakenOnceItHasStayedTheSameForHalfASecond) {
    const FileStamp known{10, 100}, edit{12, 200}, again{12, 300}, gone{};
    struct Look {
        FileStamp stamp;
        uint64_t msSinceWrite, nowMs;
        bool ready;
    };
    const std::vector<std::vector<Look>> cases = {
        {{known, 9000, 0, false}, {edit, 0, 1000, false}, {edit, 0, 1499, false}, {edit, 0, 1500, true}},
        {{edit, 700, 1000, true}},  // written long enough ago when first seen
        {{edit, 100, 0, false}, {edit, 499, 250, false}, {edit, 500, 251, true}},
        {{edit, 0, 0, false}, {again, 0, 300, false}, {again, 0, 700, false}, {again, 0, 800, true}},
        {{gone, 9000, 0, false}, {gone, 9000, 500, true}},  // a file gone has no age
        {{edit, 0, 0, false}, {known, 0, 250, false}, {edit, 0, 600, false}},  // put back: watched afresh
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        SettleWatch watch;
        watch.known = known;
        for (const Look& look : cases[c])
            EXPECT_EQ(SettledChange(watch, look.stamp, look.msSinceWrite, look.nowMs), look.ready)
                << "case " << c << " at " << look.nowMs;
    }
}

TEST_F(Live, AnEditIsTakenWholeAndTheModulesOwnSavesAreNot) {
    const char kSettingsFile[] = "audio/streams/settings.ini";
    folder.WriteWave("audio/streams/one.wav");
    folder.WriteWave("audio/streams/two.wav");
    UseSettings("[TRACK1]\r\nsource = a.mp3\r\nname = One\r\n[SWITCHER]\r\nsamples = one.wav\r\n"
                "[POSITION]\r\nseconds = 7\r\n");
    LoadJingles();
    NoteSettingsInForce();
    g_lastStation = 1;
    uint64_t now = 1000000;
    uint16_t sources = 0;

    // The early save is the module's own: never taken for an edit.
    SetLongValue("POSITION", "seconds", 42);
    RequestPositionSave(42);
    ASSERT_TRUE(SaveRequestedPosition());
    for (int look = 0; look < 3; ++look) EXPECT_FALSE(ReloadSettingsAt(now += 600));
    EXPECT_FALSE(TakeOfferedSettings(sources));

    // An edit still being written waits; then it is taken, its position entry aside.
    folder.WriteSettings("[TRACK1]\r\nsource = b.mp3\r\nname = Uno\r\n[SWITCHER]\r\nsamples = two.wav\r\n"
                         "[POSITION]\r\nseconds = 999\r\n");
    folder.SetWriteTime(kSettingsFile, 10000);
    EXPECT_FALSE(ReloadSettingsAt(now += 1000));
    g_jingleChannel = BASS_SampleGetChannel(g_jingleSamples[0], 0);
    FakeBass_SetActive(g_jingleChannel, BASS_ACTIVE_PLAYING);
    const uint32_t oldSample = g_jingleSamples[0];
    EXPECT_TRUE(ReloadSettingsAt(now += 600));
    TakeJingles();
    // A position stored meanwhile sends the document back to be stamped again.
    SetLongValue("POSITION", "seconds", 50);
    EXPECT_FALSE(TakeOfferedSettings(sources));
    EXPECT_TRUE(ReloadSettingsAt(now += 10));
    TakeReloadedSettings();
    EXPECT_EQ(GetValue("TRACK1", "name", ""), "Uno");
    EXPECT_EQ(GetLongValue("POSITION", "seconds", 0), 50);
    EXPECT_EQ(g_lastStation, kNoStation) << "the station tuned restarts with its new source";

    // The new jingles are in; the old one is freed only once it has finished.
    EXPECT_NE(g_jingleSamples[0], oldSample);
    EXPECT_EQ(g_jingleCount, 1);
    ReloadSettingsAt(now += 10);
    EXPECT_TRUE(BassCallsOf(BF_SAMPLE_FREE).empty());
    FakeBass_SetActive(g_jingleChannel, 0);
    EXPECT_TRUE(ReloadSettingsAt(now += 10));
    ASSERT_EQ(BassCallsOf(BF_SAMPLE_FREE).size(), 1u);
    EXPECT_EQ(BassCallsOf(BF_SAMPLE_FREE)[0].handle, oldSample);
    while (ReloadSettingsAt(now += 10)) {
    }
}

TEST_F(Live, AFileRefusedKeepsTheSettingsInForceUntilTheNextChange) {
    UseSettings("[TRACK1]\r\nname = One\r\n");
    OpenRunLog();
    NoteSettingsInForce();
    uint64_t now = 5000000;
    const char kNulInside[] = "[TRACK1]\r\nname = Tw\0o\r\n";
    folder.WriteSettings(std::string(kNulInside, sizeof kNulInside - 1));
    folder.SetWriteTime("audio/streams/settings.ini", -1000);
    EXPECT_TRUE(ReloadSettingsAt(now += 1000));
    uint16_t sources;
    EXPECT_FALSE(TakeOfferedSettings(sources));
    EXPECT_EQ(GetValue("TRACK1", "name", ""), "One");
    EXPECT_NE(folder.Read("audio/streams/zorve.log").find("settings.ini changed but was not taken: it holds"),
              std::string::npos);
    EXPECT_FALSE(ReloadSettingsAt(now += 1000)) << "a refused file is tried again only when it changes";

    folder.WriteSettings("[TRACK1]\r\nname = Two\r\n");
    folder.SetWriteTime("audio/streams/settings.ini", -1000);
    EXPECT_TRUE(ReloadSettingsAt(now += 1000));
    TakeReloadedSettings();
    EXPECT_EQ(GetValue("TRACK1", "name", ""), "Two");
    ReloadSettingsAt(now += 10);
}

}  // namespace
