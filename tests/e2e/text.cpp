#include "tests/e2e/text.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "tests/e2e/rig.h"

namespace {

constexpr uint32_t kClockMs = 500000;
constexpr int32_t kOffset = 100;
constexpr uint32_t kFrameMs = 16;
constexpr uint32_t kTrackRate = 8000;
constexpr uint32_t kFileFlags = 0x20104;     // loop, float, prescan
constexpr uint32_t kUnicode = 0x80000000;    // the name is UTF-16
constexpr int kSettledTicks = 50;

// The settings as UTF-8; the file holds them as UTF-16 (Notepad's "Unicode").
const char kWideSettings[] =
    "; my stations\r\n"
    "[TRACK3]\r\n"
    "source = audio/streams/\xC3\x89t\xC3\xA9.wav\r\n"
    "name = \xC3\x89t\xC3\xA9 FM\r\n"
    "[GARAGE]\r\n"
    "note = kept\r\n"
    "[POSITION]\r\n"
    "seconds = 100\r\n";

// A stray NUL before the end: the station before it plays, nothing is ever saved over it.
const std::string kNulSettings = std::string(
    "[TRACK2]\r\nplaylist = audio/streams/old.m3u\r\nname = Old\r\n[POSITION]\r\nseconds = 100\r\n"
    "\0[TRACK4]\r\nsource = lost.wav\r\n", 113);
// Saved in the Windows code page, as older players save .m3u, with a binary line.
const char kAnsiList[] = "#EXTM3U\r\nBeyonc\xE9 Song.wav\r\n\x89PNG\x1A\xFF\r\n";

std::string Utf16File(const char* utf8) {
    std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &wide[0], static_cast<int>(wide.size()));
    wide.pop_back();
    std::string bytes = "\xFF\xFE";
    for (wchar_t unit : wide) bytes += std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    return bytes;
}

// A WAV file under a name with accents, made on the wide calls as a player's Explorer makes it.
void WriteAccentedWave(const wchar_t* path) {
    WriteWaveOfLength("audio/streams/wave.tmp", 60000, kTrackRate);
    MoveFileW(L"audio\\streams\\wave.tmp", path);
}

bool EndsWith(const char* text, const char* ending) {
    const size_t length = std::strlen(text), size = std::strlen(ending);
    return length >= size && std::strcmp(text + length - size, ending) == 0;
}

// Waits until a file whose name ends in name opened under flags (all of
// them, or the unicode flag among others when exact is false), and, when
// played, until it plays.
void WaitForOpen(const char* name, uint32_t flags, bool exact, bool played) {
    WaitFor(
        [&] {
            for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE)) {
                const bool flagged = exact ? open.args[1] == flags : (open.args[1] & flags) == flags;
                if (!flagged || !EndsWith(open.text, name) || !open.result) continue;
                if (!played) return true;
                for (const BassCall& play : BassCallsOf(BF_PLAY))
                    if (play.handle == open.result) return true;
            }
            return false;
        },
        std::string("the file ") + name + " opened");
}

void StartGameIn(int32_t station) {
    SetOpenWait(0);
    SetGameDefaults();
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    PutPlayerInCar();
    Host().StartDrawing(kFrameMs);
    StartClock(kClockMs);
    HoldClock(kClockMs);
    TuneTo(station);
}

bool RunLogSays(const char* text) {
    std::string log;
    return ReadFile(kRunLogPath, log) && log.find(text) != std::string::npos;
}

}  // namespace

int PlayUtf16Settings() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, Utf16File(kWideSettings));
    WriteAccentedWave(L"audio\\streams\\\u00C9t\u00E9.wav");
    StartGameIn(3);
    WaitForOpen("/\xC3\x89t\xC3\xA9.wav", kFileFlags | kUnicode, true, true);
    // The early save writes the file as UTF-8: then the exit finds the helper idle.
    WaitFor(
        [] {
            std::string written;
            return ReadFile(kSettingsPath, written) && written.compare(0, 3, "\xEF\xBB\xBF") == 0;
        },
        "the position saved after the start");
    WaitTicks(kSettledTicks);
    return Failures();
}

void CheckUtf16Settings() {
    std::string written;
    CHECK(ReadFile(kSettingsPath, written), "settings.ini exists");
    CHECK(written.compare(0, 3, "\xEF\xBB\xBF") == 0, "saved as UTF-8 with its signature");
    // Every line kept, the position moved on.
    std::string expected = kWideSettings;
    expected.replace(expected.find("seconds = 100"), 13, "seconds = " + std::to_string(kClockMs / 1000 + kOffset));
    for (size_t start = 0, end; (end = expected.find("\r\n", start)) != std::string::npos; start = end + 2)
        CHECK(written.find(expected.substr(start, end - start + 2)) != std::string::npos,
              "kept: " + expected.substr(start, end - start) + " in\n" + Visible(written));
}

int PlayNulSettings() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, kNulSettings);
    WriteFile("audio/streams/old.m3u", kAnsiList);
    WriteAccentedWave(L"audio\\streams\\Beyonc\u00E9 Song.wav");
    StartGameIn(2);
    WaitForOpen("Beyonc\xC3\xA9 Song.wav", kUnicode, false, false);
    WaitFor([] { return RunLogSays("station start: "); }, "the start in the run log");
    WaitTicks(kSettledTicks);  // the early save has then found the NUL too
    CHECK(RunLogSays("it holds a NUL byte on line 6 (byte 83 "), "the run log says where the NUL is");
    return Failures();
}

void CheckNulSettings() {
    std::string written;
    CHECK(ReadFile(kSettingsPath, written) && written == kNulSettings,
          "settings.ini byte for byte as it was; got\n" + Visible(written));
    CHECK(!FileExists(std::string(kSettingsPath) + ".tmp"), "no temporary file left behind");
    CHECK(RunLogSays("settings not saved at exit, so that nothing in the file is lost: it holds a NUL byte"),
          "the run log says why the exit did not save");
}
