// Switch jingles: loaded whole at start-up, played at random one at a time
// while a station stream opens. Worker thread, but for a new list of the
// player's and for the audio device opened afresh: the helper thread then
// loads the samples for the worker to take.
#pragma once

#include <cstdint>
#include <string>

constexpr int kJingleSlots = 15;

extern uint32_t g_jingleSamples[kJingleSlots];
extern int8_t g_jingleCount;
extern int8_t g_jingleCursor;
extern uint32_t g_jingleChannel;
extern uint32_t g_jingleRandomState;

// Loads the samples named by SWITCHER/samples; names past the table are ignored.
void LoadJingles();

// Starts a random jingle unless one is playing.
void PlayJingle();

// Helper thread: loads the samples named by list (as SWITCHER/samples) for
// the worker to take in place of its own.
void PrepareJingles(const std::string& list);

// Worker thread: takes the samples prepared, if any; a jingle playing finishes.
void TakeJingles();

// Helper thread: frees the samples the worker let go of, once their last
// jingle has finished. True when it freed any.
bool FreeReplacedJingles();

// Worker thread: whether its jingles are loaded on the audio device now open.
bool JinglesOnDevice();

// Helper thread work: after the audio device was opened afresh, loads the
// jingles again for the worker to take. True when it did.
bool ReloadJingles();
