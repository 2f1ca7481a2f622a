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
#include "tests/e2e/timeline.h"
#include "tests/fakes/fakenet.h"

namespace {

constexpr uint32_t kDemoStartClockMs = 95000;  // the game has been running for a while
constexpr float kRadioVolume = 0.8f;
constexpr float kLowerRadioVolume = 0.5f;
constexpr double kCapVolume = 0.4;
constexpr int16_t kOpenWaitMs = 1200;  // long enough for a few jingles
constexpr DWORD kPollMs = 5;
// A call is told once it has surely finished: calls are recorded as they begin.
constexpr double kCallSettleSeconds = 0.05;
constexpr uint32_t kStepTimeoutMs = 20000;
constexpr uint32_t kBreakTimeoutMs = 90000;
constexpr int kVolumeSteps = 4;  // volume reported in quarters of the game's

const char kBannerText[] = "ZORVE ASI by KT552";
const char kTimelineName[] = "drive-timeline.txt";
const char kNetRadioUrl[] = "http://stream.example.net:8000/radio";  // station 5 of examples/
constexpr uint32_t kNetRadioKbits = 128;

// What has been seen of the module so far.
struct Seen {
    int bassIndex = 0;
    int hostIndex = 0;
    uint32_t stream = 0;
    std::map<uint32_t, std::string> samplePaths;   // sample handle -> file
    std::map<uint32_t, std::string> channelPaths;  // jingle channel -> file
    uint64_t streamLength = 0;
    double broadcastSeconds = 0;
    double bytesPerSecond = FAKEBASS_BYTES_PER_SECOND;  // of the current stream, as the library converts
    int volumeLevel = -1;
    float volumeSaid = -1.0f;
    int radioBytes = -1;
    std::string name = HOST_TEXT_ENTRY_INITIAL;
    uint32_t colour = 0;
    bool colourKnown = false;
    int shadow = -1;
    bool banner = false;
    std::string nowPlaying;  // the line drawn below the banner in the last frame
    std::map<uint32_t, std::string> tracks;  // playlist track channel -> file
    uint32_t trackRead = 0;                  // the track channel the playlist's stream read last
    int trackChanges = 0;
    int identsRead = 0;  // clips of City Mix's idents and spots the stream ran into
    int spotsRead = 0;
} g_seen;

// The example's City Mix keeps its idents and adverts in these folders.
const char kIdentsFolder[] = "city-idents";
const char kSpotsFolder[] = "city-spots";

// Playlist tracks open once each as decoding channels, read whole, that the
// playlist's one stream reads; their lengths come from decoding channels read
// from their headers only.
constexpr uint32_t kLoopFlag = 0x4;
constexpr uint32_t kDecodeFlag = 0x200000;
constexpr uint32_t kPrescanFlag = 0x20000;

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
    return static_cast<double>(bytes) / g_seen.bytesPerSecond;
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
        if ((call.args[1] & kDecodeFlag) && (call.args[1] & kPrescanFlag)) {
            if (call.result) g_seen.tracks[static_cast<uint32_t>(call.result)] = call.text;
            Say("playlist track opened for the stream to read: %s%s", call.text, call.result ? "" : " (failed)");
        } else if (call.args[1] & kDecodeFlag) {
            Say("track length read from its header: %s%s", call.text, call.result ? "" : " (cannot be read)");
        } else {
            if (call.result) NewStream(static_cast<uint32_t>(call.result));
            Say("file opened: %s%s", call.text, call.result ? "" : " (failed)");
        }
        break;
    case BF_STREAM_CREATE:
        if (call.result) NewStream(static_cast<uint32_t>(call.result));
        Say("playlist stream made: one continuous stream, %u Hz stereo, fed from the tracks", call.args[0]);
        break;
    case BF_GET_DATA:
        if (!g_seen.tracks.count(call.handle) || call.handle == g_seen.trackRead || call.result == 0xFFFFFFFFu) break;
        if (g_seen.trackRead) {
            const std::string& next = g_seen.tracks[call.handle];
            const bool ident = next.find(kIdentsFolder) != std::string::npos;
            const bool spot = next.find(kSpotsFolder) != std::string::npos;
            ++g_seen.trackChanges;
            g_seen.identsRead += ident;
            g_seen.spotsRead += spot;
            Say("the stream runs from %s straight into %s%s, sample-exact (read a buffer before it is heard)",
                g_seen.tracks[g_seen.trackRead].c_str(), ident ? "the station's ident " : spot ? "a spot " : "",
                next.c_str());
        }
        g_seen.trackRead = call.handle;
        break;
    case BF_SET_CONFIG:
        Say("library setting %u = %u", call.args[0], call.args[1]);
        break;
    case BF_STREAM_CREATE_URL:
        if (call.result) NewStream(static_cast<uint32_t>(call.result));
        Say("internet stream connected: %s%s", call.text, call.result ? "" : " (failed)");
        break;
    case BF_SECONDS_TO_BYTES:
        g_seen.broadcastSeconds = call.seconds;
        if (call.seconds > 0 && call.result != ~0ull) g_seen.bytesPerSecond = call.result / call.seconds;
        break;
    case BF_GET_LENGTH:
        g_seen.streamLength = call.result;
        break;
    case BF_SET_POSITION:
        if (g_seen.tracks.count(call.handle)) {
            Say("live position on the playlist's tape: %.3f s into %s", call.qwords[0] / g_seen.bytesPerSecond,
                g_seen.tracks[call.handle].c_str());
            break;
        }
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
    const int bannerFirst = HostCallCount();
    Host().RunSite(SITE_BANNER_ENTRY, &run);
    // The now-playing line: whatever the banner's site printed besides the banner.
    std::string line;
    for (const HostCall& call : HostCallsFrom(bannerFirst))
        if (call.routine == HR_PRINT_TEXT && std::strcmp(call.text, kBannerText) != 0) line = call.text;
    if (line != g_seen.nowPlaying) {
        if (line.empty()) {
            Say("now-playing line gone");
        } else {
            Say("now-playing line drawn below the banner: \"%s\"", line.c_str());
        }
        TimelineMark("nowplaying", line);
        g_seen.nowPlaying = line;
    }
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
            char rgb[8];
            std::snprintf(rgb, sizeof rgb, "%02X%02X%02X", c & 0xFF, c >> 8 & 0xFF, c >> 16 & 0xFF);
            TimelineMark("colour", rgb);
            g_seen.colour = c;
            g_seen.colourKnown = true;
        }
    }
}

void Describe() {
    DrawFrame();
    DescribeHostCalls();
    const double settled = RecordSeconds() - kCallSettleSeconds;
    for (const BassCall& call : BassCallsFrom(g_seen.bassIndex)) {
        if (call.time > settled) break;
        DescribeBassCall(call);
        ++g_seen.bassIndex;
    }
    DescribeGame();
    SampleGame();
}

// Lets the game run, telling what happens, until done() holds.
void Drive(const std::function<bool()>& done, const char* what, uint32_t timeoutMs = kStepTimeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        Describe();
        if (done()) return;
        if (GetTickCount() - start > timeoutMs) {
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

// The dial: base and step; a base of 0 makes the game use the colorB colours.
void Dial(int32_t base, int8_t step) {
    SetHost<int32_t>(host::kStationBaseAddr, base);
    SetHost<int8_t>(host::kStationStepAddr, step);
    TimelineMark("station", std::to_string(base + step));
}

bool NewStreamAtFullVolume(uint32_t previous) {
    return g_seen.stream != previous && StreamAtFullVolume();
}

struct DemoScene {
    const char* title;
    void (*play)();
};

// The drive, scene by scene; each scene leaves the game running.
const DemoScene kScenes[] = {
    {"The game is loading; the ASI loader has loaded zorve.asi.",
     [] {
         Drive([] { return g_seen.banner; }, "the banner");
         DriveFor(500);
     }},
    {"A game starts (the module reads its settings and loads the jingles).",
     [] {
         SetHost<uint32_t>(host::kGameActiveAddr, 1);
         Drive([] { return BassCallsOf(BF_SAMPLE_LOAD).size() == 3; }, "the jingles");
         DriveFor(300);
     }},
    {"The player gets into a car; the radio is on station 1 (dial without base: colorB).",
     [] {
         Dial(0, 1);
         PutPlayerInCar();
         Drive(StreamAtFullVolume, "station 1 at full volume");
         DriveFor(1500);
     }},
    {"The game caps the radio (its cap flag is set): the stream drops to 0.4.",
     [] {
         SetHost<uint8_t>(host::kCapByteAddr, 1);
         Drive([] { return g_seen.stream && FakeBass_Volume(g_seen.stream) == static_cast<float>(kCapVolume); },
               "the stream capped");
         DriveFor(1000);
     }},
    {"The cap is lifted: the stream fades back up to the game's radio volume.",
     [] {
         SetHost<uint8_t>(host::kCapByteAddr, 0);
         Drive(StreamAtFullVolume, "the stream back at full volume");
     }},
    {"The player turns the game's radio volume down to 0.5.",
     [] {
         SetHost<float>(host::kRadioVolumeAddr, kLowerRadioVolume);
         Drive(StreamAtFullVolume, "the stream following the volume");
         DriveFor(300);
     }},
    {"The player tunes to station 5, an internet stream.",
     [] {
         const uint32_t previous = g_seen.stream;
         Dial(5, 0);
         Drive([=] { return NewStreamAtFullVolume(previous); }, "station 5 at full volume");
     }},
    {"The player gets out of the car: the radio is not heard, the stream goes on silently.",
     [] {
         PlayerLeavesCar();
         Drive([] { return FakeBass_Volume(g_seen.stream) == 0.0f; }, "the stream silent");
         DriveFor(1000);
         Say("station stream %s", FakeBass_Active(g_seen.stream) == 1 ? "still playing, at volume 0" : "NOT playing");
     }},
    {"Back in the car: the same stream is heard again from where it is now.",
     [] {
         const int backIn = BassCallCount();
         PutPlayerInCar();
         Drive(StreamAtFullVolume, "the stream back at full volume");
         Say("the same stream: %s",
             BassCallsOf(BF_PLAY, backIn).empty() && BassCallsOf(BF_SET_POSITION, backIn).empty()
                 ? "not reopened, not moved"
                 : "REOPENED");
     }},
    {"The player tunes to station 3 (dial with a base: colorA).",
     [] {
         const uint32_t previous = g_seen.stream;
         Dial(3, 0);
         Drive([=] { return NewStreamAtFullVolume(previous); }, "station 3 at full volume");
         DriveFor(1000);
     }},
    {"The player alt-tabs, renames station 3 in settings.ini and saves it: the new name shows within a "
     "second or two, the music plays on.",
     [] {
         std::string text;
         ReadFile(kSettingsPath, text);
         const std::string from = "name = Night Drive";
         const size_t at = text.find(from);
         if (at != std::string::npos) text.replace(at, from.size(), "name = Midnight");
         // Saved as most editors save: a new file renamed over the old.
         const std::string saved = std::string(kSettingsPath) + ".new";
         WriteFile(saved, text);
         MoveFileExA(saved.c_str(), kSettingsPath, MOVEFILE_REPLACE_EXISTING);
         Drive([] { return g_seen.name == "Midnight"; }, "the new name");
         DriveFor(3000);
     }},
    {"The player tunes to station 7, a playlist: a folder of three songs played as one live broadcast, "
     "with the station's idents between the songs and a break of two adverts.",
     [] {
         const uint32_t previous = g_seen.stream;
         Dial(7, 0);
         Drive([=] { return NewStreamAtFullVolume(previous); }, "station 7 at full volume");
         // The programme has a break every minute at most: the drive waits for one, and the ident after it.
         Drive([] { return g_seen.spotsRead >= 2; }, "a break of two spots", kBreakTimeoutMs);
         const int identsBefore = g_seen.identsRead;
         Drive([=] { return g_seen.identsRead > identsBefore; }, "the ident after the break's next song");
         DriveFor(1500);
     }},
    {"The player tunes to station 12, one of the game's own stations.",
     [] {
         Dial(12, 0);
         Drive(GameRadioOn, "the game's radio back");
         DriveFor(1500);
     }},
};

}  // namespace

int PlayDemo() {
    std::printf("zorve demo: a scripted drive in the fake game process with the real zorve.asi\n"
                "(times are game time; code bytes are the two bytes of game code zorve rewrites to\n"
                " silence the game's radio: 18 07 = the game's radio on)\n");
    // The fake library's record and the game's side of the drive, for the sound and picture of it.
    KeepAudioRecord();
    OpenTimeline(kTimelineName);

    SetHost<float>(host::kRadioVolumeAddr, kRadioVolume);
    SetOpenWait(kOpenWaitMs);
    // The internet station's server names itself and its song.
    FakeServer server{};
    server.name = "Net Radio";
    server.bitrate = kNetRadioKbits;
    server.title = "The Arpeggios - Fast Lane";
    FakeNet_SetServer(kNetRadioUrl, &server);
    FakeBass_SetJingleLength(FAKEBASS_OWN_LENGTH);
    StartClock(kDemoStartClockMs);

    for (const DemoScene& scene : kScenes) {
        Scene(scene.title);
        TimelineMark("scene", scene.title);
        scene.play();
    }

    Scene("The player quits the game.");
    std::printf("  zorve saves the broadcast position and shuts the audio library down.\n");
    CloseTimeline();
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
