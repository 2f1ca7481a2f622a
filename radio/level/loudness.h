// A track's integrated loudness (ITU-R BS.1770-4: K-weighted, gated 400 ms
// blocks) and its sample peak, measured from its float samples fed a piece at
// a time, so that a long track can be measured in short slices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One biquad section, with its state per channel.
struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

constexpr uint32_t kMeterMaxChannels = 8;

struct LoudnessMeter {
    uint32_t chans = 0;
    Biquad shelf, highPass;
    double weights[kMeterMaxChannels] = {};
    // Filter memory per channel: two stages, two delays each.
    double state[kMeterMaxChannels][4] = {};
    uint32_t stepFrames = 0;     // a 100 ms step: a block is four steps
    uint32_t stepAt = 0;         // frames into the current step
    double stepSum = 0;          // weighted squares of the current step
    double steps[4] = {};        // the last four steps' sums
    uint32_t stepsDone = 0;
    std::vector<double> blocks;  // each whole block's weighted mean square
    float peak = 0;
};

// Readies the meter for a track of chans channels at rate Hz; false for no
// channels, more than kMeterMaxChannels or a rate below 8 kHz.
bool StartMeter(LoudnessMeter& meter, uint32_t rate, uint32_t chans);

// Takes frames interleaved frames. May allocate (a block's value is kept per
// 100 ms) when the room reserved in blocks runs out: see MeterMayAllocate.
void FeedMeter(LoudnessMeter& meter, const float* samples, uint32_t frames);

// Whether feeding frames more may need more room for blocks than is reserved.
bool MeterMayAllocate(const LoudnessMeter& meter, uint32_t frames);

// The lowest loudness a block may have to count; a track with none that loud reads this.
constexpr double kLoudnessFloorLufs = -70.0;

// The integrated loudness in LUFS of what was fed; kLoudnessFloorLufs when no block passes the gates.
double MeterLoudness(const LoudnessMeter& meter);
// The same over count blocks' weighted mean squares, as LoudnessMeter::blocks holds them.
double BlocksLoudness(const double* blocks, size_t count);
