#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>

#include "hud/colour.h"
#include "hud/name.h"
#include "module/tick.h"
#include "settings/settings.h"
#include "tests/unit/support.h"

namespace {

class StationName : public ModuleTest {
};

constexpr uint32_t Rgba(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    return uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16 | uint32_t{a} << 24;
}

constexpr uint32_t Palette(uint32_t index) {
    return Rgba(HOST_PALETTE_RED(index), HOST_PALETTE_GREEN(index), HOST_PALETTE_BLUE(index),
                HOST_PALETTE_ALPHA(index));
}

std::vector<uint8_t> Bytes(uintptr_t address, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = CodeByte(address + i);
    return bytes;
}

std::vector<uint8_t> CallTo(uintptr_t site, const void* target) {
    const uint32_t displacement = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(target)) -
                                  static_cast<uint32_t>(site + 5);
    std::vector<uint8_t> bytes{0xE8, 0, 0, 0, 0};
    std::memcpy(&bytes[1], &displacement, 4);
    return bytes;
}

std::vector<uint8_t> ShadowBytes() {
    return {CodeByte(host::kShadowRedSite), CodeByte(host::kShadowGreenSite), CodeByte(host::kShadowBlueSite)};
}

struct ComponentCase {
    const char* text;
    uint8_t red, green, blue;
};

TEST_F(StationName, ColourTextConvertsLikeCIntegers) {
    const ComponentCase cases[] = {
        {"255,128,0", 255, 128, 0},
        {"0x10,010,16", 16, 8, 16},                       // hexadecimal, octal, decimal
        {"300,-1,abc", 44, 255, 0},                        // low 8 bits; no digits is 0
        {"10,20", 10, 20, 10},                             // blue wraps round to the first number
        {"7", 7, 7, 7},
        {" 0X1f, +5,-256", 31, 5, 0},                      // blanks and signs before the number
        {"12abc,0x,09", 12, 0, 0},                         // stops at the first unfit character
        {"2147483648,-2147483649,99999999999999999999", 255, 0, 255},  // clamped to 32 bits first
        {"", 0, 0, 0},
        {",,5", 0, 0, 5},
    };
    for (const ComponentCase& c : cases) {
        EXPECT_EQ(ColourComponent(c.text, 1), c.red) << c.text;
        EXPECT_EQ(ColourComponent(c.text, 2), c.green) << c.text;
        EXPECT_EQ(ColourComponent(c.text, 3), c.blue) << c.text;
    }
}

struct ChoiceCase {
    const char* what;
    int8_t station;
    int32_t base;
    uint32_t colour;
    int palette;  // index asked of the game's palette, or -1 for none
};

TEST_F(StationName, ColourKeyChosenByStationBase) {
    UseSettings(
        "[TRACK1]\ncolorA = 255,128,0\ncolorB = 1,2,3\n"
        "[TRACK2]\ncolorB = 1,2,3\n"
        "[TRACK3]\ncolorA = 255,128,0\n"
        "[TRACK4]\ncolorA =\ncolorB =\n"
        "[TRACK0]\ncolorB = 0x10,010,16\n");
    const ChoiceCase cases[] = {
        {"colorA while the base is set", 1, 1, Rgba(0xFF, 0x80, 0x00, 0xFF), -1},
        {"colorB while the base is 0", 1, 0, Rgba(1, 2, 3, 0xFF), -1},
        {"a negative base counts as set", 1, -1, Rgba(0xFF, 0x80, 0x00, 0xFF), -1},
        {"the base is read as 32 bits", 1, 0x100, Rgba(0xFF, 0x80, 0x00, 0xFF), -1},
        {"colorB alone while the base is set", 2, 1, Palette(8), 8},
        {"colorA alone while the base is 0", 3, 0, Palette(6), 6},
        {"empty colorA", 4, 1, Palette(8), 8},
        {"empty colorB", 4, 0, Palette(6), 6},
        {"missing section", 9, 0, Palette(6), 6},
        {"station 0 reads TRACK0", 0, 0, Rgba(16, 8, 16, 0xFF), -1},
    };
    for (const ChoiceCase& c : cases) {
        Host().ResetCalls();
        g_nameColour = 0;
        SetHost<int32_t>(host::kStationBaseAddr, c.base);
        ApplyStationColours(c.station);
        EXPECT_EQ(g_nameColour.load(), c.colour) << c.what;
        const auto palette = HostCallsOf(HR_PALETTE_COLOUR);
        if (c.palette < 0) {
            EXPECT_TRUE(palette.empty()) << c.what;
        } else {
            ASSERT_EQ(palette.size(), 1u) << c.what;
            EXPECT_EQ(palette[0].self, host::kPaletteAddr) << c.what;
            EXPECT_EQ(palette[0].args[1], static_cast<uint32_t>(c.palette)) << c.what;
        }
    }
}

TEST_F(StationName, GameSiteHandsTheColourOverWhole) {
    UseSettings("[TRACK1]\ncolorA = 255,128,0\n");
    SetHost<int32_t>(host::kStationBaseAddr, 1);

    SiteRun run{};
    ASSERT_TRUE(Host().RunSite(SITE_NAME_COLOUR_ENTRY, &run));
    ASSERT_EQ(HostCallsOf(HR_ORIGINAL_COLOUR_CALL).size(), 1u);  // the game's own call until redirected
    Host().ResetCalls();

    ApplyStationColours(1);
    uint8_t bytes[4];
    const uint32_t colour = g_nameColour.load();
    std::memcpy(bytes, &colour, sizeof bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0xFF, 0x80, 0x00, 0xFF}));
    EXPECT_EQ(Bytes(host::kNameColourCallSite, 5),
              CallTo(host::kNameColourCallSite, reinterpret_cast<const void*>(&ApplyNameColour)));

    Host().ResetCalls();
    EXPECT_TRUE(Host().RunSite(SITE_NAME_COLOUR_ENTRY, &run))
        << std::hex << run.ebx << " " << run.esi << " " << run.edi << " " << run.ebp << " " << run.espBefore << " "
        << run.espAfter << " " << run.fpuStatusBefore << " " << run.fpuStatusAfter;
    EXPECT_NE(run.thread, GetCurrentThreadId());
    const auto calls = HostCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].routine, HR_SET_TEXT_COLOUR);
    EXPECT_EQ(calls[0].thread, run.thread);
    // Red in the lowest byte, alpha in the highest; the value the game pushed is not taken.
    EXPECT_EQ(calls[0].args[0], 0xFF0080FFu);
    EXPECT_NE(calls[0].args[0], SITE_NAME_COLOUR_PUSHED);
}

struct ShadowCase {
    const char* settings;
    std::vector<uint8_t> shadow;
};

TEST_F(StationName, ShadowBytesWrittenRedGreenBlue) {
    const ShadowCase cases[] = {
        {"[TRACK1]\nname = x\n", {0, 0, 0}},
        {"[TRACK1]\nshadow =\n", {0, 0, 0}},
        {"[TRACK1]\nshadow = 255,255,255\n", {0xFF, 0xFF, 0xFF}},
        {"[TRACK1]\nshadow = 1,2,3\n", {1, 2, 3}},
        {"[TRACK1]\nshadow = 1,0x102\n", {1, 2, 1}},
    };
    for (const ShadowCase& c : cases) {
        Host().ResetCode();
        UseSettings(c.settings);
        ApplyStationColours(1);
        EXPECT_EQ(ShadowBytes(), c.shadow) << c.settings;
        // Only the operands change: the push opcodes around them stay the game's.
        EXPECT_EQ(CodeByte(host::kShadowRedSite - 1), 0x6A) << c.settings;
        EXPECT_EQ(CodeByte(host::kShadowGreenSite - 1), 0x6A) << c.settings;
        EXPECT_EQ(CodeByte(host::kShadowBlueSite - 1), 0x6A) << c.settings;
    }
}

TEST_F(StationName, EveryAudibleTickRewritesKeyNameRedirectAndShadow) {
    UseSettings("");  // no name, no colour keys, no shadow
    PutPlayerInCar();
    const auto redirect = CallTo(host::kNameColourCallSite, reinterpret_cast<const void*>(&ApplyNameColour));
    for (int tick = 0; tick < 2; ++tick) {
        Host().ResetCode();
        for (size_t i = 0; i < 7; ++i) SetHost<char>(host::kNameKeySlotAddr + i, 0);
        ASSERT_NE(Bytes(host::kNameColourCallSite, 5), redirect);
        Host().ResetCalls();
        RadioTick();
        EXPECT_EQ(Bytes(host::kNameColourCallSite, 5), redirect) << tick;
        EXPECT_EQ(ShadowBytes(), (std::vector<uint8_t>{0, 0, 0})) << tick;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(host::kNameKeySlotAddr), 7), "CVT_MSG") << tick;
        const auto copies = HostCallsOf(HR_COPY_ASCII_TEXT);
        ASSERT_EQ(copies.size(), 1u) << tick;
        EXPECT_STREQ(copies[0].text, "") << tick;
        EXPECT_EQ(g_nameColour.load(), Palette(6)) << tick;
    }
}

TEST_F(StationName, KeyIsSevenBytesAndLookedUpOnTheTextTable) {
    UseSettings("[TRACK0]\nname = Zero FM\n");
    SetHost<uint8_t>(host::kNameKeySlotAddr - 1, 0x5A);
    SetHost<uint8_t>(host::kNameKeySlotAddr + 7, 0x5A);
    ShowStationName(0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(host::kNameKeySlotAddr), 7), "CVT_MSG");
    EXPECT_EQ(CodeByte(host::kNameKeySlotAddr - 1), 0x5A);
    EXPECT_EQ(CodeByte(host::kNameKeySlotAddr + 7), 0x5A);
    SetHost<uint8_t>(host::kNameKeySlotAddr - 1, 0);

    const auto calls = HostCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].routine, HR_TEXT_LOOKUP);
    EXPECT_EQ(calls[0].self, host::kTextTableAddr);
    EXPECT_STREQ(calls[0].text, "CVT_MSG");
    EXPECT_EQ(calls[1].routine, HR_COPY_ASCII_TEXT);
    EXPECT_EQ(calls[1].args[1], reinterpret_cast<uintptr_t>(Host().TextEntry()));
    EXPECT_STREQ(Host().TextEntry(), "Zero FM");
}

struct NameStep {
    int8_t station;
    bool lookupFails;
    const char* entryAfter;
};

struct NameCase {
    const char* what;
    const char* initialEntry;  // nullptr: the game's own initial text
    std::vector<NameStep> steps;
};

TEST_F(StationName, NameNeverRunsPastTheEntry) {
    const std::string initial = HOST_TEXT_ENTRY_INITIAL;
    const std::string longName(100, 'L');
    const std::string cut(initial.size(), 'L');
    UseSettings("[TRACK1]\nname = Short\n[TRACK2]\nname = " + longName + "\n[TRACK3]\nname = " + initial + "\n");
    const NameCase cases[] = {
        {"a long name is cut", nullptr, {{2, false, cut.c_str()}}},
        {"a name of the entry's length fits", nullptr, {{3, false, initial.c_str()}}},
        {"capacity is remembered from the first look", nullptr,
         {{1, false, "Short"}, {2, false, cut.c_str()}}},
        {"no entry, no copy", nullptr, {{1, true, initial.c_str()}, {2, false, cut.c_str()}}},
        {"an entry first seen empty stays empty", "", {{1, false, ""}, {1, false, ""}}},
    };
    for (const NameCase& c : cases) {
        ResetModuleState();
        LoadSettings();
        Host().ResetTextEntry();
        if (c.initialEntry) std::strcpy(Host().TextEntry(), c.initialEntry);
        for (const NameStep& step : c.steps) {
            Host().ResetCalls();
            Host().SetTextLookupFails(step.lookupFails);
            ShowStationName(step.station);
            EXPECT_EQ(HostCallsOf(HR_COPY_ASCII_TEXT).size(), step.lookupFails ? 0u : 1u) << c.what;
            EXPECT_STREQ(Host().TextEntry(), step.entryAfter) << c.what;
            // The game wrote a longer text meanwhile: the measure still holds.
            if (c.initialEntry) std::strcpy(Host().TextEntry(), "a longer text");
        }
        Host().SetTextLookupFails(0);
        const char* block = Host().TextEntry();
        for (size_t i = initial.size() + 1; i < HOST_TEXT_ENTRY_BLOCK; ++i)
            ASSERT_EQ(static_cast<uint8_t>(block[i]), HOST_TEXT_GUARD) << c.what << " at " << i;
    }
}

// Station 1 has its own colour, station 2 the palette's; every byte of the two
// differs, so any mix of them is neither.
constexpr uint32_t kColourOne = Rgba(0x11, 0x22, 0x33, 0xFF);
constexpr uint32_t kColourTwo = Palette(8);

// What the drawing thread saw of the name colour.
std::atomic<int> g_coloursSeen{0}, g_mixedColours{0};

void ObserveColour(uint32_t rgba) {
    g_coloursSeen.fetch_add(1);
    if (rgba != kColourOne && rgba != kColourTwo) g_mixedColours.fetch_add(1);
}

TEST_F(StationName, DrawingThreadNeverSeesAMixedColour) {
    UseSettings("[TRACK1]\ncolorA = 0x11,0x22,0x33\n");
    g_coloursSeen = 0;
    g_mixedColours = 0;
    SetHost<int32_t>(host::kStationBaseAddr, 1);
    ApplyStationColours(1);
    Host().SetColourObserver(&ObserveColour);
    const int faultsBefore = Host().DrawFaults();

    constexpr int kMinSwitches = 20000;
    constexpr int kEnoughFrames = 1000;
    // Only a bound on a machine that starves the drawing thread, never a result.
    constexpr ULONGLONG kGiveUpMs = 30000;
    const ULONGLONG started = GetTickCount64();
    Host().StartDrawing(0);
    int switches = 0;
    // A torn store shows up only now and then: switch often, and stop at the first mix.
    while (g_mixedColours.load() == 0 && (switches < kMinSwitches || g_coloursSeen.load() < kEnoughFrames) &&
           GetTickCount64() - started < kGiveUpMs) {
        ApplyStationColours(static_cast<int8_t>(1 + switches % 2));
        ++switches;
    }
    Host().StopDrawing();
    Host().SetColourObserver(nullptr);

    EXPECT_GE(g_coloursSeen.load(), kEnoughFrames);
    EXPECT_EQ(g_mixedColours.load(), 0) << "of " << g_coloursSeen.load();
    EXPECT_EQ(Host().DrawFaults(), faultsBefore);
}

}  // namespace
