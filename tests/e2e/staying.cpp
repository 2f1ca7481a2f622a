#include "tests/e2e/staying.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/rig.h"

namespace {

constexpr int32_t kFileStation = 3;
constexpr int32_t kUrlStation = 5;
constexpr int32_t kOtherUrlStation = 6;
const char kUrl[] = "http://radio.example:8000/live";
const char kOtherUrl[] = "http://other.example/stream";
const char kFile[] = "audio/streams/morning.wav";
constexpr uint32_t kStartClockMs = 600000;
constexpr uint32_t kFrameMs = 16;
constexpr uint8_t kOutputOff = 0x00;
constexpr uint8_t kOutputOn = 0x18;

// The file station's audio, and the player driving with the radio on.
void DriveWithFileStation() {
    WriteWaveOfLength(kFile, 60000, 8000);
    SetGameDefaults();
    PutPlayerInCar();
    StartClock(kStartClockMs);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    Host().StartDrawing(kFrameMs);
}

void StartGame(bool reconnect) {
    PrepareGameFolder();
    std::string settings = std::string("[TRACK3]\r\nsource = ") + kFile + "\r\n[TRACK5]\r\nsource = " + kUrl +
                           "\r\n[TRACK6]\r\nsource = " + kOtherUrl +
                           "\r\n[SWITCHER]\r\nsamples = jingles/one.wav\r\n";
    if (reconnect) settings += "[INTERNET]\r\nreconnect = 1\r\n";
    WriteFile(kSettingsPath, settings);
    CreateDirectoryA("audio\\streams\\jingles", nullptr);
    WriteWave("audio/streams/jingles/one.wav");
    DriveWithFileStation();
    WaitFor([] { return !BassCallsOf(BF_SAMPLE_LOAD).empty(); }, "the first tick's work");
}

double PlayedAtMs(uint32_t stream) {
    for (const BassCall& play : BassCallsOf(BF_PLAY))
        if (play.handle == stream && play.result) return play.time * 1000.0;
    return -1;
}

double EndOf(uint32_t stream) {
    WaitFor([&] { return FakeBass_EndedAtMs(stream) >= 0; }, "the dropped stream played out");
    return FakeBass_EndedAtMs(stream);
}

std::vector<std::string> LogLines() {
    std::string text;
    std::vector<std::string> lines;
    ReadFile(kRunLogPath, text);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// How many of the expected pieces appear in lines of their own, in this order.
size_t FoundInOrder(const std::vector<std::string>& expected) {
    size_t next = 0;
    for (const std::string& line : LogLines())
        if (next < expected.size() && line.find(expected[next]) != std::string::npos) ++next;
    return next;
}

void CheckLogInOrder(const std::vector<std::string>& expected) {
    WaitFor([&] { return FoundInOrder(expected) == expected.size(); }, "the log lines in order", 5000);
    const size_t next = FoundInOrder(expected);
    if (next < expected.size()) {
        std::string all;
        for (const std::string& line : LogLines()) all += "\n  " + line;
        Fail(__FILE__, __LINE__, "no log line with \"" + expected[next] + "\" in its place; the log:" + all);
    }
}

// Our streams that play now: never more than one.
int PlayingStreams() {
    int playing = 0;
    for (const BassCall& call : BassCallsFrom(0)) {
        if ((call.fn != BF_STREAM_CREATE_URL && call.fn != BF_STREAM_CREATE_FILE) || !call.result) continue;
        playing += FakeBass_Active(static_cast<uint32_t>(call.result)) == 1;
    }
    return playing;
}

int PlayDrop(bool reconnect) {
    FakeServer server = {};
    server.name = "Net Radio";
    server.bitrate = 128;
    server.title = "First Song";
    server.dropAfterMs = 2000;
    FakeNet_SetServer(kUrl, &server);
    StartGame(reconnect);
    const int tuned = BassCallCount();
    TuneTo(kUrlStation);
    const uint32_t first = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the internet station playing");
    Sleep(500);
    FakeNet_SetTitle(kUrl, "Second Song");
    const double droppedAt = EndOf(first);
    const int afterDrop = BassCallCount();

    if (!reconnect) {
        WaitFor([] { return RadioBytesAre(kOutputOn, 7); }, "the game's radio back");
        Sleep(3500);
        CHECK(BassCallsOf(BF_STREAM_CREATE_URL, afterDrop).empty(), "the dropped stream is not opened again");
        CheckLogInOrder({"now playing: First Song", "now playing: Second Song",
                         std::string("internet stream ") + kUrl +
                             " lost: the server closed the connection (the game's own station plays until you tune again)"});
        return Failures();
    }

    const uint32_t second = PlayingStream(BF_STREAM_CREATE_URL, afterDrop, "the station reconnected");
    const double gap = PlayedAtMs(second) - droppedAt;
    std::printf("drop and reconnect: playing again %.0f ms after the drop\n", gap);
    CHECK(gap >= 500 && gap <= 2500, "reopened 0.5-2.5 s after the drop, took " + std::to_string(gap) + " ms");
    for (const BassCall& call : BassCallsFrom(afterDrop))
        CHECK(call.fn != BF_SAMPLE_GET_CHANNEL, "no jingle drawn while reconnecting");
    WaitFor([&] { return FakeBass_Volume(second) > 0.1f && RadioBytesAre(kOutputOff, 7); },
            "the reconnected stream heard, the game's radio silent");
    CHECK(PlayingStreams() == 1, "one stream plays");
    CheckLogInOrder({std::string("internet stream ") + kUrl + ": station \"Net Radio\", 128 kbit/s",
                     "now playing: First Song", "now playing: Second Song",
                     std::string("internet stream ") + kUrl + " lost: the server closed the connection; reconnecting in 1 s",
                     std::string("reconnect attempt 1 to ") + kUrl + ": connected, playing again"});
    return Failures();
}

}  // namespace

int PlayDropWithoutReconnect() {
    return PlayDrop(false);
}

int PlayDropAndReconnect() {
    return PlayDrop(true);
}

int PlayRefusals() {
    FakeServer server = {};
    server.dropAfterMs = 1000;
    FakeNet_SetServer(kUrl, &server);
    StartGame(true);
    const int tuned = BassCallCount();
    TuneTo(kUrlStation);
    const uint32_t first = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the internet station playing");
    server.refusals = 2;
    FakeNet_SetServer(kUrl, &server);
    const double droppedAt = EndOf(first);
    const int afterDrop = BassCallCount();
    PlayingStream(BF_STREAM_CREATE_URL, afterDrop, "the third attempt playing");

    const auto attempts = BassCallsOf(BF_STREAM_CREATE_URL, afterDrop);
    CHECK(attempts.size() >= 3, "three attempts, made " + std::to_string(attempts.size()));
    if (attempts.size() >= 3) {
        const double waits[3] = {attempts[0].time * 1000 - droppedAt, (attempts[1].time - attempts[0].time) * 1000,
                                 (attempts[2].time - attempts[1].time) * 1000};
        std::printf("refusals: waits %.0f, %.0f, %.0f ms\n", waits[0], waits[1], waits[2]);
        CHECK(waits[0] >= 500 && waits[0] <= 2000, "the first attempt about 1 s after the drop");
        CHECK(waits[1] >= 1.4 * waits[0] && waits[2] >= 1.4 * waits[1], "each wait at least 1.4 times the one before");
        CHECK(waits[2] <= 6000, "the third wait about 4 s");
        CHECK(attempts[0].result == 0 && attempts[1].result == 0 && attempts[2].result != 0, "refused twice, then opened");
    }
    CheckLogInOrder({std::string("reconnect attempt 1 to ") + kUrl + " failed: the server did not answer (error 40); next in 2 s",
                     std::string("reconnect attempt 2 to ") + kUrl + " failed: the server did not answer (error 40); next in 4 s",
                     std::string("reconnect attempt 3 to ") + kUrl + ": connected, playing again"});
    return Failures();
}

int PlayChangeDuringReconnect() {
    FakeServer server = {};
    server.dropAfterMs = 1000;
    FakeNet_SetServer(kUrl, &server);
    StartGame(true);

    // A change 0.4 s after the drop, before the first attempt.
    int tuned = BassCallCount();
    TuneTo(kUrlStation);
    uint32_t stream = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the internet station playing");
    EndOf(stream);
    Sleep(400);
    tuned = BassCallCount();
    TuneTo(kFileStation);
    PlayingStream(BF_STREAM_CREATE_FILE, tuned, "the file station playing");
    Sleep(2500);
    CHECK(BassCallsOf(BF_STREAM_CREATE_URL, tuned).empty(), "no attempt after the change");
    CHECK(PlayingStreams() == 1, "one stream plays after the first change");

    // A change 1.3 s after the drop, while a 1.5 s connect is under way.
    tuned = BassCallCount();
    TuneTo(kUrlStation);
    stream = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the internet station playing again");
    server.connectMs = 1500;
    FakeNet_SetServer(kUrl, &server);
    EndOf(stream);
    const int dropped = BassCallCount();
    Sleep(1300);
    CHECK(BassCallsOf(BF_STREAM_CREATE_URL, dropped).size() == 1, "an attempt is under way at the change");
    tuned = BassCallCount();
    TuneTo(kFileStation);
    const uint32_t file = PlayingStream(BF_STREAM_CREATE_FILE, tuned, "the file station playing while the attempt connects",
                                        1400);
    uint32_t attempt = 0;
    WaitFor([&] { return (attempt = static_cast<uint32_t>(BassCallsOf(BF_STREAM_CREATE_URL, dropped)[0].result)) != 0; },
            "the attempt connected");
    WaitFor([&] {
        for (const BassCall& free : BassCallsOf(BF_STREAM_FREE, tuned))
            if (free.handle == attempt) return true;
        return false;
    }, "the attempt that connected after the change freed");
    for (const BassCall& play : BassCallsOf(BF_PLAY, dropped)) CHECK(play.handle != attempt, "the attempt never plays");
    CHECK(PlayingStreams() == 1, "one stream plays after the second change");
    CHECK(FakeBass_Active(file) == 1, "the file station plays");
    CheckLogInOrder({std::string("reconnect to ") + kUrl + " called off: the station changed",
                     std::string("reconnect attempt 1 to ") + kUrl + " ended after a station change: left unplayed"});
    return Failures();
}

namespace {

// Plays station with a stall after 1 s for stallMs and checks that the game's
// radio stays silenced from the play until stallMs + 0.5 s after the stall.
void CheckShortStallHeld(int32_t station, const char* url) {
    FakeServer server = {};
    server.stallAfterMs = 1000;
    server.stallMs = 3000;
    FakeNet_SetServer(url, &server);
    const int tuned = BassCallCount();
    TuneTo(station);
    const uint32_t stream = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the internet station playing");
    WaitFor([] { return RadioBytesAre(kOutputOff, 7); }, "the game's radio silenced");
    const double until = NowMs() + 4500;
    bool stalled = false;
    while (NowMs() < until) {
        stalled = stalled || FakeBass_Active(stream) == 2;
        CHECK(CodeByte(host::kRadioOutputSite) == kOutputOff, "the game's radio stays silent through a 3 s stall");
        if (CodeByte(host::kRadioOutputSite) != kOutputOff) break;
        Sleep(2);
    }
    CHECK(stalled, "the stream stalled");
    CHECK(FakeBass_Active(stream) == 1, "the stream plays on after the stall");
}

}  // namespace

int PlayStallWithoutReconnect() {
    StartGame(false);
    CheckShortStallHeld(kUrlStation, kUrl);
    return Failures();
}

int PlayStallWithReconnect() {
    StartGame(true);
    CheckShortStallHeld(kUrlStation, kUrl);

    FakeServer server = {};
    server.stallAfterMs = 1000;
    server.stallMs = FAKENET_FOREVER;
    FakeNet_SetServer(kOtherUrl, &server);
    const int tuned = BassCallCount();
    TuneTo(kOtherUrlStation);
    const uint32_t stream = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the other internet station playing");
    WaitFor([&] { return FakeBass_Active(stream) == 2; }, "the stream stalled for good");
    const double stalledAt = NowMs();
    server.stallMs = 0;
    FakeNet_SetServer(kOtherUrl, &server);
    const int afterStall = BassCallCount();
    const uint32_t again = PlayingStream(BF_STREAM_CREATE_URL, afterStall, "the stalled station reopened", 15000);
    const double reopened = PlayedAtMs(again) - stalledAt;
    std::printf("stalled for good: reopened %.0f ms into the stall\n", reopened);
    CHECK(reopened >= 5500 && reopened <= 8500, "reopened 5.5-8.5 s into the stall, took " + std::to_string(reopened));
    bool freed = false;
    for (const BassCall& call : BassCallsOf(BF_STREAM_FREE, afterStall)) freed = freed || call.handle == stream;
    CHECK(freed, "the stalled stream freed");
    CHECK(PlayingStreams() == 1, "one stream plays");
    CheckLogInOrder({std::string("internet stream ") + kOtherUrl + " lost: no sound for 6 s (stalled); reconnecting in 1 s",
                     std::string("reconnect attempt 1 to ") + kOtherUrl + ": connected, playing again"});
    return Failures();
}

int PlayDeviceLoss() {
    StartGame(false);
    SetOpenWait(200);  // an opening long enough for a jingle
    int tuned = BassCallCount();
    TuneTo(kFileStation);
    const uint32_t stream = PlayingStream(BF_STREAM_CREATE_FILE, tuned, "the file station playing");
    WaitFor([&] { return FakeBass_Volume(stream) > 0.1f; }, "the file station heard");

    // BASS_Start brings the output back.
    double lostAt = NowMs();
    FakeNet_LoseDevice(0);
    WaitFor([&] { return FakeBass_Active(stream) == 1; }, "the file station heard again", 5000);
    const double back = NowMs() - lostAt;
    std::printf("device lost: heard again after %.0f ms\n", back);
    CHECK(back <= 2000, "heard again within 2 s, took " + std::to_string(back) + " ms");
    CHECK(!BassCallsOf(BF_START).empty(), "the output started again");

    // Only a new device brings it back: the station starts anew on it.
    tuned = BassCallCount();
    lostAt = NowMs();
    FakeNet_LoseDevice(1);
    const uint32_t anew = PlayingStream(BF_STREAM_CREATE_FILE, tuned, "the file station started anew", 8000);
    std::printf("device lost for good: heard again after %.0f ms\n", NowMs() - lostAt);
    CHECK(!BassCallsOf(BF_FREE, tuned).empty() && !BassCallsOf(BF_INIT, tuned).empty(), "the device opened afresh");
    CHECK(FakeBass_Active(anew) == 1 && PlayingStreams() == 1, "one stream plays");
    bool jingle = false;
    for (const BassCall& call : BassCallsOf(BF_SAMPLE_GET_CHANNEL, tuned)) jingle = jingle || call.result != 0;
    CHECK(jingle, "the jingles sound on the new device");
    CheckLogInOrder({"audio output stopped (a headset unplugged?): started again",
                     "audio output stopped and did not start again: the audio device was opened afresh",
                     "jingles loaded again on the new audio device"});
    return Failures();
}

namespace {

const char kRefusing[] = "https://first.example/live";
const char kAlsoRefusing[] = "HTTP://second.example/live";
const char kThirdMirror[] = "Http://third.example/live";
constexpr uint32_t kThirdConnectMs = 300;
constexpr uint32_t kAlwaysRefused = 1000000;

void StartMirroredGame() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, std::string("[TRACK3]\r\nsource = ") + kFile + "\r\n[TRACK5]\r\nsource = " + kRefusing +
                                 "\r\nmirrors = " + kAlsoRefusing + "  " + kThirdMirror + "\r\n");
    DriveWithFileStation();
}

}  // namespace

int PlayMirrors() {
    FakeServer refusing = {};
    refusing.refusals = kAlwaysRefused;
    FakeNet_SetServer(kRefusing, &refusing);
    FakeNet_SetServer(kAlsoRefusing, &refusing);
    FakeServer third = {};
    third.connectMs = kThirdConnectMs;
    FakeNet_SetServer(kThirdMirror, &third);
    StartMirroredGame();

    const int tuned = BassCallCount();
    TuneTo(kUrlStation);
    const uint32_t stream = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the third address playing");
    const auto opens = BassCallsOf(BF_STREAM_CREATE_URL, tuned);
    CHECK(opens.size() == 3, "three addresses tried, " + std::to_string(opens.size()));
    if (opens.size() == 3) {
        CHECK(std::string(opens[0].text) == kRefusing && std::string(opens[1].text) == kAlsoRefusing &&
                  std::string(opens[2].text) == kThirdMirror,
              "the source, then the mirrors in their order");
        const double connected = opens[2].time * 1000.0 + kThirdConnectMs;
        const double sound = PlayedAtMs(stream) - connected;
        std::printf("mirrors: the third address plays %.0f ms after its connect\n", sound);
        CHECK(sound < 1000, "sound within 1 s of the third's connect, took " + std::to_string(sound));
    }
    CheckLogInOrder({std::string("station 5: internet stream ") + kRefusing +
                         " not opened: the server did not answer (error 40); trying " + kAlsoRefusing + " next",
                     std::string("station 5: internet stream ") + kAlsoRefusing +
                         " not opened: the server did not answer (error 40); trying " + kThirdMirror + " next",
                     std::string("station start: internet stream ") + kThirdMirror + " playing"});

    // Away and back: the address that worked goes first.
    TuneTo(kFileStation);
    PlayingStream(BF_STREAM_CREATE_FILE, tuned, "the file station playing");
    const int back = BassCallCount();
    TuneTo(kUrlStation);
    PlayingStream(BF_STREAM_CREATE_URL, back, "the station again");
    const auto again = BassCallsOf(BF_STREAM_CREATE_URL, back);
    CHECK(again.size() == 1 && std::string(again[0].text) == kThirdMirror, "the third address tried first");
    return Failures();
}

namespace {

const char kLoudUrl[] = "http://loud.example/live";
const char kLoudWave[] = "audio/streams/loud-stream.wav";
const char kStationLevels[] = "audio/streams/zorve-stations.cache";
constexpr uint32_t kWaveRate = 44100;
constexpr double kStreamLufs = -10;  // a stereo 1 kHz sine of this peak reads this many LUFS
constexpr double kTarget = -18;
constexpr double kHeardAfterS = 30;

// Two seconds of a stereo 1 kHz sine, 16-bit.
void WriteLoudWave() {
    const uint32_t frames = kWaveRate * 2;
    std::string wave = "RIFF";
    const auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) wave += static_cast<char>(value >> (8 * i) & 0xFF);
    };
    put(36 + frames * 4, 4);
    wave += "WAVEfmt ";
    for (const uint32_t value : {16u, 1u | 2u << 16, kWaveRate, kWaveRate * 4, 4u | 16u << 16}) put(value, 4);
    wave += "data";
    put(frames * 4, 4);
    const double amplitude = std::pow(10.0, kStreamLufs / 20) * 32767;
    for (uint32_t i = 0; i < frames; ++i) {
        const auto sample = static_cast<uint16_t>(static_cast<int16_t>(std::lround(amplitude * std::sin(2 * 3.14159265358979 * 1000.0 * i / kWaveRate))));
        put(sample | static_cast<uint32_t>(sample) << 16, 4);
    }
    WriteFile(kLoudWave, wave);
}

struct Piece {
    double atS;  // its middle in the stream: a gain ramped across it averages to its value there
    double heardLufs;
};

std::vector<Piece> HeardPieces(uint32_t stream) {
    constexpr uint32_t kFrameBytes = 4;  // 16-bit stereo
    std::vector<Piece> pieces;
    for (const BassCall& call : BassCallsOf(BF_NET_DECODED))
        if (call.handle == stream && call.seconds > 0)
            pieces.push_back({(static_cast<double>(call.qwords[0]) + call.args[0] / kFrameBytes / 2.0) / kWaveRate,
                              10 * std::log10(2 * call.seconds)});
    return pieces;
}

}  // namespace

int PlayNetLevel() {
    PrepareGameFolder();
    WriteLoudWave();
    WriteFile(kSettingsPath, std::string("[SOUND]\r\nlevel = 1\r\ntarget = -18\r\n[TRACK3]\r\nsource = ") + kFile +
                                 "\r\n[TRACK5]\r\nsource = " + kLoudUrl + "\r\n");
    FakeServer server = {};
    server.wave = kLoudWave;
    FakeNet_SetServer(kLoudUrl, &server);
    DriveWithFileStation();

    const int tuned = BassCallCount();
    TuneTo(kUrlStation);
    const uint32_t stream = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the loud stream playing");
    WaitFor([&] { const auto p = HeardPieces(stream); return !p.empty() && p.back().atS > kHeardAfterS; },
            "30 s of the stream", 60000);
    const std::vector<Piece> pieces = HeardPieces(stream);
    CHECK(!pieces.empty() && std::fabs(pieces.front().heardLufs - (kStreamLufs - 6)) < 0.2,
          "an address never heard starts 6 dB down");
    // The fastest move over any 2 s of sound, and where it stands after 30 s.
    double fastest = 0;
    double heardAt30 = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        for (size_t j = i + 1; j < pieces.size() && pieces[j].atS - pieces[i].atS <= 2.0; ++j)
            fastest = std::max(fastest, std::fabs(pieces[j].heardLufs - pieces[i].heardLufs));
        if (pieces[i].atS <= kHeardAfterS) heardAt30 = pieces[i].heardLufs;
    }
    std::printf("net level: a %.0f LUFS stream heard at %.2f LUFS after %.0f s; largest move %.3f dB in 2 s\n",
                kStreamLufs, heardAt30, kHeardAfterS, fastest);
    CHECK(std::fabs(heardAt30 - kTarget) < 1, "heard within 1 LU of the target, at " + std::to_string(heardAt30));
    CHECK(fastest <= 1.02, "at most 1 dB per 2 s, moved " + std::to_string(fastest));

    // The level heard is kept: the next tune-in starts from it, and it reaches the disk.
    TuneTo(kFileStation);
    PlayingStream(BF_STREAM_CREATE_FILE, tuned, "the file station playing");
    const int back = BassCallCount();
    TuneTo(kUrlStation);
    const uint32_t again = PlayingStream(BF_STREAM_CREATE_URL, back, "the loud stream again");
    WaitFor([&] { return !HeardPieces(again).empty(); }, "the stream heard again");
    const std::vector<Piece> next = HeardPieces(again);
    CHECK(!next.empty() && std::fabs(next.front().heardLufs - heardAt30) < 0.5,
          "the next tune-in starts where the last left off");
    std::string kept;
    WaitFor([&] { return ReadFile(kStationLevels, kept) && kept.find(kLoudUrl) != std::string::npos; },
            "the level kept on disk", 15000);
    return Failures();
}
