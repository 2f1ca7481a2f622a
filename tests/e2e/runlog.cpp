#include "tests/e2e/runlog.h"

#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/rig.h"

namespace {

// The clock stands still at 1:02:05 through each run, so every line's time and
// each file's live position are known: (3725.5 s + 1200 s) modulo 600 s.
constexpr uint32_t kClockMs = 3725500;
constexpr uint32_t kFrameMs = 16;
const char kClock[] = "1:02:05 ";
const char kPreviousLogPath[] = "audio/streams/zorve.log.1";
const char kPreviousRun[] = "0:00:01 the run before\r\n";
constexpr int kErrorFileForm = 41;
constexpr int kErrorTimeout = 40;
constexpr int kErrorVersion = 43;

const char kHealthySettings[] =
    "[TRACK3]\r\nsource = audio/streams/morning.flac\r\nname = Morning Drive\r\n"
    "[TRACK5]\r\nsource = http://radio.example:8000/live\r\nname = Net Radio\r\n"
    "[SWITCHER]\r\nsamples = jingles/one.wav\r\n"
    "[POSITION]\r\nseconds = 1200\r\n";

const char kFaultySettings[] =
    "[TRACK1]\r\nsource = audio/streams/broken.mp3\r\n"
    "[TRACK2]\r\nsource = http://down.example/live\r\n"
    "[SWITCHER]\r\nsamples = jingles/one.wav,jingles/gone.wav,jingles/notes.wav\r\n"
    "[POSITION]\r\nseconds = 1200\r\n";

void WriteFolder(const char* settings) {
    PrepareGameFolder();
    DeleteFileA("bassflac.dll");
    DeleteFileA("bassopus.dll");
    WriteFile(kSettingsPath, settings);
    CreateDirectoryA("audio\\streams\\jingles", nullptr);
    WriteWave("audio/streams/jingles/one.wav");
    WriteFile(kRunLogPath, kPreviousRun);
}

void StartGame() {
    SetGameDefaults();
    HoldClock(kClockMs);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    Host().StartDrawing(kFrameMs);
    PutPlayerInCar();
}

// The jingles load after the log has been started: from then on the test may
// read the log without keeping the module from moving the old one away.
void WaitForTheLog() {
    WaitFor([] { return !BassCallsOf(BF_SAMPLE_LOAD).empty(); }, "the first tick's work");
}

std::vector<std::string> LogLines(const char* path) {
    std::string text;
    std::vector<std::string> lines;
    if (!ReadFile(path, text)) return lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

uint64_t SettingsWriteTime() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(kSettingsPath, GetFileExInfoStandard, &data)) return 0;
    return uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 | data.ftLastWriteTime.dwLowDateTime;
}

// Tunes and waits until the opening has written its line, its last step, and
// then for the position save that follows the start, so that an exit after it
// finds the helper thread idle and makes its own save.
void TuneAndWaitForTheStart(int32_t station) {
    auto starts = [] {
        int count = 0;
        for (const std::string& line : LogLines(kRunLogPath)) count += line.find(" station start: ") != std::string::npos;
        return count;
    };
    const int before = starts();
    const uint64_t saved = SettingsWriteTime();
    TuneTo(station);
    WaitFor([&] { return starts() > before; }, "the start of station " + std::to_string(station));
    WaitFor([&] { return SettingsWriteTime() != saved; }, "the position saved after the start");
    // The save frees its texts after the rename: a few ticks' time for that.
    WaitTicks(5);
}

// Tunes and waits until the stream the opening opened plays.
void TuneAndWaitForThePlay(int32_t station, int openFn) {
    const int first = BassCallCount();
    TuneTo(station);
    WaitFor(
        [&] {
            const auto opens = BassCallsOf(openFn, first);
            if (opens.empty() || opens.back().result == 0) return false;
            for (const BassCall& play : BassCallsOf(BF_PLAY, first))
                if (play.handle == opens.back().result) return true;
            return false;
        },
        "station " + std::to_string(station) + " playing");
}

void CheckLog(const std::vector<std::string>& expected) {
    auto lines = LogLines(kRunLogPath);
    // An exit that lands inside a tick's audio call adds this line; either end is right.
    if (!lines.empty() && lines.back() == kClock + std::string(kAudioLeftOpenLine))
        lines.pop_back();
    for (size_t i = 0; i < expected.size() || i < lines.size(); ++i) {
        const std::string want = i < expected.size() ? kClock + expected[i] : "(no line)";
        const std::string got = i < lines.size() ? lines[i] : "(no line)";
        CHECK(got == want, "log line " + std::to_string(i + 1) + ": got \"" + got + "\", expected \"" + want + "\"");
    }
}

void CheckPreviousLogKept() {
    std::string previous;
    CHECK(ReadFile(kPreviousLogPath, previous) && previous == kPreviousRun, "the previous run's log kept as zorve.log.1");
}

const std::vector<std::string> kHealthyLog = {
    "zorve 1.0 started in game variant A",
    "audio library bass.dll version 2.4.17.0",
    "settings read from audio/streams/settings.ini",
    "station 3 \"Morning Drive\": file audio/streams/morning.flac",
    "station 5 \"Net Radio\": internet stream http://radio.example:8000/live",
    "add-on bassflac.dll loaded",
    "jingle jingles/one.wav loaded",
    "station start: file audio/streams/morning.flac playing from 2:05 of 10:00",
    "now playing: morning",
    "station start: internet stream http://radio.example:8000/live playing",
    "settings saved at exit",
};

// A FLAC station, playable through its add-on, then an internet stream.
int PlayHealthy() {
    WriteFolder(kHealthySettings);
    WriteFile("audio/streams/morning.flac", "fLaC and the rest of a FLAC file");
    WriteFile("bassflac.dll", "an add-on of the audio library");
    // Ten minutes of 44.1 kHz stereo, which the fake cannot read from this stand-in.
    FakeBass_SetStreamLength(600ull * FAKEBASS_BYTES_PER_SECOND);
    StartGame();
    WaitForTheLog();
    TuneAndWaitForTheStart(3);
    CHECK(BassCallsOf(BF_STREAM_CREATE_FILE).back().result != 0, "the FLAC file opened through its add-on");
    TuneAndWaitForTheStart(5);
    const auto addOns = BassCallsOf(BF_PLUGIN_LOAD);
    CHECK(addOns.size() == 1 && std::string(addOns[0].text) == "bassflac.dll", "the add-on loaded by its name");
    return Failures();
}

void CheckSettingsSaved() {
    std::string written;
    CHECK(ReadFile(kSettingsPath, written) && written.find("seconds = 4925\r\n") != std::string::npos,
          "settings saved with the position");
}

}  // namespace

int PlayLoggedRun() {
    return PlayHealthy();
}

void CheckLoggedRun() {
    CheckLog(kHealthyLog);
    CheckPreviousLogKept();
    CheckSettingsSaved();
}

// A file the library refuses, a stream that does not answer, a missing jingle,
// one that is no audio, and an add-on for another library version.
int PlayFaultyRun() {
    WriteFolder(kFaultySettings);
    WriteFile("audio/streams/broken.mp3", "not really an MP3");
    WriteFile("audio/streams/jingles/notes.wav", "not really a WAV");
    WriteFile("bassopus.dll", "an add-on of the audio library");
    FakeBass_FailOpen("audio/streams/broken.mp3", kErrorFileForm);
    FakeBass_FailOpen("http://down.example/live", kErrorTimeout);
    FakeBass_FailOpen("bassopus.dll", kErrorVersion);
    StartGame();
    WaitForTheLog();
    TuneAndWaitForTheStart(1);
    TuneAndWaitForTheStart(2);
    return Failures();
}

void CheckFaultyRun() {
    CheckLog({
        "zorve 1.0 started in game variant A",
        "audio library bass.dll version 2.4.17.0",
        "settings read from audio/streams/settings.ini",
        "station 1: file audio/streams/broken.mp3",
        "station 2: internet stream http://down.example/live",
        "add-on bassopus.dll not loaded: it was made for another version of the audio library (error 43)",
        "jingle jingles/one.wav loaded",
        "jingle jingles/gone.wav skipped: there is no file audio/streams/jingles/gone.wav",
        "jingle jingles/notes.wav not loaded: the file's format is not supported (error 41): its turns stay silent",
        "station start: file audio/streams/broken.mp3 not played: the file's format is not supported (error 41)",
        "station start: internet stream http://down.example/live not played: the server did not answer (error 40)",
        "settings saved at exit",
    });
    CheckPreviousLogKept();
}

// Folders where the logs would go: the run is the healthy one all the same.
int PlayUnwritableLog() {
    PrepareGameFolder();
    CreateDirectoryA("audio\\streams\\zorve.log", nullptr);
    CreateDirectoryA("audio\\streams\\zorve.log.1", nullptr);
    WriteFile(kSettingsPath, kHealthySettings);
    CreateDirectoryA("audio\\streams\\jingles", nullptr);
    WriteWave("audio/streams/jingles/one.wav");
    WriteFile("audio/streams/morning.flac", "fLaC and the rest of a FLAC file");
    WriteFile("bassflac.dll", "an add-on of the audio library");
    StartGame();
    TuneAndWaitForThePlay(3, BF_STREAM_CREATE_FILE);
    TuneAndWaitForThePlay(5, BF_STREAM_CREATE_URL);
    CHECK(BassCallsOf(BF_ERROR_GET_CODE).empty(), "no error asked for a log that is not written");
    return Failures();
}

void CheckUnwritableLog() {
    for (const char* path : {kRunLogPath, kPreviousLogPath}) {
        const DWORD attributes = GetFileAttributesA(path);
        CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY),
              std::string(path) + " left as it was");
    }
    CheckSettingsSaved();
}

namespace {

// Every game byte the module ever writes, the banner call apart.
std::vector<uint8_t> GameBytes() {
    std::vector<uint8_t> bytes;
    const struct {
        uintptr_t address;
        size_t size;
    } ranges[] = {{host::kNameColourCallSite, 5}, {host::kShadowRedSite, 5}, {host::kRadioOutputSite, 1},
                  {host::kRadioRetuneSite, 1},    {host::kNameKeySlotAddr, 8}};
    for (const auto& range : ranges)
        for (size_t i = 0; i < range.size; ++i) bytes.push_back(CodeByte(range.address + i));
    return bytes;
}

// A library of version 2.3 (the fake built so, without the calls that came
// with 2.4), as it is or claiming 2.4: after the version query no audio call at
// all, and no game byte changed but the banner's.
int PlayRefusedLibrary(uint32_t claimedVersion) {
    WriteFolder(kHealthySettings);
    WriteFile("audio/streams/morning.flac", "fLaC and the rest of a FLAC file");
    if (claimedVersion) FakeBass_SetVersion(claimedVersion);
    const std::vector<uint8_t> before = GameBytes();
    TuneTo(3);
    StartGame();
    WaitFor([] { return LogLines(kRunLogPath).size() >= 3; }, "the log saying why nothing plays");
    TuneTo(5);
    Sleep(300);
    const auto calls = BassCallsFrom(0);
    CHECK(calls.size() == 1 && calls[0].fn == BF_GET_VERSION, "the version query is the only audio call, got " +
                                                                   std::to_string(calls.size()));
    CHECK(GameBytes() == before, "no game byte changed but the banner call");
    CHECK(ModuleContains(CallTarget(host::kBannerCallSite)), "the banner drawn");
    return Failures();
}

void CheckRefusedLibrary(const char* version, const char* why) {
    std::string bassLog;
    ReadFile(kBassLogName, bassLog);
    CHECK(bassLog.compare(0, 16, "BASS_GetVersion ") == 0 && bassLog.find('\n') == bassLog.size() - 1,
          "no audio call at exit either; the library saw:\n" + bassLog);
    CheckLog({
        "zorve 1.0 started in game variant A",
        std::string("audio library bass.dll version ") + version,
        why,
        "settings saved at exit",
    });
}

}  // namespace

int PlayWrongLibrary() {
    return PlayRefusedLibrary(0);
}

void CheckWrongLibrary() {
    CheckRefusedLibrary("2.3.17.0", "zorve needs version 2.4 of the audio library: it plays nothing in this run and "
                                    "leaves the game's own radio alone");
}

int PlayLibraryLackingCalls() {
    return PlayRefusedLibrary(FAKEBASS_VERSION);
}

void CheckLibraryLackingCalls() {
    CheckRefusedLibrary("2.4.17.0", "bass.dll lacks BASS_ChannelGetLength and 3 more of the calls zorve makes: it "
                                    "plays nothing in this run and leaves the game's own radio alone");
}
