#include "tests/e2e/live.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/e2e/rig.h"

namespace {

// The clock stands still, so that every position the module writes is known.
constexpr uint32_t kClockMs = 3725500;
constexpr uint32_t kFrameMs = 16;
constexpr int32_t kStation = 3;
// The clock's whole seconds and the offset of the first file.
const char kPosition[] = "seconds = 4925\r\n";
constexpr DWORD kSaveAfterPlayMs = 1500;
constexpr DWORD kTakenWithinMs = 2500;
constexpr DWORD kHalvesApartMs = 300;

// The edits keep a stale position, as an editor opened early does: it must
// never be taken.
std::string Settings(const char* source, const char* name, int seconds = 5) {
    return std::string("; my stations\r\n[TRACK3]\r\nsource = ") + source + "\r\nname = " + name +
           "\r\n[POSITION]\r\nseconds = " + std::to_string(seconds) + "\r\n";
}

const char kMorning[] = "audio/streams/morning.wav";
const char kEvening[] = "audio/streams/evening.wav";
const char kLate[] = "audio/streams/late.wav";
// Where the first half of the in-place write ends; a file of that name exists,
// so that a half taken would be opened.
const char kCutLate[] = "audio/streams/la";

bool Played(const char* source, int first) {
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, first)) {
        if (std::strcmp(open.text, source) != 0 || open.result == 0) continue;
        for (const BassCall& play : BassCallsOf(BF_PLAY, first))
            if (play.handle == open.result) return true;
    }
    return false;
}

// Name shown and source playing within the target, counted from since.
void CheckTaken(const char* source, const char* name, DWORD since, int first) {
    const auto left = [since] {
        const DWORD spent = GetTickCount() - since;
        return spent < kTakenWithinMs ? kTakenWithinMs - spent : 0;
    };
    WaitFor([&] { return std::strcmp(Host().TextEntry(), name) == 0; }, std::string("the name ") + name, left());
    WaitFor([&] { return Played(source, first); }, std::string("the new source ") + source + " playing", left());
    std::printf("%s playing %lu ms after the save\n", source, static_cast<unsigned long>(GetTickCount() - since));
}

// The restart's position save, after which the helper thread is idle.
void WaitForThePositionSave() {
    WaitFor(
        [] {
            std::string text;
            return ReadFile(kSettingsPath, text) && text.find(kPosition) != std::string::npos;
        },
        "the position saved");
    WaitTicks(5);
}

}  // namespace

int PlayLiveEdits() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, Settings(kMorning, "Morning", 1200));
    for (const char* file : {kMorning, kEvening, kLate}) WriteWaveOfLength(file, 60000, 44100);
    WriteFile(kCutLate, std::string(4096, '\x11'));
    SetGameDefaults();
    HoldClock(kClockMs);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    Host().StartDrawing(kFrameMs);
    PutPlayerInCar();
    TuneTo(kStation);
    WaitFor([] { return Played(kMorning, 0); }, "the first source playing");
    const DWORD playing = GetTickCount();
    WaitForThePositionSave();

    // Saved as most editors save: a new file renamed over the old.
    const DWORD spent = GetTickCount() - playing;
    if (spent < kSaveAfterPlayMs) Sleep(kSaveAfterPlayMs - spent);
    int first = BassCallCount();
    WriteFile(std::string(kSettingsPath) + ".new", Settings(kEvening, "Evening"));
    MoveFileExA((std::string(kSettingsPath) + ".new").c_str(), kSettingsPath, MOVEFILE_REPLACE_EXISTING);
    CheckTaken(kEvening, "Evening", GetTickCount(), first);
    WaitForThePositionSave();

    // Written in place in two halves, the first ending inside a file name.
    const std::string late = Settings(kLate, "Late");
    const size_t cut = late.find(kCutLate) + std::strlen(kCutLate);
    first = BassCallCount();
    const HANDLE file = CreateFileA(kSettingsPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                    TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    CHECK(file != INVALID_HANDLE_VALUE, "settings.ini opened for writing");
    DWORD written;
    ::WriteFile(file, late.data(), static_cast<DWORD>(cut), &written, nullptr);
    Sleep(kHalvesApartMs);
    ::WriteFile(file, late.data() + cut, static_cast<DWORD>(late.size() - cut), &written, nullptr);
    CloseHandle(file);
    CheckTaken(kLate, "Late", GetTickCount(), first);
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, first))
        CHECK(std::strcmp(open.text, kCutLate) != 0, "the half-written name never opened");
    WaitForThePositionSave();
    return Failures();
}

void CheckLiveEdits() {
    std::string text;
    CHECK(ReadFile(kSettingsPath, text), "settings.ini kept");
    for (const char* kept : {"; my stations\r\n", "source = audio/streams/late.wav\r\n", "name = Late\r\n", kPosition})
        CHECK(text.find(kept) != std::string::npos, std::string("the file holds ") + kept + "; got:\n" + Visible(text));
    std::string log;
    ReadFile(kRunLogPath, log);
    // The module's own saves never count as an edit.
    const auto count = [&log](const char* line) {
        size_t found = 0;
        for (size_t at = 0; (at = log.find(line, at)) != std::string::npos; ++at) ++found;
        return found;
    };
    CHECK(count("settings changed") == 2 && count("settings changed: reloaded; station 3: source, name\r\n") == 2,
          "the two edits, and nothing else, in the run log; got:\n" + log);
}
