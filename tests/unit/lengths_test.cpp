// Track lengths: the audio fake's header lengths, and which headers cannot
// vouch for the length they give.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/bass.h"
#include "radio/playlist/lengthdoubt.h"
#include "radio/playlist/tape.h"
#include "tests/unit/support.h"

namespace {

using TrackLengths = ModuleTest;

// As the library does for a VBR file: a header's length without the full
// scan, the exact one with it, and decoding to the real end either way.
TEST_F(TrackLengths, FakeHeaderLengthsAndTheFullScan) {
    constexpr uint64_t kRealBytes = 4 * 8000, kHeaderBytes = 3 * 8000;
    folder.WriteWave("vbr.mp3");
    folder.WriteWave("unknown.ogg");
    FakeBass_SetStreamLength(kRealBytes);
    FakeBass_SetHeaderLength("vbr.mp3", kHeaderBytes);
    FakeBass_SetHeaderLength("unknown.ogg", kBassErrorQword);
    const struct {
        const char* name;
        BassDword flags;
        BassQword length;
    } cases[] = {{"vbr.mp3", 0, kHeaderBytes}, {"vbr.mp3", BASS_STREAM_PRESCAN, kRealBytes},
                 {"unknown.ogg", 0, kBassErrorQword}, {"unknown.ogg", BASS_STREAM_PRESCAN, kRealBytes}};
    for (const auto& c : cases) {
        const BassDword stream = BASS_StreamCreateFile(kBassFalse, c.name, 0, 0, c.flags | BASS_STREAM_DECODE);
        ASSERT_NE(stream, 0u);
        EXPECT_EQ(BASS_ChannelGetLength(stream, BASS_POS_BYTE), c.length) << c.name << " " << c.flags;
        BassQword decoded = 0;
        for (BassDword got; (got = BASS_ChannelGetData(stream, nullptr, 4096)) != kBassErrorDword;) decoded += got;
        EXPECT_EQ(decoded, kRealBytes) << c.name << " " << c.flags;
        BASS_StreamFree(stream);
    }
}

// With its decode cost on, the fake keeps the reading thread busy for
// 1/ratio of the audio each read returns.
TEST_F(TrackLengths, FakeDecodingCostsTimeInProportionToTheAudio) {
    folder.WriteWave("song.mp3");
    FakeBass_SetStreamLength(40 * 8000);
    FakeBass_SetDecodeCost(FAKEBASS_DECODE_COST);
    const BassDword stream = BASS_StreamCreateFile(kBassFalse, "song.mp3", 0, 0, BASS_STREAM_DECODE);
    ASSERT_NE(stream, 0u);
    LARGE_INTEGER frequency, started, ended;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    BassQword decoded = 0;
    for (BassDword got; (got = BASS_ChannelGetData(stream, nullptr, 4096)) != kBassErrorDword;) decoded += got;
    QueryPerformanceCounter(&ended);
    const double spent = static_cast<double>(ended.QuadPart - started.QuadPart) / frequency.QuadPart;
    EXPECT_GE(spent, BASS_ChannelBytes2Seconds(stream, decoded) / FAKEBASS_DECODE_COST);
    BASS_StreamFree(stream);
}

std::string Mp3Frame(unsigned bitRateIndex, const char* tag = "") {
    // MPEG-1 layer III, 44.1 kHz, joint stereo: 144 * rate / 44100 bytes.
    static const unsigned kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    std::string frame(144 * kKbps[bitRateIndex] * 1000 / 44100, '\0');
    frame[0] = '\xFF', frame[1] = '\xFB', frame[2] = static_cast<char>(bitRateIndex << 4), frame[3] = '\x64';
    frame.replace(4 + 32, std::string(tag).size(), tag);
    return frame;
}

std::string OggPage(char serial) {
    std::string page = "OggS";
    page += std::string(10, '\0') + serial + std::string(3, '\0') + std::string(40, 'v');
    return page;
}

TEST_F(TrackLengths, HeadersThatCannotVouchForTheirLength) {
    std::string cbr, vbr, tagged, id3 = std::string("ID3\x03\0\0\0\0\0\x10", 10) + std::string(16, 'i');
    for (int i = 0; i < 20; ++i) {
        cbr += Mp3Frame(9);
        vbr += Mp3Frame(i % 3 ? 9 : 11);
    }
    const struct {
        const char* name;
        std::string content;
        LengthDoubt doubt;
    } cases[] = {
        {"cbr.mp3", cbr, LengthDoubt::kNone},
        {"vbr.mp3", vbr, LengthDoubt::kVbrWithoutHeader},
        {"tagged.mp3", id3 + vbr, LengthDoubt::kVbrWithoutHeader},
        {"xing.mp3", Mp3Frame(9, "Xing") + vbr, LengthDoubt::kNone},
        {"info.MP3", Mp3Frame(9, "Info") + vbr, LengthDoubt::kNone},
        {"vbri.mp3", Mp3Frame(9, "VBRI") + vbr, LengthDoubt::kNone},
        {"chained.ogg", OggPage(1) + OggPage(1) + OggPage(2), LengthDoubt::kChainedOgg},
        {"single.ogg", OggPage(1) + OggPage(1), LengthDoubt::kNone},
        {"vbr.wav", vbr, LengthDoubt::kNone},  // by its ending, a format whose header vouches
    };
    for (const auto& c : cases) {
        folder.Write(c.name, c.content);
        EXPECT_EQ(DoubtOfHeaderLength(c.name), c.doubt) << c.name;
    }
}

// Once every tape is learned, a track whose header cannot vouch for its
// length is scanned, once: its exact length is kept and never scanned again.
TEST_F(TrackLengths, DoubtfulTracksScannedOnceInTheBackground) {
    std::string cbr, vbr;
    for (int i = 0; i < 20; ++i) {
        cbr += Mp3Frame(9);
        vbr += Mp3Frame(i % 3 ? 9 : 11);
    }
    folder.Write("audio/streams/scan/1.mp3", cbr);
    folder.Write("audio/streams/scan/2.mp3", vbr);
    // The fake decodes other files than WAV as their size in bytes.
    const double vbrSeconds = static_cast<double>(vbr.size()) / FAKEBASS_BYTES_PER_SECOND;
    FakeBass_SetHeaderLength("1.mp3", FAKEBASS_BYTES_PER_SECOND);
    FakeBass_SetHeaderLength("2.mp3", FAKEBASS_BYTES_PER_SECOND);
    // Station 9: no other test tunes it, and a new plan leaves the tape on air as it is.
    for (const bool shuffle : {false, true}) {  // the second listing takes the lengths learned
        UseSettings(std::string("[TRACK9]\nplaylist = audio/streams/scan\nshuffle = ") + (shuffle ? "1" : "0") + "\n");
        const size_t before = BassCallsOf(BF_STREAM_CREATE_FILE).size();
        PlanTapes();
        while (LearnTapesStep()) {}
        int scans = 0;
        const std::vector<BassCall> opens = BassCallsOf(BF_STREAM_CREATE_FILE);
        for (size_t i = before; i < opens.size(); ++i) scans += (opens[i].args[1] & BASS_STREAM_PRESCAN) != 0;
        EXPECT_EQ(scans, shuffle ? 0 : 1);
        for (const Track& track : TapeForOpening(9, TapeKind::kSongs, "audio/streams/scan", shuffle, GetTickCount()).tracks) {
            const bool doubtful = track.file.name == "2.mp3";
            EXPECT_EQ(track.exact, doubtful) << track.file.name;
            EXPECT_NEAR(track.seconds, doubtful ? vbrSeconds : 1.0, 1e-6) << track.file.name;
        }
    }
}

// Without a device every open fails with BASS_ERROR_INIT, which is no fault
// of the track: with the run log off too, the tape waits and learns it later.
TEST_F(TrackLengths, LearningWaitsForTheDevice) {
    constexpr int kMostSteps = 100;
    folder.Write("audio/streams/wait/1.mp3", std::string(FAKEBASS_BYTES_PER_SECOND, '\x55'));
    UseSettings("[TRACK10]\nplaylist = audio/streams/wait\n");
    BASS_Free();
    PlanTapes();
    for (int steps = 0; LearnTapesStep() && steps < kMostSteps; ++steps) {}
    ASSERT_TRUE(BASS_Init(-1, 44100, 0, nullptr, nullptr));
    for (int steps = 0; LearnTapesStep() && steps < kMostSteps; ++steps) {}
    const Tape& tape = TapeForOpening(10, TapeKind::kSongs, "audio/streams/wait", false, GetTickCount());
    ASSERT_EQ(tape.tracks.size(), 1u);
    EXPECT_NEAR(tape.tracks[0].seconds, 1.0, 1e-6);
}

}  // namespace
