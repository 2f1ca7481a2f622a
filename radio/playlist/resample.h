// A track of another rate than the playlist stream's, converted to the
// stream's rate: a band-limited windowed-sinc (Kaiser) filter over its stereo
// frames, evaluated at any ratio from one shared table. The stream's rate is
// at least every track's own as far as it can be told, so tracks are mostly
// raised; a track of a higher rate is lowered with the filter narrowed to the
// stream's band. Nothing here allocates: the writing function uses it.
#pragma once

#include <cstdint>

// Source frames held at once: a read's worth and the filter's reach.
constexpr uint32_t kResampleHold = 4096 + 512;

// One track's conversion: the source frames held and where the next frame
// written falls among them.
struct Resampler {
    double step = 1;         // source frames per frame written
    float cutoff = 1;        // the filter's band, a share of the source's
    uint32_t half = 0;       // source frames used on each side of a point
    double at = 0;           // the next point written, in held frames
    uint32_t held = 0;
    uint32_t end = 0;        // held index of the source's end, once it ended
    bool ended = false;
    float frames[kResampleHold * 2];
};

// Builds the shared filter table once; call before the first StartResampling,
// off the writing function.
void PrepareResampling();

// Starts a track of fromRate frames a second to be written at toRate, its
// first frame written at ahead source frames past its first (0 up to a step).
void StartResampling(Resampler& resampler, uint32_t fromRate, uint32_t toRate, double ahead = 0);

// The source frames the filter reads on each side of a point.
uint32_t ResampleReach(const Resampler& resampler);
// Right after StartResampling: the frames held before the source's first,
// which the first points read; silence unless written over.
float* ResamplePrepad(Resampler& resampler, uint32_t& frames);

// How many source frames may be added now, after the frames no longer needed
// are let go; then where they go, and how many were added.
uint32_t ResampleRoom(Resampler& resampler);
float* ResampleInput(Resampler& resampler);
void ResampleAdded(Resampler& resampler, uint32_t frames);
// The source has no more frames: the filter's tail is written out.
void ResampleEnded(Resampler& resampler);

// Writes up to frames stereo frames; fewer when more source frames are
// needed, or when the track is done.
uint32_t Resample(Resampler& resampler, float* out, uint32_t frames);
bool ResampleDone(const Resampler& resampler);
// Once done: how far past the source's end, in source frames, the next frame
// written would have fallen.
double ResampleOverrun(const Resampler& resampler);
