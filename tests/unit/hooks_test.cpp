#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <new>

#include "hud/banner.h"
#include "hud/name.h"
#include "module/tick.h"
#include "platform/bass.h"
#include "radio/common/stream.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

std::atomic<bool> g_countAllocations{false};
std::atomic<int> g_allocations{0};

// The playlist stream's writing function runs on the library's update
// thread: nothing allocated, also where a request spans track changes, and
// also while it resamples (the fake's tracks are 44.1 kHz).
TEST(Hooks, PlaylistStreamWritesWithoutAllocating) {
    constexpr uint32_t kTrackRate = 44100;
    for (const uint32_t outputRate : {kTrackRate, 48000u}) {
        ResetHostState();
        ResetModuleState();
        GameFolder folder;
        folder.WriteSettings("[TRACK1]\nplaylist = audio/streams/tape\n");
        constexpr uint32_t kTrackBytes = 8000;  // 1000 stereo float frames
        for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) folder.Write(std::string("audio/streams/tape/") + name, std::string(kTrackBytes, 'x'));
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);  // the test pulls
        FakeBass_SetOutputRate(outputRate);
        PutPlayerInCar();
        TuneTo(1);
        RadioTick();
        ASSERT_TRUE(RunQueuedThread());
        const uint32_t stream = g_stationStream;
        ASSERT_NE(stream, 0u);
        constexpr uint32_t kPull = 3000;
        uint32_t pulled = 0;
        g_allocations = 0;
        g_countAllocations = true;
        for (int i = 0; i < 9; ++i) pulled += FakeBass_Pull(stream, kPull);
        g_countAllocations = false;
        EXPECT_EQ(g_allocations.load(), 0) << outputRate;
        // The three tracks back to back, as long as they were together (one rate: as one file), then the wait for the next.
        const uint32_t tracksFrames = (3 * kTrackBytes / 8 * outputRate + kTrackRate - 1) / kTrackRate;
        EXPECT_EQ(pulled, tracksFrames * 8) << outputRate;
        ResetHostState();
    }
}

}  // namespace

// Counts the allocations made while a test asks for it. GCC takes the malloc
// inside for a mismatch with the free in operator delete; the pair is ours.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t size) {
    if (g_countAllocations) ++g_allocations;
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept {
    std::free(memory);
}

namespace {

TEST(Hooks, GameThreadHooksAllocateNothing) {
    ResetHostState();
    g_allocations = 0;
    g_countAllocations = true;
    for (int i = 0; i < 1000; ++i) {
        DrawBanner();
        ApplyNameColour();
    }
    g_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 0);
    // The counter itself works.
    g_countAllocations = true;
    int* volatile probe = new int(1);
    delete probe;
    g_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 1);
    ResetHostState();
}

// A name longer than the game's entry is cut on every audible tick.
TEST(Hooks, AudibleTicksAllocateNothingEvenWithALongName) {
    ResetHostState();
    ResetModuleState();
    GameFolder folder;
    folder.WriteSettings("[TRACK1]\nsource = a.wav\nname = " + std::string(300, 'n') + "\n");
    folder.Write("a.wav", "audio");
    PutPlayerInCar();
    TuneTo(1);
    RadioTick();
    ASSERT_TRUE(RunQueuedThread());
    RadioTick();
    g_allocations = 0;
    g_countAllocations = true;
    for (uint32_t clock = 0; clock < 1000; ++clock) {
        SetHost<uint32_t>(host::kClockMsAddr, clock);
        RadioTick();
    }
    g_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 0);
    EXPECT_EQ(std::string(Host().TextEntry()).size(), std::strlen(HOST_TEXT_ENTRY_INITIAL));
    ResetHostState();
}

}  // namespace
