// What every unit test shares: the fake game process, the fake audio library's
// log, a throw-away game folder and a clean slate of module state.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host.h"
#include "tests/fakes/fakebass.h"
#include "tests/host/fakehost.h"

const FakeHost& Host();

template <typename T>
void SetHost(uintptr_t address, T value) {
    host::Write<T>(address, value);
}

// Zeroes every game value the module reads and puts the game's code back.
void ResetHostState();

// A player driving a car with a radio, the game running.
void PutPlayerInCar();

// Every module variable back to its load-time value, the audio fake and the
// queued opening threads forgotten.
void ResetModuleState();

std::vector<BassCall> BassCalls();
std::vector<BassCall> BassCallsOf(int fn);
std::vector<HostCall> HostCalls();
std::vector<HostCall> HostCallsOf(int routine);

// The game's radio dial: station base and step.
void TuneTo(int32_t base, int8_t step = 0);

uint8_t CodeByte(uintptr_t address);

// A fresh game folder made the current directory, with audio/streams in it;
// the previous directory comes back and the folder goes when it ends.
class GameFolder {
public:
    GameFolder();
    ~GameFolder();
    GameFolder(const GameFolder&) = delete;
    GameFolder& operator=(const GameFolder&) = delete;

    // Writes a file below the folder (path relative to it, UTF-8), making its folders.
    void Write(const std::string& path, const std::string& content) const;
    std::string Read(const std::string& path) const;
    bool Exists(const std::string& path) const;
    void WriteSettings(const std::string& content) const { Write("audio/streams/settings.ini", content); }
    std::string Settings() const { return Read("audio/streams/settings.ini"); }
    // Dates the file's last write msFromNow from now.
    void SetWriteTime(const std::string& path, int32_t msFromNow) const;
    // A short valid WAV file, as the audio fake wants for samples.
    void WriteWave(const std::string& path) const;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::string previous_;
};

// Every test starts from a clean module and game, in a fresh game folder.
class ModuleTest : public testing::Test {
protected:
    void SetUp() override {
        ResetHostState();
        ResetModuleState();
    }
    void TearDown() override { ResetHostState(); }

    // Writes settings.ini and loads it as the module does.
    void UseSettings(const std::string& content) const;

    GameFolder folder;
};
