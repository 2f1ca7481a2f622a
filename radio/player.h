// Opening and playing a station's source on the helper thread, so that the
// worker never waits on a disk scan or a network connection.
#pragma once

#include <cstdint>

#include "radio/common/stream.h"

// Starts the station's source unless a stream plays or opens, and records the
// broadcast time in POSITION/seconds on every call; the helper thread then
// writes it to settings.ini as well.
void StartStation(int8_t station);

// Opening jobs; each owns and frees its heap copy of the source text.
void StreamFileThread(void* source);
void StreamUrlThread(void* source);
