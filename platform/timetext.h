// Clock times and lengths as the run log and the players' checker show them.
#pragma once

#include <cstddef>
#include <cstdint>

// h:mm:ss, as the game clock is shown.
void FormatClock(char* out, size_t size, uint32_t seconds);
// m:ss under an hour, h:mm:ss from an hour on: a place in a file, a length.
void FormatDuration(char* out, size_t size, uint32_t seconds);
