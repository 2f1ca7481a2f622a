// A track's channels mixed into stereo.
#include "radio/playlist/mixdown.h"

namespace {

constexpr float kMinus3dB = 0.70710678f;

struct Gains {
    float left, right;
};

// Each channel's share of the left and right sides, in the library's
// channel order (that of WAVE files): front left and right, centre, LFE,
// then the surrounds, left before right; 6.1 puts its rear centre before
// the side pair, 7.1 its rear pair before the side pair.
constexpr Gains kFrontLeft{1, 0}, kFrontRight{0, 1}, kCentre{kMinus3dB, kMinus3dB}, kLfe{0, 0},
    kLeftSurround{kMinus3dB, 0}, kRightSurround{0, kMinus3dB}, kRearCentre = kCentre;
constexpr Gains kLayouts[kMaxTrackChannels + 1][kMaxTrackChannels] = {
    {},
    {},
    {kFrontLeft, kFrontRight},
    {kFrontLeft, kFrontRight, kCentre},
    {kFrontLeft, kFrontRight, kLeftSurround, kRightSurround},
    {kFrontLeft, kFrontRight, kCentre, kLeftSurround, kRightSurround},
    {kFrontLeft, kFrontRight, kCentre, kLfe, kLeftSurround, kRightSurround},
    {kFrontLeft, kFrontRight, kCentre, kLfe, kRearCentre, kLeftSurround, kRightSurround},
    {kFrontLeft, kFrontRight, kCentre, kLfe, kLeftSurround, kRightSurround, kLeftSurround, kRightSurround},
};

// The gains scaled so that each side's shares add up to at most 1: a mix of
// full-scale channels stays within full scale. Scaling, not a limiter: the
// mix keeps the source's dynamics, a few dB quieter than its loudest channel.
struct Mix {
    Gains gains[kMaxTrackChannels];
};

constexpr Mix Scaled(const Gains (&layout)[kMaxTrackChannels]) {
    float left = 0, right = 0;
    for (const Gains& gains : layout) {
        left += gains.left;
        right += gains.right;
    }
    const float most = left > right ? left : right;
    const float scale = most > 1 ? 1 / most : 1;
    Mix mix{};
    for (uint32_t c = 0; c < kMaxTrackChannels; ++c) mix.gains[c] = {layout[c].left * scale, layout[c].right * scale};
    return mix;
}

constexpr Mix kMixes[kMaxTrackChannels + 1] = {
    Scaled(kLayouts[0]), Scaled(kLayouts[1]), Scaled(kLayouts[2]), Scaled(kLayouts[3]), Scaled(kLayouts[4]),
    Scaled(kLayouts[5]), Scaled(kLayouts[6]), Scaled(kLayouts[7]), Scaled(kLayouts[8]),
};

}  // namespace

void MixToStereo(const float* in, uint32_t chans, uint32_t frames, float* out) {
    if (chans == 1) {
        for (uint32_t i = 0; i < frames; ++i) out[2 * i] = out[2 * i + 1] = in[i];
        return;
    }
    if (chans == 2) {
        for (uint32_t i = 0; i < 2 * frames; ++i) out[i] = in[i];
        return;
    }
    const Gains* gains = kMixes[chans].gains;
    for (uint32_t i = 0; i < frames; ++i, in += chans) {
        float left = 0, right = 0;
        for (uint32_t c = 0; c < chans; ++c) {
            left += in[c] * gains[c].left;
            right += in[c] * gains[c].right;
        }
        out[2 * i] = left;
        out[2 * i + 1] = right;
    }
}
