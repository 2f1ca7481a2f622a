// Where a broadcast time falls on a playlist's tape, and which tracks a
// playlist gives in which order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "module/tick.h"
#include "platform/bass.h"
#include "radio/common/stream.h"
#include "radio/playlist/playlist.h"
#include "radio/playlist/tracklist.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

TEST(Tape, BroadcastTimeSelectsTrackAndPosition) {
    const std::vector<double> four = {10, 20, 0, 30};  // the third plays nothing
    struct Case {
        std::vector<double> lengths;
        double seconds;
        bool found;
        size_t track;
        double within;
    } const cases[] = {
        {four, 0, true, 0, 0},         {four, 9.5, true, 0, 9.5},      {four, 10, true, 1, 0},
        {four, 29.999, true, 1, 19.999}, {four, 30, true, 3, 0},       {four, 59.5, true, 3, 29.5},
        {four, 60, true, 0, 0},        {four, 60 * 1000 + 15, true, 1, 5}, {four, -5, true, 3, 25},
        {{0, 7}, 3, true, 1, 3},       {{0, 0}, 3, false, 0, 0},       {{}, 3, false, 0, 0},
    };
    for (const Case& c : cases) {
        size_t track = 99;
        double within = -1;
        ASSERT_EQ(LocateOnTape(c.lengths, c.seconds, track, within), c.found) << c.seconds;
        if (!c.found) continue;
        EXPECT_EQ(track, c.track) << c.seconds;
        EXPECT_NEAR(within, c.within, 1e-9) << c.seconds;
    }
}

std::vector<std::string> Names(const TrackList& list) {
    std::vector<std::string> names;
    for (const TrackFile& track : list.tracks) names.push_back(track.name);
    return names;
}

using TrackLists = ModuleTest;

TEST_F(TrackLists, FolderInNameOrderAndPlaylistFileInItsOwn) {
    for (const char* name : {"b.MP3", "A.ogg", "c.wav", "cover.jpg", "notes.txt"}) folder.Write("rock/" + std::string(name), "x");
    folder.Write("rock/sub/d.mp3", "x");
    EXPECT_EQ(Names(ReadTrackList("rock", false, 2)), (std::vector<std::string>{"A.ogg", "b.MP3", "c.wav"}));

    folder.Write("lists/mix.m3u8", "\xEF\xBB\xBF#EXTM3U\r\n\r\n#EXTINF:1,x\r\n../rock/c.wav\r\n"
                                   "http://radio.example/x.mp3\r\n  caf\xC3\xA9.mp3  \r\n" + std::string(300, 'l') + ".mp3\r\n");
    folder.Write("lists/caf\xC3\xA9.mp3", "x");
    const TrackList list = ReadTrackList("lists/mix.m3u8", false, 2);
    EXPECT_EQ(list.fault, TrackListFault::kNone);
    ASSERT_EQ(Names(list), (std::vector<std::string>{"../rock/c.wav", "caf\xC3\xA9.mp3"}));
    EXPECT_TRUE(std::filesystem::exists(list.tracks[1].path));
    ASSERT_EQ(list.skipped.size(), 2u);
    EXPECT_EQ(list.skipped[0].name, "http://radio.example/x.mp3");

    EXPECT_EQ(ReadTrackList("nowhere", false, 2).fault, TrackListFault::kMissing);
    EXPECT_EQ(ReadTrackList("rock/A.ogg", false, 2).fault, TrackListFault::kUnreadable);
}

// Playlists as players' tools save them: the tracks each gives and the lines it leaves out.
TEST_F(TrackLists, ListTextAsToolsWriteIt) {
    folder.Write("lists/caf\xC3\xA9.mp3", "x");
    const std::string utf16 = std::string("\xFF\xFE") + std::string("c\0a\0f\0\xE9\0.\0m\0p\0\x33\0\n\0", 18);
    const struct {
        const char* name;
        std::string content;
        std::vector<std::string> tracks;
        std::vector<std::string> skipped;  // the start of each reason
    } cases[] = {
        {"ansi.m3u", "caf\xE9.mp3\r\n", {"caf\xC3\xA9.mp3"}, {}},
        {"utf8.m3u", "caf\xC3\xA9.mp3\r\n", {"caf\xC3\xA9.mp3"}, {}},
        {"wide.m3u", utf16, {"caf\xC3\xA9.mp3"}, {}},
        {"mixed.m3u8", "caf\xE9.mp3\r\ncaf\xC3\xA9.mp3\r\n", {"caf\xC3\xA9.mp3"}, {"not UTF-8"}},
        {"devices.m3u", "CON\r\nnul.mp3\r\nsub/Com1.wav\r\n\\\\.\\pipe\\x\r\nconsole.mp3\r\n", {"console.mp3"},
         {"a device", "a device", "a device", "a device"}},
        {"binary.m3u", std::string("\x89PNG\0\x1A\n\xFF\xD8\n", 10), {"\xC3\xBF\xC3\x98"}, {"it holds a NUL"}},
        {"zero.m3u8", std::string("a\0b.mp3\n", 8), {}, {"it holds a NUL"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        folder.Write(std::string("lists/") + c.name, c.content);
        const TrackList list = ReadTrackList(std::string("lists/") + c.name, false, 1);
        EXPECT_EQ(list.fault, TrackListFault::kNone);
        EXPECT_EQ(Names(list), c.tracks);
        ASSERT_EQ(list.skipped.size(), c.skipped.size());
        for (size_t i = 0; i < c.skipped.size(); ++i) EXPECT_EQ(list.skipped[i].reason.find(c.skipped[i]), 0u);
        if (!c.tracks.empty() && c.tracks[0] == "caf\xC3\xA9.mp3") {
            EXPECT_TRUE(std::filesystem::exists(list.tracks[0].path));
        }
    }
    // The playlist value itself in the ANSI code page.
    folder.Write("caf\xC3\xA9/one.mp3", "x");
    EXPECT_EQ(Names(ReadTrackList("caf\xE9", false, 1)), std::vector<std::string>{"one.mp3"});
}

TEST_F(TrackLists, ShuffleIsFixedPerStationAndDiffersBetweenStations) {
    for (int i = 0; i < 12; ++i) folder.Write("pop/track" + std::to_string(i) + ".mp3", "x");
    const auto inOrder = Names(ReadTrackList("pop", false, 4));
    const auto mixed = Names(ReadTrackList("pop", true, 4));
    EXPECT_EQ(Names(ReadTrackList("pop", true, 4)), mixed);
    EXPECT_NE(mixed, inOrder);
    EXPECT_NE(Names(ReadTrackList("pop", true, 5)), mixed);
    EXPECT_TRUE(std::is_permutation(mixed.begin(), mixed.end(), inOrder.begin()));
}

using PlaylistRaces = ModuleTest;

// The dial moves just as the stream has moved on to the next track, before the
// helper thread's turn: only the new station's sound may play, and the tape's
// tracks all go.
TEST_F(PlaylistRaces, StationChangeAtATrackChange) {
    constexpr uint32_t kTrackBytes = 8000;
    struct Case {
        int32_t station;
        bool filePlays;
    } const cases[] = {{2, true}, {12, false}};  // a file station; the game's own radio
    for (const Case& c : cases) {
        ResetModuleState();
        UseSettings("[TRACK1]\nplaylist = audio/streams/race\n[TRACK2]\nsource = b.wav\n");
        for (const char* name : {"1.mp3", "2.mp3", "3.mp3"}) folder.Write(std::string("audio/streams/race/") + name, std::string(kTrackBytes, 'x'));
        folder.Write("b.wav", "audio");
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);
        PutPlayerInCar();
        TuneTo(1);
        RadioTick();
        ASSERT_TRUE(RunQueuedThread());
        const uint32_t tape = g_stationStream;
        ASSERT_EQ(FakeBass_Pull(tape, kTrackBytes + 8), kTrackBytes + 8);  // into the second track

        TuneTo(c.station);
        RadioTick();
        while (RunQueuedThread()) {}
        AdvancePlaylist();
        AdvancePlaylist();

        const uint32_t onAir = g_stationStream;
        EXPECT_EQ(FakeBass_Active(tape), 0u) << c.station;
        EXPECT_EQ(onAir != tape && FakeBass_Active(onAir) == 1, c.filePlays) << c.station;
        std::vector<uint32_t> channels, freed, played;
        for (const BassCall& call : BassCalls()) {
            if (call.fn == BF_STREAM_CREATE_FILE && (call.args[1] & BASS_STREAM_DECODE) && call.result)
                channels.push_back(static_cast<uint32_t>(call.result));
            if (call.fn == BF_STREAM_FREE && call.result) freed.push_back(call.handle);
            if (call.fn == BF_PLAY && call.result) played.push_back(call.handle);
        }
        for (uint32_t channel : channels)
            EXPECT_EQ(std::count(freed.begin(), freed.end(), channel), 1) << "track channel " << channel;
        EXPECT_EQ(played.back(), c.filePlays ? onAir : tape) << c.station;
    }
}

// A WAV header alone: the audio fake takes the format and the length from it.
std::string WaveHeader(uint32_t rate, uint16_t chans, uint32_t frames) {
    std::string header = "RIFF----WAVEfmt ";
    auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) header += static_cast<char>(value >> (8 * i) & 0xFF);
    };
    put(16, 4), put(1, 2), put(chans, 2), put(rate, 4), put(rate * chans * 2, 4), put(chans * 2, 2), put(16, 2);
    header += "data";
    put(frames * chans * 2, 4);
    return header;
}

// The stream is stereo at the output's rate: a track of other channels or
// another rate is converted, and lasts as long as it did.
TEST_F(PlaylistRaces, TracksOfOtherFormatsKeepTheirLength) {
    constexpr uint32_t kRate = 8000, kFrames = 800;  // 0.1 s, mono
    struct Case {
        uint32_t rate;
        uint16_t chans;
    } const cases[] = {{kRate, 2}, {16000, 2}, {4000, 1}, {22050, 6}};
    for (const Case& c : cases) {
        ResetModuleState();
        UseSettings("[TRACK1]\nplaylist = audio/streams/formats\n");  // tapes are learned once a run
        folder.Write("audio/streams/formats/a.wav", WaveHeader(kRate, 1, kFrames));
        folder.Write("audio/streams/formats/b.wav", WaveHeader(c.rate, c.chans, c.rate / 10));
        BASS_SetConfig(BASS_CONFIG_UPDATEPERIOD, 0);
        PutPlayerInCar();
        TuneTo(1);
        RadioTick();
        ASSERT_TRUE(RunQueuedThread());
        // a, b, then a again: the tracks opened ahead.
        const uint32_t frames = FakeBass_Pull(g_stationStream, 1 << 20) / 8;
        const uint32_t rate = BassCallsOf(BF_STREAM_CREATE).back().args[0];
        EXPECT_NEAR(frames, 3 * rate / 10, 3) << c.rate << " Hz, " << c.chans << " channels";
    }
}

// The library answers "no device" (BASS_ERROR_INIT) to a tune-in while the
// module still counts it open: the opening gives up instead of asking again for ever.
TEST_F(PlaylistRaces, NoDeviceForTheTuneInEndsTheOpening) {
    ResetModuleState();
    UseSettings("[TRACK1]\nplaylist = audio/streams/gone\n");
    folder.Write("audio/streams/gone/a.wav", WaveHeader(8000, 1, 800));
    PutPlayerInCar();
    for (const int32_t station : {1, 12, 1}) {  // the tape learned, the game's radio, the tape again
        TuneTo(station);
        RadioTick();
        while (RunQueuedThread()) {}
    }
    ASSERT_NE(g_stationStream, 0u);
    TuneTo(12);
    RadioTick();
    while (RunQueuedThread()) {}
    TuneTo(1);
    RadioTick();
    BASS_Free();
    const size_t opens = BassCallsOf(BF_STREAM_CREATE_FILE).size();
    ASSERT_TRUE(RunQueuedThread());
    EXPECT_EQ(g_stationStream, 0u);
    EXPECT_EQ(BassCallsOf(BF_STREAM_CREATE_FILE).size(), opens + 1);
}

}  // namespace

