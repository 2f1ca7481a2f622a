// What an internet stream says about itself, for the run log: the station's
// name and bit rate when it connects, and each title as it changes. Text from
// the server is read into fixed buffers, so nothing here allocates.
#pragma once

#include <cstddef>

#include "platform/bass.h"

constexpr size_t kTagTextMax = 256;

// The value of the header line that starts with key (e.g. "icy-name:", any
// case) in a series of NUL-ended lines ending with an empty one, without
// leading blanks, cut to fit out. False when there is no such line.
bool HeaderValue(const char* lines, const char* key, char* out, size_t size);

// The title in Shoutcast metadata (StreamTitle='...';StreamUrl='...';). A
// title may hold quotes of its own: it runs to the last "';" before the next
// field, or to the last quote. False when there is none or it is empty.
bool StreamTitle(const char* meta, char* out, size_t size);

// "Artist - Title" (or the one there is) from Ogg comments.
bool OggTitle(const char* comments, char* out, size_t size);

// The text as UTF-8: kept when it is valid UTF-8, else read in the ANSI code
// page, as servers send either.
void AsUtf8(const char* text, char* out, size_t size);

// After an internet stream of url connected, on the thread that opened it:
// logs its station name and bit rate and sets its title syncs; the helper
// thread then logs its title.
void WatchStreamTags(BassDword stream, const char* url);

// Helper thread work: logs the watched stream's title when it changed. True
// when there was a change to look at.
bool LogStreamTitles();

// Any thread but the helper: frees an internet stream once no title is being
// read from it (its text goes with it), and forgets it as the watched one.
void FreeNetStream(BassDword stream);
// On the library's thread, when a stream's end is decoded, before the library
// frees it: its titles are read no more.
void ForgetWatchedStream(BassDword stream);
