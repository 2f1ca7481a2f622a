#include "tests/e2e/nowplaying.h"

#include <windows.h>

#include <string>
#include <vector>

#include "tests/e2e/rig.h"

namespace {

using namespace std::string_literals;

constexpr uint32_t kTrackRate = 8000;
constexpr uint32_t kTrackMs = 3000;
// With the saved offset of 100 s: broadcast time 108.05 s, 0.05 s into the 12 s tape.
constexpr uint32_t kClockMs = 8050;
constexpr uint32_t kShowMs = 6000;
constexpr uint32_t kFrameMs = 16;

const char kSettings[] =
    "[DISPLAY]\r\nnowplaying = 1\r\n"
    "[TRACK2]\r\nplaylist = audio/streams/tagged\r\n"
    "[TRACK3]\r\nsource = audio/streams/red.mp3\r\n"
    "[TRACK4]\r\nsource = audio/streams/long.mp3\r\n"
    "[POSITION]\r\nseconds = 100\r\n";

std::string SyncSafe(size_t size) {
    return {char(size >> 21 & 0x7F), char(size >> 14 & 0x7F), char(size >> 7 & 0x7F), char(size & 0x7F)};
}

std::string Frame(int version, const std::string& id, const std::string& content) {
    const std::string size = version == 3 ? std::string{0, 0, char(content.size() >> 8), char(content.size() & 0xFF)}
                                          : SyncSafe(content.size());
    return id + size + "\0\0"s + content;
}

std::string Id3v2(int version, const std::string& frames) {
    return "ID3"s + char(version) + "\0\0"s + SyncSafe(frames.size()) + frames;
}

std::string Utf16(const std::u16string& text) {
    std::string out = "\x01\xFF\xFE";
    for (char16_t unit : text) out += {char(unit & 0xFF), char(unit >> 8)};
    return out;
}

// A silent WAV track, its tags before it (as an MP3's ID3v2 block) or in a chunk after its sound.
void WriteTrack(const std::string& path, const std::string& before, const std::string& chunk = "") {
    WriteWaveOfLength(path, kTrackMs, kTrackRate);
    std::string wave;
    ReadFile(path, wave);
    WriteFile(path, before + wave + chunk);
}

std::string Chunk(const char* id, const std::string& content) {
    const uint32_t size = static_cast<uint32_t>(content.size());
    return id + std::string{char(size & 0xFF), char(size >> 8 & 0xFF), char(size >> 16), char(size >> 24)} + content +
           (size % 2 ? "\0"s : ""s);
}

// The texts the game printed since first, but the banner's.
std::vector<std::string> Lines(int first) {
    std::vector<std::string> lines;
    for (const HostCall& call : HostCallsFrom(first))
        if (call.routine == HR_PRINT_TEXT && std::string(call.text) != "ZORVE ASI by KT552") lines.push_back(call.text);
    return lines;
}

bool Drawn(const std::string& line, int first) {
    for (const std::string& drawn : Lines(first))
        if (drawn == line) return true;
    return false;
}

// Lets several frames be drawn after now; true when none drew a line.
bool NoLineFor(uint32_t frames) {
    const int first = HostCallCount();
    WaitTicks(2);
    Sleep(frames * kFrameMs);
    return Lines(first).empty();
}

}  // namespace

int PlayNowPlaying() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, kSettings);
    CreateDirectoryA("audio\\streams\\tagged", nullptr);
    WriteTrack("audio/streams/tagged/01 One.mp3",
               Id3v2(3, Frame(3, "TIT2", Utf16(u"Caf\u00e9")) + Frame(3, "TPE1", Utf16(u"Zo\u00eb"))));
    WriteTrack("audio/streams/tagged/02 Two.mp3",
               Id3v2(4, Frame(4, "TIT2", "\3J\u00f3ga") + Frame(4, "TPE1", "\3Bj\u00f6rk")));
    WriteTrack("audio/streams/tagged/03 Three.ogg", "",
               Chunk("tag2", "TITLE=Night Drive\0ARTIST=The \u00c9lan\0\0"s));
    WriteTrack("audio/streams/tagged/04 Last Bus.wav", "");
    WriteTrack("audio/streams/red.mp3", Id3v2(4, Frame(4, "TIT2", "\3~r~Red")));
    const std::string longTitle = std::string(100, 'a') + std::string(100, 'b');
    WriteTrack("audio/streams/long.mp3", Id3v2(4, Frame(4, "TIT2", "\3" + longTitle)));
    SetOpenWait(0);
    SetGameDefaults();
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    PutPlayerInCar();
    Host().StartDrawing(kFrameMs);
    StartClock(kClockMs);
    HoldClock(kClockMs);

    // The playlist's tracks in turn, each line drawn as its track comes on air.
    const int tuned = HostCallCount();
    TuneTo(2);
    for (const char* line : {"Zoe - Cafe", "Bjork - Joga", "The Elan - Night Drive", "Last Bus"}) {
        WaitFor([&] { return Drawn(line, tuned); }, std::string("\"") + line + "\" drawn");
    }
    CHECK(Lines(tuned).size() >= 4, "four lines drawn");
    // Six seconds after the last change it is gone.
    HoldClock(kClockMs + kShowMs);
    CHECK(NoLineFor(10), "no line 6 s after the change");

    // Text the game's font cannot show: the formatting code and the long title.
    HoldClock(kClockMs + 2 * kShowMs);
    int first = HostCallCount();
    TuneTo(3);
    WaitFor([&] { return Drawn("rRed", first); }, "\"~r~Red\" drawn as \"rRed\"");
    first = HostCallCount();
    TuneTo(4);
    const std::string cut = std::string(57, 'a') + "...";
    WaitFor([&] { return Drawn(cut, first); }, "the long title cut to 60");

    // On foot the radio is not heard: no line, though its time has not run out.
    PlayerLeavesCar();
    CHECK(NoLineFor(10), "no line while the radio is not heard");

    std::string log;
    ReadFile(kRunLogPath, log);
    size_t at = 0;
    for (const std::string& line : std::vector<std::string>{"now playing: Zo\u00eb - Caf\u00e9", "now playing: Bj\u00f6rk - J\u00f3ga",
                                   "now playing: The \u00c9lan - Night Drive", "now playing: Last Bus",
                                   "now playing: ~r~Red", "now playing: " + longTitle}) {
        at = log.find(line, at);
        CHECK(at != std::string::npos, "the run log says \"" + line + "\" in turn; got:\n" + log);
        if (at == std::string::npos) break;
    }
    ResumeClock();
    Host().StopDrawing();
    return Failures();
}
