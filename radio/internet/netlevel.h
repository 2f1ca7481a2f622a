// Internet streams at the level of every other station, with [SOUND] level = 1:
// a stream's loudness is measured from what the library plays (the last
// 20 s, ITU-R BS.1770), and its gain moves toward the target at most 1 dB per
// 2 s, never so far that the window's peak passes 1 dB under full scale. It
// starts from the gain last heard at the same address (kept between runs in
// audio/streams/zorve-stations.cache), or -6 dB for an address never heard.
#pragma once

#include <cstdint>

extern const char kStationLevelsName[];

// The gain an address never heard starts from.
constexpr double kUnheardGainDb = -6.0;

// Opening and reconnect threads, with levelling on, right after an internet
// stream opened and before it plays: measures and levels it through a DSP of
// the library. A stream the library gives no format for is left as it is.
void LevelNetStream(uint32_t stream, const char* address);

// Helper work: the gains heard so far written to disk when they changed, at
// most every 10 s; true when it wrote.
bool SaveStationLevels();
