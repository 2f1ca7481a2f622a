// Whole drives with the real zorve.asi loaded into the fake game process, as an
// ASI loader loads it. FakeHostMain plays a scenario in the game process; when
// it returns, the process ends and the module's detach runs. FakeHostCheck then
// runs in a second process and checks what was left on disk.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "tests/e2e/background.h"
#include "tests/e2e/bigfolder.h"
#include "tests/e2e/demo.h"
#include "tests/e2e/levels.h"
#include "tests/e2e/live.h"
#include "tests/e2e/machine.h"
#include "tests/e2e/nowplaying.h"
#include "tests/e2e/playlist.h"
#include "tests/e2e/programme.h"
#include "tests/e2e/rig.h"
#include "tests/e2e/runlog.h"
#include "tests/e2e/sound.h"
#include "tests/e2e/staying.h"
#include "tests/e2e/text.h"
#include "tests/e2e/timing.h"

namespace {

constexpr uint32_t kStartClockMs = 3725500;
constexpr uint32_t kFrameMs = 16;
// x87 intermediates may differ in the last bits; clock values lie 16 ms apart.
constexpr double kSameSeconds = 1e-6;
constexpr int32_t kSavedOffset = 1200;
constexpr float kGameRadioVolume = 0.8f;
constexpr int16_t kSlowOpenWaitMs = 300;
constexpr int16_t kLongestOpenWaitMs = 32767;
constexpr uint32_t kJingleLengthMs = 40;
constexpr int32_t kFileStation = 3;
constexpr int32_t kUrlStation = 5;
constexpr int32_t kGameStation = 12;

const char kStationFile[] = "audio/streams/morning.wav";
const char kStationName[] = "Morning Drive";
const char kStationUrl[] = "http://radio.example:8000/live";
const char kUrlStationName[] = "Net Radio";
// colorA 255,128,0 as the game receives it: red in the lowest byte, alpha highest.
constexpr uint32_t kStationColourA = 0xFF0080FFu;
const uint8_t kStationShadow[3] = {10, 20, 30};

// The player's settings file as the module itself writes it: signature, CR LF,
// comments before sections and entries, entries the module does not know.
std::string PlayerSettings(int32_t seconds) {
    return std::string("\xEF\xBB\xBF") +
           "; Radio stations for zorve\r\n"
           "; written by hand\r\n"
           "\r\n"
           "\r\n"
           "; the morning show\r\n"
           "[TRACK3]\r\n"
           "source = audio/streams/morning.wav\r\n"
           "name = Morning Drive\r\n"
           "colorA = 255,128,0\r\n"
           "colorB = 0x10,010,16\r\n"
           "\r\n"
           "; dark blue shadow\r\n"
           "shadow = 10,20,30\r\n"
           "rating = five stars\r\n"
           "\r\n"
           "\r\n"
           "[TRACK5]\r\n"
           "source = http://radio.example:8000/live\r\n"
           "name = Net Radio\r\n"
           "\r\n"
           "\r\n"
           "[SWITCHER]\r\n"
           "samples = jingles/one.wav,jingles/two.wav,jingles/three.wav\r\n"
           "\r\n"
           "\r\n"
           "[POSITION]\r\n"
           "seconds = " +
           std::to_string(seconds) +
           "\r\n"
           "\r\n"
           "\r\n"
           "[GARAGE]\r\n"
           "note = not ours, kept\r\n";
}

void WritePlayerFolder() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, PlayerSettings(kSavedOffset));
    WriteFile(kStationFile, std::string(4096, '\x11'));
    CreateDirectoryA("audio\\streams\\jingles", nullptr);
    for (const char* name : {"one", "two", "three"}) WriteWave(std::string("audio/streams/jingles/") + name + ".wav");
}

// The game runs, the radio at 0.8, the HUD drawn every frame, the clock going.
void StartGame(bool gameActive) {
    SetGameDefaults();
    SetHost<float>(host::kRadioVolumeAddr, kGameRadioVolume);
    SetHost<uint32_t>(host::kGameActiveAddr, gameActive ? 1 : 0);
    Host().StartDrawing(kFrameMs);
    StartClock(kStartClockMs);
}

void CheckBannerDrawn() {
    WaitFor([] { return ModuleContains(CallTarget(host::kBannerCallSite)); }, "the banner call redirected");
    SiteRun run;
    const int first = HostCallCount();
    CHECK(Host().RunSite(SITE_BANNER_ENTRY, &run), "banner site preserves registers, stack and x87");
    bool printed = false;
    for (const HostCall& call : HostCallsFrom(first))
        printed |= call.routine == HR_PRINT_TEXT && call.thread == run.thread &&
                   std::strcmp(call.text, "ZORVE ASI by KT552") == 0;
    CHECK(printed, "banner printed by the drawing thread");
}

// The colour the game receives when its drawing thread reaches the name colour
// site. The frames stop meanwhile, so that the banner's colour cannot come between.
uint32_t NameColourDrawn() {
    SiteRun run;
    Host().StopDrawing();
    const int first = HostCallCount();
    CHECK(Host().RunSite(SITE_NAME_COLOUR_ENTRY, &run), "name colour site preserves registers, stack and x87");
    const auto calls = HostCallsFrom(first);
    Host().StartDrawing(kFrameMs);
    for (const HostCall& call : calls)
        if (call.routine == HR_SET_TEXT_COLOUR && call.thread == run.thread) return call.args[0];
    Fail(__FILE__, __LINE__, "no colour set through the name colour site");
    return 0;
}

void CheckRadioBytes(uint8_t output, uint8_t retune, const std::string& when) {
    CHECK(CodeByte(host::kRadioOutputSite) == output, when + ": radio output byte " + Hex(CodeByte(host::kRadioOutputSite)));
    CHECK(CodeByte(host::kRadioRetuneSite) == retune, when + ": radio retune byte " + Hex(CodeByte(host::kRadioRetuneSite)));
}

// Tunes with the clock held, until the change has been handled, so that the
// position the module records is that of a known clock value.
void TuneWithClockHeld(int32_t station, uint32_t clockMs, bool resume = true) {
    HoldClock(clockMs);
    TuneTo(station);
    WaitTicks(2);
    if (resume) ResumeClock();
}

uint32_t StreamOpenedBy(int fn, int first) {
    uint32_t stream = 0;
    WaitFor(
        [&] {
            const auto opens = BassCallsOf(fn, first);
            if (opens.empty() || opens.back().result == 0) return false;
            stream = static_cast<uint32_t>(opens.back().result);
            for (const BassCall& play : BassCallsOf(BF_PLAY, first))
                if (play.handle == stream) return true;
            return false;
        },
        "the station stream playing");
    return stream;
}

void WaitForFullVolume(uint32_t stream) {
    WaitFor([&] { return FakeBass_Volume(stream) == kGameRadioVolume; }, "the stream at the game's radio volume");
}

// The stream's volume as applied tick by tick since first: up from 0 to the
// game's volume in many small steps, never down.
void CheckFadeIn(uint32_t stream, int first) {
    std::vector<float> volumes;
    for (const BassCall& call : BassCallsOf(BF_SET_ATTRIBUTE, first))
        if (call.handle == stream && (volumes.empty() || volumes.back() != call.value)) volumes.push_back(call.value);
    CHECK(!volumes.empty() && volumes.front() < 0.01f, "the fade starts near 0");
    CHECK(volumes.size() > 100, "the fade rises in small steps, got " + std::to_string(volumes.size()));
    CHECK(std::is_sorted(volumes.begin(), volumes.end()), "the fade never goes down");
    CHECK(!volumes.empty() && volumes.back() == kGameRadioVolume, "the fade ends at the game's radio volume");
}

void CheckStationShown(const char* name, uint32_t colour) {
    CHECK(std::memcmp(reinterpret_cast<const void*>(host::kNameKeySlotAddr), "CVT_MSG", 7) == 0,
          "station name key written");
    WaitFor([&] { return std::strcmp(Host().TextEntry(), name) == 0; }, std::string("the name ") + name + " shown");
    CHECK(NameColourDrawn() == colour, "name colour " + Hex(colour));
}

// ---- scenarios played in the game process ----------------------------------------

// A player tunes to a file station through a slow opening, listens, and
// switches to one of the game's own stations.
int PlayStationChange() {
    WritePlayerFolder();
    SetOpenWait(kSlowOpenWaitMs);
    FakeBass_SetJingleLength(kJingleLengthMs);
    PutPlayerInCar();
    StartGame(true);
    CheckBannerDrawn();
    WaitFor([] { return BassCallsOf(BF_SAMPLE_LOAD).size() == 3; }, "three jingles loaded");

    // Opening: after the game's wait the open itself waits until released, so
    // the whole phase can be watched. The clock stays on an even value
    // meanwhile, which keeps the fade at 0 until the stream plays.
    FakeBass_HoldOpens(1);
    const int tuned = BassCallCount();
    TuneWithClockHeld(kFileStation, kStartClockMs, false);
    WaitFor(
        [&] {
            int jingles = 0;
            for (const BassCall& play : BassCallsOf(BF_PLAY, tuned)) jingles += IsJingleChannel(play.handle);
            return jingles >= 2 && FakeBass_OpensWaiting() == 1;
        },
        "jingles following one another while the stream opens");
    CheckRadioBytes(0, 0, "while opening");
    CheckStationShown(kStationName, kStationColourA);
    for (int i = 0; i < 3; ++i)
        CHECK(CodeByte(host::kShadowRedSite + 2 * i) == kStationShadow[i], "shadow byte " + std::to_string(i));

    const auto frees = BassCallsOf(BF_STREAM_FREE, tuned);
    const auto opens = BassCallsOf(BF_STREAM_CREATE_FILE, tuned);
    CHECK(frees.size() == 1 && frees[0].handle == 0, "the previous (no) stream released first");
    CHECK(opens.size() == 1 && std::strcmp(opens[0].text, kStationFile) == 0, "the station's file opened");
    CHECK(opens.size() == 1 && opens[0].args[0] == 0 && opens[0].args[1] == 0x20104 && opens[0].qwords[0] == 0 &&
              opens[0].qwords[1] == 0,
          "opened from disk, whole, looping, float, prescanned");

    const uint32_t clockBeforeOpen = ClockMs();
    ResumeClock();
    FakeBass_HoldOpens(0);
    const uint32_t stream = StreamOpenedBy(BF_STREAM_CREATE_FILE, tuned);

    // Live position: the clock when the file opened plus the saved offset, in bytes, modulo the length.
    const auto toBytes = BassCallsOf(BF_SECONDS_TO_BYTES, tuned);
    const auto lengths = BassCallsOf(BF_GET_LENGTH, tuned);
    const auto positions = BassCallsOf(BF_SET_POSITION, tuned);
    if (toBytes.size() == 1 && lengths.size() == 1 && positions.size() == 1) {
        bool clockSeen = false;
        for (uint32_t clock : ClockHistory())
            clockSeen |= clock >= clockBeforeOpen &&
                         std::fabs(toBytes[0].seconds - (clock / 1000.0 + kSavedOffset)) < kSameSeconds;
        CHECK(clockSeen, "live position from the clock at the open plus the offset, got " +
                             std::to_string(toBytes[0].seconds) + " s");
        CHECK(lengths[0].handle == stream && lengths[0].args[0] == 0, "length asked in bytes");
        CHECK(positions[0].handle == stream && positions[0].args[0] == 0 &&
                  positions[0].qwords[0] == toBytes[0].result % lengths[0].result,
              "position is the broadcast time modulo the file length");
    } else {
        Fail(__FILE__, __LINE__, "one position worked out for the one open");
    }
    CHECK(BassCallsOf(BF_PLAY, tuned).back().args[0] == 0, "played without restart");

    WaitFor([] { return RadioBytesAre(0, 7); }, "the game radio silenced while the stream plays");
    WaitForFullVolume(stream);
    CheckFadeIn(stream, tuned);
    CHECK(FakeBass_Active(stream) == 1, "the stream plays");

    // Back to a game station with the clock on an even value: the fade cannot
    // move, so the game radio must stay silenced until the clock runs again.
    HoldClock((ClockMs() | 1u) + 1);
    const int switched = BassCallCount();
    TuneTo(kGameStation);
    WaitFor(
        [&] {
            for (const BassCall& stop : BassCallsOf(BF_CHANNEL_STOP, switched))
                if (stop.handle == stream) return true;
            return false;
        },
        "the stream stopped");
    WaitTicks(20);
    CHECK(FakeBass_Active(stream) == 0, "the stream no longer plays");
    CHECK(BassCallsOf(BF_STREAM_FREE, switched).empty() && BassCallsOf(BF_STREAM_CREATE_FILE, switched).empty(),
          "nothing freed or opened for a game station");
    CheckRadioBytes(0, 7, "before the fade has caught up");
    ResumeClock();
    WaitFor([] { return RadioBytesAre(24, 7); }, "the game radio given back after the fade");
    Host().StopDrawing();
    CHECK(Host().DrawFaults() == 0, "every drawn frame kept the game's registers");
    return Failures();
}

int PlayUrlStation() {
    WritePlayerFolder();
    PutPlayerInCar();
    StartGame(true);
    WaitFor([] { return !BassCallsOf(BF_INIT).empty(); }, "the audio device opened");
    const int tuned = BassCallCount();
    TuneTo(kUrlStation);
    const uint32_t stream = StreamOpenedBy(BF_STREAM_CREATE_URL, tuned);

    const auto configs = BassCallsOf(BF_SET_CONFIG, tuned);
    // The global buffer option is left alone: the stream's own buffering is set once it is made.
    const uint32_t expected[2][2] = {{21, 1}, {15, 0}};
    CHECK(configs.size() == 2, "two library settings before the open");
    for (size_t i = 0; i < configs.size() && i < 2; ++i)
        CHECK(configs[i].args[0] == expected[i][0] && configs[i].args[1] == expected[i][1],
              "setting " + std::to_string(configs[i].args[0]) + " = " + std::to_string(configs[i].args[1]));
    int buffered = 0;
    for (const BassCall& set : BassCallsOf(BF_SET_ATTRIBUTE, tuned))
        buffered += set.handle == stream && set.args[0] == 13 && std::fabs(set.value - 0.16f) < 1e-6f;
    CHECK(buffered == 1, "its playback buffering set to 160 ms");
    const auto opens = BassCallsOf(BF_STREAM_CREATE_URL, tuned);
    CHECK(opens.size() == 1 && std::strcmp(opens[0].text, kStationUrl) == 0, "the station's URL opened");
    CHECK(opens.size() == 1 && opens[0].args[0] == 0 && opens[0].args[1] == 0x940010 && opens[0].args[2] == 0 &&
              opens[0].args[3] == 0,
          "URL flags 0x940010, no callback, no user value");
    CHECK(BassCallsOf(BF_STREAM_CREATE_FILE, tuned).empty() && BassCallsOf(BF_SET_POSITION, tuned).empty(),
          "an internet stream is neither a file nor positioned");
    WaitFor([] { return RadioBytesAre(0, 7); }, "the game radio silenced while the stream plays");
    WaitForFullVolume(stream);

    // The worker pauses about 1 ms after each tick (two volume calls a tick). The
    // bound is loose on purpose: without the pause it would be some hundred times higher.
    constexpr int kMostVolumeCallsPerSecond = 20000;
    const int second = BassCallCount();
    Sleep(1000);
    CHECK(static_cast<int>(BassCallsOf(BF_SET_ATTRIBUTE, second).size()) < kMostVolumeCallsPerSecond,
          "the worker pauses between ticks");

    // No colorA for this station: the game's own palette entry 8.
    constexpr uint32_t kPaletteA = 8;
    CheckStationShown(kUrlStationName, static_cast<uint32_t>(HOST_PALETTE_ALPHA(kPaletteA)) << 24 |
                                           HOST_PALETTE_BLUE(kPaletteA) << 16 | HOST_PALETTE_GREEN(kPaletteA) << 8 |
                                           HOST_PALETTE_RED(kPaletteA));

    // The internet open's short buffer is not left for the streams made after it.
    constexpr uint32_t kDefaultBufferMs = 500;
    const uint32_t urlBufferMs = FakeBass_BufferMs(stream);
    const int retuned = BassCallCount();
    TuneTo(kFileStation);
    const uint32_t file = StreamOpenedBy(BF_STREAM_CREATE_FILE, retuned);
    CHECK(urlBufferMs == 160 && FakeBass_BufferMs(file) == kDefaultBufferMs,
          "the file stream's buffer " + std::to_string(FakeBass_BufferMs(file)) + " ms after the internet stream's " +
              std::to_string(urlBufferMs) + " ms");
    return Failures();
}

// Not audible on foot: the stream goes on at volume 0 and is heard again, the
// same stream at its own position, back in the car.
int PlayLeavingTheCar() {
    WritePlayerFolder();
    PutPlayerInCar();
    StartGame(true);
    const int tuned = BassCallCount();
    TuneTo(kFileStation);
    const uint32_t stream = StreamOpenedBy(BF_STREAM_CREATE_FILE, tuned);
    WaitForFullVolume(stream);

    const int left = BassCallCount();
    PlayerLeavesCar();
    WaitFor([&] { return FakeBass_Volume(stream) == 0.0f; }, "the stream silent on foot");
    WaitTicks(20);
    CHECK(FakeBass_Volume(stream) == 0.0f, "the stream stays silent on foot");
    CHECK(FakeBass_Active(stream) == 1, "the stream keeps playing on foot");
    CheckRadioBytes(0, 7, "on foot");

    PutPlayerInCar();
    WaitForFullVolume(stream);
    CHECK(FakeBass_Active(stream) == 1, "the same stream heard again");
    CHECK(BassCallsOf(BF_STREAM_CREATE_FILE, left).empty(), "nothing reopened");
    for (const BassCall& call : BassCallsFrom(left)) {
        const bool moved = call.fn == BF_STREAM_FREE || call.fn == BF_SET_POSITION || call.fn == BF_PLAY ||
                           call.fn == BF_CHANNEL_STOP;
        CHECK(!(moved && call.handle == stream), "the stream was not stopped, freed or moved (call " +
                                                     std::to_string(call.fn) + ")");
    }
    return Failures();
}

// No settings file: a streamed station without source plays nothing, and the
// game's radio is given back after the fade.
int PlayFirstRun() {
    PrepareGameFolder();
    PutPlayerInCar();
    StartGame(true);
    TuneWithClockHeld(kFileStation, kStartClockMs);
    WaitFor([] { return RadioBytesAre(24, 7); }, "the game radio playing on a station without source");
    CHECK(BassCallsOf(BF_STREAM_CREATE_FILE).empty() && BassCallsOf(BF_STREAM_CREATE_URL).empty(), "nothing opened");
    CHECK(std::strcmp(Host().TextEntry(), "") == 0, "no station name");
    return Failures();
}

// No settings file and the game running, but the player never in a car.
int PlayFirstRunIdle() {
    PrepareGameFolder();
    StartGame(true);
    WaitFor([] { return !BassCallsOf(BF_INIT).empty(); }, "the audio device opened");
    WaitTicks(5);
    return Failures();
}

// The game never reports a running game: the banner is all the module does.
int PlayNoGame(bool withSettings) {
    if (withSettings) {
        WritePlayerFolder();
    } else {
        PrepareGameFolder();
    }
    PutPlayerInCar();
    TuneTo(kFileStation);
    StartGame(false);
    CheckBannerDrawn();

    // The game goes on calling the banner: unloading the module by hand must not take it away.
    HMODULE module = GetModuleHandleA("zorve.asi");
    CHECK(module != nullptr, "zorve.asi loaded");
    FreeLibrary(module);
    CHECK(GetModuleHandleA("zorve.asi") == module, "zorve.asi still loaded after FreeLibrary");
    CheckBannerDrawn();

    Sleep(500);
    CHECK(BassCallCount() == 0, "no audio call while the game has not started");
    CheckRadioBytes(24, 7, "game not started");
    return Failures();
}

// The longest wait the game can ask for: the module keeps ticking meanwhile,
// and the game exits while the file is still waiting to open.
int PlayLongOpenWait() {
    WritePlayerFolder();
    SetOpenWait(kLongestOpenWaitMs);
    FakeBass_SetJingleLength(kJingleLengthMs);
    PutPlayerInCar();
    StartGame(true);
    const int tuned = BassCallCount();
    TuneWithClockHeld(kFileStation, kStartClockMs);
    WaitFor(
        [&] {
            int jingles = 0;
            for (const BassCall& play : BassCallsOf(BF_PLAY, tuned)) jingles += IsJingleChannel(play.handle);
            return jingles >= 4;
        },
        "jingles following one another during the wait");
    CheckStationShown(kStationName, kStationColourA);
    const int lookups = HostCallCount();
    WaitFor(
        [&] {
            int copies = 0;
            for (const HostCall& call : HostCallsFrom(lookups)) copies += call.routine == HR_COPY_ASCII_TEXT;
            return copies >= 10;
        },
        "the name refreshed tick after tick");
    CheckRadioBytes(0, 0, "during the wait");
    CHECK(BassCallsOf(BF_STREAM_CREATE_FILE, tuned).empty(), "the file still waiting to open");
    return Failures();
}

// An unsupported or unknown game: the module loads and stays inert.
int PlayInert() {
    WritePlayerFolder();
    const uint8_t* site = reinterpret_cast<const uint8_t*>(host::kBannerCallSite);
    const std::string bannerCall(site, site + 5);
    PutPlayerInCar();
    TuneTo(kFileStation);
    StartGame(true);
    Sleep(1000);
    CHECK(std::string(site, site + 5) == bannerCall, "the banner call left as the game has it");
    CHECK(ModuleContains(reinterpret_cast<uintptr_t>(GetModuleHandleA("zorve.asi"))), "the module stays loaded");
    SiteRun run;
    // No frame may come between: it would call the same routine.
    Host().StopDrawing();
    const int first = HostCallCount();
    Host().RunSite(SITE_BANNER_ENTRY, &run);
    const auto calls = HostCallsFrom(first);
    CHECK(calls.size() == 1 && calls[0].routine == HR_ORIGINAL_BANNER_CALL, "the game's own call still made");
    CHECK(BassCallCount() == 0, "no audio call");
    CheckRadioBytes(24, 7, "inert");
    CHECK(CodeByte(host::kNameKeySlotAddr) == 0, "no station name key");
    return Failures();
}

// ---- what is left on disk ------------------------------------------------------

std::vector<std::string> BassLogLines() {
    std::string log;
    std::vector<std::string> lines;
    if (!ReadFile(kBassLogName, log)) return lines;
    size_t start = 0;
    for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(log.substr(start, end - start));
    return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

void CheckAudioShutDown(bool onlyShutDown) {
    const auto lines = BassLogLines();
    // The exit may land while the worker's tick is inside an audio call; the
    // module then leaves the library alone and says so in its run log.
    std::string runLog;
    if (ReadFile(kRunLogPath, runLog) && runLog.find(kAudioLeftOpenLine) != std::string::npos) {
        // A device opened afresh during the game freed the old one before its
        // last BASS_Init: only what came after that is the exit's.
        size_t lastInit = 0;
        for (size_t i = 0; i < lines.size(); ++i)
            if (StartsWith(lines[i], "BASS_Init ")) lastInit = i;
        for (size_t i = lastInit; i < lines.size(); ++i)
            CHECK(!StartsWith(lines[i], "BASS_Stop ") && !StartsWith(lines[i], "BASS_Free "), "no shutdown after a cut call");
        return;
    }
    CHECK(lines.size() >= 2 && StartsWith(lines[lines.size() - 2], "BASS_Stop ") &&
              StartsWith(lines.back(), "BASS_Free "),
          "the audio library stopped and freed last");
    // No game ran: the library's version is asked before the shutdown.
    if (onlyShutDown)
        CHECK(lines.size() == 3 && StartsWith(lines[0], "BASS_GetVersion "),
              "no audio call but the version and the shutdown, got " + std::to_string(lines.size()));
}

void CheckSettings(const std::string& expected) {
    std::string written;
    CHECK(ReadFile(kSettingsPath, written), "settings.ini exists");
    CHECK(written == expected, "settings.ini as expected; got:\n" + Visible(written) + "\nexpected:\n" + Visible(expected));
    CHECK(!FileExists(std::string(kSettingsPath) + ".tmp"), "no temporary file left behind");
}

void CheckNoSettings() {
    CHECK(!FileExists(kSettingsPath), "no settings.ini written");
    CHECK(!FileExists(std::string(kSettingsPath) + ".tmp"), "no temporary file left behind");
}

std::string PositionOnly(uint32_t seconds) {
    return "\xEF\xBB\xBF[POSITION]\r\nseconds = " + std::to_string(seconds) + "\r\n";
}

constexpr int32_t kRecordedPosition = kStartClockMs / 1000 + kSavedOffset;

struct Scenario {
    const char* name;
    int (*play)();
    void (*check)();
};

const Scenario kScenarios[] = {
    {"station_change", PlayStationChange,
     [] {
         CheckSettings(PlayerSettings(kRecordedPosition));
         CheckAudioShutDown(false);
     }},
    {"url_station", PlayUrlStation,
     [] {
         std::string written;
         ReadFile(kSettingsPath, written);
         CHECK(written.find("seconds = " + std::to_string(kSavedOffset) + "\r\n") == std::string::npos,
               "the position moved on");
         CheckAudioShutDown(false);
     }},
    {"leaving_the_car", PlayLeavingTheCar, [] { CheckAudioShutDown(false); }},
    {"first_run", PlayFirstRun,
     [] {
         CheckSettings(PositionOnly(kStartClockMs / 1000));
         CheckAudioShutDown(false);
     }},
    {"first_run_idle", PlayFirstRunIdle,
     [] {
         CheckSettings("\xEF\xBB\xBF");
         CheckAudioShutDown(false);
     }},
    {"first_run_no_game", [] { return PlayNoGame(false); },
     [] {
         CheckNoSettings();
         CheckAudioShutDown(true);
     }},
    {"no_game", [] { return PlayNoGame(true); },
     [] {
         CheckSettings(PlayerSettings(kSavedOffset));
         CheckAudioShutDown(true);
     }},
    {"long_open_wait", PlayLongOpenWait,
     [] {
         CheckSettings(PlayerSettings(kRecordedPosition));
         CheckAudioShutDown(false);
         for (const std::string& line : BassLogLines())
             CHECK(!StartsWith(line, "BASS_StreamCreateFile "), "the exit came during the wait");
     }},
    {"inert", PlayInert,
     [] {
         CheckSettings(PlayerSettings(kSavedOffset));
         CheckAudioShutDown(true);
     }},
    {"playlists", PlayPlaylists, [] { CheckAudioShutDown(false); }},
    {"exact_tape", PlayExactTape, [] { CheckAudioShutDown(false); }},
    {"programme", PlayProgramme, [] { CheckAudioShutDown(false); }},
    {"playlists_resampled", PlayPlaylistsResampled, [] { CheckAudioShutDown(false); }},
    {"exact_tape_resampled", PlayExactTapeResampled, [] { CheckAudioShutDown(false); }},
    {"now_playing", PlayNowPlaying, [] { CheckAudioShutDown(false); }},
    {"levels", PlayLevels, [] { CheckAudioShutDown(false); }},
    {"first_play_levels", PlayFirstPlayLevels, [] { CheckAudioShutDown(false); }},
    {"big_folder_first", PlayBigFolderFirstRun, [] { CheckAudioShutDown(false); }},
    {"big_folder_next", PlayBigFolderNextRun, [] { CheckAudioShutDown(false); }},
    {"bench_folder_first", BenchBigFolderFirstRun, [] {}},
    {"bench_folder_next", BenchBigFolderNextRun, [] {}},
    {"bench_list", BenchLongList, [] {}},
    {"bench_background", BenchBackgroundWork, [] {}},
    {"bench_background_memory", BenchBackgroundMemory, [] {}},
    {"library_timing", CheckLibraryTiming, [] {}},
    {"demo", PlayDemo, ShowDemoResult},
    {"sound_drive", PlaySoundDrive, [] { CheckAudioShutDown(false); }},
    {"run_log", PlayLoggedRun, CheckLoggedRun},
    {"run_log_faults", PlayFaultyRun, CheckFaultyRun},
    {"run_log_unwritable", PlayUnwritableLog, CheckUnwritableLog},
    {"wrong_library", PlayWrongLibrary, CheckWrongLibrary},
    {"live_edits", PlayLiveEdits, CheckLiveEdits},
    {"library_lacking_calls", PlayLibraryLackingCalls, CheckLibraryLackingCalls},
    {"drop_without_reconnect", PlayDropWithoutReconnect, [] { CheckAudioShutDown(false); }},
    {"drop_and_reconnect", PlayDropAndReconnect, [] { CheckAudioShutDown(false); }},
    {"reconnect_refusals", PlayRefusals, [] { CheckAudioShutDown(false); }},
    {"reconnect_station_change", PlayChangeDuringReconnect, [] { CheckAudioShutDown(false); }},
    {"stall_without_reconnect", PlayStallWithoutReconnect, [] { CheckAudioShutDown(false); }},
    {"stall_with_reconnect", PlayStallWithReconnect, [] { CheckAudioShutDown(false); }},
    {"device_loss", PlayDeviceLoss, [] { CheckAudioShutDown(false); }},
    {"mirrors", PlayMirrors, [] { CheckAudioShutDown(false); }},
    {"net_level", PlayNetLevel, [] { CheckAudioShutDown(false); }},
    {"machine_rules", CheckMachineRules, [] {}},
    {"device_healthy", PlayHealthyDevice, [] { CheckAudioShutDown(false); }},
    {"no_device_at_start", PlayNoDeviceAtStart, [] { CheckAudioShutDown(false); }},
    {"device_gone", PlayDeviceGone, [] { CheckAudioShutDown(false); }},
    {"buffer_during_reconnect", PlayBufferDuringReconnect, [] { CheckAudioShutDown(false); }},
    {"short_reads", PlayShortReads, [] { CheckAudioShutDown(false); }},
    {"handle_reuse", PlayHandleReuse, [] { CheckAudioShutDown(false); }},
    {"shared_device", PlaySharedDevice, CheckSharedDevice},
    {"numbers_after_reopen", PlayNumbersAfterReopen, [] { CheckAudioShutDown(false); }},
    {"utf16_settings", PlayUtf16Settings,
     [] {
         CheckUtf16Settings();
         CheckAudioShutDown(false);
     }},
    {"nul_settings", PlayNulSettings,
     [] {
         CheckNulSettings();
         CheckAudioShutDown(false);
     }},
};

const Scenario* Find(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: zorve_e2e.dll SCENARIO\n");
        return nullptr;
    }
    for (const Scenario& scenario : kScenarios)
        if (std::strcmp(scenario.name, argv[1]) == 0) return &scenario;
    std::printf("unknown scenario %s\n", argv[1]);
    return nullptr;
}

}  // namespace

extern "C" __declspec(dllexport) int FakeHostMain(const FakeHost* host, int argc, char** argv) {
    SetFakeHost(host);
    const Scenario* scenario = Find(argc, argv);
    if (!scenario) return 2;
    const int failures = scenario->play();
    if (failures) std::printf("%s: %d failed checks in the game run\n", scenario->name, failures);
    return failures ? 1 : 0;
}

extern "C" __declspec(dllexport) int FakeHostCheck(const FakeHost* host, int argc, char** argv) {
    SetFakeHost(host);
    const Scenario* scenario = Find(argc, argv);
    if (!scenario) return 2;
    scenario->check();
    if (Failures()) std::printf("%s: %d failed checks on what was left\n", scenario->name, Failures());
    return Failures() ? 1 : 0;
}
