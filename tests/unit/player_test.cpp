#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "module/logevents.h"
#include "platform/bass.h"
#include "platform/files.h"
#include "platform/runlog.h"
#include "radio/player.h"
#include "settings/settings.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

constexpr uint64_t kBytesPerSecond = FAKEBASS_BYTES_PER_SECOND;
constexpr uint32_t kFileFlags = 0x20104;  // loop + float + prescan
constexpr uint32_t kUrlFlags = 0x940010;  // software + autofree + block + status

class Player : public ModuleTest {
protected:
    void SetUp() override {
        ModuleTest::SetUp();
        SetWait(0);
        folder.Write("music.mp3", "x");
        CreateDirectoryA("albums", nullptr);
    }
    void TearDown() override {
        SetWait(0);
        ModuleTest::TearDown();
    }

    static void SetClock(uint32_t ms) { SetHost<uint32_t>(host::kClockMsAddr, ms); }

    // The wait lives in the game's code page, which is execute-read.
    static void SetWait(int16_t ms) { Host().WriteCode(host::kOpenWaitAddr, &ms, sizeof ms); }

    static int32_t Record() { return GetLongValue("POSITION", "seconds", INT32_MIN); }

    // A stream the previous station left behind, already stopped.
    static uint32_t StoppedStream() {
        const uint32_t stream = BASS_StreamCreateFile(kBassFalse, "music.mp3", 0, 0, BASS_SAMPLE_LOOP);
        g_stationStream = stream;
        return stream;
    }
};

std::vector<BassCall> CallsFrom(size_t from) {
    const auto calls = BassCalls();
    return std::vector<BassCall>(calls.begin() + static_cast<std::ptrdiff_t>(from), calls.end());
}

// The call's function, the handle it is about and its first 32-bit arguments.
void ExpectCall(const BassCall& call, int fn, uint32_t handle, std::initializer_list<uint32_t> args = {}) {
    EXPECT_EQ(call.fn, fn);
    EXPECT_EQ(call.handle, handle) << fn;
    size_t i = 0;
    for (uint32_t arg : args) EXPECT_EQ(call.args[i++], arg) << fn << " argument " << i;
}

struct OffsetCase {
    const char* position;  // POSITION section text, empty for none
    int32_t firstOffset;
    int32_t firstRecord;
    int32_t secondOffset;
    int32_t secondRecord;
};

TEST_F(Player, OffsetIsReadUntilItHoldsAValueWithinTheLimit) {
    // First call at 5 s on the clock, second at 9 s.
    const OffsetCase cases[] = {
        {"[POSITION]\nseconds = 16384\n", 16384, 16389, 16384, 16393},
        {"[POSITION]\nseconds = 16385\n", 0, 5, 5, 14},  // too large: the next call reads the record
        {"[POSITION]\nseconds = -50\n", -50, -45, -50, -41},
        {"[POSITION]\nseconds = soon\n", 0, 5, 5, 14},
        {"", 0, 5, 5, 14},
    };
    for (const OffsetCase& c : cases) {
        ResetModuleState();
        UseSettings(c.position);
        SetClock(5000);
        StartStation(1);
        EXPECT_EQ(g_startOffset.load(), c.firstOffset) << c.position;
        EXPECT_EQ(Record(), c.firstRecord) << c.position;
        SetClock(9000);
        StartStation(1);
        EXPECT_EQ(g_startOffset.load(), c.secondOffset) << c.position;
        EXPECT_EQ(Record(), c.secondRecord) << c.position;
    }
}

struct RecordCase {
    uint32_t clockMs;
    const char* stored;
    int32_t record;
};

TEST_F(Player, RecordIsWholeClockSecondsPlusOffset) {
    const RecordCase cases[] = {
        {1999, "0", 1},
        {0xFFFFFFFF, "0", 4294967},  // the clock is unsigned: never negative
        {0x80000000, "0", 2147483},
        {1000, "-50", -49},
        {0xFFFFFFFF, "16384", 4311351},
    };
    for (const RecordCase& c : cases) {
        ResetModuleState();
        UseSettings(std::string("[POSITION]\nseconds = ") + c.stored + "\n");
        SetClock(c.clockMs);
        StartStation(2);
        EXPECT_EQ(Record(), c.record) << c.clockMs << " " << c.stored;
    }
}

struct SourceCase {
    const char* source;
    int fn;  // the open the thread makes; 0 when nothing starts
};

TEST_F(Player, SourceDecidesWhichOpeningStarts) {
    folder.Write("http:music.mp3", "x");
    const SourceCase cases[] = {
        {"music.mp3", BF_STREAM_CREATE_FILE},
        {"albums", BF_STREAM_CREATE_FILE},  // a folder passes the file test
        {"http://host:8000/x", BF_STREAM_CREATE_URL},
        {"http:music.mp3", BF_STREAM_CREATE_FILE},  // both a file and http: the file only
        {"https://host/x", BF_STREAM_CREATE_URL},
        {"HTTPS://host/x", BF_STREAM_CREATE_URL},
        {"HTTP://host/x", BF_STREAM_CREATE_URL},
        {"Http://host/x", BF_STREAM_CREATE_URL},
        {"httpx://host/x", 0},
        {"missing.mp3", 0},
        {nullptr, 0},
    };
    for (const SourceCase& c : cases) {
        ResetModuleState();
        const std::string source = c.source ? c.source : "";
        UseSettings(c.source ? "[TRACK7]\nsource = " + source + "\n" : "[TRACK7]\nname = x\n");
        StartStation(7);
        EXPECT_EQ(g_sourcePath, source);
        EXPECT_EQ(QueuedThreadCount(), c.fn ? 1 : 0) << source;
        EXPECT_EQ(g_streamStarting.load(), c.fn != 0) << source;
        while (RunQueuedThread()) {}
        const auto files = BassCallsOf(BF_STREAM_CREATE_FILE);
        const auto urls = BassCallsOf(BF_STREAM_CREATE_URL);
        EXPECT_EQ(files.size(), c.fn == BF_STREAM_CREATE_FILE ? 1u : 0u) << source;
        EXPECT_EQ(urls.size(), c.fn == BF_STREAM_CREATE_URL ? 1u : 0u) << source;
        for (const auto& open : {files, urls})
            for (const BassCall& call : open) EXPECT_EQ(std::string(call.text), source);
        EXPECT_FALSE(g_streamStarting.load()) << source;
    }
}

// A library without SSL is named once per station; a mirror of http still plays.
TEST_F(Player, LibraryWithoutSslIsNamedOncePerStation) {
    FakeNet_NoSsl(1);
    OpenRunLog();
    UseSettings("[TRACK5]\nsource = https://host/x\nmirrors = http://host/y\n[TRACK6]\nsource = HTTPS://host/z\n");
    for (const int8_t station : {5, 5, 6}) {
        BASS_ChannelStop(g_stationStream);
        StartStation(station);
        while (RunQueuedThread()) {}
    }
    CloseRunLog();
    std::string log;
    ASSERT_TRUE(ReadWholeFile("audio/streams/zorve.log", log));
    const auto count = [&](const std::string& line) {
        size_t found = 0;
        for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++found;
        return found;
    };
    const char kNoSsl[] = ": this bass.dll cannot open https addresses (error 10); a current 2.4 release of the library can";
    EXPECT_EQ(count(std::string("station 5") + kNoSsl), 1u) << log;
    EXPECT_EQ(count(std::string("station 6") + kNoSsl), 1u) << log;
    EXPECT_EQ(count("station start: internet stream http://host/y playing"), 2u) << log;
    EXPECT_EQ(count("station start: internet stream HTTPS://host/z not played"), 1u) << log;
}

TEST_F(Player, PlayingOrOpeningStreamOnlyRewritesTheRecord) {
    UseSettings("[POSITION]\nseconds = 1000\n[TRACK3]\nsource = music.mp3\n");
    const uint32_t stream = StoppedStream();
    // Stalled and paused streams do not hold off a start; only playing does.
    const uint32_t states[] = {1, 2, 3, 0};
    for (uint32_t state : states) {
        ResetQueuedThreads();
        g_streamStarting = false;
        g_sourcePath.clear();
        FakeBass_SetActive(stream, state);
        SetClock(7000 + state * 1000);
        const size_t mark = BassCalls().size();
        StartStation(3);
        const auto calls = CallsFrom(mark);
        ASSERT_EQ(calls.size(), 1u) << state;
        EXPECT_EQ(calls[0].fn, BF_IS_ACTIVE);
        EXPECT_EQ(calls[0].handle, stream);
        EXPECT_EQ(QueuedThreadCount(), state == 1 ? 0 : 1) << state;
        EXPECT_EQ(g_sourcePath, state == 1 ? "" : "music.mp3") << state;
        EXPECT_EQ(Record(), static_cast<int32_t>(1007 + state)) << state;
    }

    // The flag set by an opening holds off a second one.
    FakeBass_SetActive(stream, 0);
    ResetQueuedThreads();
    g_streamStarting = true;
    StartStation(3);
    EXPECT_EQ(QueuedThreadCount(), 0);
}

TEST_F(Player, OpeningFlagRisesBeforeTheThreadAndFallsIfItCannotStart) {
    UseSettings("[TRACK4]\nsource = music.mp3\n[TRACK5]\nsource = http://host/live\n");
    StartStation(4);
    EXPECT_TRUE(g_streamStarting.load());
    EXPECT_EQ(QueuedThreadCount(), 1);
    EXPECT_TRUE(BassCallsOf(BF_STREAM_CREATE_FILE).empty());  // the thread has not run yet
    StartStation(5);
    EXPECT_EQ(QueuedThreadCount(), 1);
    ASSERT_TRUE(RunQueuedThread());
    EXPECT_FALSE(g_streamStarting.load());

    for (int station : {4, 5}) {
        FailThreadStarts(true);
        g_stationStream = 0;
        StartStation(static_cast<int8_t>(station));
        EXPECT_FALSE(g_streamStarting.load()) << station;
        EXPECT_EQ(QueuedThreadCount(), 0) << station;
        // Nothing is left in the way of the next try.
        FailThreadStarts(false);
        StartStation(static_cast<int8_t>(station));
        EXPECT_TRUE(g_streamStarting.load()) << station;
        ASSERT_TRUE(RunQueuedThread());
        EXPECT_FALSE(g_streamStarting.load()) << station;
    }
}

TEST_F(Player, FileThreadOpensAndPlaysAtTheLiveBroadcastPosition) {
    UseSettings("[POSITION]\nseconds = 100\n[TRACK3]\nsource = music.mp3\n");
    FakeBass_SetStreamLength(600 * kBytesPerSecond);  // the placeholder file is one byte
    const uint32_t old = StoppedStream();
    SetClock(1000);
    StartStation(3);
    // The position is taken when the thread has opened the file, not at the start.
    SetClock(3725500);
    const size_t mark = BassCalls().size();
    ASSERT_TRUE(RunQueuedThread());

    const auto calls = CallsFrom(mark);
    ASSERT_GE(calls.size(), 6u);
    const uint32_t stream = static_cast<uint32_t>(calls[1].result);
    // Then only the tags are asked for, for the title.
    for (size_t i = 6; i < calls.size(); ++i) ExpectCall(calls[i], BF_GET_TAGS, stream);
    ASSERT_NE(stream, 0u);
    ExpectCall(calls[0], BF_STREAM_FREE, old);
    ExpectCall(calls[1], BF_STREAM_CREATE_FILE, 0, {0, kFileFlags});  // not from memory
    EXPECT_STREQ(calls[1].text, "music.mp3");
    EXPECT_EQ(calls[1].qwords[0], 0u);
    EXPECT_EQ(calls[1].qwords[1], 0u);
    ExpectCall(calls[2], BF_SECONDS_TO_BYTES, stream);
    EXPECT_EQ(calls[2].seconds, 3825.5);
    ExpectCall(calls[3], BF_GET_LENGTH, stream, {BASS_POS_BYTE});
    ExpectCall(calls[4], BF_SET_POSITION, stream, {BASS_POS_BYTE});
    EXPECT_EQ(calls[4].qwords[0], 2255 * kBytesPerSecond / 10);  // 600 s file, 225.5 s in
    ExpectCall(calls[5], BF_PLAY, stream, {0});                    // no restart

    EXPECT_EQ(g_stationStream.load(), stream);
    EXPECT_EQ(FakeBass_Active(stream), 1u);
    EXPECT_EQ(FakeBass_Active(old), 0u);
    EXPECT_FALSE(g_streamStarting.load());
}

struct LiveCase {
    const char* source;
    uint32_t clockMs;
    const char* stored;
    uint64_t length;  // bytes; the fake answers every length call with it
    double seconds;
};

TEST_F(Player, LivePositionIsBroadcastTimeModuloTheLength) {
    const LiveCase cases[] = {
        {"music.mp3", 3725500, "100", 600 * kBytesPerSecond, 3825.5},
        {"music.mp3", 0xFFFFFFFF, "0", 600 * kBytesPerSecond, 4294967.295},  // unsigned clock
        {"music.mp3", 0x80000000, "16384", 7 * kBytesPerSecond + 8, 2163867.648},
        {"music.mp3", 5000, "-50", 600 * kBytesPerSecond, -45.0},
        {"music.mp3", 3725500, "100", 0, 3825.5},             // empty file: from the start
        {"music.mp3", 3725500, "100", ~uint64_t{0}, 3825.5},  // unknown length: from the start
        {"albums", 3725500, "100", 600 * kBytesPerSecond, 3825.5},  // a folder does not open
    };
    for (const LiveCase& c : cases) {
        ResetModuleState();
        FakeBass_SetStreamLength(c.length);
        UseSettings(std::string("[POSITION]\nseconds = ") + c.stored + "\n[TRACK1]\nsource = " + c.source + "\n");
        g_stationStream = 0x10000999;  // stale: freed in vain, then replaced
        SetClock(c.clockMs);
        StartStation(1);
        ASSERT_TRUE(RunQueuedThread());
        const auto opens = BassCallsOf(BF_STREAM_CREATE_FILE);
        const auto toBytes = BassCallsOf(BF_SECONDS_TO_BYTES);
        const auto positions = BassCallsOf(BF_SET_POSITION);
        ASSERT_EQ(opens.size(), 1u);
        ASSERT_EQ(toBytes.size(), 1u);
        EXPECT_EQ(g_stationStream.load(), opens[0].result) << c.source;
        EXPECT_EQ(toBytes[0].handle, opens[0].result);
        ASSERT_EQ(positions.size(), 1u);
        EXPECT_DOUBLE_EQ(toBytes[0].seconds, c.seconds) << c.clockMs;
        const uint64_t bytes = toBytes[0].result;
        const bool known = c.length != 0 && c.length != ~uint64_t{0} && bytes != ~uint64_t{0};
        EXPECT_EQ(positions[0].qwords[0], known ? bytes % c.length : 0u) << c.clockMs;
        EXPECT_EQ(BassCallsOf(BF_PLAY).size(), 1u);
    }
}

TEST_F(Player, UrlThreadConfiguresTheLibraryThenOpensAndPlays) {
    UseSettings("[POSITION]\nseconds = 100\n[TRACK6]\nsource = http://host:8000/x\n");
    const uint32_t old = StoppedStream();
    StartStation(6);
    const size_t mark = BassCalls().size();
    ASSERT_TRUE(RunQueuedThread());

    const auto calls = CallsFrom(mark);
    // Then the stream is watched for its end and its titles.
    ASSERT_GE(calls.size(), 7u);
    const uint32_t stream = static_cast<uint32_t>(calls[3].result);
    ASSERT_NE(stream, 0u);
    ExpectCall(calls[0], BF_STREAM_FREE, old);
    ExpectCall(calls[1], BF_SET_CONFIG, 0, {21, 1});  // playlists followed
    ExpectCall(calls[2], BF_SET_CONFIG, 0, {15, 0});  // no prebuffering
    ExpectCall(calls[3], BF_STREAM_CREATE_URL, 0, {0, kUrlFlags, 0, 0});
    EXPECT_STREQ(calls[3].text, "http://host:8000/x");
    // Its own playback buffering, 160 ms; the global option, which every stream made later takes, is left alone.
    ExpectCall(calls[4], BF_SET_ATTRIBUTE, stream, {13});
    EXPECT_FLOAT_EQ(calls[4].value, 0.16f);
    ExpectCall(calls[5], BF_PLAY, stream, {0});
    ExpectCall(calls[6], BF_SET_SYNC, stream, {0x40000002});  // BASS_SYNC_END, mixtime
    EXPECT_EQ(g_stationStream.load(), stream);
    EXPECT_FALSE(g_streamStarting.load());
}

// Runs the queued opening on a thread of its own and waits for its flag to
// fall; the time it took, or -1 when it was still waiting after `limitMs`.
int64_t RunOpeningTimed(uint32_t limitMs) {
    const ULONGLONG started = GetTickCount64();
    if (!RunQueuedThreadDetached()) return -1;
    while (g_streamStarting) {
        if (GetTickCount64() - started > limitMs) return -1;
        Sleep(1);
    }
    return static_cast<int64_t>(GetTickCount64() - started);
}

TEST_F(Player, FileOpensAfterTheGamesWaitAndNeverWaitsLongOnANegativeOne) {
    UseSettings("[TRACK1]\nsource = music.mp3\n");
    const int16_t waits[] = {-1, INT16_MIN, 0, 60};
    for (int16_t wait : waits) {
        ResetModuleState();
        SetWait(wait);
        StartStation(1);
        const int64_t took = RunOpeningTimed(5000);
        ASSERT_GE(took, 0) << wait;
        if (wait > 0) {
            EXPECT_GE(took, wait - 20) << wait;  // allows for the timer's granularity
        }
        EXPECT_EQ(BassCallsOf(BF_PLAY).size(), 1u) << wait;
    }
}

}  // namespace
