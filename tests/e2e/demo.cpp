#include "tests/e2e/demo.h"

#include <windows.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "tests/e2e/rig.h"

namespace {

constexpr uint32_t kDemoStartClockMs = 95000;  // the game has been running for a while
constexpr float kRadioVolume = 0.8f;
constexpr float kLowerRadioVolume = 0.5f;
constexpr int16_t kOpenWaitMs = 250;
constexpr uint32_t kJingleLengthMs = 150;
constexpr DWORD kPollMs = 5;
constexpr uint32_t kStepTimeoutMs = 20000;
constexpr int kVolumeSteps = 4;  // volume reported in quarters of the game's

const char kBannerText[] = "ZORVE ASI by KT552";

// What has been seen of the module so far.
struct Seen {
    int bassIndex = 0;
    int hostIndex = 0;
    uint32_t stream = 0;
    std::map<uint32_t, std::string> samplePaths;   // sample handle -> file
    std::map<uint32_t, std::string> channelPaths;  // jingle channel -> file
    uint64_t streamLength = 0;
    double broadcastSeconds = 0;
    int volumeLevel = -1;
    float volumeSaid = -1.0f;
    int radioBytes = -1;
    std::string name = HOST_TEXT_ENTRY_INITIAL;
    uint32_t colour = 0;
    bool colourKnown = false;
    int shadow = -1;
    bool banner = false;
} g_seen;

void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Say(const char* format, ...) {
    const uint32_t elapsed = ClockMs() - kDemoStartClockMs;
    std::printf("  %3u.%03us  ", elapsed / 1000, elapsed % 1000);
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::printf("\n");
}

void Scene(const char* text) {
    std::printf("\n%s\n", text);
}

double Seconds(uint64_t bytes) {
    return static_cast<double>(bytes) / FAKEBASS_BYTES_PER_SECOND;
}

void NewStream(uint32_t stream) {
    g_seen.stream = stream;
    g_seen.volumeLevel = -1;
}

void DescribeBassCall(const BassCall& call) {
    switch (call.fn) {
    case BF_INIT:
        Say("audio device opened (BASS_Init %s)", call.result ? "ok" : "failed");
        break;
    case BF_SAMPLE_LOAD:
        g_seen.samplePaths[static_cast<uint32_t>(call.result)] = call.text;
        Say("jingle loaded: %s%s", call.text, call.result ? "" : " (not audio: stays silent)");
        break;
    case BF_SAMPLE_GET_CHANNEL:
        if (call.result) g_seen.channelPaths[static_cast<uint32_t>(call.result)] = g_seen.samplePaths[call.handle];
        break;
    case BF_STREAM_CREATE_FILE:
        if (call.result) NewStream(static_cast<uint32_t>(call.result));
        Say("file opened: %s%s", call.text, call.result ? "" : " (failed)");
        break;
    case BF_SET_CONFIG:
        Say("network setting %u = %u", call.args[0], call.args[1]);
        break;
    case BF_STREAM_CREATE_URL:
        if (call.result) NewStream(static_cast<uint32_t>(call.result));
        Say("internet stream connected: %s%s", call.text, call.result ? "" : " (failed)");
        break;
    case BF_SECONDS_TO_BYTES:
        g_seen.broadcastSeconds = call.seconds;
        break;
    case BF_GET_LENGTH:
        g_seen.streamLength = call.result;
        break;
    case BF_SET_POSITION:
        Say("live position: broadcast time %.3f s (game clock + saved offset) modulo the %.1f s file = %.3f s in",
            g_seen.broadcastSeconds, Seconds(g_seen.streamLength), Seconds(call.qwords[0]));
        break;
    case BF_PLAY:
        if (IsJingleChannel(call.handle)) {
            Say("jingle plays: %s", g_seen.channelPaths[call.handle].c_str());
        } else if (call.handle && call.handle == g_seen.stream) {
            Say("station stream plays");
        }
        break;
    case BF_CHANNEL_STOP:
        if (call.handle && call.handle == g_seen.stream && call.result) Say("station stream stopped");
        break;
    case BF_SET_ATTRIBUTE: {
        if (call.handle != g_seen.stream || call.handle == 0) break;
        const float full = GetHost<float>(host::kRadioVolumeAddr);
        int level = full > 0 ? static_cast<int>(std::floor(call.value / full * kVolumeSteps + 1e-6)) : 0;
        if (level > kVolumeSteps) level = kVolumeSteps;
        if (level != g_seen.volumeLevel || (call.value == full && call.value != g_seen.volumeSaid)) {
            Say("stream volume %.2f%s", call.value,
                call.value == full ? " (the game's radio volume)" : call.value == 0 ? " (silent)" : "");
            g_seen.volumeLevel = level;
            g_seen.volumeSaid = call.value;
        }
        break;
    }
    case BF_STOP:
    case BF_FREE:
        Say("audio library %s", call.fn == BF_STOP ? "stopped" : "freed");
        break;
    default:
        break;
    }
}

void DescribeGame() {
    const int bytes = CodeByte(host::kRadioOutputSite) << 8 | CodeByte(host::kRadioRetuneSite);
    if (bytes != g_seen.radioBytes) {
        const uint8_t output = CodeByte(host::kRadioOutputSite), retune = CodeByte(host::kRadioRetuneSite);
        const char* meaning = output == host::kRadioOutputOn ? "ON (the game's own station is heard)"
                              : retune == host::kRadioRetuneOff ? "silenced while our stream opens"
                                                                : "silenced (our stream has the radio)";
        Say("game radio %s  [code bytes %02X %02X]", meaning, output, retune);
        g_seen.radioBytes = bytes;
    }
    if (g_seen.name != Host().TextEntry()) {
        g_seen.name = Host().TextEntry();
        if (g_seen.name.empty()) {
            Say("station name cleared (no name set for this station)");
        } else {
            Say("station name shown: \"%s\"", g_seen.name.c_str());
        }
    }
    const int shadow = CodeByte(host::kShadowRedSite) << 16 | CodeByte(host::kShadowGreenSite) << 8 |
                       CodeByte(host::kShadowBlueSite);
    if (shadow != g_seen.shadow && ModuleContains(CallTarget(host::kNameColourCallSite))) {
        Say("name shadow rgb(%d,%d,%d)", shadow >> 16, shadow >> 8 & 0xFF, shadow & 0xFF);
        g_seen.shadow = shadow;
    }
}

void DescribeHostCalls() {
    for (const HostCall& call : HostCallsFrom(g_seen.hostIndex)) {
        if (!g_seen.banner && call.routine == HR_PRINT_TEXT && std::strcmp(call.text, kBannerText) == 0) {
            float x, y;
            std::memcpy(&x, &call.args[0], sizeof x);
            std::memcpy(&y, &call.args[1], sizeof y);
            Say("banner drawn by the game: \"%s\" at (%.0f, %.0f)", call.text, x, y);
            g_seen.banner = true;
        }
    }
    g_seen.hostIndex = HostCallCount();
}

bool IsPaletteColour(uint32_t c, uint32_t index) {
    return (c & 0xFF) == HOST_PALETTE_RED(index) && (c >> 8 & 0xFF) == HOST_PALETTE_GREEN(index) &&
           (c >> 16 & 0xFF) == HOST_PALETTE_BLUE(index) && c >> 24 == HOST_PALETTE_ALPHA(index);
}

// One frame of the game's HUD, drawn on its drawing thread: the banner site,
// then the station name's colour site, whose colour is reported.
void DrawFrame() {
    SiteRun run;
    Host().RunSite(SITE_BANNER_ENTRY, &run);
    if (!ModuleContains(CallTarget(host::kNameColourCallSite))) return;
    const int first = HostCallCount();
    Host().RunSite(SITE_NAME_COLOUR_ENTRY, &run);
    for (const HostCall& call : HostCallsFrom(first)) {
        if (call.routine != HR_SET_TEXT_COLOUR) continue;
        if (!g_seen.colourKnown || call.args[0] != g_seen.colour) {
            const uint32_t c = call.args[0];
            const bool own = IsPaletteColour(c, 6) || IsPaletteColour(c, 8);
            Say("name colour rgb(%u,%u,%u) alpha %u%s", c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF, c >> 24,
                own ? " (no colour set: the game's own)" : "");
            g_seen.colour = c;
            g_seen.colourKnown = true;
        }
    }
}

void Describe() {
    DrawFrame();
    DescribeHostCalls();
    for (const BassCall& call : BassCallsFrom(g_seen.bassIndex)) {
        DescribeBassCall(call);
        ++g_seen.bassIndex;
    }
    DescribeGame();
}

// Lets the game run, telling what happens, until done() holds.
void Drive(const std::function<bool()>& done, const char* what) {
    const DWORD start = GetTickCount();
    for (;;) {
        Describe();
        if (done()) return;
        if (GetTickCount() - start > kStepTimeoutMs) {
            Fail(__FILE__, __LINE__, std::string("demo: timed out waiting for ") + what);
            return;
        }
        Sleep(kPollMs);
    }
}

void DriveFor(uint32_t gameMs) {
    const uint32_t until = ClockMs() + gameMs;
    Drive([&] { return static_cast<int32_t>(ClockMs() - until) >= 0; }, "game time to pass");
}

bool StreamAtFullVolume() {
    return g_seen.stream && FakeBass_Volume(g_seen.stream) == GetHost<float>(host::kRadioVolumeAddr);
}

bool GameRadioOn() {
    return CodeByte(host::kRadioOutputSite) == host::kRadioOutputOn &&
           CodeByte(host::kRadioRetuneSite) == host::kRadioRetuneOn;
}

// Length of a WAV file in seconds, from its header; 0 if it is not one.
double WaveSeconds(const std::string& path) {
    std::string data;
    if (!ReadFile(path, data) || data.size() < 12 || data.compare(0, 4, "RIFF") != 0) return 0;
    uint32_t byteRate = 0;
    for (size_t at = 12; at + 8 <= data.size();) {
        uint32_t size;
        std::memcpy(&size, data.data() + at + 4, 4);
        if (data.compare(at, 4, "fmt ") == 0 && at + 20 <= data.size()) std::memcpy(&byteRate, data.data() + at + 16, 4);
        if (data.compare(at, 4, "data") == 0) return byteRate ? static_cast<double>(size) / byteRate : 0;
        at += 8 + size + (size & 1);
    }
    return 0;
}

// The fake library knows nothing of the file's content: tell it the length.
void PrepareFile(const char* path) {
    const double seconds = WaveSeconds(path);
    FakeBass_SetStreamLength(static_cast<uint64_t>(seconds * FAKEBASS_BYTES_PER_SECOND) & ~7ull);
}

// The dial: base and step; a base of 0 makes the game use the colorB colours.
void Dial(int32_t base, int8_t step) {
    SetHost<int32_t>(host::kStationBaseAddr, base);
    SetHost<int8_t>(host::kStationStepAddr, step);
}

}  // namespace

int PlayDemo() {
    std::printf("zorve demo: a scripted drive in the fake game process with the real zorve.asi\n"
                "(times are game time; code bytes are the two bytes of game code zorve rewrites to\n"
                " silence the game's radio: 18 07 = the game's radio on)\n");
    SetHost<float>(host::kRadioVolumeAddr, kRadioVolume);
    SetOpenWait(kOpenWaitMs);
    FakeBass_SetJingleLength(kJingleLengthMs);
    StartClock(kDemoStartClockMs);

    Scene("The game is loading; the ASI loader has loaded zorve.asi.");
    Drive([] { return g_seen.banner; }, "the banner");
    DriveFor(500);

    Scene("A game starts (the module reads its settings and loads the jingles).");
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    Drive([] { return FakeBass_CallCount() > 0 && BassCallsOf(BF_SAMPLE_LOAD).size() == 3; }, "the jingles");
    DriveFor(300);

    Scene("The player gets into a car; the radio is on station 1 (dial without base: colorB).");
    PrepareFile("audio/streams/music/sunrise.wav");
    Dial(0, 1);
    PutPlayerInCar();
    Drive(StreamAtFullVolume, "station 1 at full volume");

    Scene("The player turns the game's radio volume down to 0.5.");
    SetHost<float>(host::kRadioVolumeAddr, kLowerRadioVolume);
    Drive(StreamAtFullVolume, "the stream following the volume");
    DriveFor(300);

    Scene("The player tunes to station 5, an internet stream.");
    uint32_t previous = g_seen.stream;
    Dial(5, 0);
    Drive([&] { return g_seen.stream != previous && StreamAtFullVolume(); }, "station 5 at full volume");

    Scene("The player gets out of the car: the radio is not heard, the stream goes on silently.");
    PlayerLeavesCar();
    Drive([] { return FakeBass_Volume(g_seen.stream) == 0.0f; }, "the stream silent");
    DriveFor(1000);
    Say("station stream %s", FakeBass_Active(g_seen.stream) == 1 ? "still playing, at volume 0" : "NOT playing");

    Scene("Back in the car: the same stream is heard again from where it is now.");
    const int backIn = FakeBass_CallCount();
    PutPlayerInCar();
    Drive(StreamAtFullVolume, "the stream back at full volume");
    Say("the same stream: %s", BassCallsOf(BF_PLAY, backIn).empty() && BassCallsOf(BF_SET_POSITION, backIn).empty()
                                   ? "not reopened, not moved"
                                   : "REOPENED");

    Scene("The player tunes to station 3 (dial with a base: colorA).");
    PrepareFile("audio/streams/music/night-drive.wav");
    previous = g_seen.stream;
    Dial(3, 0);
    Drive([&] { return g_seen.stream != previous && StreamAtFullVolume(); }, "station 3 at full volume");

    Scene("The player tunes to station 12, one of the game's own stations.");
    Dial(12, 0);
    Drive(GameRadioOn, "the game's radio back");
    DriveFor(300);

    Scene("The player quits the game.");
    std::printf("  zorve saves the broadcast position and shuts the audio library down.\n");
    return Failures();
}

void ShowDemoResult() {
    std::string written;
    if (!ReadFile(kSettingsPath, written)) {
        Fail(__FILE__, __LINE__, "no settings file after the drive");
        return;
    }
    const char kSignature[] = "\xEF\xBB\xBF";
    const bool signed_ = written.compare(0, 3, kSignature) == 0;
    std::printf("\nThe settings file as zorve wrote it at exit (%s, lines end in CR LF;\n"
                "comments kept, POSITION/seconds now the broadcast time of the last station start):\n\n",
                signed_ ? "begins with the UTF-8 signature EF BB BF" : "no UTF-8 signature");
    std::string text = written.substr(signed_ ? 3 : 0);
    std::string plain;
    for (char c : text)
        if (c != '\r') plain += c;
    std::printf("%s", plain.c_str());
}
