#include "tests/e2e/background.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/e2e/rig.h"

namespace {

constexpr int kTracks = 3000;
constexpr uint32_t kTrackMs = 4 * 60 * 1000;
constexpr uint32_t kTrackRate = 8000;  // Hz, mono 16-bit: the header claims the length, no samples follow
constexpr uint32_t kOpenMs = 3;        // the disk's time for an open
constexpr uint32_t kGameAloneMs = 10000;
constexpr uint32_t kSettleMs = 3000;
constexpr uint32_t kTapeWholeTimeoutMs = 180000;
constexpr uint32_t kBackgroundWindowMs = 30000;
constexpr uint32_t kGameWithModuleMs = 10000;
constexpr uint32_t kAllLevelsTimeoutMs = 300000;
constexpr uint32_t kFrameMs = 16;
constexpr uint32_t kClockMs = 3600000;
constexpr DWORD kPollMs = 100;
constexpr int32_t kGameStation = 12;
constexpr int32_t kStation = 7;
constexpr uint32_t kBytesPerKb = 1024;

const char kFolder[] = "audio/streams/library";
const char kSettings[] =
    "[SOUND]\r\nlevel = 1\r\n[TRACK7]\r\nplaylist = audio/streams/library\r\n[POSITION]\r\nseconds = 0\r\n";
// Vorbis comments, as the audio fake hands a "tag2" chunk over.
const char kTags[] = "REPLAYGAIN_TRACK_GAIN=-3.00 dB\0REPLAYGAIN_TRACK_PEAK=0.5\0";

void Put(std::string& bytes, uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i) & 0xFF);
}

// A WAV header of kTrackMs, with tags before its data when asked.
void WriteTrack(int index, bool tagged) {
    const uint32_t data = static_cast<uint32_t>(uint64_t{kTrackRate} * kTrackMs / 1000) * 2;
    const std::string tags = tagged ? std::string(kTags, sizeof kTags) : std::string();
    const uint32_t tagChunk = tagged ? 8 + static_cast<uint32_t>(tags.size() + (tags.size() & 1)) : 0;
    std::string wave = "RIFF";
    Put(wave, 36 + tagChunk + data, 4);
    wave += "WAVEfmt ";
    Put(wave, 16, 4);
    Put(wave, 1, 2);
    Put(wave, 1, 2);
    Put(wave, kTrackRate, 4);
    Put(wave, kTrackRate * 2, 4);
    Put(wave, 2, 2);
    Put(wave, 16, 2);
    if (tagged) {
        wave += "tag2";
        Put(wave, static_cast<uint32_t>(tags.size()), 4);
        wave += tags;
        if (tags.size() & 1) wave += '\0';
    }
    wave += "data";
    Put(wave, data, 4);
    char name[40];
    std::snprintf(name, sizeof name, "%s/song%05d.wav", kFolder, index);
    WriteFile(name, wave);
}

void MakeLibrary(bool tagged) {
    PrepareGameFolder();
    CreateDirectoryA("audio\\streams\\library", nullptr);
    for (int i = 0; i < kTracks; ++i) WriteTrack(i, tagged);
    WriteFile(kSettingsPath, kSettings);
    FakeBass_SetDecodeCost(FAKEBASS_DECODE_COST);
    FakeBass_SetOpenDelay(kOpenMs);
    // A long run: the fake keeps no call times meanwhile.
    FakeBass_KeepTimes(0);
}

void StartGame(int32_t station) {
    SetOpenWait(0);
    SetGameDefaults();
    PutPlayerInCar();
    TuneTo(station);
    Host().StartDrawing(kFrameMs);
    StartClock(kClockMs, false);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
}

// A busy game thread: steps of arithmetic as fast as it is let, counted.
struct GameLoad {
    std::atomic<bool> run{true};
    std::atomic<uint64_t> steps{0};
};

__attribute__((force_align_arg_pointer)) DWORD WINAPI BusyGame(LPVOID argument) {
    GameLoad& load = *static_cast<GameLoad*>(argument);
    uint32_t state = 1;
    while (load.run.load(std::memory_order_relaxed)) {
        for (int i = 0; i < 10000; ++i) state = state * 1664525u + 1013904223u;
        load.steps.fetch_add(1, std::memory_order_relaxed);
    }
    return state;
}

// The busy game thread's steps a second over ms.
double GameRate(uint32_t ms) {
    GameLoad load;
    const HANDLE thread = CreateThread(nullptr, 0, BusyGame, &load, 0, nullptr);
    if (!thread) return 0;
    Sleep(kPollMs);  // under way
    const uint64_t before = load.steps;
    const double started = NowMs();
    Sleep(ms);
    const double rate = (load.steps - before) * 1000.0 / (NowMs() - started);
    load.run = false;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return rate;
}

void Window(const char* mark, const char* name) {
    std::printf("%s=%s\n", mark, name);
    std::fflush(stdout);
}

// The run log's line for a whole tape: every length learned.
bool TapeWhole() {
    std::string log;
    return ReadFile(kRunLogPath, log) && log.find(" tracks, ") != std::string::npos &&
           log.find(" in all") != std::string::npos;
}

}  // namespace

int BenchBackgroundWork() {
    MakeLibrary(false);
    const double alone = GameRate(kGameAloneMs);
    // The player listens to the library while it is learned and measured; the
    // window is of the measuring, the heavier of the two.
    const double started = NowMs();
    StartGame(kStation);
    WaitFor(TapeWhole, "every length learned", kTapeWholeTimeoutMs);
    std::printf("background_tape_whole_ms=%.0f\n", NowMs() - started);
    Window("window_begin", "background");
    Sleep(kBackgroundWindowMs);
    Window("window_end", "background");
    const double withModule = GameRate(kGameWithModuleMs);
    std::printf("game_steps_per_second_alone=%.0f\n", alone);
    std::printf("game_steps_per_second_with_module=%.0f\n", withModule);
    std::printf("game_work_ratio=%.3f\n", alone > 0 ? withModule / alone : 0);
    return Failures();
}

int BenchBackgroundMemory() {
    // Tagged tracks are known from their tags: the whole library levelled in seconds.
    MakeLibrary(true);
    FakeBass_SetOpenDelay(0);
    const uint64_t before = PrivateBytes();
    StartGame(kGameStation);
    WaitFor([] { return LevelsKept() == kTracks; }, "every track's level kept", kAllLevelsTimeoutMs);
    Sleep(kSettleMs);
    std::printf("module_private_kb=%llu\n",
                static_cast<unsigned long long>((PrivateBytes() - before) / kBytesPerKb));
    return Failures();
}
