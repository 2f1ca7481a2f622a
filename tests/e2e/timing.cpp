#include "tests/e2e/timing.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "platform/bass.h"
#include "tests/e2e/rig.h"

namespace {

constexpr uint32_t kRate = 8000;
constexpr uint32_t kBytesPerMs = kRate * 8 / 1000;  // stereo float
constexpr double kToleranceMs = 120;                 // the machine is shared
constexpr uint32_t kEndSync = BASS_SYNC_END;

std::atomic<double> g_syncAtMs{-1};
std::atomic<uint32_t> g_activeAtSync{99};
std::atomic<uint32_t> g_userBytesLeft{0};
std::atomic<bool> g_userEnds{true};

void __stdcall OnEnd(BassDword, BassDword channel, BassDword, void*) {
    g_activeAtSync = FakeBass_Active(channel);
    g_syncAtMs = NowMs();
}

// Writes silence until its length is written, then says its end if it is to.
BassDword __stdcall WriteSilence(BassDword, void* buffer, BassDword length, void*) {
    const uint32_t left = g_userBytesLeft;
    const uint32_t bytes = length < left ? length : left;
    std::memset(buffer, 0, bytes);
    g_userBytesLeft = left - bytes;
    return bytes == left && g_userEnds ? bytes | BASS_STREAMPROC_END : bytes;
}

}  // namespace

int CheckLibraryTiming() {
    PrepareGameFolder();
    const char* missing;
    if (BindAudioCalls(missing) != 0) {
        CHECK(false, std::string("the audio fake lacks ") + missing);
        return Failures();
    }
    BASS_Init(-1, kRate, 0, nullptr, nullptr);
    WriteWaveOfLength("audio/streams/second.wav", 1000, kRate);
    struct Case {
        bool user;         // a user stream, else a file stream
        uint32_t bufferMs;  // BASS_CONFIG_BUFFER when it is made
        bool mixtime;
        double syncMs;      // after play
        uint32_t activeAtSync;
    } const cases[] = {
        {false, 500, true, 500, 1}, {false, 200, true, 800, 1}, {false, 500, false, 1000, 0},
        {true, 500, true, 500, 1},  {true, 200, true, 800, 1},  {true, 500, false, 1000, 0},
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.user ? "user" : "file") + " stream, " + std::to_string(c.bufferMs) +
                                 " ms buffer, " + (c.mixtime ? "mixtime" : "heard") + " end sync: ";
        BASS_SetConfig(BASS_CONFIG_BUFFER, c.bufferMs);
        g_userBytesLeft = 1000 * kBytesPerMs;
        const BassDword stream = c.user ? BASS_StreamCreate(kRate, 2, BASS_SAMPLE_FLOAT, WriteSilence, nullptr)
                                        : BASS_StreamCreateFile(0, "audio/streams/second.wav", 0, 0, BASS_SAMPLE_FLOAT);
        BASS_SetConfig(BASS_CONFIG_BUFFER, 500);
        CHECK(FakeBass_BufferMs(stream) == c.bufferMs, what + "the buffer as it was when the stream was made");
        BASS_ChannelSetSync(stream, kEndSync | (c.mixtime ? BASS_SYNC_MIXTIME : 0), 0, OnEnd, nullptr);
        g_syncAtMs = -1;
        const double played = NowMs();
        BASS_ChannelPlay(stream, 0);
        double endedMs = -1;
        WaitFor([&] { return (endedMs = NowMs() - played, BASS_ChannelIsActive(stream) == 0); }, what + "the end");
        WaitFor([] { return g_syncAtMs >= 0; }, what + "the sync");
        const double syncMs = g_syncAtMs - played;
        CHECK(syncMs > c.syncMs - kToleranceMs && syncMs < c.syncMs + kToleranceMs,
              what + "synced " + std::to_string(syncMs) + " ms after play, expected " + std::to_string(c.syncMs));
        CHECK(g_activeAtSync == c.activeAtSync, what + "state " + std::to_string(g_activeAtSync) + " at the sync");
        CHECK(endedMs > 1000 - kToleranceMs && endedMs < 1000 + kToleranceMs,
              what + "stopped " + std::to_string(endedMs) + " ms after play, when its end is heard");
        BASS_StreamFree(stream);
    }

    // Stop cuts at once, the buffer with it; a user stream whose buffer runs dry stalls.
    g_userBytesLeft = 0xFFFFFFFFu;
    const BassDword endless = BASS_StreamCreate(kRate, 2, BASS_SAMPLE_FLOAT, WriteSilence, nullptr);
    BASS_ChannelPlay(endless, 0);
    Sleep(200);
    BASS_ChannelStop(endless);
    CHECK(BASS_ChannelIsActive(endless) == 0, "stopped at once");
    g_userBytesLeft = 100 * kBytesPerMs;
    g_userEnds = false;  // then nothing more, without an end
    const BassDword stalls = BASS_StreamCreate(kRate, 2, BASS_SAMPLE_FLOAT, WriteSilence, nullptr);
    BASS_ChannelPlay(stalls, 0);
    WaitFor([&] { return BASS_ChannelIsActive(stalls) == 2; }, "a starved user stream stalled");
    return Failures();
}
