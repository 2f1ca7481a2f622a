// What the module costs the game: the worker's share of a core with its pause
// and without, the cost of one tick, and the cost of each hook the game calls.
// Runs in the fake game process with a station playing and the radio audible;
// prints name=value lines.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hud/banner.h"
#include "hud/name.h"
#include "hud/nowplaying.h"
#include "module/entry.h"
#include "module/tick.h"
#include "platform/bass.h"
#include "platform/host.h"
#include "radio/common/opening.h"
#include "radio/internet/netlevel.h"
#include "radio/player.h"
#include "radio/playlist/feed.h"
#include "radio/playlist/tracklist.h"
#include "tests/fakes/fakebass.h"
#include "tests/host/fakehost.h"

namespace {

constexpr int kTicks = 100000;
constexpr int kHookCalls = 100000;
// Thread times under Wine advance in 10 ms steps: a long window keeps that small.
constexpr DWORD kCpuWindowMs = 10000;
constexpr uint8_t kStation = 3;
constexpr float kRadioVolume = 0.8f;
constexpr uintptr_t kPlayerObject = 0xB00000;
constexpr uintptr_t kVehicleObject = 0xB01000;
constexpr uint16_t kModel = 400;

double g_ticksPerUs = 0;

double NowUs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / g_ticksPerUs;
}

// GetThreadTimes under Wine reads the kernel's tick-sampled times: 10 ms steps,
// and a thread that wakes on the timer tick is charged for ticks it did not use.
// So each window is also announced on stdout, and scripts/bench reads the
// scheduler's exact runtime of the process's threads around it.
double ThreadTimesMs(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    GetThreadTimes(thread, &created, &exited, &kernel, &user);
    auto ms = [](FILETIME t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e4; };
    return ms(kernel) + ms(user);
}


void Print(const char* name, double value) {
    std::printf("%s=%.3f\n", name, value);
}

// A WAV track of a 1 kHz sine, 16-bit stereo at 44.1 kHz, for the measuring's cost.
constexpr uint32_t kMeasuredTrackSeconds = 120;
void WriteMeasuredTrack(const char* path) {
    constexpr uint32_t kRate = 44100, kFrameBytes = 4;
    const uint32_t data = kMeasuredTrackSeconds * kRate * kFrameBytes;
    std::string wave = "RIFF";
    const auto put = [&wave](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) wave += static_cast<char>(value >> (8 * i) & 0xFF);
    };
    put(36 + data, 4);
    wave += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(kRate, 4);
    put(kRate * kFrameBytes, 4);
    put(kFrameBytes, 2);
    put(16, 2);
    wave += "data";
    put(data, 4);
    for (uint32_t i = 0; i < kMeasuredTrackSeconds * kRate; ++i) {
        const auto sample = static_cast<uint16_t>(static_cast<int16_t>(8000 * std::sin(6.283185307 * 1000.0 * i / kRate)));
        put(sample, 2);
        put(sample, 2);
    }
    std::ofstream(path, std::ios::binary) << wave;
}

void MakeGameFolder() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "zorve-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    SetCurrentDirectoryA(folder.c_str());
    CreateDirectoryA("audio", nullptr);
    CreateDirectoryA("audio\\streams", nullptr);
    std::ofstream("audio/streams/station3.wav", std::ios::binary) << "RIFF";
    std::ofstream("audio/streams/settings.ini", std::ios::binary)
        << "[TRACK3]\r\nsource = audio/streams/station3.wav\r\nname = Bench FM\r\n"
           "colorA = 255,128,0\r\ncolorB = 0,128,255\r\nshadow = 10,20,30\r\n"
           "[TRACK4]\r\nplaylist = audio/streams/measured\r\n[SOUND]\r\nlevel = 1\r\n";
    CreateDirectoryA("audio\\streams\\measured", nullptr);
    WriteMeasuredTrack("audio/streams/measured/track.wav");
}

// What measuring a track's loudness costs: the helper thread's first read of
// the track to its end, from the fake library's record, against its length.
void ReportMeasuring() {
    constexpr DWORD kMostWaitMs = 60000;
    const DWORD started = GetTickCount();
    for (;;) {
        double first = -1;
        uint32_t channel = 0;
        BassCall call;
        for (int i = 0; FakeBass_GetCall(i, &call); ++i) {
            if (call.fn != BF_GET_DATA || call.args[1] != 0) continue;  // the stream's pulls are not measuring
            if (!channel) {
                channel = call.handle;
                first = call.time;
            } else if (call.handle == channel && call.result == 0xFFFFFFFFu) {
                const double seconds = call.time - first;
                Print("measure_track_seconds", kMeasuredTrackSeconds);
                Print("measure_seconds", seconds);
                Print("measure_times_real_time", kMeasuredTrackSeconds / seconds);
                return;
            }
        }
        if (GetTickCount() - started > kMostWaitMs) {
            std::fprintf(stderr, "bench: the track was never measured\n");
            return;
        }
        Sleep(10);
    }
}

void PutPlayerInCarWithStation() {
    host::Write<uintptr_t>(host::kPlayerAddr, kPlayerObject);
    host::Write<uint8_t>(kPlayerObject + host::kPlayerStateOffset, host::kPlayerStateDriving);
    host::Write<uintptr_t>(kPlayerObject + host::kPlayerVehicleOffset, kVehicleObject);
    host::Write<uint16_t>(kVehicleObject + host::kVehicleModelOffset, kModel);
    host::Write<int32_t>(host::kStationBaseAddr, kStation);
    host::Write<float>(host::kRadioVolumeAddr, kRadioVolume);
    host::Write<uint32_t>(host::kClockMsAddr, 1001);
    host::Write<uint32_t>(host::kGameActiveAddr, 1);
}

// Median and 99th percentile of one tick, in microseconds.
void MeasureTicks(const char* median, const char* p99) {
    std::vector<double> costs(kTicks);
    for (double& cost : costs) {
        const double start = NowUs();
        RadioTick();
        cost = NowUs() - start;
    }
    std::sort(costs.begin(), costs.end());
    Print(median, costs[costs.size() / 2]);
    Print(p99, costs[costs.size() * 99 / 100]);
}

template <typename Hook>
void MeasureHook(const char* name, Hook hook) {
    const double start = NowUs();
    for (int i = 0; i < kHookCalls; ++i) hook();
    Print(name, (NowUs() - start) / kHookCalls);
}

std::atomic<bool> g_stopBaseline{false};

DWORD WINAPI BaselineLoop(LPVOID) {
    while (!g_stopBaseline) RadioTick();
    return 0;
}

// Time for scripts/bench to read the threads' runtimes after a window ends,
// before the measured thread may stop.
constexpr DWORD kWindowEndGraceMs = 500;

// A window in which thread is the only busy thread of the process; prints its
// share of one core as GetThreadTimes sees it.
void CpuWindow(const char* name, HANDLE thread) {
    std::printf("window_begin=%s\n", name);
    std::fflush(stdout);
    const double timesBefore = ThreadTimesMs(thread);
    const double wallBefore = NowUs();
    Sleep(kCpuWindowMs);
    const double wallMs = (NowUs() - wallBefore) / 1000.0;
    std::printf("window_end=%s\n", name);
    std::printf("%s_threadtimes_cpu_percent=%.3f\n", name, 100.0 * (ThreadTimesMs(thread) - timesBefore) / wallMs);
    std::fflush(stdout);
    Sleep(kWindowEndGraceMs);
}

// Ticks thread made, from its volume calls: two in every tick.
int TickCount(DWORD thread) {
    int count = 0;
    BassCall call;
    for (int i = FakeBass_CallCount() - 1; i >= 0 && FakeBass_GetCall(i, &call); --i)
        if (call.fn == BF_SET_ATTRIBUTE && call.thread == thread) ++count;
    return count / 2;
}

// The playlist stream's writing function at 48 kHz, as the library's update
// thread calls it (a refill every 100 ms), playing a 44.1 kHz stereo track
// through the resampler, and one of the stream's own rate: its share of a
// core, from this thread's own times (a minute of sound: the system's 10 ms
// steps stay small beside it), so that other work on the machine does not count.
void MeasureFeed() {
    constexpr uint32_t kStreamRate = 48000, kRefillFrames = kStreamRate / 10, kRefills = 600;
    const struct {
        const char* name;
        uint32_t trackRate;
    } cases[] = {{"feed_resampled_cpu_percent", 44100}, {"feed_cpu_percent", kStreamRate}};
    static float buffer[kRefillFrames * 2];
    FakeBass_SetOutputRate(kStreamRate);
    FakeBass_SetStreamLength(~0ull - 1);  // a track that never ends
    for (const auto& c : cases) {
        std::ofstream("bench-track.wav", std::ios::binary)
            << "RIFF" << std::string(4, '\0') << "WAVEfmt " << std::string("\x10\0\0\0\1\0\2\0", 8)
            << std::string(reinterpret_cast<const char*>(&c.trackRate), 4) << std::string(4, '\0')
            << std::string("\4\0\x10\0", 4) << "data" << std::string(4, '\0');
        FeedTrack track;
        track.channel = BASS_StreamCreateFile(0, "bench-track.wav", 0, 0, 0x200100);  // decode, float
        track.chans = 2;
        track.rate = c.trackRate;
        track.track = 0;
        const uint32_t stream = StartFeed(track);
        BassCall made{};
        for (int i = FakeBass_CallCount() - 1; i >= 0 && FakeBass_GetCall(i, &made); --i)
            if (made.fn == BF_STREAM_CREATE) break;
        const auto write = reinterpret_cast<BassStreamProc>(static_cast<uintptr_t>(made.args[3]));
        void* const user = reinterpret_cast<void*>(static_cast<uintptr_t>(made.args[4]));
        const double startMs = ThreadTimesMs(GetCurrentThread());
        for (uint32_t i = 0; i < kRefills; ++i) write(stream, buffer, sizeof buffer, user);
        const double audioMs = 1e3 * kRefills * kRefillFrames / kStreamRate;
        Print(c.name, 100 * (ThreadTimesMs(GetCurrentThread()) - startMs) / audioMs);
        StopFeed();
    }
    FakeBass_SetOutputRate(0);
}

// An internet stream's levelling DSP, as the library's update thread calls it
// (16-bit stereo at 44.1 kHz, a refill every 100 ms) over a minute of a loud
// 1 kHz sine: its share of a core, from this thread's own times.
void MeasureNetLevel() {
    constexpr uint32_t kRate = 44100, kRefillFrames = kRate / 10, kRefills = 600;
    constexpr double kAmplitude = 10000, kToneHz = 1000, kPi = 3.14159265358979;
    const char kUrl[] = "http://bench.example/live";
    static int16_t tone[kRefillFrames * 2], buffer[kRefillFrames * 2];
    for (uint32_t f = 0; f < kRefillFrames; ++f)
        tone[2 * f] = tone[2 * f + 1] = static_cast<int16_t>(kAmplitude * std::sin(2 * kPi * kToneHz * f / kRate));
    const FakeServer server{};
    FakeNet_SetServer(kUrl, &server);
    const uint32_t stream = BASS_StreamCreateURL(kUrl, 0, 0, nullptr, nullptr);
    LevelNetStream(stream, kUrl);
    BassCall dsp{};
    for (int i = FakeBass_CallCount() - 1; i >= 0 && FakeBass_GetCall(i, &dsp); --i)
        if (dsp.fn == BF_SET_DSP) break;
    if (dsp.fn != BF_SET_DSP || !dsp.result) return;
    const auto level = reinterpret_cast<BassDspProc>(static_cast<uintptr_t>(dsp.args[0]));
    void* const user = reinterpret_cast<void*>(static_cast<uintptr_t>(dsp.args[1]));
    const double startMs = ThreadTimesMs(GetCurrentThread());
    for (uint32_t i = 0; i < kRefills; ++i) {
        std::copy(std::begin(tone), std::end(tone), buffer);
        level(static_cast<BassDword>(dsp.result), stream, buffer, sizeof buffer, user);
    }
    const double audioMs = 1e3 * kRefills * kRefillFrames / kRate;
    Print("net_level_cpu_percent", 100 * (ThreadTimesMs(GetCurrentThread()) - startMs) / audioMs);
    BASS_StreamFree(stream);
}

// A playlist folder's listing against a bare read of its names, the best of
// a few passes each, in the current directory's folder (scripts/bench-tapes).
int MeasureListing(const char* folder) {
    constexpr int kPasses = 3;
    double read = 1e12, listed = 1e12;
    size_t names = 0, tracks = 0;
    for (int pass = 0; pass < kPasses; ++pass) {
        double start = NowUs();
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((std::filesystem::u8path(folder) / "*").c_str(), &found);
        names = 0;
        for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) names += found.cFileName[0] != L'.';
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
        read = std::min(read, NowUs() - start);
        start = NowUs();
        tracks = ReadTrackList(folder, false, 1).tracks.size();
        listed = std::min(listed, NowUs() - start);
    }
    Print("folder_names", static_cast<double>(names));
    Print("folder_tracks_listed", static_cast<double>(tracks));
    Print("folder_read_names_ms", read / 1000);
    Print("folder_listing_ms", listed / 1000);
    return 0;
}

}  // namespace

extern "C" __declspec(dllexport) int FakeHostMain(const FakeHost*, int argc, char** argv) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerUs = frequency.QuadPart / 1e6;
    if (argc > 2 && std::string(argv[1]) == "listing") return MeasureListing(argv[2]);

    MakeGameFolder();
    PutPlayerInCarWithStation();
    // The ticks below run here, not on the worker, which starts the opening
    // thread itself: start one for them (the worker's later takes over).
    StartHelper();
    for (int i = 0; i < 10000 && FakeBass_Active(g_stationStream) != 1; ++i) {
        RadioTick();
        Sleep(1);
    }
    if (FakeBass_Active(g_stationStream) != 1) {
        std::fprintf(stderr, "bench: the station never started playing\n");
        return 1;
    }

    // Measured in the background once the lengths are known; done before the
    // ticks are timed, so that it does not share the machine with them.
    ReportMeasuring();

    // The fake library's clock reading for its record is not the module's cost.
    FakeBass_KeepTimes(0);
    MeasureTicks("tick_median_us", "tick_p99_us");
    host::Write<uint32_t>(host::kGameActiveAddr, 0);
    MeasureTicks("gate_tick_median_us", "gate_tick_p99_us");
    host::Write<uint32_t>(host::kGameActiveAddr, 1);

    MeasureHook("banner_hook_us", DrawBanner);
    // The same hook drawing the now-playing line below the banner.
    PublishNowPlaying("Some Artist - A Title of Some Length", HostClockMs());
    SetNowPlayingAudible(true);
    MeasureHook("banner_hook_line_us", DrawBanner);
    HideNowPlaying();
    MeasureHook("colour_hook_us", ApplyNameColour);
    MeasureFeed();
    MeasureNetLevel();

    // The same tick without a pause.
    HANDLE baseline = CreateThread(nullptr, 0, BaselineLoop, nullptr, 0, nullptr);
    CpuWindow("baseline", baseline);
    g_stopBaseline = true;
    WaitForSingleObject(baseline, INFINITE);
    CloseHandle(baseline);

    // The module's own loop: first while no game runs, then with the station playing.
    host::Write<uint32_t>(host::kGameActiveAddr, 0);
    DWORD workerId = 0;
    HANDLE worker = CreateThread(nullptr, 0, WorkerThread, nullptr, 0, &workerId);
    CpuWindow("idle_worker", worker);
    host::Write<uint32_t>(host::kGameActiveAddr, 1);
    const int ticksBefore = TickCount(workerId);
    CpuWindow("worker", worker);
    Print("worker_ticks_per_second", (TickCount(workerId) - ticksBefore) / (kCpuWindowMs / 1000.0));
    // The worker never returns; the process ends with it running, as the game does.
    std::fflush(stdout);
    return 0;
}
