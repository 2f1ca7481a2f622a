// The now-playing line below the banner: the worker publishes what plays, and
// the banner's hook draws it for a few seconds after each change while our
// radio is heard.
#pragma once

#include <cstddef>
#include <cstdint>

// How long a line shows after its change, by the game's clock.
constexpr uint32_t kNowPlayingShowMs = 6000;
// The most characters the line holds; a longer text ends in "...".
constexpr size_t kNowPlayingMax = 60;

// UTF-8 text made safe for the game's font and text codes: printable ASCII
// only (accented letters as their base letter, typographic quotes, dashes and
// ellipses as their ASCII look-alikes, other characters left out), no '~' (it
// starts the game's formatting codes), blanks at either end left out, at most
// kNowPlayingMax characters; empty when no letter or digit is left. out holds
// kNowPlayingMax + 1 bytes.
void ScreenText(const char* utf8, char* out);

// Worker: the line for utf8, shown from clockMs for kNowPlayingShowMs.
void PublishNowPlaying(const char* utf8, uint32_t clockMs);
// Worker: no line until the next one is published.
void HideNowPlaying();
// Worker, every tick: whether our radio is heard now.
void SetNowPlayingAudible(bool audible);

// The banner's hook: draws the line with the text settings in force, at x, y,
// while it shows. No allocation, no lock.
void DrawNowPlaying(float x, float y);
