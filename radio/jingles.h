// Switch jingles: loaded whole at start-up, played at random one at a time
// while a station stream opens. Worker thread only, but for their reload on
// an audio device opened afresh.
#pragma once

#include <cstdint>

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

// Whether the jingles are loaded on the audio device now open.
bool JinglesOnDevice();

// Helper thread work: after the audio device was opened afresh, loads the
// jingles again for the worker to take at its next jingle. True when it did.
bool ReloadJingles();
