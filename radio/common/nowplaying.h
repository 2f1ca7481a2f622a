// What plays now, by name: the run log's "now playing" line, and the name
// handed over to the worker, which carries it to the screen. The openings and
// the helper thread announce; the worker takes.
#pragma once

#include <cstddef>

// The longest name handed over, in bytes with its terminator; a longer one is cut.
constexpr size_t kNowPlayingText = 512;

// "now playing: text" in the run log, with logNote after it (the track's
// levelling gain), and text handed over for the screen.
void AnnounceNowPlaying(const char* text, const char* logNote = "");

// Text handed over for the screen alone: what stands for a title where there
// is none (an internet station's name).
void ShowNowPlaying(const char* text);

// Worker: copies the text handed over since its last call into out; false
// when there was none, or when it is being written just now (it is taken at
// a later call). Takes no lock and allocates nothing.
bool TakeNowPlaying(char* out, size_t size);

// Forgets any text not taken yet; worker, when the module is set back.
void ForgetNowPlaying();
