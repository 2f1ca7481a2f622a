// A track's channels mixed into the stereo the playlist stream plays: mono to
// both sides, and 3 to 8 channels with the usual coefficients (centre and
// surrounds 3 dB down into both sides, the LFE left out), scaled so that a
// mix never clips where its source did not.
#pragma once

#include <cstdint>

// The most channels a track may have.
constexpr uint32_t kMaxTrackChannels = 8;

// Writes frames stereo frames to out from frames of chans (1 to
// kMaxTrackChannels) interleaved channels at in; out must not overlap in.
void MixToStereo(const float* in, uint32_t chans, uint32_t frames, float* out);
