// The playlist stream's sound: tracks of other rates and of more channels, as
// the stream's writing function gives them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "module/tick.h"
#include "platform/bass.h"
#include "radio/common/stream.h"
#include "radio/playlist/resample.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// A WAV file of 32-bit float samples, channels interleaved.
std::string FloatWave(uint32_t rate, uint16_t chans, const std::vector<float>& samples) {
    std::string wave = "RIFF----WAVEfmt ";
    auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) wave += static_cast<char>(value >> (8 * i) & 0xFF);
    };
    put(16, 4), put(3, 2), put(chans, 2), put(rate, 4), put(rate * chans * 4, 4), put(chans * 4, 2), put(32, 2);
    wave += "data";
    put(static_cast<uint32_t>(samples.size() * 4), 4);
    wave.append(reinterpret_cast<const char*>(samples.data()), samples.size() * 4);
    return wave;
}

using TrackSound = ModuleTest;

// Tunes in on a playlist of these tracks, in order, and has the stream write
// frames in one go; the stream's rate and its stereo frames.
std::vector<float> StreamOf(const GameFolder& folder, const std::vector<std::string>& waves, uint32_t frames,
                            uint32_t& rate, const std::string& playlist = "tones") {
    for (size_t i = 0; i < waves.size(); ++i)
        folder.Write("audio/streams/" + playlist + "/" + std::string(1, static_cast<char>('a' + i)) + ".wav", waves[i]);
    BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);
    PutPlayerInCar();
    TuneTo(1);
    RadioTick();
    EXPECT_TRUE(RunQueuedThread());
    const BassCall made = BassCallsOf(BF_STREAM_CREATE).back();
    rate = made.args[0];
    const auto write = reinterpret_cast<BassStreamProc>(static_cast<uintptr_t>(made.args[3]));
    std::vector<float> out(frames * 2);
    const BassDword bytes = static_cast<BassDword>(out.size() * sizeof(float));
    EXPECT_EQ(write(static_cast<BassDword>(made.result), out.data(), bytes,
                    reinterpret_cast<void*>(static_cast<uintptr_t>(made.args[4]))),
              bytes);
    return out;
}

// A sine through a stream of another rate keeps its level; what is not the
// sine (images, aliases, the filter's errors) stays far below it. A track
// of a higher rate than the stream (one opened after the tune-in) is lowered:
// straight through the resampler, as the stream would take it.
TEST_F(TrackSound, OtherRatesKeepTheToneAndNothingElse) {
    constexpr float kAmplitude = 0.5f;
    constexpr uint32_t kSkip = 4800, kWindow = 16384;  // past the start, within the first second
    const struct {
        uint32_t trackRate, outputRate;
        double hz;
        bool lowered;
    } cases[] = {{44100, 48000, 1000, false}, {44100, 48000, 15000, false}, {22050, 48000, 9000, false},
                 {22050, 44100, 9000, false},  {48000, 44100, 15000, false}, {48000, 44100, 15000, true},
                 {96000, 44100, 9000, true},   {22050, 0, 9000, false}};  // an output that gives no rate: 44.1 kHz
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.trackRate) + " Hz to " + std::to_string(c.outputRate) + " Hz, tone " +
                     std::to_string(c.hz));
        ResetModuleState();
        // A tape of its own: a tape keeps the highest rate it has played.
        const std::string playlist = "tones" + std::to_string(&c - cases);
        UseSettings("[TRACK1]\nplaylist = audio/streams/" + playlist + "\n");
        FakeBass_SetOutputRate(c.outputRate);
        std::vector<float> tone(2 * c.trackRate);
        for (size_t i = 0; i < tone.size(); ++i) tone[i] = kAmplitude * static_cast<float>(std::sin(2 * kPi * c.hz * i / c.trackRate));
        uint32_t rate = c.outputRate;
        std::vector<float> out(2 * (kSkip + kWindow));
        if (c.lowered) {
            static Resampler resampler;
            PrepareResampling();
            StartResampling(resampler, c.trackRate, c.outputRate);
            for (uint32_t written = 0, fed = 0; written < kSkip + kWindow;) {
                written += Resample(resampler, out.data() + 2 * written, kSkip + kWindow - written);
                const uint32_t adding = std::min<uint32_t>(ResampleRoom(resampler), c.trackRate - fed);
                for (uint32_t i = 0; i < adding; ++i) ResampleInput(resampler)[2 * i] = ResampleInput(resampler)[2 * i + 1] = tone[fed + i];
                ResampleAdded(resampler, adding);
                fed += adding;
            }
        } else {
            out = StreamOf(folder, {FloatWave(c.trackRate, 1, tone)}, kSkip + kWindow, rate, playlist);
            // Lowering a track's rate would lose its top: the stream runs at the higher of the two.
            ASSERT_EQ(rate, std::max(c.trackRate, c.outputRate ? c.outputRate : 44100u));
        }
        // The tone's share of the left side by least squares; the rest is all else.
        double ss = 0, sc = 0, cc = 0, sy = 0, cy = 0, yy = 0;
        for (uint32_t i = kSkip; i < kSkip + kWindow; ++i) {
            const double s = std::sin(2 * kPi * c.hz * i / rate), k = std::cos(2 * kPi * c.hz * i / rate), y = out[2 * i];
            ss += s * s, sc += s * k, cc += k * k, sy += s * y, cy += k * y, yy += y * y;
            EXPECT_EQ(out[2 * i], out[2 * i + 1]);
        }
        const double det = ss * cc - sc * sc, a = (sy * cc - cy * sc) / det, b = (cy * ss - sy * sc) / det;
        const double toneEnergy = a * sy + b * cy;
        EXPECT_NEAR(20 * std::log10(std::hypot(a, b) / kAmplitude), 0, 0.2) << "level, dB";
        EXPECT_LT(10 * std::log10((yy - toneEnergy) / toneEnergy), -70) << "all else, dB below the tone";
    }
}

// Surround tracks: each channel's share in both sides, never above full scale.
TEST_F(TrackSound, SurroundMixedDownIntoBothSides) {
    constexpr uint32_t kRate = 48000, kFrames = 4800;
    const struct {
        uint16_t chans;
        std::vector<float> frame;
        float left, right;
    } cases[] = {
        {6, {0, 0, 1, 0, 0, 0}, 0.2929f, 0.2929f},              // the centre heard in both, 3 dB down
        {6, {0, 0, 0, 1, 0, 0}, 0, 0},                          // the LFE left out
        {6, {0, 0, 0, 0, 1, 0}, 0.2929f, 0},                    // a surround on its own side
        {6, {1, 1, 1, 1, 1, 1}, 1, 1},                          // full scale stays full scale
        {8, {-1, -1, -1, -1, -1, -1, -1, -1}, -1, -1},
        {3, {0, 0, 1}, 0.4142f, 0.4142f},
        {7, {0, 0, 0, 0, 0, 1, 0}, 0.2265f, 0},  // 6.1: the side pair after the rear centre
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.chans) + " channels");
        ResetModuleState();
        UseSettings("[TRACK1]\nplaylist = audio/streams/tones\n");
        FakeBass_SetOutputRate(kRate);
        std::vector<float> samples;
        for (uint32_t i = 0; i < kFrames; ++i) samples.insert(samples.end(), c.frame.begin(), c.frame.end());
        uint32_t rate;
        const std::vector<float> out = StreamOf(folder, {FloatWave(kRate, c.chans, samples)}, kFrames / 2, rate);
        EXPECT_NEAR(out[0], c.left, 1e-4);
        EXPECT_NEAR(out[1], c.right, 1e-4);
    }
}

// Two tracks cut from one sine at a crest, played at 48 kHz: of one rate, the
// join sounds as the sine played from one file (it was a click: each track's
// filter started on silence and ended on it); of two rates, where one filter
// reads into the other track's frames, it stays close to the sine.
TEST_F(TrackSound, JoinsAreSeamless) {
    constexpr uint32_t kOutputRate = 48000;
    constexpr float kAmplitude = 0.5f;
    constexpr uint32_t kAround = 2000;  // output frames each side of the join
    const struct {
        double hz;
        uint32_t firstRate, secondRate;
        double mostDb;  // off the sine from one file (one rate), else off the exact sine
    } cases[] = {{80, 44100, 44100, -90},  {1000, 44100, 44100, -90}, {80, 44100, 32000, -80},
                 {1000, 44100, 32000, -80}, {1000, 48000, 44100, -80},
                 // A track of the stream's own rate is never resampled: it starts on the stream's next frame, up to a frame late.
                 {1000, 44100, 48000, -45}};
    for (const auto& c : cases) {
        const std::string name = std::to_string(static_cast<int>(c.hz)) + " Hz, " + std::to_string(c.firstRate) + " to " +
                                 std::to_string(c.secondRate);
        SCOPED_TRACE(name);
        const auto cut = static_cast<size_t>(std::lround((std::floor(c.hz / 2) + 0.25) * c.firstRate / c.hz));
        const double cutSeconds = static_cast<double>(cut) / c.firstRate;
        const auto sine = [&](uint32_t rate, double from, size_t frames) {
            std::vector<float> samples(frames);
            for (size_t i = 0; i < frames; ++i)
                samples[i] = kAmplitude * static_cast<float>(std::sin(2 * kPi * c.hz * (from + static_cast<double>(i) / rate)));
            return samples;
        };
        const auto join = static_cast<uint32_t>(cutSeconds * kOutputRate);
        const bool oneRate = c.firstRate == c.secondRate;
        std::vector<float> played[2];
        for (int split = oneRate ? 0 : 1; split < 2; ++split) {
            ResetModuleState();
            FakeBass_SetOutputRate(kOutputRate);
            const std::string playlist = "join" + std::to_string(&c - cases) + (split ? "cut" : "whole");
            UseSettings("[TRACK1]\nplaylist = audio/streams/" + playlist + "\n");
            std::vector<std::string> waves{FloatWave(c.firstRate, 1, sine(c.firstRate, 0, split ? cut : 2 * cut))};
            if (split) waves.push_back(FloatWave(c.secondRate, 1, sine(c.secondRate, cutSeconds, c.secondRate / 2)));
            uint32_t rate = 0;
            played[split] = StreamOf(folder, waves, join + kAround, rate, playlist);
            ASSERT_EQ(rate, kOutputRate);
        }
        double mostOffFile = 0, mostOffSine = 0;
        for (uint32_t i = join - kAround; i < join + kAround; ++i) {
            if (oneRate) mostOffFile = std::max(mostOffFile, static_cast<double>(std::fabs(played[1][2 * i] - played[0][2 * i])));
            const double exact = kAmplitude * std::sin(2 * kPi * c.hz * i / kOutputRate);
            mostOffSine = std::max(mostOffSine, std::fabs(played[1][2 * i] - exact));
        }
        const auto db = [&](double off) { return 20 * std::log10(std::max(off, 1e-12) / kAmplitude); };
        if (oneRate) std::printf("join of %s: at most %.1f dB off the sine from one file\n", name.c_str(), db(mostOffFile));
        std::printf("join of %s: at most %.1f dB off the exact sine\n", name.c_str(), db(mostOffSine));
        EXPECT_LT(oneRate ? db(mostOffFile) : db(mostOffSine), c.mostDb);
    }
}

}  // namespace
