// Watching settings.ini for the player's edits while the game runs. The
// module's own saves change the file too: each says what it left, so that
// only a change nobody here made counts as an edit. An editor may be half-way
// through writing the file, so a change is taken only once the file has
// stayed the same for a while.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/files.h"

constexpr uint32_t kSettleMs = 500;

// Set by the worker once the settings are in force; from then on only the
// helper thread (and, after it, the exit) uses the watch.
extern std::atomic<bool> g_settingsWatched;

// A change seen and not yet taken.
struct SettleWatch {
    FileStamp known;  // what the module last read or wrote
    FileStamp seen;   // the change being watched
    uint64_t seenAtMs = 0;
    bool changing = false;
};

// One look at the file: stamp as it is now, msSinceWrite its age, nowMs the
// time of the look. True when a change is ready to be read: the same stamp
// seen kSettleMs ago, or last written at least that long ago.
bool SettledChange(SettleWatch& watch, const FileStamp& stamp, uint64_t msSinceWrite, uint64_t nowMs);

// Reads (or refuses) settings.ini as stamp shows it: from now on only a
// different file is a change.
void NoteSettingsRead(const FileStamp& stamp);

// Worker thread, once the settings are in force: from now on the helper
// thread looks for changes.
void WatchSettingsFile();

// A save of the module's own changed the file from before to after. When
// before was what the watch knew, the save's result is known too; otherwise
// the save merged into an edit not yet taken, which stays a change and, when
// it was settling, settles on from when it was first seen.
void NoteSettingsSaved(const FileStamp& before, const FileStamp& after);

// Helper thread, called often: looks at settings.ini about once a second, and
// at every call while a change settles. True, with the stamp to read, when a
// change is ready.
bool SettingsChangeReady(uint64_t nowMs, FileStamp& stamp);

// True unless settings.ini is being written now: changed since the watch
// last knew it, less than kSettleMs ago. A save must not merge into a file
// half-written by an editor.
bool SettingsFileQuiet();
