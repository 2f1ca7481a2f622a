#include "tests/common/folders.h"
#include "tests/unit/support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hud/name.h"
#include "hud/nowplaying.h"
#include "module/library.h"
#include "module/tick.h"
#include "platform/bass.h"
#include "platform/runlog.h"
#include "radio/common/nowplaying.h"
#include "radio/common/output.h"
#include "radio/jingles.h"
#include "radio/player.h"
#include "radio/playlist/feed.h"
#include "radio/station.h"
#include "radio/volume.h"
#include "settings/settings.h"
#include "settings/watch.h"
#include "tests/fakes/threads.h"

namespace {

const FakeHost* g_host = nullptr;

// A player object and a vehicle object, somewhere in game memory that the
// module never reads otherwise.
constexpr uintptr_t kPlayerObject = 0xB00000;
constexpr uintptr_t kVehicleObject = 0xB01000;
constexpr uint16_t kModelWithRadio = 400;

const uintptr_t kDataAddresses[] = {
    host::kGameActiveAddr,    host::kClockMsAddr,       host::kRadioVolumeAddr, host::kAttenuationAddr,
    host::kCapWordAddr,       host::kCapByteAddr,       host::kAltStationFlagAddr, host::kAltStationAddr,
    host::kStationBaseAddr,   host::kStationStepAddr,   host::kRadioStateAddr,  host::kRadioModeAddr,
    host::kVehicleRadioOffAddr, host::kPlayerAddr,
};

}  // namespace

extern "C" __declspec(dllexport) int FakeHostMain(const FakeHost* host, int argc, char** argv) {
    g_host = host;
    // The module binds on its first version query; tests call in before that.
    const char* missing = nullptr;
    if (BindAudioCalls(missing) != 0) {
        std::fprintf(stderr, "the fake audio library lacks %s\n", missing);
        return 1;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

const FakeHost& Host() {
    return *g_host;
}

void ResetHostState() {
    for (uintptr_t address : kDataAddresses) host::Write<uint32_t>(address, 0);
    host::Write<uint16_t>(host::kCapWordAddr, 0);
    for (size_t i = 0; i < 8; ++i) host::Write<char>(host::kNameKeySlotAddr + i, 0);
    Host().ResetCode();
    Host().ResetTextEntry();
    Host().SetTextLookupFails(0);
    Host().SetColourObserver(nullptr);
    Host().ResetCalls();
}

void PutPlayerInCar() {
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    SetHost<uintptr_t>(host::kPlayerAddr, kPlayerObject);
    SetHost<uint8_t>(kPlayerObject + host::kPlayerStateOffset, host::kPlayerStateDriving);
    SetHost<uintptr_t>(kPlayerObject + host::kPlayerVehicleOffset, kVehicleObject);
    SetHost<uint16_t>(kVehicleObject + host::kVehicleModelOffset, kModelWithRadio);
    SetHost<uint8_t>(host::kModelRecordsAddr + host::kModelRecordSize * kModelWithRadio, 0);
}

void ResetModuleState() {
    g_initialised = false;
    g_settingsLoaded = false;
    g_settingsWatched = false;
    g_lastStation = 0;
    g_streamVolume = 0.0f;
    g_stationStream = 0;
    g_audioDeviceMissing = false;
    g_streamStarting = false;
    g_startOffset = 0;
    g_sourcePath.clear();
    for (uint32_t& sample : g_jingleSamples) sample = 0;
    g_jingleCount = 0;
    g_jingleCursor = 0;
    g_jingleChannel = 0;
    g_jingleRandomState = 1;
    g_nameColour = 0;
    g_nameEntryCapacity = 0;
    g_nameEntryMeasured = false;
    g_audioLibraryState = kLibraryNotAsked;
    g_audioLibraryVersion = 0;
    ForgetNowPlaying();
    HideNowPlaying();
    SetNowPlayingAudible(false);
    CloseRunLog();
    ResetQueuedThreads();
    StopFeed();
    FakeBass_Reset();
}

std::vector<BassCall> BassCalls() {
    std::vector<BassCall> calls;
    BassCall call;
    for (int i = 0; FakeBass_GetCall(i, &call); ++i) calls.push_back(call);
    return calls;
}

std::vector<BassCall> BassCallsOf(int fn) {
    std::vector<BassCall> calls;
    for (const BassCall& call : BassCalls())
        if (call.fn == fn) calls.push_back(call);
    return calls;
}

std::vector<HostCall> HostCalls() {
    std::vector<HostCall> calls;
    HostCall call;
    for (int i = 0; Host().GetCall(i, &call); ++i) calls.push_back(call);
    return calls;
}

std::vector<HostCall> HostCallsOf(int routine) {
    std::vector<HostCall> calls;
    for (const HostCall& call : HostCalls())
        if (call.routine == routine) calls.push_back(call);
    return calls;
}

void TuneTo(int32_t base, int8_t step) {
    SetHost<int32_t>(host::kStationBaseAddr, base);
    SetHost<int8_t>(host::kStationStepAddr, step);
}

void ModuleTest::UseSettings(const std::string& content) const {
    folder.WriteSettings(content);
    LoadSettings();
}

uint8_t CodeByte(uintptr_t address) {
    return host::Read<uint8_t>(address);
}

GameFolder::GameFolder() {
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    previous_ = previous;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    static int counter = 0;
    path_ = std::string(temp) + "zorve-test-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(++counter);
    CreateDirectoryA(path_.c_str(), nullptr);
    CreateDirectoryA((path_ + "\\audio").c_str(), nullptr);
    CreateDirectoryA((path_ + "\\audio\\streams").c_str(), nullptr);
    SetCurrentDirectoryA(path_.c_str());
}

GameFolder::~GameFolder() {
    SetCurrentDirectoryA(previous_.c_str());
    RemoveTree(path_);
}

void GameFolder::Write(const std::string& path, const std::string& content) const {
    const std::filesystem::path file = std::filesystem::u8path(path_ + "/" + path);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

std::string GameFolder::Read(const std::string& path) const {
    std::ifstream file(path_ + "/" + path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool GameFolder::Exists(const std::string& path) const {
    return GetFileAttributesA((path_ + "/" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void GameFolder::SetWriteTime(const std::string& path, int32_t msFromNow) const {
    const HANDLE file = CreateFileA((path_ + "/" + path).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER time;
    time.LowPart = now.dwLowDateTime;
    time.HighPart = now.dwHighDateTime;
    time.QuadPart += static_cast<int64_t>(msFromNow) * 10000;  // 100 ns units
    const FILETIME written = {time.LowPart, time.HighPart};
    SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
}

void GameFolder::WriteWave(const std::string& path) const {
    // RIFF header of an empty 16-bit mono PCM file.
    static const unsigned char kHeader[44] = {
        'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
        0x44, 0xAC, 0, 0, 0x88, 0x58, 0x01, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    Write(path, std::string(reinterpret_cast<const char*>(kHeader), sizeof kHeader));
}
