// The windowed-sinc resampler of tracks whose rate is not the stream's.
#include "radio/playlist/resample.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kChannels = 2;
// Zero crossings of the sinc the filter spans at the source's own band, and
// the table's points between two of them (linearly interpolated between).
// With a Kaiser window of beta 8.6, images and aliases stay some 85 dB down
// beyond 0.56 of the source's rate, and the band up to 0.44 of it is flat
// within 0.01 dB.
constexpr uint32_t kTaps = 48;
constexpr uint32_t kPhases = 512;
constexpr double kKaiserBeta = 8.6;
// A track lowered by more than this gets a shorter filter than its band asks for.
constexpr uint32_t kMostLowering = 4;
constexpr uint32_t kMostHalf = kTaps / 2 * kMostLowering;
static_assert(kResampleHold > 4 * kMostHalf, "room for reads beside the filter's reach");
// The table's positions in fixed point: 16 bits below the point.
constexpr int kFraction = 16;
constexpr int32_t kFractionMask = (1 << kFraction) - 1;
constexpr float kFractionScale = 1.0f / (1 << kFraction);
constexpr uint32_t kTableSize = kTaps * kPhases + 1;
// Within 32 bits: a tap's place never passes the table's end by more than a source frame.
constexpr int32_t kTableEnd = static_cast<int32_t>(kTaps * kPhases) << kFraction;
static_assert((kTaps + 2) * kPhases < (1u << (31 - kFraction)), "places fit in 32 bits");
constexpr double kPi = 3.14159265358979323846;

// The filter at 0, 1/kPhases, ... source frames from its left edge, and one
// point more so that the interpolation may look past the last; beside each
// point, the step to the next.
float g_table[kTableSize + 1];
float g_rise[kTableSize];
bool g_tablePrepared = false;

// Modified Bessel function of the first kind, order 0, by its series.
double BesselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 50 && term > sum * 1e-12; ++k) {
        const double factor = x / (2 * k);
        term *= factor * factor;
        sum += term;
    }
    return sum;
}

void Compact(Resampler& resampler) {
    const int64_t first = static_cast<int64_t>(resampler.at) - resampler.half + 1;
    if (first <= 0) return;
    const auto drop = static_cast<uint32_t>(first < resampler.held ? first : resampler.held);
    std::memmove(resampler.frames, resampler.frames + drop * kChannels,
                 (resampler.held - drop) * kChannels * sizeof(float));
    resampler.held -= drop;
    resampler.at -= drop;
    if (resampler.ended) resampler.end = resampler.end > drop ? resampler.end - drop : 0;
}

// One frame at the point resampler.at, whose reach is held, of a track
// raised to the stream's rate: every tap is a whole number of source frames
// from the next, so all share one place between two of the table's points,
// and all fall within the table.
void WriteRaisedFrame(const Resampler& resampler, float* out) {
    const auto base = static_cast<int32_t>(resampler.at);
    const auto place = static_cast<int32_t>((resampler.at - base + kTaps - 1) * kPhases * (1 << kFraction));
    const float share = static_cast<float>(place & kFractionMask) * kFractionScale;
    const uint32_t last = static_cast<uint32_t>(place >> kFraction);
    const float* frame = resampler.frames + (base - static_cast<int32_t>(kTaps / 2) + 1) * static_cast<int32_t>(kChannels);
    // Two taps a turn, each into sums of its own: the sums' additions need not wait on each other.
    static_assert(kTaps % 2 == 0, "taps in pairs");
    float left = 0, right = 0, nextLeft = 0, nextRight = 0;
    for (uint32_t index = last + kPhases; index >= 2 * kPhases; frame += 2 * kChannels) {
        index -= 2 * kPhases;
        const float gain = g_table[index + kPhases] + share * g_rise[index + kPhases];
        const float nextGain = g_table[index] + share * g_rise[index];
        left += gain * frame[0];
        right += gain * frame[1];
        nextLeft += nextGain * frame[2];
        nextRight += nextGain * frame[3];
    }
    out[0] = left + nextLeft;
    out[1] = right + nextRight;
}

// The same for a track lowered to the stream's rate: the filter narrowed to
// the stream's band, and so longer, its taps each at a place of their own.
void WriteLoweredFrame(const Resampler& resampler, float* out) {
    const auto base = static_cast<int32_t>(resampler.at);
    const double within = resampler.at - base;
    const int32_t first = base - static_cast<int32_t>(resampler.half) + 1;
    // The first tap's place in the table, and the step to each next one.
    const double reach = (within + resampler.half - 1) * resampler.cutoff + kTaps / 2.0;
    auto place = static_cast<int32_t>(reach * kPhases * (1 << kFraction));
    const auto stride = static_cast<int32_t>(static_cast<double>(resampler.cutoff) * kPhases * (1 << kFraction));
    const float* frame = resampler.frames + first * static_cast<int32_t>(kChannels);
    float left = 0, right = 0;
    for (uint32_t tap = 0; tap < 2 * resampler.half; ++tap, place -= stride, frame += kChannels) {
        if (place < 0 || place >= kTableEnd) continue;
        const auto index = static_cast<uint32_t>(place >> kFraction);
        const float share = static_cast<float>(static_cast<int32_t>(place & kFractionMask)) * kFractionScale;
        const float gain = g_table[index] + share * g_rise[index];
        left += gain * frame[0];
        right += gain * frame[1];
    }
    out[0] = left * resampler.cutoff;
    out[1] = right * resampler.cutoff;
}

}  // namespace

void PrepareResampling() {
    if (g_tablePrepared) return;
    const double window = BesselI0(kKaiserBeta);
    for (uint32_t i = 0; i < kTableSize; ++i) {
        const double x = static_cast<double>(i) / kPhases - kTaps / 2.0;
        const double edge = x / (kTaps / 2.0);
        const double sinc = x == 0 ? 1 : std::sin(kPi * x) / (kPi * x);
        const double kaiser = edge * edge < 1 ? BesselI0(kKaiserBeta * std::sqrt(1 - edge * edge)) / window : 0;
        g_table[i] = static_cast<float>(sinc * kaiser);
    }
    g_table[kTableSize] = 0;
    for (uint32_t i = 0; i < kTableSize; ++i) g_rise[i] = g_table[i + 1] - g_table[i];
    g_tablePrepared = true;
}

void StartResampling(Resampler& resampler, uint32_t fromRate, uint32_t toRate, double ahead) {
    resampler.step = static_cast<double>(fromRate) / toRate;
    resampler.cutoff = fromRate > toRate ? static_cast<float>(toRate) / fromRate : 1.0f;
    const auto half = static_cast<uint32_t>(std::ceil(kTaps / 2.0 / resampler.cutoff));
    resampler.half = half < kMostHalf ? half : kMostHalf;
    // Silence before the source's first frame, so that the first point has its reach.
    resampler.held = resampler.half - 1;
    std::memset(resampler.frames, 0, resampler.held * kChannels * sizeof(float));
    resampler.at = resampler.held + ahead;
    resampler.end = 0;
    resampler.ended = false;
}

uint32_t ResampleReach(const Resampler& resampler) {
    return resampler.half;
}

float* ResamplePrepad(Resampler& resampler, uint32_t& frames) {
    frames = resampler.held;
    return resampler.frames;
}

uint32_t ResampleRoom(Resampler& resampler) {
    Compact(resampler);
    return kResampleHold - resampler.held;
}

float* ResampleInput(Resampler& resampler) {
    return resampler.frames + resampler.held * kChannels;
}

void ResampleAdded(Resampler& resampler, uint32_t frames) {
    resampler.held += frames;
}

void ResampleEnded(Resampler& resampler) {
    if (resampler.ended) return;
    resampler.ended = true;
    resampler.end = resampler.held;
}

uint32_t Resample(Resampler& resampler, float* out, uint32_t frames) {
    uint32_t written = 0;
    while (written < frames && !ResampleDone(resampler)) {
        const auto reach = static_cast<uint32_t>(resampler.at) + resampler.half;
        if (reach >= resampler.held) {
            if (!resampler.ended) break;
            // Past the source's end the filter reads silence.
            const uint32_t room = ResampleRoom(resampler);
            const uint32_t silence = resampler.half < room ? resampler.half : room;
            std::memset(ResampleInput(resampler), 0, silence * kChannels * sizeof(float));
            resampler.held += silence;
            continue;
        }
        if (resampler.cutoff == 1) {
            WriteRaisedFrame(resampler, out + written * kChannels);
        } else {
            WriteLoweredFrame(resampler, out + written * kChannels);
        }
        resampler.at += resampler.step;
        ++written;
    }
    return written;
}

bool ResampleDone(const Resampler& resampler) {
    return resampler.ended && resampler.at >= resampler.end;
}

double ResampleOverrun(const Resampler& resampler) {
    return resampler.at - resampler.end;
}
