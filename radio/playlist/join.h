// A join between tracks of different rates, so that neither side is padded
// with silence: the ending track's filter reads on into the next track's
// first frames, and the next track's filter reads back into the ending one's
// last, each side's frames carried to the other's rate by a cubic
// (4-point Lagrange) curve. Frames are stereo, after mix-down and gain. Used
// by the writing function alone (and by the helper thread while no stream of
// it can be written); nothing here allocates.
#pragma once

#include <cstdint>

// Source frames kept of the track playing, and read ahead of the next.
constexpr uint32_t kJoinHistory = 512;
constexpr uint32_t kJoinLead = 512;

// No track before: a new stream.
void ForgetJoin();

// The track playing, of rate Hz, starts: what was noted of the one before is
// let go (call after its last frames were used).
void StartJoinTrack(uint32_t rate);
// The frames of the track playing, as they are read.
void NoteJoinFrames(const float* frames, uint32_t count);
uint32_t JoinTrackRate();

// The next track's first frames, read ahead: where they go and how many fit,
// then how many were put there.
float* JoinLeadInput(uint32_t& room);
void JoinLeadAdded(uint32_t count);
// Takes up to count of the frames read ahead, to be played as the next
// track's first; the frames taken.
uint32_t TakeJoinLead(float* out, uint32_t count);

// count frames past the end of the track playing, the first at its end and
// each step frames of the next track's rate further, from the frames read
// ahead (none read ahead: silence).
void WriteJoinAfter(float* out, uint32_t count, double step);
// count frames before the start of the next track, the last step frames of
// the track playing before its end, and each one step further back.
void WriteJoinBefore(float* out, uint32_t count, double step);
