// The run log's lines for station starts: where a file plays from, whether
// an internet stream connected, and the library's error in words when not.
// Each writes nothing and makes no audio call while the log is closed.
#pragma once

#include "platform/bass.h"

// The library's error for an open that gave handle; 0 when it opened. Call it
// on the opening's thread right after the open: the error is per thread and
// the next library call replaces it.
int32_t OpenError(BassDword handle);

// A station's file start: openError from OpenError, played as
// BASS_ChannelPlay answered, the broadcast time in seconds with its byte
// count, the file's length and the position it starts from. Right after the
// play, on the opening thread.
void LogFileStart(const char* source, BassDword stream, int32_t openError, BassBool played, double seconds,
                  BassQword bytes, BassQword length, BassQword position);
void LogUrlStart(const char* source, BassDword stream, int32_t openError, BassBool played);
