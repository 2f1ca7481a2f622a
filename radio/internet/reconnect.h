// Internet stations that stay on. A station stream that is lost (its server
// closed, it could not be opened, or it stalled for kStallGraceMs without a
// break) is reported in the run log and, with [INTERNET] reconnect = 1,
// opened again on a thread of its own after growing waits, for as long as the
// player stays on the station. A shorter stall counts as playing for the
// muting of the game's radio, with or without the key.
#pragma once

#include <cstdint>

#include "platform/bass.h"

constexpr uint32_t kStallGraceMs = 6000;
// A reconnected stream that played this long starts the waits again from the first.
constexpr uint32_t kSteadyPlayMs = 30000;

// The wait before reconnect attempt n, counted from 0 since the last steady
// play: 1, 2, 4, 8, 16, then 30 s.
uint32_t ReconnectWaitMs(uint32_t attempt);

// Starts the reconnect thread; once, when the worker starts.
void StartReconnectThread();

// Worker, for the muting: whether the station stream, answering state, counts
// as ours playing: playing, or stalled for less than the grace time without a
// break. A longer stall is reported once as a loss. nowMs: GetTickCount.
bool CountsAsPlaying(BassDword stream, BassDword state, uint32_t nowMs);

// Worker, each audible tick without an opening, after the station change:
// reports losses to the reconnect thread and puts a reconnected stream on air
// unless the station changed meanwhile. True when it did: the stream plays at
// volume 0 until the fade brings it up.
bool KeepStationOnAir();

// On the thread that opened an internet station, right after the open:
// remembers its address and watches the stream for its end and its titles,
// or notes that it failed with openError.
void WatchStationStream(const char* url, BassDword stream, int32_t openError);
