// The playlist station's continuous stream and its writing function.
#include "radio/playlist/feed.h"

#include <windows.h>

#include <atomic>
#include <cmath>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/threads.h"
#include "radio/common/creation.h"
#include "radio/common/output.h"
#include "radio/playlist/join.h"
#include "radio/playlist/resample.h"

namespace {

constexpr uint32_t kFeedChannels = 2;
constexpr uint32_t kSampleBytes = sizeof(float);
constexpr uint32_t kFeedFrameBytes = kFeedChannels * kSampleBytes;
constexpr BassDword kFeedFlags = BASS_SAMPLE_FLOAT;
// Source frames read at a time; the buffer is the module's own, never allocated in the writing function.
constexpr uint32_t kScratchFrames = 4096;
constexpr size_t kChangeRing = 16;
constexpr uint32_t kUnknownOutputRate = 44100;
// Frames read ahead of a next track beyond the filter's reach: the cubic's neighbours.
constexpr uint32_t kLeadBeyond = 4;
static_assert(kChangeRing > kFeedQueue + 1, "room for every report between two turns of the helper thread");

// Handed from the helper thread to the writing function: single producer,
// single consumer, each index written by one side only.
FeedTrack g_queue[kFeedQueue];
uint32_t g_queueGeneration[kFeedQueue];
// A waiting track's gain, which the helper thread may set until the track begins.
std::atomic<float> g_queueGain[kFeedQueue];
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
// OutputOpenings() when the stream was made: a device opened afresh since has
// freed it and its channels (BASS_Free), and their numbers may be new ones'.
uint32_t g_streamDevice = 0;  // helper thread

// The writing function's own state; the helper thread sets it only while no
// stream of it can be written.
struct Playing {
    FeedTrack track;
    uint32_t frameBytes = 0;
    bool resampled = false;  // through g_resampler, its rate not the stream's
    // Whether the track's last read found its end: -1, which is BASS_ERROR_ENDED
    // or a channel that is gone. Less than asked is no end (page
    // BASS_ChannelGetData: a decoding channel may wait for data, a slow disk).
    bool ended = false;
};
Playing g_playing;
Resampler g_resampler;
uint32_t g_rate = 0;
// Where the stream's next frame falls past the end of the track last played
// through the resampler, in seconds: a track resampled after it starts there,
// so that the frames keep their even spacing across the change.
double g_gridAhead = 0;
float g_scratch[kScratchFrames * kMaxTrackChannels];

// The track's levelling gain over frames stereo frames, as they are read:
// a resampled join then gives each side its own track's gain.
void ApplyGain(float gain, float* frames, uint32_t count) {
    if (gain == 1) return;
    for (uint32_t i = 0; i < count * kFeedChannels; ++i) frames[i] *= gain;
}

// With carried, the track goes on in the resampler's state where the last
// ended, as if the two were one file. Else a resampled track's filter reads
// back into the last frames of the track before (join.h), and its first
// frames are those read ahead of it, if any.
void Take(Playing& playing, const FeedTrack& track, bool carried = false) {
    playing.track = track;
    playing.frameBytes = track.chans * kSampleBytes;
    playing.resampled = track.rate != g_rate;
    if (!carried) {
        const uint32_t before = JoinTrackRate();
        if (playing.resampled) {
            StartResampling(g_resampler, track.rate, g_rate, g_gridAhead * track.rate);
            uint32_t prepad;
            float* frames = ResamplePrepad(g_resampler, prepad);
            if (before) WriteJoinBefore(frames, prepad, static_cast<double>(before) / track.rate);
        }
        StartJoinTrack(track.rate);
        if (playing.resampled) {
            float* input = ResampleInput(g_resampler);
            const uint32_t led = TakeJoinLead(input, ResampleRoom(g_resampler));
            NoteJoinFrames(input, led);
            ResampleAdded(g_resampler, led);
        }
    }
    g_gridAhead = 0;
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
bool TakeNext(Playing& playing, uint32_t generation, bool carried = false) {
    const uint32_t spent = playing.track.channel;
    playing = Playing{};
    for (;;) {
        const uint32_t head = g_queueHead;
        if (head == g_queueTail) {
            if (spent) Report(spent, kNoTrack, generation);
            return false;
        }
        FeedTrack next = g_queue[head % kFeedQueue];
        next.gain = g_queueGain[head % kFeedQueue];
        const uint32_t nextGeneration = g_queueGeneration[head % kFeedQueue];
        g_queueHead = head + 1;
        if (nextGeneration != generation) {
            Report(next.channel, kNoTrack, nextGeneration);
            continue;
        }
        Take(playing, next, carried);
        Report(spent, next.track, generation, next.gain);
        return true;
    }
}

// A resampled track that ended goes on into the next when that is of the same
// rate: the filter reads across the join as within one file, and nothing is
// padded. The next must be of this generation and waiting already.
bool JoinNext(Playing& playing, uint32_t generation) {
    const uint32_t head = g_queueHead;
    if (head == g_queueTail || g_queueGeneration[head % kFeedQueue] != generation ||
        g_queue[head % kFeedQueue].rate != playing.track.rate)
        return false;
    TakeNext(playing, generation, true);
    WakeHelperThread();
    return true;
}

// Reads the next track's first frames ahead, up to frames of them, fewer
// when it ends or gives nothing now.
void ReadLead(const FeedTrack& next, uint32_t frames) {
    const uint32_t frameBytes = next.chans * kSampleBytes;
    for (;;) {
        uint32_t room;
        float* input = JoinLeadInput(room);
        const uint32_t have = kJoinLead - room;
        if (have >= frames || room == 0) return;
        uint32_t want = frames - have < room ? frames - have : room;
        if (want > kScratchFrames) want = kScratchFrames;
        const BassDword got = BASS_ChannelGetData(next.channel, g_scratch, want * frameBytes);
        if (got == kBassErrorDword || got < frameBytes) return;
        const uint32_t count = got / frameBytes;
        MixToStereo(g_scratch, next.chans, count, input);
        ApplyGain(next.gain, input, count);
        JoinLeadAdded(count);
    }
}

// A resampled track that ended before one of another rate: its filter's
// reach past the end is the next track's first frames, read ahead and
// carried to this track's rate, not silence. With no next track waiting the
// reach is silence: the stream ends or waits there.
void PadWithNext(const Playing& playing, uint32_t generation) {
    const uint32_t head = g_queueHead;
    if (head == g_queueTail || g_queueGeneration[head % kFeedQueue] != generation) return;
    const FeedTrack& next = g_queue[head % kFeedQueue];
    const double step = static_cast<double>(next.rate) / playing.track.rate;
    const uint32_t pad = ResampleReach(g_resampler) + 1;
    ReadLead(next, static_cast<uint32_t>(std::ceil(pad * step)) + kLeadBeyond);
    const uint32_t room = ResampleRoom(g_resampler);
    const uint32_t count = pad < room ? pad : room;
    WriteJoinAfter(ResampleInput(g_resampler), count, step);
    ResampleAdded(g_resampler, count);
}

// Reads up to frames source frames of the track into the scratch buffer; the frames read.
// The one place that decides a track's end, for both ways of writing it.
uint32_t ReadSource(Playing& playing, uint32_t frames) {
    const BassDword got = BASS_ChannelGetData(playing.track.channel, g_scratch, frames * playing.frameBytes);
    playing.ended = got == kBassErrorDword;
    return playing.ended ? 0 : got / playing.frameBytes;
}

// Writes up to frames stereo frames of the track at the stream's rate; fewer
// when it ended or its reads came short. A resampled track may go on into the
// next of its rate (JoinNext).
uint32_t WriteTrack(Playing& playing, float* out, uint32_t frames, uint32_t generation) {
    const uint32_t chans = playing.track.chans;
    uint32_t written = 0;
    if (!playing.resampled) {
        while (written < frames) {
            float* to = out + written * kFeedChannels;
            const uint32_t led = TakeJoinLead(to, frames - written);
            if (led) {
                NoteJoinFrames(to, led);
                written += led;
                continue;
            }
            const uint32_t want = frames - written < kScratchFrames ? frames - written : kScratchFrames;
            const uint32_t got = ReadSource(playing, want);
            MixToStereo(g_scratch, chans, got, to);
            ApplyGain(playing.track.gain, to, got);
            NoteJoinFrames(to, got);
            written += got;
            if (got < want) break;
        }
        return written;
    }
    bool cameShort = false;
    while (written < frames) {
        written += Resample(g_resampler, out + written * kFeedChannels, frames - written);
        if (ResampleDone(g_resampler)) {
            g_gridAhead = ResampleOverrun(g_resampler) / playing.track.rate;
            break;
        }
        if (written == frames || cameShort) break;
        const uint32_t room = ResampleRoom(g_resampler);
        const uint32_t want = room < kScratchFrames ? room : kScratchFrames;
        const uint32_t got = ReadSource(playing, want);
        float* input = ResampleInput(g_resampler);
        MixToStereo(g_scratch, playing.track.chans, got, input);
        ApplyGain(playing.track.gain, input, got);
        NoteJoinFrames(input, got);
        ResampleAdded(g_resampler, got);
        if (!playing.ended) {
            cameShort = got < want;
        } else if (!JoinNext(playing, generation)) {
            ResampleEnded(g_resampler);
            PadWithNext(playing, generation);
        }
    }
    return written;
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
                const uint32_t got = WriteTrack(g_playing, out + written * kFeedChannels, want, generation);
                written += got;
                if (got == want) break;
                // A short read: read on while it gives; what there is goes out, the rest comes later.
                if (!g_playing.ended) {
                    if (got > 0) continue;
                    break;
                }
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

// The output's rate, or the tracks' when theirs is higher: a track is never
// played below its own rate. An output that gives no rate (0: older
// libraries, some drivers) counts as kUnknownOutputRate, so that a first
// track of a low rate does not hold every later one down to it.
uint32_t StreamRate(uint32_t tracksRate) {
    BassInfo info{};
    BusyMark audio(g_audioWork);
    uint32_t output = BASS_GetInfo(&info) ? info.freq : 0;
    if (output == 0) output = kUnknownOutputRate;
    return output > tracksRate ? output : tracksRate;
}

void FreeChannel(uint32_t channel) {
    if (channel && FeedOnDevice()) BASS_StreamFree(channel);
}

}  // namespace

uint32_t StartFeed(const FeedTrack& first, uint32_t leastRate) {
    StopFeed();
    const uint32_t generation = g_generation;
    g_rate = StreamRate(first.rate > leastRate ? first.rate : leastRate);
    g_gridAhead = 0;
    ForgetJoin();
    PrepareResampling();
    Take(g_playing, first);
    g_lastQueued = false;
    BusyMark audio(g_audioWork);
    g_streamDevice = OutputOpenings();
    {
        StreamCreationLock creation;
        g_stream = BASS_StreamCreate(g_rate, kFeedChannels, kFeedFlags, WriteFeed,
                                     reinterpret_cast<void*>(static_cast<uintptr_t>(generation)));
    }
    if (!g_stream) StopFeed();
    return g_stream;
}

void StopFeed(bool streamFreedElsewhere) {
    ++g_generation;
    BusyMark audio(g_audioWork);
    if (g_stream && !streamFreedElsewhere && FeedOnDevice()) BASS_StreamFree(g_stream);
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

bool FeedOnDevice() {
    return g_streamDevice == OutputOpenings();
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
    g_queueGain[tail % kFeedQueue] = track.gain;
    g_queueTail = tail + 1;
    return true;
}

size_t WaitingTracks(uint32_t (&tracks)[kFeedQueue]) {
    size_t count = 0;
    for (uint32_t at = g_queueHead; at != g_queueTail; ++at)
        if (g_queueGeneration[at % kFeedQueue] == g_generation) tracks[count++] = g_queue[at % kFeedQueue].track;
    return count;
}

void SetWaitingGain(uint32_t track, float gain) {
    // A track the writing function takes meanwhile keeps the gain it began with.
    for (uint32_t at = g_queueHead; at != g_queueTail; ++at)
        if (g_queueGeneration[at % kFeedQueue] == g_generation && g_queue[at % kFeedQueue].track == track)
            g_queueGain[at % kFeedQueue] = gain;
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
