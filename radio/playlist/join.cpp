// Frames across a join of tracks of different rates, for the resampler.
#include "radio/playlist/join.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kChannels = 2;

// The last frames of the track playing, oldest first, as a ring.
float g_history[kJoinHistory * kChannels];
uint32_t g_historyCount = 0;  // frames noted, up to kJoinHistory
uint32_t g_historyNext = 0;   // where the next frame goes
uint32_t g_rate = 0;
// The next track's first frames; those before g_leadAt are played already.
float g_lead[kJoinLead * kChannels];
uint32_t g_leadCount = 0;
uint32_t g_leadAt = 0;

// A frame of the history, 0 its oldest; clamped to the frames there are.
const float* HistoryFrame(int32_t index) {
    if (index < 0) index = 0;
    if (index >= static_cast<int32_t>(g_historyCount)) index = static_cast<int32_t>(g_historyCount) - 1;
    const uint32_t oldest = (g_historyNext + kJoinHistory - g_historyCount) % kJoinHistory;
    return g_history + (oldest + static_cast<uint32_t>(index)) % kJoinHistory * kChannels;
}

const float* LeadFrame(int32_t index) {
    return g_lead + index * kChannels;
}

// A run of count frames at position x (0 its first frame) by the cubic
// through the four frames nearest within the run: at either end of the run
// the four are all on one side, so that no frame of the other track's rate
// is taken as if of this one's. x is clamped to the run.
void Interpolate(const float* (*frame)(int32_t), uint32_t count, double x, float* out) {
    if (x < 0) x = 0;
    if (x > count - 1.0) x = count - 1.0;
    if (count < 4) {
        std::memcpy(out, frame(static_cast<int32_t>(std::lround(x))), kChannels * sizeof(float));
        return;
    }
    int32_t first = static_cast<int32_t>(std::floor(x)) - 1;
    if (first < 0) first = 0;
    if (first > static_cast<int32_t>(count) - 4) first = static_cast<int32_t>(count) - 4;
    const double u = x - first;
    const double w0 = -(u - 1) * (u - 2) * (u - 3) / 6, w1 = u * (u - 2) * (u - 3) / 2, w2 = -u * (u - 1) * (u - 3) / 2,
                 w3 = u * (u - 1) * (u - 2) / 6;
    const float *p0 = frame(first), *p1 = frame(first + 1), *p2 = frame(first + 2), *p3 = frame(first + 3);
    for (uint32_t c = 0; c < kChannels; ++c)
        out[c] = static_cast<float>(w0 * p0[c] + w1 * p1[c] + w2 * p2[c] + w3 * p3[c]);
}

}  // namespace

void ForgetJoin() {
    g_historyCount = g_historyNext = 0;
    g_leadCount = g_leadAt = 0;
    g_rate = 0;
}

void StartJoinTrack(uint32_t rate) {
    g_historyCount = g_historyNext = 0;
    g_rate = rate;
}

void NoteJoinFrames(const float* frames, uint32_t count) {
    if (count > kJoinHistory) {
        frames += (count - kJoinHistory) * kChannels;
        count = kJoinHistory;
    }
    for (uint32_t i = 0; i < count; ++i, frames += kChannels) {
        std::memcpy(g_history + g_historyNext * kChannels, frames, kChannels * sizeof(float));
        g_historyNext = (g_historyNext + 1) % kJoinHistory;
    }
    g_historyCount = g_historyCount + count < kJoinHistory ? g_historyCount + count : kJoinHistory;
}

uint32_t JoinTrackRate() {
    return g_rate;
}

float* JoinLeadInput(uint32_t& room) {
    room = kJoinLead - g_leadCount;
    return g_lead + g_leadCount * kChannels;
}

void JoinLeadAdded(uint32_t count) {
    g_leadCount += count;
}

uint32_t TakeJoinLead(float* out, uint32_t count) {
    const uint32_t left = g_leadCount - g_leadAt;
    const uint32_t taken = count < left ? count : left;
    std::memcpy(out, g_lead + g_leadAt * kChannels, taken * kChannels * sizeof(float));
    g_leadAt += taken;
    if (g_leadAt == g_leadCount) g_leadCount = g_leadAt = 0;
    return taken;
}

void WriteJoinAfter(float* out, uint32_t count, double step) {
    if (g_leadCount == 0) {
        std::memset(out, 0, count * kChannels * sizeof(float));
        return;
    }
    for (uint32_t j = 0; j < count; ++j) Interpolate(LeadFrame, g_leadCount, j * step, out + j * kChannels);
}

void WriteJoinBefore(float* out, uint32_t count, double step) {
    if (g_historyCount == 0) {
        std::memset(out, 0, count * kChannels * sizeof(float));
        return;
    }
    for (uint32_t k = 0; k < count; ++k)
        Interpolate(HistoryFrame, g_historyCount, g_historyCount - (k + 1.0) * step, out + (count - 1 - k) * kChannels);
}
