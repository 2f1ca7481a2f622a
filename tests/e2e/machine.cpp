#include "tests/e2e/machine.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/bass.h"
#include "tests/e2e/rig.h"

namespace {

constexpr int32_t kFileStation = 3;
constexpr int32_t kPlaylistStation = 4;
constexpr int32_t kUrlStation = 5;
const char kFile[] = "audio/streams/morning.wav";
const char kUrl[] = "http://radio.example:8000/live";
const char kCachePath[] = "audio/streams/zorve-tracks.cache";
const char kHealthyCache[] = "healthy.cache";
constexpr uint32_t kTrackRate = 8000;                        // Hz, mono
constexpr uint32_t kTrackBytesPerMs = kTrackRate * 4 / 1000;  // as the module reads tracks: float
constexpr uint32_t kTracks = 4;
constexpr uint32_t kTrackMs = 2000;
constexpr uint32_t kFileMs = 60000;
constexpr uint32_t kStartClockMs = 600000;
constexpr uint32_t kFrameMs = 16;
constexpr uint32_t kTrackFlags = 0x80220100;  // unicode name, decode only, prescanned, float
constexpr uint32_t kNoDeviceMs = 5000;
constexpr uint32_t kDeviceGoneMs = 20000;
constexpr double kMostBackMs = 3000;
constexpr double kMostShortMs = 20;
constexpr int kErrorDevice = 23;
constexpr uint8_t kOutputOn = 0x18;
constexpr uint32_t kSlowConnectMs = 5000;
constexpr uint32_t kTunedIntoConnectMs = 1200;
constexpr double kMostMadeAfterMs = 300;

std::vector<std::string> LogLines() {
    std::string text;
    std::vector<std::string> lines;
    ReadFile(kRunLogPath, text);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

// The run log's lines from line first on that hold any of words.
std::vector<std::string> LogLinesWith(const std::vector<std::string>& words, size_t first = 0) {
    std::vector<std::string> found;
    const std::vector<std::string> lines = LogLines();
    for (size_t i = first; i < lines.size(); ++i)
        for (const std::string& word : words)
            if (lines[i].find(word) != std::string::npos) {
                found.push_back(lines[i]);
                break;
            }
    return found;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += "\n  " + line;
    return all;
}

void WriteSettings(const std::string& extra) {
    WriteFile(kSettingsPath, std::string("[TRACK3]\r\nsource = ") + kFile +
                                 "\r\n[TRACK4]\r\nplaylist = audio/streams/songs\r\n[TRACK5]\r\nsource = " + kUrl +
                                 "\r\n[SWITCHER]\r\nsamples = jingles/one.wav\r\n" + extra);
}

void WriteGame(const std::string& extra) {
    WriteSettings(extra);
    CreateDirectoryA("audio\\streams\\jingles", nullptr);
    CreateDirectoryA("audio\\streams\\songs", nullptr);
    WriteWave("audio/streams/jingles/one.wav");
    WriteWaveOfLength(kFile, kFileMs, kTrackRate);
    for (uint32_t i = 0; i < kTracks; ++i)
        WriteWaveOfLength("audio/streams/songs/" + std::to_string(i + 1) + ".wav", kTrackMs, kTrackRate);
}

void StartGame() {
    SetGameDefaults();
    PutPlayerInCar();
    StartClock(kStartClockMs);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    Host().StartDrawing(kFrameMs);
}

// When the stream is heard: its volume past a tenth.
double HeardAtMs(uint32_t stream, const std::string& what) {
    WaitFor([&] { return FakeBass_Volume(stream) > 0.1f; }, what, 10000);
    return NowMs();
}

}  // namespace

// ---- the fake's rules of the player's machine --------------------------------

namespace {

std::atomic<bool> g_inWriter{false};
std::atomic<bool> g_calledMeanwhile{false};

DWORD WINAPI MakeOtherStream(LPVOID made) {
    *static_cast<std::atomic<BassDword>*>(made) = BASS_StreamCreateFile(0, "audio/streams/songs/2.wav", 0, 0, 0);
    return 0;
}

// Waits, inside the library's update thread, for a call from another thread.
BassDword __stdcall WriteWhileOthersCall(BassDword, void* buffer, BassDword length, void*) {
    g_inWriter = true;
    for (int i = 0; i < 500 && !g_calledMeanwhile; ++i) Sleep(1);
    std::memset(buffer, 0, length);
    return length;
}

}  // namespace

int CheckMachineRules() {
    PrepareGameFolder();
    const char* missing;
    if (BindAudioCalls(missing) != 0) {
        CHECK(false, std::string("the audio fake lacks ") + missing);
        return Failures();
    }
    WriteGame("");
    const std::string track = "audio/streams/songs/1.wav";

    // Before BASS_Init and after BASS_Free every create and load is "not now".
    struct Create {
        const char* what;
        BassDword (*make)(const std::string& track);
    } const creates[] = {
        {"file stream", [](const std::string& t) { return BASS_StreamCreateFile(0, t.c_str(), 0, 0, 0); }},
        {"user stream", [](const std::string&) { return BASS_StreamCreate(kTrackRate, 2, 0, WriteWhileOthersCall, nullptr); }},
        {"sample", [](const std::string&) { return BASS_SampleLoad(0, "audio/streams/jingles/one.wav", 0, 0, 1, 0); }},
        {"internet stream", [](const std::string&) { return BASS_StreamCreateURL(kUrl, 0, 0, nullptr, nullptr); }},
    };
    struct Device {
        const char* state;
        void (*enter)();
        bool opens;
    } const devices[] = {
        {"before BASS_Init", [] {}, false},
        {"after BASS_Init", [] { BASS_Init(-1, 44100, 0, nullptr, nullptr); }, true},
        {"after BASS_Free", [] { BASS_Free(); }, false},
    };
    for (const Device& device : devices) {
        device.enter();
        for (const Create& create : creates) {
            const BassDword made = create.make(track);
            const std::string what = std::string(create.what) + " " + device.state;
            CHECK((made != 0) == device.opens, what + (device.opens ? " opens" : " fails"));
            if (!device.opens) CHECK(BASS_ErrorGetCode() == BASS_ERROR_INIT, what + ": error 8");
        }
    }

    // A device that is not there for a while.
    FakeBass_DeviceMissing(300, kErrorDevice);
    CHECK(!BASS_Init(-1, 44100, 0, nullptr, nullptr) && BASS_ErrorGetCode() == kErrorDevice, "no device: error 23");
    CHECK(!BASS_Start(), "no device: BASS_Start fails");
    Sleep(350);
    CHECK(BASS_Init(-1, 44100, 0, nullptr, nullptr) && BASS_Start(), "the device appeared");

    // The output's rate: BASS_Init's unless a scenario sets it, 0 (not said) too.
    struct Rate {
        bool scripted;
        uint32_t freq;
    } const rates[] = {{false, 44100}, {true, 48000}, {true, 0}};
    for (const Rate& rate : rates) {
        if (rate.scripted) FakeBass_SetOutputRate(rate.freq);
        BassInfo info{};
        CHECK(BASS_GetInfo(&info) && info.freq == rate.freq, "the output's rate " + std::to_string(info.freq));
    }

    // Decoding channels give the samples of mono and surround files, plain and
    // WAVE_FORMAT_EXTENSIBLE (its sub-format's first word: 3, float).
    for (const uint16_t chans : {1, 6, 7}) {
        const bool extensible = chans > 2;
        std::string wave, fmt, data;
        const auto put = [](std::string& to, uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i) to += static_cast<char>(value >> (8 * i) & 0xFF);
        };
        put(fmt, extensible ? 0xFFFE : 3, 2), put(fmt, chans, 2), put(fmt, kTrackRate, 4), put(fmt, kTrackRate * chans * 4, 4);
        put(fmt, chans * 4, 2), put(fmt, 32, 2);
        if (extensible) put(fmt, 22, 2), put(fmt, 32, 2), put(fmt, 0, 4), put(fmt, 3, 2), fmt += std::string(14, '\x10');
        std::vector<float> samples(100 * chans), read(samples.size());
        for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i % chans + 1) / 8.0f * (i / chans % 2 ? -1 : 1);
        data.assign(reinterpret_cast<const char*>(samples.data()), samples.size() * 4);
        wave = "RIFF", put(wave, static_cast<uint32_t>(20 + fmt.size() + data.size()), 4), wave += "WAVEfmt ";
        put(wave, static_cast<uint32_t>(fmt.size()), 4), wave += fmt + "data", put(wave, static_cast<uint32_t>(data.size()), 4);
        const std::string path = "audio/streams/" + std::to_string(chans) + "chans.wav";
        WriteFile(path, wave + data);
        const BassDword decoding = BASS_StreamCreateFile(0, path.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
        const BassDword got = BASS_ChannelGetData(decoding, read.data(), static_cast<BassDword>(read.size() * 4));
        CHECK(got == data.size() && read == samples, std::to_string(chans) + " channels decoded as written");
        BASS_StreamFree(decoding);
    }

    // Short reads before the end; the end is -1 with BASS_ERROR_ENDED.
    FakeBass_ShortReads(100);
    const BassDword channel = BASS_StreamCreateFile(0, track.c_str(), 0, 0, BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT);
    static char buffer[4096];
    uint64_t read = 0;
    int shortReads = 0;
    for (BassDword got; (got = BASS_ChannelGetData(channel, buffer, sizeof buffer)) != kBassErrorDword;) {
        read += got;
        shortReads += got < sizeof buffer;
    }
    CHECK(BASS_ErrorGetCode() == 45, "the end: BASS_ERROR_ENDED");
    CHECK(read == kTrackMs * kTrackBytesPerMs, "every byte read before the end, got " + std::to_string(read));
    CHECK(shortReads > 10, "reads came short before the end");
    FakeBass_ShortReads(0);

    // Numbers reused, and a free of another's stream of an old number noted.
    FakeBass_ReuseHandles(1);
    const BassDword first = BASS_StreamCreateFile(0, track.c_str(), 0, 0, 0);
    BASS_ChannelIsActive(first);
    const int foreignBefore = FakeBass_ForeignFrees();
    BassDword reused = 0;
    std::atomic<BassDword> other{0};
    BASS_StreamFree(first);
    const HANDLE thread = CreateThread(nullptr, 0, MakeOtherStream, &other, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    reused = other;
    CHECK(reused == first, "the freed number reused");
    BASS_StreamFree(first);  // this thread knew only the earlier stream of that number
    CHECK(FakeBass_ForeignFrees() == foreignBefore + 1, "a free of another's stream noted");
    // ... and after BASS_Free, on the next device.
    const BassDword beforeFree = BASS_StreamCreateFile(0, track.c_str(), 0, 0, 0);
    BASS_Free();
    BASS_Init(-1, 44100, 0, nullptr, nullptr);
    CHECK(BASS_StreamCreateFile(0, track.c_str(), 0, 0, 0) == beforeFree, "a number given again after BASS_Free");
    FakeBass_ReuseHandles(0);

    // The playback buffer: shortened by BASS_ATTRIB_BUFFER (seconds), never made longer; refused by an older 2.4.
    constexpr BassDword kAttribBuffer = 13;
    const BassDword buffered = BASS_StreamCreateFile(0, track.c_str(), 0, 0, 0);
    const struct {
        float seconds;
        bool refused;
        uint32_t ms;
    } buffers[] = {{0.16f, false, 160}, {2.0f, false, 500}, {0.16f, true, 500}};
    for (const auto& row : buffers) {
        FakeBass_RefuseBufferAttribute(row.refused);
        const bool set = BASS_ChannelSetAttribute(buffered, kAttribBuffer, row.seconds);
        CHECK(set != row.refused && (set || BASS_ErrorGetCode() == BASS_ERROR_ILLTYPE), "the buffer attribute's answer");
        CHECK(FakeBass_BufferMs(buffered) == row.ms, "buffer " + std::to_string(FakeBass_BufferMs(buffered)) + " ms");
    }
    FakeBass_RefuseBufferAttribute(0);

    // An ID3v2 block shorter than its header says: TAG_BINARY gives its true length.
    const std::string id3 = std::string("ID3\4\0\0\0\0\x1F\x40", 10) + std::string(54, 'x');  // claims 4000 bytes
    WriteFile("tagged.wav", "RIFF" + std::string("\x4C\0\0\0", 4) + "WAVEid3 " + std::string("\x40\0\0\0", 4) + id3);
    struct TagBinary {
        const void* data;
        BassDword length;
    };
    const auto* binary = reinterpret_cast<const TagBinary*>(
        BASS_ChannelGetTags(BASS_StreamCreateFile(0, "tagged.wav", 0, 0, 0), 20));
    CHECK(binary && binary->length == id3.size(), "the ID3v2 block's true length");

    // Another plug-in opened the device first: BASS_Init answers "already", creates work.
    FakeBass_OthersDevice();
    CHECK(!BASS_Init(-1, 44100, 0, nullptr, nullptr) && BASS_ErrorGetCode() == BASS_ERROR_ALREADY, "error 14");
    CHECK(BASS_StreamCreateFile(0, track.c_str(), 0, 0, 0) != 0, "a stream made on the other's device");
    BASS_Free();
    CHECK(FakeBass_OthersShutdowns() == 1, "the other's device closed: counted");
    BASS_Init(-1, 44100, 0, nullptr, nullptr);

    // Tag text goes with its stream.
    FakeServer server = {};
    server.name = "Net Radio";
    FakeNet_SetServer(kUrl, &server);
    const BassDword net = BASS_StreamCreateURL(kUrl, 0, 0, nullptr, nullptr);
    const char* tags = BASS_ChannelGetTags(net, BASS_TAG_ICY);
    CHECK(tags && std::strstr(tags + std::strlen(tags) + 1, "Net Radio"), "the station's name in its tags");
    BASS_StreamFree(net);
    CHECK(tags && std::strstr(tags, "FREED"), "the text poisoned once its stream is freed");

    // The update thread runs a writing function without the library's lock.
    const BassDword user = BASS_StreamCreate(kTrackRate, 2, 0, WriteWhileOthersCall, nullptr);
    BASS_ChannelPlay(user, 0);
    WaitFor([] { return g_inWriter.load(); }, "the writing function called");
    const double asked = NowMs();
    BASS_ChannelGetLength(user, BASS_POS_BYTE);
    const double tookMs = NowMs() - asked;
    g_calledMeanwhile = true;
    CHECK(tookMs < 100, "a call answered while the writing function runs, took " + std::to_string(tookMs) + " ms");
    BASS_StreamFree(user);
    return Failures();
}

// ---- no device at start --------------------------------------------------------

namespace {

std::string Cache() {
    std::string cache;
    ReadFile(kCachePath, cache);
    return cache;
}

// Each kept track's file stamp, length and path: what a tape is made of. A
// track played since is marked as scanned, which changes no length.
std::string CacheLengths() {
    std::istringstream lines(Cache());
    std::string line, kept;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() == 8) kept += fields[1] + ' ' + fields[2] + ' ' + fields[3] + ' ' + fields[7] + '\n';
    }
    return kept;
}

bool CacheWhole() {
    return LogLinesWith({"playlist audio/streams/songs: " + std::to_string(kTracks) + " tracks"}).size() == 1 &&
           !Cache().empty();
}

}  // namespace

int PlayHealthyDevice() {
    PrepareGameFolder();
    WriteGame("");
    StartGame();
    TuneTo(kFileStation);
    PlayingStream(BF_STREAM_CREATE_FILE, 0, "the file station playing");
    WaitFor(CacheWhole, "the tape learned and kept");
    WriteFile(kHealthyCache, Cache());
    return Failures();
}

int PlayNoDeviceAtStart() {
    std::string healthy;
    CHECK(ReadFile(kHealthyCache, healthy) && !healthy.empty(), "the healthy run's cache");
    KeepAudioRecord();
    DeleteFileA(kBassLogName);
    DeleteFileA(kCachePath);
    DeleteFileA(kRunLogPath);
    // The tracks stay as they were, with the times the healthy run's cache holds.
    WriteSettings("");
    FakeBass_DeviceMissing(kNoDeviceMs, kErrorDevice);
    const double appearsAt = NowMs() + kNoDeviceMs;
    TuneTo(kFileStation);
    StartGame();
    WaitFor([] { return !BassCallsOf(BF_INIT).empty(); }, "the first tick");
    Sleep(1000);
    CHECK(RadioBytesAre(kOutputOn, 7), "the game's radio plays meanwhile");
    CHECK(BassCallsOf(BF_STREAM_CREATE_FILE).empty(), "nothing opened without a device");
    const uint32_t stream = PlayingStream(BF_STREAM_CREATE_FILE, 0, "the file station playing");
    const double back = HeardAtMs(stream, "the file station heard") - appearsAt;
    std::printf("no device at start: heard %.0f ms after the device appeared\n", back);
    CHECK(back <= kMostBackMs, "heard within 3 s of the device, took " + std::to_string(back) + " ms");
    // The first try is the first tick's, on the worker; the later ones the helper thread's.
    const std::vector<BassCall> inits = BassCallsOf(BF_INIT);
    CHECK(inits.size() >= 3, "tried again, " + std::to_string(inits.size()) + " tries");
    for (size_t i = 2; i < inits.size(); ++i) CHECK(inits[i].thread != inits[0].thread, "tried again off the worker");

    // Its live position: the broadcast time within its 60 s.
    const std::vector<BassCall> placed = BassCallsOf(BF_SET_POSITION);
    CHECK(!placed.empty(), "the station placed");
    if (!placed.empty()) {
        const double seconds = placed.back().qwords[0] / (kTrackBytesPerMs * 1000.0);
        const double late = std::fmod(ClockMs() / 1000.0 - seconds + 2 * kFileMs / 1000.0, kFileMs / 1000.0);
        CHECK(late < kMostBackMs / 1000.0, "from its live position: " + std::to_string(seconds) + " s into the file");
    }
    for (const BassCall& load : BassCallsOf(BF_SAMPLE_LOAD)) CHECK(load.result != 0, "the jingles loaded with the device");

    WaitFor(CacheWhole, "the tape learned and kept");
    CHECK(Cache() == healthy, "the cache byte for byte as a run with a device writes it");
    const std::vector<std::string> device = LogLinesWith({"audio device", "audio output", "jingles loaded again"});
    CHECK(device.size() == 2, "two log lines about the device:" + Joined(device));
    CHECK(!device.empty() && device[0].find("no audio device (error 23): tried again every few seconds; the game's "
                                            "own radio plays meanwhile") != std::string::npos,
          "the first says so");
    CHECK(device.size() > 1 && device[1].find("audio device ready after ") != std::string::npos, "the second says when");
    const std::vector<std::string> blamed = LogLinesWith({"left out", "error 8", "not loaded"});
    CHECK(blamed.empty(), "nothing blamed for the missing device:" + Joined(blamed));
    return Failures();
}

// ---- a device that stays away ---------------------------------------------------

int PlayDeviceGone() {
    PrepareGameFolder();
    WriteGame("");
    StartGame();
    TuneTo(kPlaylistStation);
    const uint32_t stream = PlayingStream(BF_STREAM_CREATE, 0, "the playlist playing");
    HeardAtMs(stream, "the playlist heard");
    WaitFor(CacheWhole, "the tape learned and kept");
    const std::string lengths = CacheLengths();
    const size_t logged = LogLines().size();

    const int lostAt = BassCallCount();
    FakeBass_DeviceMissing(kDeviceGoneMs, kErrorDevice);
    FakeNet_LoseDevice(1);
    const double backAt = NowMs() + kDeviceGoneMs;
    WaitFor([] { return RadioBytesAre(kOutputOn, 7); }, "the game's radio while the device is gone", 5000);
    Sleep(kDeviceGoneMs / 2);
    CHECK(RadioBytesAre(kOutputOn, 7), "the game's radio plays meanwhile");
    const uint32_t again = PlayingStream(BF_STREAM_CREATE, lostAt, "the playlist playing again", kDeviceGoneMs + 10000);
    const double back = HeardAtMs(again, "the playlist heard again") - backAt;
    std::printf("device gone for 20 s: heard %.0f ms after it came back\n", back);
    CHECK(back <= kMostBackMs, "heard within 3 s of the device's return, took " + std::to_string(back) + " ms");
    Sleep(500);
    const std::vector<std::string> device =
        LogLinesWith({"audio device", "audio output", "jingles loaded again"}, logged);
    std::printf("device gone for 20 s: %u log lines about it\n", static_cast<unsigned>(device.size()));
    CHECK(!device.empty() && device.size() <= 3, "at most 3 log lines about the absence:" + Joined(device));
    const std::vector<std::string> blamed = LogLinesWith({"left out", "error 8", "no track in it plays"}, logged);
    CHECK(blamed.empty(), "nothing blamed for the missing device:" + Joined(blamed));
    CHECK(!lengths.empty() && CacheLengths() == lengths, "the cache's lengths as they were");
    int lengthOpens = 0;
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, lostAt)) lengthOpens += open.args[1] != kTrackFlags;
    CHECK(lengthOpens == 0, "the tape kept whole: nothing learned again");
    return Failures();
}

// ---- only internet streams get the short buffer -----------------------------------

int PlayBufferDuringReconnect() {
    PrepareGameFolder();
    const char* missing;
    if (BindAudioCalls(missing) != 0) {
        CHECK(false, std::string("the audio fake lacks ") + missing);
        return Failures();
    }
    WriteGame("[INTERNET]\r\nreconnect = 1\r\n");
    FakeServer server = {};
    server.dropAfterMs = 1000;
    FakeNet_SetServer(kUrl, &server);
    StartGame();
    SetOpenWait(0);

    // With BASS_ATTRIB_BUFFER, and with an older library that refuses it: its
    // first internet stream keeps the buffer it was made with, the later ones
    // are made with the global option set short around their connect.
    const struct {
        int32_t station;
        bool refused;
    } rows[] = {{kPlaylistStation, false}, {kFileStation, true}};
    for (const auto& [station, refused] : rows) {
        const std::string what = station == kFileStation ? "the file station" : "the playlist";
        FakeBass_RefuseBufferAttribute(refused);
        int tuned = BassCallCount();
        TuneTo(kUrlStation);
        const uint32_t net = PlayingStream(BF_STREAM_CREATE_URL, tuned, "the internet station playing");
        CHECK(FakeBass_BufferMs(net) == (refused ? 500 : 160), "the internet stream's buffer");
        server.connectMs = kSlowConnectMs;
        FakeNet_SetServer(kUrl, &server);
        WaitFor([&] { return FakeBass_Active(net) == 0; }, "the server closed");
        const int dropped = BassCallCount();
        WaitFor([&] { return !BassCallsOf(BF_STREAM_CREATE_URL, dropped).empty(); }, "a reconnect attempt connecting");
        Sleep(kTunedIntoConnectMs);
        tuned = BassCallCount();
        const double tunedAt = NowMs();
        TuneTo(station);
        const int fn = station == kFileStation ? BF_STREAM_CREATE_FILE : BF_STREAM_CREATE;
        const uint32_t stream = PlayingStream(fn, tuned, what + " playing");
        const std::vector<BassCall> made = BassCallsOf(fn, tuned);
        const double madeMs = made.empty() ? -1 : made.back().time * 1000 - tunedAt;
        std::printf("%s tuned %u ms into a %u ms connect: made after %.0f ms, buffer %u ms\n", what.c_str(),
                    kTunedIntoConnectMs, kSlowConnectMs, madeMs, FakeBass_BufferMs(stream));
        CHECK(madeMs >= 0 && madeMs <= kMostMadeAfterMs, what + " made within 300 ms, took " + std::to_string(madeMs));
        CHECK(FakeBass_BufferMs(stream) == 500, what + " made during the attempt keeps the 500 ms buffer, got " +
                                                    std::to_string(FakeBass_BufferMs(stream)));
        server.connectMs = 0;
        FakeNet_SetServer(kUrl, &server);
        WaitFor([&] { return BassCallsOf(BF_STREAM_CREATE_URL, dropped).back().result != 0 ||
                             BassCallsOf(BF_STREAM_CREATE_URL, dropped).size() > 1; },
                "the attempt over", kSlowConnectMs + 2000);
    }
    CHECK(BASS_GetConfig(BASS_CONFIG_BUFFER) == 500, "the option at 500 ms");
    return Failures();
}

// ---- a short read is not the end --------------------------------------------------

int PlayShortReads() {
    PrepareGameFolder();
    WriteGame("");
    FakeBass_ShortReads(30);
    StartGame();
    TuneTo(kPlaylistStation);
    PlayingStream(BF_STREAM_CREATE, 0, "the playlist playing");
    // Three track changes.
    WaitFor([] { return LogLinesWith({"next track"}).size() >= 3; }, "three track changes", 15000);
    FakeBass_ShortReads(0);

    // Per track channel: how far it was read, and when its end (-1) came.
    struct Read {
        uint64_t to = 0;
        int endedAt = -1;
        int firstAt = -1;
    };
    std::map<uint32_t, Read> reads;
    std::vector<uint32_t> order;
    const std::vector<BassCall> calls = BassCallsFrom(0);
    for (size_t i = 0; i < calls.size(); ++i) {
        const BassCall& call = calls[i];
        if (call.fn == BF_STREAM_CREATE_FILE && call.args[1] == kTrackFlags && call.result)
            order.push_back(static_cast<uint32_t>(call.result));
        if (call.fn != BF_GET_DATA || !call.args[1]) continue;
        Read& read = reads[call.handle];
        if (read.firstAt < 0) read.firstAt = static_cast<int>(i);
        if (call.result == kBassErrorDword) {
            if (read.endedAt < 0) read.endedAt = static_cast<int>(i);
        } else if (call.qwords[0] + call.result > read.to) {
            read.to = call.qwords[0] + call.result;
        }
    }
    int ended = 0;
    double mostShortMs = 0;
    for (size_t i = 0; i + 1 < order.size(); ++i) {
        const Read& read = reads[order[i]];
        const Read& next = reads[order[i + 1]];
        if (next.firstAt < 0) continue;
        ++ended;
        CHECK(read.endedAt >= 0, "track " + Hex(order[i]) + " left only at its end (-1)");
        const double shortMs = (kTrackMs * kTrackBytesPerMs - static_cast<double>(read.to)) / kTrackBytesPerMs;
        if (shortMs > mostShortMs) mostShortMs = shortMs;
        CHECK(shortMs <= kMostShortMs, "track " + Hex(order[i]) + " heard to its end, " + std::to_string(shortMs) +
                                           " ms short");
        CHECK(next.firstAt > read.endedAt, "the next track only after the end of " + Hex(order[i]));
    }
    std::printf("short reads: %d tracks played out, the most cut %.1f ms before its end\n", ended, mostShortMs);
    CHECK(ended >= 3, "three tracks played out, got " + std::to_string(ended));
    CHECK(LogLinesWith({"next track"}).size() <= static_cast<size_t>(ended) + 1, "no early \"next track\" line");
    return Failures();
}

// ---- handle numbers reused ---------------------------------------------------------

int PlayHandleReuse() {
    PrepareGameFolder();
    WriteGame("[INTERNET]\r\nreconnect = 1\r\n");
    FakeServer server = {};
    server.dropAfterMs = 1500;
    server.title = "First Song";
    FakeNet_SetServer(kUrl, &server);
    FakeBass_ReuseHandles(1);
    StartGame();
    const int32_t drive[] = {kPlaylistStation, kFileStation, kUrlStation, kPlaylistStation, kUrlStation, kFileStation};
    for (const int32_t station : drive) {
        const int tuned = BassCallCount();
        TuneTo(station);
        const int fn = station == kFileStation ? BF_STREAM_CREATE_FILE
                       : station == kUrlStation ? BF_STREAM_CREATE_URL
                                                : BF_STREAM_CREATE;
        const uint32_t stream = PlayingStream(fn, tuned, "station " + std::to_string(station) + " playing");
        // Long enough for a track change, a drop and its reconnect.
        Sleep(3000);
        if (station != kUrlStation)
            CHECK(FakeBass_Active(stream) == 1, "station " + std::to_string(station) + " plays on, its stream never freed");
    }
    std::printf("handle reuse: %d foreign frees\n", FakeBass_ForeignFrees());
    CHECK(FakeBass_ForeignFrees() == 0, "no stream freed that was not ours to free, got " +
                                            std::to_string(FakeBass_ForeignFrees()));
    const std::vector<std::string> freed = LogLinesWith({"FREED"});
    CHECK(freed.empty(), "no tag text read after its stream was freed:" + Joined(freed));
    return Failures();
}

// ---- another plug-in opened the audio library first ---------------------------

int PlaySharedDevice() {
    PrepareGameFolder();
    WriteGame("");
    FakeBass_OthersDevice();
    StartGame();
    TuneTo(kFileStation);
    const uint32_t stream = PlayingStream(BF_STREAM_CREATE_FILE, 0, "the file station playing");
    HeardAtMs(stream, "the file station heard");
    for (const BassCall& load : BassCallsOf(BF_SAMPLE_LOAD)) CHECK(load.result != 0, "the jingles loaded");
    // The output lost in a way that only a new BASS_Init would mend: the other's device is not ours to close.
    FakeNet_LoseDevice(1);
    Sleep(3000);
    CHECK(BassCallsOf(BF_FREE).empty() && FakeBass_OthersShutdowns() == 0, "the other's device never freed");
    const std::vector<std::string> shared = LogLinesWith({"another plug-in"});
    CHECK(shared.size() == 1 && shared[0].find("audio library already set up by another plug-in: sharing it") !=
                                    std::string::npos,
          "the sharing said once:" + Joined(shared));
    CHECK(LogLinesWith({"no audio device"}).empty(), "no device missing said");
    return Failures();
}

void CheckSharedDevice() {
    std::string log;
    CHECK(ReadFile(kBassLogName, log) && !log.empty(), "the audio library's record");
    CHECK(log.find("\nBASS_Stop ") == std::string::npos && log.find("\nBASS_Free ") == std::string::npos,
          "the other's device neither stopped nor freed at exit");
}

// ---- a device opened afresh while numbers are given again ----------------------

int PlayNumbersAfterReopen() {
    constexpr uint32_t kMeasureFlags = 0x80200100;  // unicode name, decode only, float: a track measured
    constexpr uint32_t kLongFileMs = 600000;         // its measure lasts seconds
    constexpr double kTapeSeconds = kTracks * kTrackMs / 1000.0;
    constexpr double kMostOffSeconds = 0.5;
    PrepareGameFolder();
    WriteGame("[SOUND]\r\nlevel = 1\r\n");
    WriteWaveOfLength(kFile, kLongFileMs, kTrackRate);
    FakeBass_ReuseHandles(1);
    StartGame();
    TuneTo(kPlaylistStation);
    PlayingStream(BF_STREAM_CREATE, 0, "the playlist playing");
    // A loss that only BASS_Free and BASS_Init mend, in the middle of a measure.
    WaitFor(
        [] {
            for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE))
                if (open.args[1] == kMeasureFlags && open.result && std::strstr(open.text, "morning.wav"))
                    for (const BassCall& read : BassCallsOf(BF_GET_DATA))
                        if (read.handle == open.result) return true;
            return false;
        },
        "the file station's source measured");
    const int lostAt = BassCallCount();
    FakeNet_LoseDevice(1);
    PlayingStream(BF_STREAM_CREATE, lostAt, "the playlist playing again");
    const double clockSeconds = ClockMs() / 1000.0;
    Sleep(2000);

    std::printf("numbers given again: %d foreign frees\n", FakeBass_ForeignFrees());
    CHECK(FakeBass_ForeignFrees() == 0, "nothing freed that was not ours, got " + std::to_string(FakeBass_ForeignFrees()));
    CHECK(!BassCallsOf(BF_FREE, lostAt).empty(), "the device opened afresh");
    const BassCall* firstTrack = nullptr;
    const std::vector<BassCall> calls = BassCallsFrom(lostAt);
    for (const BassCall& call : calls)
        if (!firstTrack && call.fn == BF_STREAM_CREATE_FILE && call.args[1] == kTrackFlags && call.result) firstTrack = &call;
    // From its live position: the track and the place in it that the game clock gives.
    double placed = -1;
    for (const BassCall& call : calls)
        if (firstTrack && call.fn == BF_SET_POSITION && call.handle == firstTrack->result) {
            const char* name = std::strrchr(firstTrack->text, '\\');
            const int number = name ? std::atoi(name + 1) : 0;
            placed = (number - 1) * kTrackMs / 1000.0 + call.qwords[0] / (kTrackBytesPerMs * 1000.0);
            break;
        }
    const double off = std::fabs(std::remainder(placed - std::fmod(clockSeconds, kTapeSeconds), kTapeSeconds));
    std::printf("numbers given again: restarted %.2f s into the tape, %.2f s from its live position\n", placed, off);
    CHECK(placed >= 0 && off < kMostOffSeconds, "the playlist restarted from its live position");
    return Failures();
}
