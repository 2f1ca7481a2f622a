// The audio library's version guard and its add-ons. The module's calls are
// declared for version 2.4 of the library; with any other version, or one that
// lacks a call the module makes, it makes no audio call after the version
// query, not even at exit.
#pragma once

#include <atomic>
#include <cstdint>

enum AudioLibraryState : int32_t { kLibraryNotAsked, kLibraryAccepted, kLibraryRefused };

extern std::atomic<int32_t> g_audioLibraryState;
// As BASS_GetVersion answered; 0 until asked.
extern std::atomic<uint32_t> g_audioLibraryVersion;

// Asks the library for its version the first time and, for 2.4, binds the
// other calls; then answers from memory: true for a 2.4 library that has every
// call. Any thread; the exit asks too when no game ever ran.
bool AudioLibraryAccepted();

// Writes the library's version to the run log, and why nothing plays when it
// is refused (another version, or calls it lacks); true when it is accepted.
bool LogAudioLibraryVersion();

// Loads every add-on of the library in the game folder: bass*.dll other than
// bass.dll. After BASS_Init, before anything is opened; each one is logged.
void LoadAudioAddOns();
