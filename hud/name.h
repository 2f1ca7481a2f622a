// The station name shown by the game, its colour and its shadow.
#pragma once

#include <atomic>
#include <cstdint>

// Written whole by the worker, read whole by the game's drawing thread.
extern std::atomic<uint32_t> g_nameColour;

// Characters the game's name entry holds: the length of the text it held when
// first looked up, measured once (g_nameEntryMeasured) and kept from then on.
extern size_t g_nameEntryCapacity;
extern bool g_nameEntryMeasured;

void ShowStationName(int8_t station);
void ApplyStationColours(int8_t station);

// Entered from the game's drawing code in place of its own colour call.
extern "C" void ApplyNameColour();
