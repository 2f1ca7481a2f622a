// One run of the exit stress: the game starts with the real zorve.asi loaded,
// stations change every 2-20 ms while the player drives with the radio on, and
// FakeHostMain returns at a seeded moment chosen by the mode, which ends the
// process as the game's exit does (every other thread killed, then the DLL
// detaches). What the run did goes to stress.txt in the game folder;
// scripts/exit-stress judges it with what the exit left on disk.
//
// fakehost.exe --asi=zorve.asi zorve_exit_stress.dll MODE SEED
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/e2e/rig.h"

namespace {

// When the exit comes.
enum Moment { kAnywhere, kAfterChange, kDuringOpening, kFirstWrite, kMoments };
const char* const kMomentNames[kMoments] = {"anywhere", "after_change", "opening", "first_write"};

constexpr uint32_t kStartClockMs = 3725500;
constexpr uint32_t kClockStepMs = 1000;  // a change moves the clock on by whole seconds: distinct positions
constexpr int32_t kSavedOffset = 1200;
constexpr uint32_t kFrameMs = 16;
constexpr int kFileStations = 4;
// The last station is an internet stream whose server drops it at once, so
// that reconnects come and go all the while.
const char kInternetSource[] = "http://stress.example/live";
constexpr uint32_t kServerDropMs = 40;
constexpr uint32_t kServerConnectMs = 5;
constexpr int kShortestGapMs = 2;
constexpr int kLongestGapMs = 20;
constexpr int kShortestRunMs = 50;
constexpr int kLongestRunMs = 1600;
constexpr int kLongestLagUs = 3000;     // after a change
constexpr int kLongestOpeningUs = 2500; // after the opening's first audio call
constexpr int kLongestWriteUs = 1500;   // after the save's temporary file appears
constexpr int kLongestOpenWaitMs = 2;
constexpr double kAnchorTimeoutMs = 200;
constexpr int kErrorDevice = 23;  // BASS_ERROR_DEVICE
const char kRecordName[] = "stress.txt";
const char kFaultsName[] = "faults.txt";
const char kOriginalName[] = "stress-original.ini";
const char kTemporaryPath[] = "audio/streams/settings.ini.tmp";

// A name the game's text entry (HOST_TEXT_ENTRY_INITIAL) cannot hold.
const char kLongSuffix[] = " - the longest running late night show on the dial";

uint32_t g_random;

uint32_t Next() {
    // xorshift32: the same seed gives the same run.
    g_random ^= g_random << 13;
    g_random ^= g_random >> 17;
    g_random ^= g_random << 5;
    return g_random;
}

int Between(int low, int high) {
    return low + static_cast<int>(Next() % static_cast<uint32_t>(high - low + 1));
}

LARGE_INTEGER g_start, g_frequency;

double SinceStartMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (now.QuadPart - g_start.QuadPart) * 1000.0 / g_frequency.QuadPart;
}

// Busy-waits, so that the exit lands within microseconds of the moment.
void SpinUntil(double ms) {
    while (SinceStartMs() < ms) {
    }
}

HANDLE g_record = INVALID_HANDLE_VALUE;

void Record(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written;
    WriteFile(g_record, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// The player's file in the module's own layout, so that every save gives it back
// byte for byte but for the position: comments, an unknown key and section.
std::string Settings(bool longNames) {
    std::string text = "\xEF\xBB\xBF; stations for the exit stress\r\n\r\n\r\n";
    const char* const names[kFileStations] = {"Morning Drive", "Night Owls", "Jazz Hour", "Talk Back"};
    for (int i = 0; i < kFileStations; ++i) {
        text += "; station " + std::to_string(i + 1) + "\r\n[TRACK" + std::to_string(i + 1) + "]\r\n";
        text += i + 1 == kFileStations ? std::string("source = ") + kInternetSource + "\r\n"
                                       : "source = audio/streams/station" + std::to_string(i + 1) + ".wav\r\n";
        text += std::string("name = ") + names[i] + (longNames ? kLongSuffix : "") + "\r\n";
        text += "colorA = 255,128," + std::to_string(i * 40) + "\r\nrating = kept\r\n\r\n\r\n";
    }
    text += "[SWITCHER]\r\nsamples = jingles/one.wav,jingles/two.wav\r\n\r\n\r\n";
    text += "[INTERNET]\r\nreconnect = 1\r\n\r\n\r\n";
    text += "[POSITION]\r\nseconds = " + std::to_string(kSavedOffset) + "\r\n\r\n\r\n";
    text += "; not ours\r\n[GARAGE]\r\nnote = kept as it is\r\n";
    return text;
}

void WriteGameFolder(bool longNames) {
    PrepareGameFolder();
    DeleteFileA(kRecordName);
    const std::string settings = Settings(longNames);
    WriteFile(kSettingsPath, settings);
    WriteFile(kOriginalName, settings);
    for (int i = 1; i <= kFileStations; ++i) WriteFile("audio/streams/station" + std::to_string(i) + ".wav", std::string(4096, '\x11'));
    CreateDirectoryA("audio\\streams\\jingles", nullptr);
    for (const char* name : {"one", "two"}) WriteWave(std::string("audio/streams/jingles/") + name + ".wav");
}

uint32_t g_clockMs = kStartClockMs;
int32_t g_station = 0;
int32_t g_previousStation = 0;
int g_changes = 0;
int g_changeCalls = 0;     // the audio library's call count when the last change was made
uint32_t g_changePosition = 0;

// The first call of kind fn at or after index first that is not about a
// jingle (nor a play of no channel, as when a jingle is missing); waits for it
// until the given time.
bool WaitForCall(int fn, int first, double untilMs) {
    do {
        BassCall call;
        // A call is counted before it is written down: one still blank is read again.
        for (int i = first; FakeBass_GetCall(i, &call) && call.fn != 0; ++i) {
            if (call.fn == fn && !IsJingleChannel(call.handle) && (call.handle != 0 || fn != BF_PLAY)) return true;
            first = i + 1;
        }
    } while (SinceStartMs() < untilMs);
    return false;
}

// The clock moves first, so that a tick that sees the new station sees the new
// clock too: the position the module works out is at least the one recorded.
void ChangeStation() {
    ++g_changes;
    g_clockMs += kClockStepMs + (g_changes % 2);  // both parities, for the fade
    SetHost<uint32_t>(host::kClockMsAddr, g_clockMs);
    int32_t station;
    // Nor the one before: the change before this one may not have been taken
    // up yet, and going back to where the worker still is would be no change.
    do {
        station = Between(1, kFileStations);
    } while (station == g_station || station == g_previousStation);
    g_previousStation = g_station;
    g_station = station;
    g_changeCalls = BassCallCount();
    g_changePosition = g_clockMs / 1000 + kSavedOffset;
    TuneTo(station);
}

// The worker takes up a change with a stop of the station stream; only from
// then on is it a station start with a position to save. A change made while an
// opening runs waits for its end.
bool WaitForStart(double untilMs) {
    if (!WaitForCall(BF_CHANNEL_STOP, g_changeCalls, untilMs)) return false;
    char line[64];
    std::snprintf(line, sizeof line, "start %.3f %u", SinceStartMs(), g_changePosition);
    Record(line);
    return true;
}

// Station changes every 2-20 ms until the given time, each taken up before the next.
void ChangeStationsUntil(double endMs) {
    for (;;) {
        const double gapEnd = SinceStartMs() + Between(kShortestGapMs, kLongestGapMs);
        if (!WaitForStart(endMs) || gapEnd >= endMs) {
            SpinUntil(endMs);
            return;
        }
        SpinUntil(gapEnd);
        ChangeStation();
    }
}

bool WaitForFile(const char* path, double timeoutMs) {
    const double end = SinceStartMs() + timeoutMs;
    do {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
    } while (SinceStartMs() < end);
    return false;
}

void ExitAt(double ms) {
    char line[48];
    std::snprintf(line, sizeof line, "exit %.3f", ms);
    Record(line);
    CloseHandle(g_record);
    SpinUntil(ms);
}

int Play(Moment moment, bool longNames, uint32_t seed) {
    g_random = seed ? seed : 1;
    QueryPerformanceFrequency(&g_frequency);
    QueryPerformanceCounter(&g_start);
    WriteGameFolder(longNames);
    WriteFaultsTo(kFaultsName);
    g_record = CreateFileA(kRecordName, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (g_record == INVALID_HANDLE_VALUE) return 2;
    Record(std::string("mode ") + kMomentNames[moment] + (longNames ? " long" : " normal") + " " + std::to_string(seed));

    SetOpenWait(static_cast<int16_t>(Between(0, kLongestOpenWaitMs)));
    // Half of the runs exiting anywhere start without an audio device, which
    // appears later or not before the exit.
    if (moment == kAnywhere && Next() % 2) {
        const int missingMs = Between(0, kLongestRunMs);
        FakeBass_DeviceMissing(static_cast<uint32_t>(missingMs), kErrorDevice);
        Record("device missing " + std::to_string(missingMs) + " ms");
    }
    FakeServer server = {};
    server.dropAfterMs = kServerDropMs;
    server.connectMs = kServerConnectMs;
    FakeNet_SetServer(kInternetSource, &server);
    SetGameDefaults();
    PutPlayerInCar();
    SetHost<uint32_t>(host::kClockMsAddr, g_clockMs);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    Host().StartDrawing(kFrameMs);
    ChangeStation();

    switch (moment) {
    case kAnywhere:
        ChangeStationsUntil(Between(kShortestRunMs, kLongestRunMs));
        ExitAt(SinceStartMs());
        break;
    case kAfterChange:
        ChangeStationsUntil(Between(kShortestRunMs, kLongestRunMs));
        ChangeStation();
        ExitAt(SinceStartMs() + Between(0, kLongestLagUs) / 1000.0);
        break;
    case kDuringOpening: {
        ChangeStationsUntil(Between(kShortestRunMs, kLongestRunMs));
        ChangeStation();
        // The opening's first call frees the stream it replaces.
        const bool seen = WaitForCall(BF_STREAM_FREE, g_changeCalls, SinceStartMs() + kAnchorTimeoutMs);
        Record(seen ? "anchor opening" : "anchor missed");
        ExitAt(SinceStartMs() + Between(0, kLongestOpeningUs) / 1000.0);
        break;
    }
    case kFirstWrite: {
        // The first station start's position is saved before its opening runs.
        const bool seen = WaitForFile(kTemporaryPath, kAnchorTimeoutMs);
        Record(seen ? "anchor write" : "anchor missed");
        ExitAt(SinceStartMs() + Between(0, kLongestWriteUs) / 1000.0);
        break;
    }
    default:
        return 2;
    }
    return 0;
}

}  // namespace

extern "C" __declspec(dllexport) int FakeHostMain(const FakeHost* host, int argc, char** argv) {
    SetFakeHost(host);
    if (argc != 3) {
        std::printf("usage: zorve_exit_stress.dll MODE SEED (MODE 0-%d)\n", 2 * kMoments - 1);
        return 2;
    }
    const int mode = std::atoi(argv[1]);
    if (mode < 0 || mode >= 2 * kMoments) return 2;
    return Play(static_cast<Moment>(mode % kMoments), mode >= kMoments,
                static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)));
}
