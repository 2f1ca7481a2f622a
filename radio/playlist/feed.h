// A playlist station's sound: one continuous user stream of the library whose
// writing function plays the tracks' decoding channels back to back, so that a
// track change is sample-exact and the station keeps one handle for volume,
// fade and mute. The helper thread opens the tracks ahead and frees the spent
// ones; the writing function, on the library's update thread, only reads them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "radio/playlist/mixdown.h"

constexpr uint32_t kNoTrack = UINT32_MAX;

// A track's decoding channel, opened at the place it plays from.
struct FeedTrack {
    uint32_t channel = 0;
    uint32_t chans = 0;
    uint32_t rate = 0;
    uint32_t track = kNoTrack;  // its place on the tape
    float gain = 1;             // levelling: every sample is multiplied by it
};

// What the writing function reports when a track ran out: the spent channel
// (0: none) and the track that now plays (kNoTrack: none was ready).
struct FeedChange {
    uint32_t spent = 0;
    uint32_t next = kNoTrack;
    uint32_t generation = 0;
    float gain = 1;  // the next track's
};

// Helper thread, for all of the following.

// Frees any stream there was with its channels, and makes a new one, stereo
// at the output's rate, or at the rate of the first track or leastRate when
// either is higher, playing first from where it stands; a new generation
// begins. Tracks of another rate are resampled, tracks of more channels mixed
// down. The stream's handle, not yet playing; 0 when it cannot be made.
uint32_t StartFeed(const FeedTrack& first, uint32_t leastRate = 0);

// Frees the stream and every channel it holds or waits with; the generation
// ends, so that a late report of it is told apart. When another opening has
// freed the stream already, its handle is only forgotten: the library may
// have given it to a new stream since.
void StopFeed(bool streamFreedElsewhere = false);

uint32_t FeedStream();
// Whether the stream and its channels are of the device open now: else the
// library freed them with the device, and they are only to be forgotten.
bool FeedOnDevice();
uint32_t FeedGeneration();

// Tracks handed over and not yet taken by the stream.
size_t FeedTracksWaiting();
// Hands the next track over; false when kFeedQueue tracks already wait.
bool QueueFeedTrack(const FeedTrack& track);
constexpr size_t kFeedQueue = 4;

// The tape places of the tracks handed over and not yet begun, oldest first.
size_t WaitingTracks(uint32_t (&tracks)[kFeedQueue]);
// Sets the gain of a track handed over: the one it plays at, if set before it begins.
void SetWaitingGain(uint32_t track, float gain);

// Takes the stream's oldest report; false when there is none.
bool TakeFeedChange(FeedChange& change);

// No track will follow the ones handed over: the stream ends after them.
void EndFeed();

