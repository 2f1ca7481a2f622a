// The player's edits of settings.ini while the game runs: the helper thread
// watches the file and reads an edit into a new document, with the jingles
// and the run log it asks for; the worker takes it at the start of a tick.
#pragma once

#include <cstdint>

// Worker thread, right after the settings were first read: what is in force
// now, which the first edit is compared with.
void NoteSettingsInForce();

// Helper thread work: frees what the worker let go of, and reads a settled
// edit of settings.ini. True when it did anything.
bool ReloadSettings();
// The same, at nowMs on the system's tick clock.
bool ReloadSettingsAt(uint64_t nowMs);

// Worker thread, at the start of a tick: takes what the helper read, if any.
// Allocates nothing and waits for nothing.
void TakeReloadedSettings();
