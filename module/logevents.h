// The run log's lines for what the module does: the start of a run, the
// settings as read, add-ons, jingles, station starts and the save at exit.
// Each writes nothing and makes no audio call while the log is closed.
#pragma once

#include "platform/bass.h"

// Opens the run log (the settings must be loaded) and writes the module's
// version, the game variant, the audio library's version and, when the
// library is accepted, the stations as the settings give them.
void BeginRunLog();

// The library's error for an open that gave handle; 0 when it opened. Call it
// on the opening's thread right after the open: the error is per thread and
// the next library call replaces it.
int32_t OpenError(BassDword handle);

void LogAddOn(const char* name, BassDword plugin);
void LogJingleMissing(const char* name);
void LogJingleLoad(const char* name, BassDword sample);

// A station's file start: openError from OpenError, played as
// BASS_ChannelPlay answered, the broadcast time in seconds with its byte
// count, the file's length and the position it starts from. Right after the
// play, on the opening thread.
void LogFileStart(const char* source, BassDword stream, int32_t openError, BassBool played, double seconds,
                  BassQword bytes, BassQword length, BassQword position);
void LogUrlStart(const char* source, BassDword stream, int32_t openError, BassBool played);

// The exit's save and its status (SaveSettings). Allocates nothing.
void LogSave(int status);
