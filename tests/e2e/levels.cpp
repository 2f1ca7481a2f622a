#include "tests/e2e/levels.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/e2e/rig.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kTrackMs = 1000;
constexpr double kTargetLufs = -18;
constexpr double kMostOffLu = 0.5;
// The tape is 7 s: broadcast time 602.05 s is 0.05 s into its first track.
constexpr uint32_t kTuneClockMs = 602050;
constexpr uint32_t kFrameMs = 16;
constexpr uint32_t kTrackFlags = 0x80220100;  // as the module opens a track to play it

const char kSettings[] =
    "[SOUND]\r\nlevel = 1\r\ntarget = -18\r\n"
    "[TRACK3]\r\nplaylist = audio/streams/even\r\n"
    "[TRACK5]\r\nsource = audio/streams/quietfile.wav\r\n"
    "[POSITION]\r\nseconds = 0\r\n";

struct Sine {
    const char* name;
    uint16_t chans;
    uint32_t sounding;  // the channels that carry the sine, a bit each
    double dbfs;       // a 1 kHz sine of this peak; in stereo it reads this many LUFS
    double spikeDbfs;  // one sample this high, or 0 for none
    double heardLufs;  // as it should be heard
    const char* tags;  // Vorbis comments, or null
};
// The tagged track's tags say -12 LUFS, whatever it holds: heard 6 dB lower.
const char kTags[] = "REPLAYGAIN_TRACK_GAIN=-6.00 dB\0REPLAYGAIN_TRACK_PEAK=0.5\0";
constexpr uint32_t kStereo = 0x3, kFront = 0x3, kAllButLfe = 0x77;
const Sine kTracks[] = {
    {"1loud.wav", 2, kStereo, -10, 0, kTargetLufs, nullptr},
    {"2quiet.wav", 2, kStereo, -26, 0, kTargetLufs, nullptr},
    {"3peaky.wav", 2, kStereo, -30, -3, -27, nullptr},  // raised by 3 dB only: its peak reaches full scale
    {"4tagged.wav", 2, kStereo, -30, 0, -36, kTags},
    // Heard as the stream mixes them: mono on both sides, surrounds mixed down.
    {"5mono.wav", 1, 0x1, -26, 0, kTargetLufs, nullptr},
    {"6front51.wav", 6, kFront, -20, 0, kTargetLufs, nullptr},
    {"7all61.wav", 7, kAllButLfe, -24, 0, kTargetLufs, nullptr},
};
constexpr size_t kLastTrack = sizeof kTracks / sizeof kTracks[0] - 1;
// Mono, as the library plays it: the same on both speakers.
const Sine kFileStation = {"quietfile.wav", 1, 0x1, -26, 0, kTargetLufs, nullptr};
constexpr int kMeasured = 7;  // the untagged tracks and the file station
constexpr int kKept = 8;

void WriteSine(const std::string& path, const Sine& sine, uint32_t ms = kTrackMs) {
    const uint32_t frames = kRate * ms / 1000;
    const uint32_t data = frames * 2 * sine.chans;
    std::string wave = "RIFF";
    const auto put = [&](uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) wave += static_cast<char>(value >> (8 * i) & 0xFF);
    };
    put(36 + data, 4);
    wave += "WAVEfmt ";
    put(16, 4);
    put(1, 2);  // PCM
    put(sine.chans, 2);
    put(kRate, 4);
    put(kRate * 2 * sine.chans, 4);
    put(2 * sine.chans, 2);
    put(16, 2);
    wave += "data";
    put(data, 4);
    const double amplitude = std::pow(10.0, sine.dbfs / 20) * 32767;
    for (uint32_t i = 0; i < frames; ++i) {
        double value = amplitude * std::sin(2 * 3.14159265358979 * 1000.0 * i / kRate);
        if (sine.spikeDbfs != 0 && i == frames / 2) value = std::pow(10.0, sine.spikeDbfs / 20) * 32767;
        const auto sample = static_cast<uint16_t>(static_cast<int16_t>(std::lround(value)));
        for (uint16_t c = 0; c < sine.chans; ++c) put(sine.sounding >> c & 1 ? sample : 0, 2);
    }
    if (sine.tags) {
        // A chunk of Vorbis comments after the samples, as the audio fake hands them over.
        const std::string comments(sine.tags, sizeof kTags);
        wave += "tag2";
        put(static_cast<uint32_t>(comments.size()), 4);
        wave += comments;
        if (comments.size() & 1) wave += '\0';
    }
    WriteFile(path, wave);
}

// Tracks measured to their end: reads of no pull that ended a channel.
int MeasuredToTheEnd() {
    int ends = 0;
    for (const BassCall& read : BassCallsOf(BF_GET_DATA, 0)) ends += read.result == 0xFFFFFFFFu && read.args[1] == 0;
    return ends;
}

// What was heard of each track: the pulls of the stream that read from it alone.
struct Heard {
    double squares = 0;  // sum of squares of the samples written
    double samples = 0;
    float peak = 0;
};

std::map<uint32_t, Heard> HeardByChannel(uint32_t stream, int first) {
    std::map<uint32_t, Heard> heard;
    const std::vector<BassCall> calls = BassCallsFrom(first);
    for (const BassCall& pull : calls) {
        if (pull.fn != BF_STREAM_PULL || pull.handle != stream) continue;
        uint32_t channel = 0;
        bool one = true;
        for (const BassCall& read : calls) {
            if (read.fn != BF_GET_DATA || read.args[1] != pull.args[1] || read.result == 0xFFFFFFFFu) continue;
            one &= channel == 0 || channel == read.handle;
            channel = read.handle;
        }
        const double samples = static_cast<double>(pull.result & 0x7FFFFFFFu) / sizeof(float);
        if (!one || !channel || samples == 0) continue;
        Heard& track = heard[channel];
        track.squares += pull.seconds * samples;
        track.samples += samples;
        track.peak = std::max(track.peak, pull.value);
    }
    return heard;
}

// The first play of a fresh playlist, tuned in before anything is measured:
// the tracks after the first are measured while it plays, each before it
// begins; the tagged one plays at its tags' level from its open.
constexpr uint32_t kFreshTrackMs = 3000;
// The tape is 15 s: broadcast time 600.05 s is 0.05 s into its first track.
constexpr uint32_t kFreshTuneClockMs = 600050;
const Sine kFreshTracks[] = {
    {"1first.wav", 2, kStereo, -12, 0, 0, nullptr},  // on air at the tune-in: heard as it is
    {"2quiet.wav", 2, kStereo, -26, 0, kTargetLufs, nullptr},
    {"3tagged.wav", 2, kStereo, -30, 0, -36, kTags},
    {"4loud.wav", 2, kStereo, -10, 0, kTargetLufs, nullptr},
    {"5soft.wav", 2, kStereo, -22, 0, kTargetLufs, nullptr},
};

uint32_t TrackChannel(const char* name, int first) {
    for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, first))
        if (open.args[1] == kTrackFlags && std::strstr(open.text, name) && open.result)
            return static_cast<uint32_t>(open.result);
    return 0;
}

}  // namespace

int PlayFirstPlayLevels() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, kSettings);
    CreateDirectoryA("audio\\streams\\even", nullptr);
    for (const Sine& sine : kFreshTracks)
        WriteSine(std::string("audio/streams/even/") + sine.name, sine, kFreshTrackMs);
    FakeBass_SetDecodeCost(FAKEBASS_DECODE_COST);
    SetOpenWait(0);
    SetGameDefaults();
    PutPlayerInCar();
    TuneTo(3);
    Host().StartDrawing(kFrameMs);
    StartClock(kFreshTuneClockMs);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);

    const Sine& last = kFreshTracks[sizeof kFreshTracks / sizeof kFreshTracks[0] - 1];
    uint32_t stream = 0;
    WaitFor(
        [&] {
            for (const BassCall& made : BassCallsOf(BF_STREAM_CREATE, 0))
                if (made.result) stream = static_cast<uint32_t>(made.result);
            const uint32_t channel = TrackChannel(last.name, 0);
            return stream && channel && HeardByChannel(stream, 0)[channel].samples > kRate;
        },
        "the last track heard for half a second", 60000);

    const std::map<uint32_t, Heard> heard = HeardByChannel(stream, 0);
    for (const Sine& sine : kFreshTracks) {
        if (sine.heardLufs == 0) continue;
        const auto found = heard.find(TrackChannel(sine.name, 0));
        CHECK(found != heard.end(), std::string(sine.name) + " heard");
        if (found == heard.end()) continue;
        const double lufs = 10 * std::log10(2 * found->second.squares / found->second.samples);
        std::printf("first play: %s (%.0f LUFS) heard at %.2f LUFS\n", sine.name, sine.dbfs, lufs);
        CHECK(std::fabs(lufs - sine.heardLufs) < 1, std::string(sine.name) + " heard at " + std::to_string(lufs));
    }
    return Failures();
}

int PlayLevels() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, kSettings);
    CreateDirectoryA("audio\\streams\\even", nullptr);
    for (const Sine& sine : kTracks) WriteSine(std::string("audio/streams/even/") + sine.name, sine);
    WriteSine(std::string("audio/streams/") + kFileStation.name, kFileStation);
    SetOpenWait(0);
    SetGameDefaults();
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    PutPlayerInCar();
    Host().StartDrawing(kFrameMs);
    StartClock(kTuneClockMs);

    // Measured ahead, before any tune-in.
    WaitFor([] { return MeasuredToTheEnd() == kMeasured; }, "the tracks and the file station measured");

    const int tuned = BassCallCount();
    HoldClock(kTuneClockMs);
    TuneTo(3);
    uint32_t stream = 0, last = 0;
    WaitFor(
        [&] {
            for (const BassCall& made : BassCallsOf(BF_STREAM_CREATE, tuned))
                if (made.result) stream = static_cast<uint32_t>(made.result);
            for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, tuned))
                if (open.args[1] == kTrackFlags && std::strstr(open.text, kTracks[kLastTrack].name) && open.result)
                    last = static_cast<uint32_t>(open.result);
            return stream && last && HeardByChannel(stream, tuned)[last].samples > kRate;
        },
        "the last track heard for half a second");
    ResumeClock();

    const std::map<uint32_t, Heard> heard = HeardByChannel(stream, tuned);
    for (const Sine& sine : kTracks) {
        uint32_t channel = 0;
        for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, tuned))
            if (open.args[1] == kTrackFlags && std::strstr(open.text, sine.name) && open.result && !channel)
                channel = static_cast<uint32_t>(open.result);
        const auto found = heard.find(channel);
        CHECK(found != heard.end(), std::string(sine.name) + " heard");
        if (found == heard.end()) continue;
        // A 1 kHz sine's K-weighting and the measure's offset cancel: two channels' mean square is its loudness.
        const double lufs = 10 * std::log10(2 * found->second.squares / found->second.samples);
        std::printf("levels: %s (%.0f LUFS) heard at %.2f LUFS, peak %.3f\n", sine.name, sine.dbfs, lufs,
                    found->second.peak);
        CHECK(std::fabs(lufs - sine.heardLufs) < kMostOffLu, std::string(sine.name) + " heard at " + std::to_string(lufs));
        CHECK(found->second.peak <= 1.0f, std::string(sine.name) + " never clips");
    }
    // A file station: its stream's samples at its gain, under the fade's volume.
    const int fileTuned = BassCallCount();
    TuneTo(5);
    WaitFor([&] { return !BassCallsOf(BF_SET_DSP, fileTuned).empty(); }, "the file station's gain");
    for (const BassCall& dsp : BassCallsOf(BF_SET_DSP, fileTuned)) {
        const double db = 20 * std::log10(dsp.value);
        std::printf("levels: %s (%.0f LUFS) played at %+.2f dB\n", kFileStation.name, kFileStation.dbfs, db);
        CHECK(std::fabs(kFileStation.dbfs + db - kFileStation.heardLufs) < kMostOffLu, "the file station at " + std::to_string(db));
    }

    // Kept, and each track measured once.
    WaitFor([] { return LevelsKept() == kKept; }, "every loudness in the cache");
    CHECK(MeasuredToTheEnd() == kMeasured, "each measured once, got " + std::to_string(MeasuredToTheEnd()));
    // The tagged track is opened to be measured (its tags read), never decoded for it.
    for (const BassCall& read : BassCallsOf(BF_GET_DATA, 0))
        for (const BassCall& open : BassCallsOf(BF_STREAM_CREATE_FILE, 0))
            CHECK(!(open.result == read.handle && std::strstr(open.text, "4tagged") && read.args[1] == 0),
                  "the tagged track read outside the stream");

    std::string log;
    ReadFile(kRunLogPath, log);
    for (const char* line : {"station start: playlist audio/streams/even playing 1loud.wav from 0:00 of 0:01\r\n",
                             "now playing: 1loud (-8.0 dB)\r\n", "now playing: 2quiet (+8.0 dB)\r\n",
                             "now playing: 3peaky (+3.0 dB)\r\n", "now playing: 4tagged (-6.0 dB)\r\n",
                             "now playing: quietfile (+8.0 dB)\r\n"})
        CHECK(log.find(line) != std::string::npos, std::string("the run log says: ") + line);
    return Failures();
}
