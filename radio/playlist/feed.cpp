// The playlist station's continuous stream and its writing function.
#include "radio/playlist/feed.h"

#include <windows.h>

#include <atomic>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/threads.h"

namespace {

constexpr uint32_t kFeedChannels = 2;
constexpr uint32_t kSampleBytes = sizeof(float);
constexpr uint32_t kFeedFrameBytes = kFeedChannels * kSampleBytes;
constexpr BassDword kFeedFlags = BASS_SAMPLE_FLOAT;
// Source frames read at a time; the buffer is the module's own, never allocated in the writing function.
constexpr uint32_t kScratchFrames = 4096;
constexpr size_t kChangeRing = 16;
static_assert(kChangeRing > kFeedQueue + 1, "room for every report between two turns of the helper thread");

// Handed from the helper thread to the writing function: single producer,
// single consumer, each index written by one side only.
FeedTrack g_queue[kFeedQueue];
uint32_t g_queueGeneration[kFeedQueue];
std::atomic<uint32_t> g_queueHead{0};  // the writing function's
std::atomic<uint32_t> g_queueTail{0};  // the helper thread's

// Handed back the other way.
FeedChange g_changes[kChangeRing];
std::atomic<uint32_t> g_changeHead{0};  // the helper thread's
std::atomic<uint32_t> g_changeTail{0};  // the writing function's

std::atomic<uint32_t> g_generation{0};
std::atomic<bool> g_lastQueued{false};
// Raised while the writing function runs, so that the helper thread never
// resets what it uses under it.
std::atomic<bool> g_writing{false};
uint32_t g_stream = 0;  // helper thread

// The writing function's own state; the helper thread sets it only while no
// stream of it can be written.
struct Playing {
    FeedTrack track;
    uint32_t frameBytes = 0;
    // Linear resampling of a track of another rate: the source step per
    // frame written, the place between the two source frames at hand.
    double step = 1;
    double phase = 0;
    float before[kFeedChannels] = {};
    float after[kFeedChannels] = {};
    uint32_t scratchAt = 0;
    uint32_t scratchFrames = 0;
};
Playing g_playing;
uint32_t g_rate = 0;
float g_scratch[kScratchFrames * kMaxTrackChannels];

void Take(Playing& playing, const FeedTrack& track) {
    playing = Playing{};
    playing.track = track;
    playing.frameBytes = track.chans * kSampleBytes;
    if (track.rate != g_rate) {
        playing.step = static_cast<double>(track.rate) / g_rate;
        playing.phase = 2;  // both frames at hand are read before the first is written
    }
}

void ToStereo(const float* source, uint32_t chans, float* out) {
    out[0] = source[0];
    out[1] = chans > 1 ? source[1] : source[0];
}

// Reads up to frames source frames of the track into the scratch buffer; the frames read.
uint32_t ReadSource(const Playing& playing, uint32_t frames) {
    const BassDword got = BASS_ChannelGetData(playing.track.channel, g_scratch, frames * playing.frameBytes);
    return got == kBassErrorDword ? 0 : got / playing.frameBytes;
}

// Writes up to frames stereo frames of the track at the stream's rate; fewer when it ended.
uint32_t WriteTrack(Playing& playing, float* out, uint32_t frames) {
    const uint32_t chans = playing.track.chans;
    uint32_t written = 0;
    if (playing.step == 1) {
        while (written < frames) {
            const uint32_t want = frames - written < kScratchFrames ? frames - written : kScratchFrames;
            const uint32_t got = ReadSource(playing, want);
            for (uint32_t i = 0; i < got; ++i) ToStereo(g_scratch + i * chans, chans, out + (written + i) * kFeedChannels);
            written += got;
            if (got < want) break;
        }
        return written;
    }
    while (written < frames) {
        while (playing.phase >= 1) {
            if (playing.scratchAt == playing.scratchFrames) {
                playing.scratchFrames = ReadSource(playing, kScratchFrames);
                playing.scratchAt = 0;
                if (playing.scratchFrames == 0) return written;
            }
            for (uint32_t c = 0; c < kFeedChannels; ++c) playing.before[c] = playing.after[c];
            ToStereo(g_scratch + playing.scratchAt++ * chans, chans, playing.after);
            playing.phase -= 1;
        }
        const float phase = static_cast<float>(playing.phase);
        for (uint32_t c = 0; c < kFeedChannels; ++c)
            out[written * kFeedChannels + c] = playing.before[c] + (playing.after[c] - playing.before[c]) * phase;
        playing.phase += playing.step;
        ++written;
    }
    return written;
}

// The track's levelling gain over the frames just written.
void ApplyGain(float gain, float* out, uint32_t frames) {
    if (gain == 1) return;
    for (uint32_t i = 0; i < frames * kFeedChannels; ++i) out[i] *= gain;
}

// The ring cannot fill: between two turns of the helper thread, which empties
// it before it hands more tracks over, the stream reports at most every track
// waiting and the one it played.
void Report(uint32_t spent, uint32_t next, uint32_t generation, float gain = 1) {
    const uint32_t tail = g_changeTail;
    if (tail - g_changeHead >= kChangeRing) return;
    g_changes[tail % kChangeRing] = FeedChange{spent, next, generation, gain};
    g_changeTail = tail + 1;
}

// Moves on to the next track handed over of this generation; stale ones go back to be freed.
bool TakeNext(Playing& playing, uint32_t generation) {
    const uint32_t spent = playing.track.channel;
    playing.track = FeedTrack{};
    for (;;) {
        const uint32_t head = g_queueHead;
        if (head == g_queueTail) {
            if (spent) Report(spent, kNoTrack, generation);
            return false;
        }
        const FeedTrack next = g_queue[head % kFeedQueue];
        const uint32_t nextGeneration = g_queueGeneration[head % kFeedQueue];
        g_queueHead = head + 1;
        if (nextGeneration != generation) {
            Report(next.channel, kNoTrack, nextGeneration);
            continue;
        }
        Take(playing, next);
        Report(spent, next.track, generation, next.gain);
        return true;
    }
}

__attribute__((force_align_arg_pointer)) BassDword __stdcall WriteFeed(BassDword, void* buffer, BassDword length,
                                                                       void* user) {
    g_writing = true;
    const uint32_t generation = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user));
    BassDword result = BASS_STREAMPROC_END;
    if (generation == g_generation) {
        BusyMark audio(g_audioWork);
        float* out = static_cast<float*>(buffer);
        const uint32_t frames = length / kFeedFrameBytes;
        uint32_t written = 0;
        bool moved = false;
        while (written < frames) {
            if (g_playing.track.channel) {
                const uint32_t want = frames - written;
                const uint32_t got = WriteTrack(g_playing, out + written * kFeedChannels, want);
                ApplyGain(g_playing.track.gain, out + written * kFeedChannels, got);
                written += got;
                if (got == want) break;
            }
            moved = true;
            if (!TakeNext(g_playing, generation)) break;
        }
        if (moved) WakeHelperThread();
        result = written * kFeedFrameBytes;
        if (written < frames && !g_playing.track.channel && g_lastQueued && g_queueHead == g_queueTail)
            result |= BASS_STREAMPROC_END;
    }
    g_writing = false;
    return result;
}

void FreeChannel(uint32_t channel) {
    if (channel) BASS_StreamFree(channel);
}

}  // namespace

uint32_t StartFeed(const FeedTrack& first) {
    StopFeed();
    const uint32_t generation = g_generation;
    g_rate = first.rate;
    Take(g_playing, first);
    g_lastQueued = false;
    BusyMark audio(g_audioWork);
    g_stream = BASS_StreamCreate(g_rate, kFeedChannels, kFeedFlags, WriteFeed,
                                 reinterpret_cast<void*>(static_cast<uintptr_t>(generation)));
    if (!g_stream) StopFeed();
    return g_stream;
}

void StopFeed(bool streamFreedElsewhere) {
    ++g_generation;
    BusyMark audio(g_audioWork);
    if (g_stream && !streamFreedElsewhere) BASS_StreamFree(g_stream);
    g_stream = 0;
    // The writing function may have begun before the generation changed.
    while (g_writing) Sleep(0);
    FreeChannel(g_playing.track.channel);
    g_playing = Playing{};
    for (uint32_t head = g_queueHead; head != g_queueTail; ++head) FreeChannel(g_queue[head % kFeedQueue].channel);
    g_queueHead = g_queueTail.load();
    FeedChange change;
    while (TakeFeedChange(change)) FreeChannel(change.spent);
}

uint32_t FeedStream() {
    return g_stream;
}

uint32_t FeedGeneration() {
    return g_generation;
}

size_t FeedTracksWaiting() {
    return g_queueTail - g_queueHead;
}

bool QueueFeedTrack(const FeedTrack& track) {
    const uint32_t tail = g_queueTail;
    if (tail - g_queueHead >= kFeedQueue) return false;
    g_queue[tail % kFeedQueue] = track;
    g_queueGeneration[tail % kFeedQueue] = g_generation;
    g_queueTail = tail + 1;
    return true;
}

bool TakeFeedChange(FeedChange& change) {
    const uint32_t head = g_changeHead;
    if (head == g_changeTail) return false;
    change = g_changes[head % kChangeRing];
    g_changeHead = head + 1;
    return true;
}

void EndFeed() {
    g_lastQueued = true;
}
