#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "hud/banner.h"
#include "hud/nowplaying.h"
#include "module/nowplaying.h"
#include "radio/common/nowplaying.h"
#include "radio/common/stream.h"
#include "settings/settings.h"
#include "tests/unit/support.h"

namespace {

TEST(NowPlaying, ScreenTextIsSafeForTheGamesFont) {
    const std::string longTitle(200, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"Beyonc\u00e9 - D\u00e9j\u00e0 Vu", "Beyonce - Deja Vu"},
        {"~r~Red", "rRed"},
        {"Stra\u00dfe \u00c6on \u0141\u00f3d\u017a", "Strasse AEon Lodz"},
        {"\u6771\u4eac Tokyo \U0001F3B5", "Tokyo"},
        {"bad \xC3 byte \xFF and overlong \xC1\xBE tilde", "bad  byte  and overlong  tilde"},
        {"Tab\there", "Tabhere"},
        {"Don\u2019t \u201cStop\u201d \u2013 Live\u2026", "Don't \"Stop\" - Live..."},
        {"\u041a\u0438\u043d\u043e \u2014 \u2026", ""},
        {std::string(60, 'y'), std::string(60, 'y')},
        {longTitle, std::string(57, 'x') + "..."},
        {std::string(56, 'z') + " \u00e9\u00e9\u00e9\u00e9\u00e9", std::string(56, 'z') + "..."},
    };
    for (const auto& [text, expected] : cases) {
        char out[kNowPlayingMax + 1];
        ScreenText(text.c_str(), out);
        EXPECT_EQ(std::string(out), expected) << text;
    }
}

struct ShowCase {
    const char* settings;
    bool audible;
    uint32_t drawnAtMs;  // the title was announced at 1000 ms
    bool drawn;
};

// The line shows for 6 s after its change while our radio is heard, and
// only with the key on; otherwise the banner's hook makes its calls alone.
TEST(NowPlaying, LineShowsForSixSecondsWhileHeardWithTheKeyOn) {
    const char kOn[] = "[DISPLAY]\nnowplaying = 1\n";
    const ShowCase cases[] = {
        {kOn, true, 1000, true},    {kOn, true, 6999, true},    {kOn, true, 7000, false},
        {kOn, true, 500, false},    {kOn, false, 2000, false},  {"", true, 2000, false},
        {"[DISPLAY]\nnowplaying = 0\n", true, 2000, false},
    };
    for (const ShowCase& row : cases) {
        SCOPED_TRACE(std::string(row.settings) + " at " + std::to_string(row.drawnAtMs));
        ResetHostState();
        ResetModuleState();
        GameFolder folder;
        folder.WriteSettings(row.settings);
        LoadSettings();
        PutPlayerInCar();
        TuneTo(1);
        g_stationStream = 1;
        SetHost<uint32_t>(host::kClockMsAddr, 1000);
        AnnounceNowPlaying("Zo\u00eb - Caf\u00e9");
        CarryNowPlaying(row.audible);
        SetHost<uint32_t>(host::kClockMsAddr, row.drawnAtMs);
        Host().ResetCalls();
        DrawBanner();
        const auto prints = HostCallsOf(HR_PRINT_TEXT);
        EXPECT_EQ(HostCalls().size(), row.drawn ? 10u : 9u);
        if (row.drawn && prints.size() == 2) {
            EXPECT_STREQ(prints[1].text, "Zoe - Cafe");
            EXPECT_EQ(prints[1].args[0], prints[0].args[0]);                  // the banner's x
            float bannerY, lineY;
            std::memcpy(&bannerY, &prints[0].args[1], sizeof bannerY);
            std::memcpy(&lineY, &prints[1].args[1], sizeof lineY);
            EXPECT_GT(lineY, bannerY);  // below it
        }
    }
    ResetHostState();
}

}  // namespace
