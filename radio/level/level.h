// Levelling: the [SOUND] keys that turn it on and set its target, and the
// gain that brings a track of known loudness and peak to the target without
// clipping.
#pragma once

#include <cstddef>
#include <cstdint>

// What is known of a track's loudness.
struct TrackLevel {
    bool known = false;
    double loudnessLufs = 0;
    double peak = 0;  // of full scale; 1 when unknown
};

// Worker thread, whenever the settings document is (re)taken: reads
// [SOUND] level and [SOUND] target. A target outside -30..-10 LUFS, or no
// number, is refused: the default counts, and the helper thread says so.
void ReadLevelSettings();

// Any thread.
bool LevellingOn();
double LevelTargetLufs();

// Helper thread: writes the run log's line for a refused target, once per refusal; true when it did.
bool LogRefusedTarget();

// The linear gain for a track: 1 when levelling is off or the track's level is
// unknown or below the gates; never so much that gain x peak exceeds full scale.
float TrackGain(const TrackLevel& level);

// The same gain in dB, for the run log.
double GainDb(float gain);

// " (-4.5 dB)": a track's gain for the line that names it as it starts;
// empty while levelling is off.
constexpr size_t kGainNoteMax = 16;
void FormatGainNote(char* note, size_t size, float gain);

// From a ReplayGain track gain (dB against -18 LUFS) and its peak, when given.
TrackLevel LevelFromReplayGain(float gainDb, bool hasPeak, float peak);
// From an Opus R128 track gain: Q7.8 dB against -23 LUFS. It gives no peak.
TrackLevel LevelFromR128Gain(int32_t q78Gain);

// A file station's stream: its samples multiplied by gain in the library's
// own chain of sample work, beneath the volume the fade and the game set. Off
// the game's threads. False when the library refused.
bool ApplyStreamGain(uint32_t stream, float gain);
