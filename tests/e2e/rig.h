// What the whole-drive scenarios share: the game folder on disk, a game clock
// that advances in frames, the fake audio library's log, the game's recorded
// routine calls, and plain checks that count failures.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/host.h"
#include "tests/fakes/fakebass.h"
#include "tests/host/fakehost.h"

const FakeHost& Host();
void SetFakeHost(const FakeHost* host);

// ---- checks ----------------------------------------------------------------

int Failures();
void Fail(const char* file, int line, const std::string& message);
#define CHECK(condition, message)                                                      \
    do {                                                                               \
        if (!(condition)) Fail(__FILE__, __LINE__, std::string(#condition ": ") + (message)); \
    } while (0)

std::string Hex(uint64_t value);

// Polls every couple of milliseconds until ready() holds; a failure after
// timeoutMs. The game clock keeps running meanwhile.
bool WaitFor(const std::function<bool()>& ready, const std::string& what, uint32_t timeoutMs = 20000);

// Milliseconds of the system's precise counter, for measuring what the game heard when.
double NowMs();

// A fault on any thread of the process, from now on, is noted as a line in
// the file name (emptied first) and then handled as before.
void WriteFaultsTo(const char* name);

// ---- the game folder (the current directory) ---------------------------------

extern const char kSettingsPath[];  // audio/streams/settings.ini
extern const char kBassLogName[];   // where the fake audio library writes its log at exit
extern const char kRunLogPath[];    // audio/streams/zorve.log
// The run log's last line when the exit landed inside a tick's audio call and
// so left the library alone.
extern const char kAudioLeftOpenLine[];

// Empties the current directory's game files and makes audio/streams; the fake
// audio library will write its log to bass.log here.
void PrepareGameFolder(bool withStreamsFolder = true);
// The fake audio library will write its record to bass.log here at exit.
void KeepAudioRecord();
void WriteFile(const std::string& path, const std::string& content);
bool ReadFile(const std::string& path, std::string& content);
bool FileExists(const std::string& path);
// A tiny valid WAV file, so that the audio fake takes it as a sample too.
void WriteWave(const std::string& path);
// A 16-bit mono PCM WAV file of ms milliseconds of silence at rate Hz, so that
// the audio fake gives its stream that length.
void WriteWaveOfLength(const std::string& path, uint32_t ms, uint32_t rate);
// Shows the bytes of a text with CR and LF spelled out, for failure messages.
std::string Visible(const std::string& text);

// ---- the game ----------------------------------------------------------------

template <typename T>
void SetHost(uintptr_t address, T value) {
    host::Write<T>(address, value);
}
template <typename T>
T GetHost(uintptr_t address) {
    return host::Read<T>(address);
}
uint8_t CodeByte(uintptr_t address);
// The two code bytes that let the game's own radio sound.
bool RadioBytesAre(uint8_t output, uint8_t retune);

// Supported game, radio at full volume 1.0, nothing else set.
void SetGameDefaults();
void PutPlayerInCar();
void PlayerLeavesCar();
// Station base and step: the game's radio dial.
void TuneTo(int32_t station);
// The wait the game makes before a file stream opens, held in its code page.
void SetOpenWait(int16_t ms);

// The game clock: a thread advances it by one frame of 16 or 17 ms every
// frame (so its parity alternates, as the fade needs).
// Without history, a long run's clock keeps no values (nor grows).
void StartClock(uint32_t startMs, bool keepHistory = true);
// Stops the frames (any frame under way finishes first) and sets the clock.
void HoldClock(uint32_t ms);
void HoldClock();
void ResumeClock();
uint32_t ClockMs();
// Every value the clock has held so far.
std::vector<uint32_t> ClockHistory();

// The module as loaded into this process.
bool ModuleContains(uintptr_t address);
// Where the 5-byte call at site leads, or 0 if the site holds no call.
uintptr_t CallTarget(uintptr_t site);

// ---- recorded calls ----------------------------------------------------------

int BassCallCount();
std::vector<BassCall> BassCallsFrom(int first);
std::vector<BassCall> BassCallsOf(int fn, int first = 0);
bool IsJingleChannel(uint32_t handle);
// Waits until at least n whole ticks that passed the gate have run after now.
void WaitTicks(int n);

int HostCallCount();
std::vector<HostCall> HostCallsFrom(int first);

// The stream the open of fn made after call index first, once it plays.
uint32_t PlayingStream(int fn, int first, const std::string& what, uint32_t timeoutMs = 20000);

// ---- the module's process --------------------------------------------------

// Committed private memory, as the system's private bytes count it: the heaps
// and every other allocation, not the images' own pages.
uint64_t PrivateBytes();
// Tracks whose level zorve-tracks.cache keeps, tagged or measured.
int LevelsKept();
