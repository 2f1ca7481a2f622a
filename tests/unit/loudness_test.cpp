// The loudness meter against the minimum cases of the broadcasters' loudness
// meter tests, built from generated sines and fed in uneven pieces.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "radio/level/loudness.h"

namespace {

struct Segment {
    double seconds;
    double dbfs;  // the sine's peak
};

// A stereo 1 kHz sine through the given stretches, fed to a meter in pieces of 997 frames.
LoudnessMeter Measure(uint32_t rate, std::vector<Segment> segments) {
    constexpr double kPi = 3.14159265358979323846;
    constexpr uint32_t kPiece = 997;
    LoudnessMeter meter;
    EXPECT_TRUE(StartMeter(meter, rate, 2));
    std::vector<float> piece;
    uint64_t frame = 0;
    for (const Segment& segment : segments) {
        const double amplitude = std::pow(10.0, segment.dbfs / 20.0);
        uint64_t left = static_cast<uint64_t>(segment.seconds * rate);
        while (left) {
            const uint32_t frames = left < kPiece ? static_cast<uint32_t>(left) : kPiece;
            piece.clear();
            for (uint32_t i = 0; i < frames; ++i, ++frame) {
                const float sample = static_cast<float>(amplitude * std::sin(2 * kPi * 1000.0 * frame / rate));
                piece.push_back(sample);
                piece.push_back(sample);
            }
            FeedMeter(meter, piece.data(), frames);
            left -= frames;
        }
    }
    return meter;
}

TEST(Loudness, MinimumCasesReadWithinATenthOfALoudnessUnit) {
    struct Case {
        uint32_t rate;
        std::vector<Segment> segments;
        double lufs;
    };
    const Case cases[] = {
        {48000, {{20, -23}}, -23},
        {48000, {{20, -33}}, -33},
        {48000, {{10, -36}, {60, -23}, {10, -36}}, -23},  // the quiet stretches fall under the relative gate
        {44100, {{20, -23}}, -23},                        // the filters follow the rate
        {48000, {{10, -80}}, kLoudnessFloorLufs},         // nothing above the absolute gate
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.segments.size() << " stretches, " << c.lufs);
        const LoudnessMeter meter = Measure(c.rate, c.segments);
        EXPECT_NEAR(MeterLoudness(meter), c.lufs, 0.1);
    }
}

TEST(Loudness, PeakIsTheLargestSampleAndOddLayoutsAreRefused) {
    const LoudnessMeter meter = Measure(48000, {{1, -3}});
    EXPECT_NEAR(meter.peak, std::pow(10.0, -3 / 20.0), 1e-3);
    LoudnessMeter refused;
    EXPECT_FALSE(StartMeter(refused, 48000, 0));
    EXPECT_FALSE(StartMeter(refused, 48000, kMeterMaxChannels + 1));
    EXPECT_FALSE(StartMeter(refused, 0, 2));
    EXPECT_FALSE(StartMeter(refused, 3000, 2));  // the filters' corners past half the rate
}

}  // namespace
