// The run log, audio/streams/zorve.log: what happened while the game ran, in
// words a player understands. Opened afresh at the first active tick (the
// previous run's log is kept as zorve.log.1) and written only from threads
// that already do file work: the first active tick, the opening thread and
// the exit; never from a routine the game's drawing thread calls.
//
// Every line is formatted into a stack buffer and written with one system
// call at a place in the file claimed for it alone (an append-only handle
// does not keep two threads' writes apart under Wine), so the lines of two
// threads never mix, and nothing here allocates or takes a lock: the exit may
// write while other threads were killed anywhere. A log that cannot be written is
// skipped; past kRunLogLimit bytes one last line says that the log is full.
// Floating-point formats are not used: the C library may allocate for them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/timetext.h"

constexpr size_t kRunLogLimit = 256 * 1024;
// Longer lines are cut.
constexpr size_t kRunLogLineMax = 512;

// Keeps the previous log at previousPath (only a plain file is moved there:
// a folder, device or link at path stays as it is, and no log is written)
// and opens a new, empty one at path.
void OpenRunLogFile(const char* path, const char* previousPath);
// Lines written after this are dropped.
void CloseRunLog();
bool RunLogOpen();

// One line: the game clock as h:mm:ss, a blank, then the formatted text.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The error of the calling thread's last audio call, for a log line; no
// error and no audio call while the log is closed. Call it right after the
// call it is about: the error is per thread and the next call replaces it.
int32_t LoggedAudioError();

// Paths as the module forms them start with "./"; shown from the game folder.
const char* ShownPath(const char* path);

// Called inside a catch block: logs that job was abandoned because of the
// exception being handled. Past kInternalErrorLines such lines, one last line
// says that later ones are not written.
void LogCaughtException(const char* job);
constexpr int kInternalErrorLines = 20;

// What an error code of BASS_ErrorGetCode means, in plain words.
const char* AudioErrorText(int32_t code);
