#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "hud/banner.h"
#include "hud/name.h"
#include "module/entry.h"
#include "module/tick.h"
#include "platform/patch.h"
#include "settings/settings.h"
#include "tests/unit/support.h"

namespace {

class Spine : public ModuleTest {};

struct VariantCase {
    uint32_t unsupportedWord;
    uint32_t supportedWord;
    bool supported;
};

TEST_F(Spine, VariantTableDecidesInOrder) {
    const VariantCase cases[] = {
        {0x8523A0, 0x8339CA, false},  // the unsupported word wins over a supported one
        {0x8523A0, 0, false},
        {0, 0x8339CA, true},
        {0x1234, 0x833A0A, true},
        {0, 0x833A0B, false},         // unrecognised
        {0, 0, false},
    };
    for (const VariantCase& c : cases) {
        SetHost<uint32_t>(host::kUnsupportedSignatureAddr, c.unsupportedWord);
        SetHost<uint32_t>(host::kSupportedSignatureAddr, c.supportedWord);
        EXPECT_EQ(SupportedHost(), c.supported) << std::hex << c.unsupportedWord << " " << c.supportedWord;
    }
    SetHost<uint32_t>(host::kUnsupportedSignatureAddr, 0);
    SetHost<uint32_t>(host::kSupportedSignatureAddr, 0x8339CA);
}

TEST_F(Spine, ClosedGateDoesNothing) {
    for (int i = 0; i < 100; ++i) RadioTick();
    EXPECT_FALSE(g_initialised);
    EXPECT_FALSE(g_settingsLoaded);
    EXPECT_TRUE(BassCalls().empty());
    EXPECT_EQ(CodeByte(host::kRadioOutputSite), host::kRadioOutputOn);
    EXPECT_TRUE(HostCalls().empty());
}

TEST_F(Spine, AudioDeviceInitialisedOnceWithOneRetry) {
    for (int failures : {0, 1, 2}) {
        ResetModuleState();
        FakeBass_FailInit(failures);
        SetHost<uint32_t>(host::kGameActiveAddr, 1);
        RadioTick();
        RadioTick();
        const auto inits = BassCallsOf(BF_INIT);
        ASSERT_EQ(inits.size(), failures == 0 ? 1u : 2u) << failures;
        for (const BassCall& init : inits) {
            EXPECT_EQ(static_cast<int32_t>(init.args[0]), -1);
            EXPECT_EQ(init.args[1], 44100u);
            EXPECT_EQ(init.args[2], 0u);
            EXPECT_EQ(init.args[3], 0u);
            EXPECT_EQ(init.args[4], 0u);
        }
        EXPECT_TRUE(g_initialised);
        EXPECT_TRUE(g_settingsLoaded);
    }
}

struct AudibleCase {
    const char* what;
    uint8_t altFlag;
    bool player;
    uint8_t playerState;
    bool vehicle;
    uint8_t modelNoRadio;
    uint8_t vehicleRadioOff;
    uint8_t radioMode;
    bool audible;
};

TEST_F(Spine, RadioAudibleConditions) {
    const AudibleCase cases[] = {
        {"driving a car with a radio", 0, true, 50, true, 0, 0, 0, true},
        {"alternative station", 1, true, 50, true, 0, 0, 0, false},
        {"alternative station, mode 3", 1, true, 50, true, 0, 0, 3, true},
        {"no player", 0, false, 0, false, 0, 0, 0, false},
        {"no player, mode 3", 0, false, 0, false, 0, 0, 3, true},
        {"on foot", 0, true, 1, true, 0, 0, 0, false},
        {"no vehicle", 0, true, 50, false, 0, 0, 0, false},
        {"vehicle without radio", 0, true, 50, true, 1, 0, 0, false},
        {"vehicle without radio, mode 3", 0, true, 50, true, 1, 0, 3, true},
        {"radio switched off", 0, true, 50, true, 0, 1, 0, false},
        {"mode other than 3", 0, false, 0, false, 0, 0, 2, false},
    };
    for (const AudibleCase& c : cases) {
        ResetHostState();
        PutPlayerInCar();
        const uintptr_t player = HostPlayer();
        const uintptr_t vehicle = HostPlayerVehicle(player);
        SetHost<uint8_t>(host::kAltStationFlagAddr, c.altFlag);
        SetHost<uint8_t>(player + host::kPlayerStateOffset, c.playerState);
        SetHost<uint8_t>(host::kModelRecordsAddr + host::kModelRecordSize * HostVehicleModel(vehicle), c.modelNoRadio);
        if (!c.vehicle) SetHost<uintptr_t>(player + host::kPlayerVehicleOffset, 0);
        if (!c.player) SetHost<uintptr_t>(host::kPlayerAddr, 0);  // a read through null would fault
        SetHost<uint8_t>(host::kVehicleRadioOffAddr, c.vehicleRadioOff);
        SetHost<uint8_t>(host::kRadioModeAddr, c.radioMode);
        EXPECT_EQ(RadioAudible(), c.audible) << c.what;
    }
}

std::vector<uint8_t> Bytes(uintptr_t address, size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = CodeByte(address + i);
    return bytes;
}

DWORD Protection(uintptr_t address) {
    MEMORY_BASIC_INFORMATION info;
    VirtualQuery(reinterpret_cast<void*>(address), &info, sizeof info);
    return info.Protect;
}

TEST_F(Spine, RedirectCallEncodesRelativeDisplacement) {
    RedirectCall(host::kBannerCallSite, reinterpret_cast<const void*>(0x600000));
    EXPECT_EQ(Bytes(host::kBannerCallSite, 5), (std::vector<uint8_t>{0xE8, 0x46, 0x3D, 0x08, 0x00}));
    RedirectCall(host::kBannerCallSite, reinterpret_cast<const void*>(0x400000));
    EXPECT_EQ(Bytes(host::kBannerCallSite, 5), (std::vector<uint8_t>{0xE8, 0x46, 0x3D, 0xE8, 0xFF}));
    RedirectCall(host::kBannerCallSite, reinterpret_cast<const void*>(0x400000));
    EXPECT_EQ(Bytes(host::kBannerCallSite, 5), (std::vector<uint8_t>{0xE8, 0x46, 0x3D, 0xE8, 0xFF}));
}

TEST_F(Spine, PrimitivesPutTheOldProtectionBack) {
    for (DWORD protection : {DWORD{PAGE_EXECUTE_READ}, DWORD{PAGE_EXECUTE_READWRITE}}) {
        DWORD old;
        VirtualProtect(reinterpret_cast<void*>(host::kRadioOutputSite), 1, protection, &old);
        VirtualProtect(reinterpret_cast<void*>(host::kBannerCallSite), 5, protection, &old);
        // A writable image page reads back as its copy-on-write form.
        const DWORD before = Protection(host::kRadioOutputSite);
        ASSERT_EQ(Protection(host::kBannerCallSite), before);
        PatchByte(host::kRadioOutputSite, 0x00);
        RedirectCall(host::kBannerCallSite, reinterpret_cast<const void*>(&DrawBanner));
        EXPECT_EQ(CodeByte(host::kRadioOutputSite), 0x00);
        EXPECT_EQ(Protection(host::kRadioOutputSite), before);
        EXPECT_EQ(Protection(host::kBannerCallSite), before);
        Host().ResetCode();
    }
}

float FloatOf(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST_F(Spine, BannerDrawnThroughTheGameSiteOnTheDrawingThread) {
    g_nameColour = 0x11223344;
    RedirectCall(host::kBannerCallSite, reinterpret_cast<const void*>(&DrawBanner));
    SiteRun run{};
    EXPECT_TRUE(Host().RunSite(SITE_BANNER_ENTRY, &run)) << std::hex << run.ebx << " " << run.esi << " " << run.edi
                                                         << " " << run.ebp << " " << run.espBefore << " "
                                                         << run.espAfter;
    EXPECT_NE(run.thread, GetCurrentThreadId());

    const auto calls = HostCalls();
    ASSERT_EQ(calls.size(), 9u);
    const int order[] = {HR_SET_TEXT_SCALE, HR_PALETTE_COLOUR, HR_SET_TEXT_COLOUR, HR_SET_TEXT_INT_A,
                         HR_SET_TEXT_FLOAT_A, HR_SET_TEXT_FLOAT_B, HR_SET_TEXT_FLAG, HR_SET_TEXT_INT_B,
                         HR_PRINT_TEXT};
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(calls[i].routine, order[i]) << i;
        EXPECT_EQ(calls[i].thread, run.thread) << i;
    }
    EXPECT_EQ(FloatOf(calls[0].args[0]), 0.6f);
    EXPECT_EQ(FloatOf(calls[0].args[1]), 0.6f);
    EXPECT_EQ(calls[1].self, host::kPaletteAddr);
    EXPECT_EQ(calls[1].args[1], 6u);
    EXPECT_EQ(calls[2].args[0], uint32_t{HOST_PALETTE_RED(6)} | uint32_t{HOST_PALETTE_GREEN(6)} << 8 |
                                    uint32_t{HOST_PALETTE_BLUE(6)} << 16 | uint32_t{HOST_PALETTE_ALPHA(6)} << 24);
    EXPECT_EQ(calls[3].args[0], 2u);
    EXPECT_EQ(FloatOf(calls[4].args[0]), 1.0f);
    EXPECT_EQ(FloatOf(calls[5].args[0]), 1.0f);
    EXPECT_EQ(calls[6].args[0] & 0xFF, 1u);
    EXPECT_EQ(calls[7].args[0], 1u);
    EXPECT_EQ(FloatOf(calls[8].args[0]), 15.0f);
    EXPECT_EQ(FloatOf(calls[8].args[1]), 15.0f);
    EXPECT_STREQ(calls[8].text, "ZORVE ASI by KT552");

    // The banner has its own colour: the station name's stays as it was.
    EXPECT_EQ(g_nameColour.load(), 0x11223344u);
    EXPECT_FALSE(g_settingsLoaded);
    EXPECT_TRUE(BassCalls().empty());
}

TEST_F(Spine, GameSiteRunsItsOwnCallUntilRedirected) {
    SiteRun run{};
    EXPECT_TRUE(Host().RunSite(SITE_BANNER_ENTRY, &run));
    const auto calls = HostCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].routine, HR_ORIGINAL_BANNER_CALL);
}

TEST_F(Spine, DetachShutsAudioDownAndSavesOnlyLoadedSettings) {
    const std::string original = "; mine\r\n[TRACK1]\r\nsource = a.mp3\r\n";
    folder.WriteSettings(original);
    LoadSettings();
    SetLongValue("POSITION", "seconds", 42);
    DetachWork();
    EXPECT_NE(folder.Settings().find("seconds = 42"), std::string::npos);
    EXPECT_NE(folder.Settings().find("source = a.mp3"), std::string::npos);

    // No game ran, so the library's version is asked first.
    const auto calls = BassCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].fn, BF_GET_VERSION);
    EXPECT_EQ(calls[1].fn, BF_STOP);
    EXPECT_EQ(calls[2].fn, BF_FREE);

    // Never loaded: the player's file stays byte for byte.
    folder.WriteSettings(original);
    g_settingsLoaded = false;
    DetachWork();
    EXPECT_EQ(folder.Settings(), original);
}

}  // namespace
