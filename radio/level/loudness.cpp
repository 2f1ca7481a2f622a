// The loudness meter: K-weighting, 400 ms blocks every 100 ms, the absolute and relative gates.
#include "radio/level/loudness.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The K-weighting's high shelf and the RLB high-pass as analogue prototypes,
// so that the filters are the standard's at 48 kHz and match them at any rate.
constexpr double kShelfHz = 1681.974450955533;
constexpr double kShelfGainDb = 3.999843853973347;
constexpr double kShelfQ = 0.7071752369554196;
constexpr double kShelfBandShare = 0.4996667741545416;
constexpr double kHighPassHz = 38.13547087602444;
constexpr double kHighPassQ = 0.5003270373238773;
constexpr double kStepSeconds = 0.1;
constexpr uint32_t kStepsPerBlock = 4;  // 400 ms blocks overlapping by 75%
constexpr double kLoudnessOffset = -0.691;
constexpr double kRelativeGateLu = -10.0;
constexpr double kSurroundWeight = 1.41;
// Below this the shelf's corner lies past half the rate: no track is that coarse.
constexpr uint32_t kLowestRateHz = 8000;

Biquad Shelf(double rate) {
    const double k = std::tan(kPi * kShelfHz / rate);
    const double vh = std::pow(10.0, kShelfGainDb / 20.0);
    const double vb = std::pow(vh, kShelfBandShare);
    const double a0 = 1.0 + k / kShelfQ + k * k;
    Biquad f;
    f.b0 = (vh + vb * k / kShelfQ + k * k) / a0;
    f.b1 = 2.0 * (k * k - vh) / a0;
    f.b2 = (vh - vb * k / kShelfQ + k * k) / a0;
    f.a1 = 2.0 * (k * k - 1.0) / a0;
    f.a2 = (1.0 - k / kShelfQ + k * k) / a0;
    return f;
}

Biquad HighPass(double rate) {
    const double k = std::tan(kPi * kHighPassHz / rate);
    const double a0 = 1.0 + k / kHighPassQ + k * k;
    Biquad f;
    f.b0 = 1.0;
    f.b1 = -2.0;
    f.b2 = 1.0;
    f.a1 = 2.0 * (k * k - 1.0) / a0;
    f.a2 = (1.0 - k / kHighPassQ + k * k) / a0;
    return f;
}

// Direct form II: delays d[0], d[1].
inline double Run(const Biquad& f, double* d, double x) {
    const double w = x - f.a1 * d[0] - f.a2 * d[1];
    const double y = f.b0 * w + f.b1 * d[0] + f.b2 * d[1];
    d[1] = d[0];
    d[0] = w;
    return y;
}

// Each channel's weight by where its speaker stands, in the WAVE order the
// library gives: 1 in front and behind, 1.41 at the sides and the usual
// surrounds (azimuth 60-120 degrees), the LFE not counted. 4 channels are
// L R Ls Rs, 5 L R C Ls Rs, 6 L R C LFE Ls Rs, 7 L R C LFE Cs Ls Rs (the rear
// centre behind), 8 L R C LFE Lb Rb Ls Rs (the rear pair behind).
void SetWeights(LoudnessMeter& meter) {
    constexpr double S = kSurroundWeight;
    static constexpr double kWeights[kMeterMaxChannels + 1][kMeterMaxChannels] = {
        {}, {1}, {1, 1}, {1, 1, 1}, {1, 1, S, S}, {1, 1, 1, S, S}, {1, 1, 1, 0, S, S}, {1, 1, 1, 0, 1, S, S},
        {1, 1, 1, 0, 1, 1, S, S},
    };
    for (uint32_t c = 0; c < meter.chans; ++c) meter.weights[c] = kWeights[meter.chans][c];
}

double ToLufs(double meanSquare) {
    return kLoudnessOffset + 10.0 * std::log10(meanSquare);
}

double FromLufs(double lufs) {
    return std::pow(10.0, (lufs - kLoudnessOffset) / 10.0);
}

}  // namespace

bool StartMeter(LoudnessMeter& meter, uint32_t rate, uint32_t chans) {
    meter = LoudnessMeter{};
    if (chans == 0 || chans > kMeterMaxChannels || rate < kLowestRateHz) return false;
    meter.chans = chans;
    meter.shelf = Shelf(rate);
    meter.highPass = HighPass(rate);
    meter.stepFrames = static_cast<uint32_t>(std::lround(rate * kStepSeconds));
    if (meter.stepFrames == 0) meter.stepFrames = 1;
    SetWeights(meter);
    return true;
}

void FeedMeter(LoudnessMeter& meter, const float* samples, uint32_t frames) {
    const uint32_t chans = meter.chans;
    for (uint32_t i = 0; i < frames; ++i) {
        const float* frame = samples + static_cast<size_t>(i) * chans;
        for (uint32_t c = 0; c < chans; ++c) {
            const float magnitude = std::fabs(frame[c]);
            if (magnitude > meter.peak) meter.peak = magnitude;
            const double y = Run(meter.highPass, meter.state[c] + 2, Run(meter.shelf, meter.state[c], frame[c]));
            meter.stepSum += meter.weights[c] * y * y;
        }
        if (++meter.stepAt < meter.stepFrames) continue;
        meter.steps[meter.stepsDone % kStepsPerBlock] = meter.stepSum;
        meter.stepSum = 0;
        meter.stepAt = 0;
        if (++meter.stepsDone < kStepsPerBlock) continue;
        double block = 0;
        for (const double step : meter.steps) block += step;
        meter.blocks.push_back(block / (kStepsPerBlock * meter.stepFrames));
    }
}

bool MeterMayAllocate(const LoudnessMeter& meter, uint32_t frames) {
    const size_t blocksMore = (meter.stepAt + frames) / meter.stepFrames + 1;
    return meter.blocks.capacity() - meter.blocks.size() < blocksMore;
}

double BlocksLoudness(const double* blocks, size_t count) {
    const double absoluteGate = FromLufs(kLoudnessFloorLufs);
    double sum = 0;
    size_t passed = 0;
    for (size_t i = 0; i < count; ++i) {
        if (blocks[i] <= absoluteGate) continue;
        sum += blocks[i];
        ++passed;
    }
    if (passed == 0) return kLoudnessFloorLufs;
    const double relativeGate = FromLufs(ToLufs(sum / passed) + kRelativeGateLu);
    sum = 0;
    passed = 0;
    for (size_t i = 0; i < count; ++i) {
        if (blocks[i] <= absoluteGate || blocks[i] <= relativeGate) continue;
        sum += blocks[i];
        ++passed;
    }
    return passed ? ToLufs(sum / passed) : kLoudnessFloorLufs;
}

double MeterLoudness(const LoudnessMeter& meter) {
    return BlocksLoudness(meter.blocks.data(), meter.blocks.size());
}
