// The run log's lines for the module's start and exit: the versions, the
// settings as read, the stations they set up, and the save at exit. Each
// writes nothing while the log is closed.
#pragma once

// Keeps the previous log as zorve.log.1 and opens a new, empty one, unless
// the settings say [LOG] enabled = 0. The settings must be loaded.
void OpenRunLog();

// Opens the run log (the settings must be loaded) and writes the module's
// version, the game variant, the audio library's version and, when the
// library is accepted, the stations as the settings give them.
void BeginRunLog();

// The exit's save and its status (SaveSettings). Allocates nothing.
void LogSave(int status);
