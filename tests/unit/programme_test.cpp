// The order of a playlist station's programme, and the programme keys as read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/reload.h"
#include "radio/playlist/programme.h"
#include "radio/station.h"
#include "settings/live.h"
#include "tests/unit/support.h"

namespace {

// A tape of clips or songs named by prefix and number, of these lengths.
Tape MakeTape(TapeKind kind, const char* prefix, const std::vector<double>& lengths) {
    Tape tape;
    tape.kind = kind;
    tape.listed = true;
    for (size_t i = 0; i < lengths.size(); ++i)
        tape.tracks.push_back({{{}, prefix + std::to_string(i)}, lengths[i], false, {}});
    tape.learned = lengths.size();
    return tape;
}

TEST(Programme, IdentsEveryNSongsAndBreaksAtTheFirstBoundaryAfterTheirTime) {
    const std::vector<double> minuteSongs(4, 60), shortSongs(4, 50);
    struct Case {
        const char* what;
        std::vector<double> songs, idents, spots;
        ProgrammeRules rules;
        const char* order;
    } const cases[] = {
        {"defaults: an ident every 2 songs, the idents in turn", minuteSongs, {5, 5}, {}, {}, "s0 s1 i0 s2 s3 i1"},
        {"every 3, rotating over again, a clip and a song of no length passed over", {60, 0, 60, 60, 60, 60, 60, 60},
         {5, 0, 5}, {}, {3, 15, 2}, "s0 s2 s3 i0 s4 s5 s6 i2 s7"},
        {"identsEvery 0: none", minuteSongs, {5}, {}, {0, 15, 2}, "s0 s1 s2 s3"},
        {"breaks at the first boundary after 15 and 30 minutes, spots in turn", {400, 400, 400, 400, 400}, {},
         {30, 30, 30, 30}, {0, 15, 2}, "s0 s1 s2 p0 p1 s3 s4 p2 p3"},
        {"the songs go round again until the idents are back at their first", {60, 60, 60}, {5, 5}, {}, {},
         "s0 s1 i0 s2 s0 i1 s1 s2 i0 s0 s1 i1 s2"},
        {"spotsCount 0 or spotsEvery 0: no break", {1000, 1000}, {}, {30}, {0, 15, 0}, "s0 s1"},
        {"the songs go round again until a break comes", {25, 25}, {}, {5}, {0, 1, 1}, "s0 s1 s0 p0 s1"},
        {"a break first, the ident after the next song", shortSongs, {10, 10}, {10, 10}, {1, 1, 1},
         "s0 i0 s1 p0 s2 i1 s3 p1"},
        {"no playable clip: songs only", minuteSongs, {0}, {0}, {1, 1, 1}, "s0 s1 s2 s3"},
    };
    for (const Case& c : cases) {
        Tape songs = MakeTape(TapeKind::kSongs, "s", c.songs);
        Tape idents = MakeTape(TapeKind::kIdents, "i", c.idents);
        Tape spots = MakeTape(TapeKind::kSpots, "p", c.spots);
        Programme programme;
        LayOutProgramme(songs, c.idents.empty() ? nullptr : &idents, c.spots.empty() ? nullptr : &spots, c.rules,
                        programme);
        std::string order;
        const Tape* previous = nullptr;
        for (const ProgrammeItem& item : programme) {
            if (!(item.track->seconds > 0)) continue;
            order += (order.empty() ? "" : " ") + item.track->file.name;
            EXPECT_EQ(item.breakStart, item.tape == &spots && previous != &spots) << c.what << ": " << order;
            previous = item.tape;
        }
        EXPECT_EQ(order, c.order) << c.what;
    }
}

using ProgrammeKeys = ModuleTest;

TEST_F(ProgrammeKeys, ValuesOutOfRangeOrNotWholeAreRefusedForTheDefault) {
    struct Case {
        const char* key;
        const char* value;
        uint32_t ProgrammeRules::*rule;
        uint32_t expected;
        bool refused;
    } const cases[] = {
        {"identsEvery", "0", &ProgrammeRules::identsEvery, 0, false},
        {"identsEvery", "100", &ProgrammeRules::identsEvery, 100, false},
        {"identsEvery", "101", &ProgrammeRules::identsEvery, 2, true},
        {"identsEvery", "-1", &ProgrammeRules::identsEvery, 2, true},
        {"identsEvery", "2.5", &ProgrammeRules::identsEvery, 2, true},
        {"identsEvery", "0x10", &ProgrammeRules::identsEvery, 2, true},
        {"spotsEvery", "240", &ProgrammeRules::spotsEveryMinutes, 240, false},
        {"spotsEvery", "241", &ProgrammeRules::spotsEveryMinutes, 15, true},
        {"spotsEvery", "often", &ProgrammeRules::spotsEveryMinutes, 15, true},
        {"spotsCount", "00007", &ProgrammeRules::spotsCount, 2, true},
        {"spotsCount", "3", &ProgrammeRules::spotsCount, 3, false},
    };
    for (const Case& c : cases) {
        UseSettings(std::string("[TRACK3]\r\nplaylist = songs\r\n") + c.key + " = " + c.value + "\r\n");
        const ProgrammeSetup setup = ReadProgrammeSetup("TRACK3");
        EXPECT_EQ(setup.rules.*c.rule, c.expected) << c.key << " = " << c.value;
        ASSERT_EQ(setup.refusals.size(), c.refused ? 1u : 0u) << c.key << " = " << c.value;
        if (c.refused) {
            EXPECT_NE(setup.refusals[0].find(std::string("[TRACK3] ") + c.key + " = " + c.value + " refused"),
                      std::string::npos)
                << setup.refusals[0];
        }
    }
}

TEST_F(ProgrammeKeys, AnEditOfAProgrammeKeyRestartsTheStationOnAir) {
    const std::string before = "[TRACK1]\r\nplaylist = songs\r\nidents = ids\r\n";
    UseSettings(before);
    NoteSettingsInForce();
    g_lastStation = 1;
    folder.WriteSettings(before + "identsEvery = 3\r\n");
    folder.SetWriteTime("audio/streams/settings.ini", -10000);
    uint64_t now = 1000000;
    while (!ReloadSettingsAt(now += 600) && now < 1010000) {
    }
    TakeReloadedSettings();
    EXPECT_EQ(GetValue("TRACK1", "identsEvery", ""), "3");
    EXPECT_EQ(g_lastStation, kNoStation) << "the station tuned restarts with its new programme";
    while (ReloadSettingsAt(now += 10)) {  // the replaced document freed
    }
}

}  // namespace
