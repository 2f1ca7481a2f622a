#include "tests/e2e/programme.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tests/e2e/playlist.h"
#include "tests/e2e/rig.h"

namespace {

// Four songs of 20 s, an ident after every two and a break of two spots at the
// first song's end after each minute: the programme runs 0 s 01, 20 s 02,
// 40 s ident, 42 s 03, 62 s spot, 65 s spot, 68 s 04, 88 s ident, and again
// from 90 s. The idents and spots play in the order the station's shuffle
// gives their names.
constexpr uint32_t kSongMs = 20000, kIdentMs = 2000, kSpotMs = 3000;
const char* const kIdents[] = {"id-a.wav", "id-b.wav"};
const char* const kSpots[] = {"ad-y.wav", "ad-x.wav"};
const char kSettings[] =
    "[TRACK3]\r\nplaylist = audio/streams/songs\r\nidents = audio/streams/idents\r\n"
    "spots = audio/streams/spots\r\nspotsEvery = 1\r\n"
    "[TRACK4]\r\nplaylist = audio/streams/songs\r\nidents = audio/streams/nothing\r\n"
    "spots = audio/streams/silence\r\nidentsEvery = often\r\nspotsCount = 101\r\n"
    "[POSITION]\r\nseconds = 100\r\n";
// With the saved offset of 100 s, broadcast times 1031 s and 1053.5 s: 41 s
// and 63.5 s into the eleventh pass of the programme, 1 s into the first
// ident and 1.5 s into the first spot of the break.
constexpr uint32_t kIdentClockMs = 931000, kBreakClockMs = 953500;
constexpr uint32_t kProgrammeMs = 90000;
constexpr uint64_t kIdentBytesIn = kFloatBytesPerSecond, kSpotBytesIn = kFloatBytesPerSecond * 3 / 2;
constexpr int32_t kProgrammeStation = 3, kFaultyStation = 4;

uint64_t BytesOf(const std::string& name) {
    const uint32_t ms = name.find("id-") != std::string::npos   ? kIdentMs
                        : name.find("ad-") != std::string::npos ? kSpotMs
                                                                : kSongMs;
    return ms * kFloatBytesPerSecond / 1000;
}

// Tuned in at clockMs, the clip is placed bytesIn from its start; heard on
// until the song `next` begins, each join without a gap. The largest gap.
double TuneInto(uint32_t clockMs, const char* clip, uint64_t bytesIn, const char* next, const std::string& what) {
    const int tuned = BassCallCount();
    TuneHeld(kProgrammeStation, clockMs);
    const uint32_t stream = StreamPlaying(tuned);
    const uint64_t placed = PositionSet(TrackOpened(clip, tuned), tuned);
    std::printf("programme: %s: %s placed %.3f s in, where the broadcast is %.3f s in\n", what.c_str(), clip,
                placed == ~0ull ? -1.0 : static_cast<double>(placed) / kFloatBytesPerSecond,
                static_cast<double>(bytesIn) / kFloatBytesPerSecond);
    CHECK(placed == bytesIn, what + ": " + clip + " placed at byte " + std::to_string(placed));
    ResumeClock();
    WaitFor([] { return RadioBytesAre(host::kRadioOutputOff, host::kRadioRetuneOn); }, "the game radio silenced");
    bool radioHeard = false;
    const auto pieces = HearUntil(stream, tuned, [&] { return TrackOpened(next, tuned); }, radioHeard, what);
    CHECK(!radioHeard, what + ": the game radio stays silent");
    std::string order;
    for (const Piece& piece : pieces) {
        const std::string name = TrackName(piece.channel, tuned);
        const std::string file = name.substr(name.find_last_of("/\\") + 1);
        if (order.empty() || order.compare(order.size() - file.size(), file.size(), file) != 0)
            order += (order.empty() ? "" : " ") + file;
    }
    std::printf("programme: %s: heard %s\n", what.c_str(), order.c_str());
    CHECK(order.find(next) != std::string::npos && order.rfind(clip, 0) == 0, what + ": heard " + order);
    return CheckSeamless(pieces, tuned, BytesOf, what);
}

}  // namespace

int PlayProgramme() {
    PrepareGameFolder();
    WriteFile(kSettingsPath, kSettings);
    for (const char* folder : {"songs", "idents", "spots", "silence"})
        CreateDirectoryA((std::string("audio\\streams\\") + folder).c_str(), nullptr);
    for (int i = 1; i <= 4; ++i) WriteWaveOfLength("audio/streams/songs/0" + std::to_string(i) + ".wav", kSongMs, kTrackRate);
    for (const char* ident : kIdents) WriteWaveOfLength(std::string("audio/streams/idents/") + ident, kIdentMs, kTrackRate);
    for (const char* spot : kSpots) WriteWaveOfLength(std::string("audio/streams/spots/") + spot, kSpotMs, kTrackRate);
    StartDriving(kIdentClockMs);

    double largestGap = TuneInto(kIdentClockMs, kIdents[0], kIdentBytesIn, "03.wav", "during an ident");
    // A station whose programme keys cannot be used plays its songs alone.
    const int faulty = BassCallCount();
    TuneTo(kFaultyStation);
    StreamPlaying(faulty);
    // A pass of the programme later when a loaded machine has taken the game's clock past the break:
    // the clock held never runs backwards.
    uint32_t breakClockMs = kBreakClockMs;
    while (breakClockMs <= ClockMs()) breakClockMs += kProgrammeMs;
    largestGap = std::max(largestGap, TuneInto(breakClockMs, kSpots[0], kSpotBytesIn, "04.wav", "during a break"));
    std::printf("programme: the largest gap or overlap at a join: %.2f ms\n", largestGap);

    std::string log;
    ReadFile(kRunLogPath, log);
    const std::string identStart = std::string("station start: playlist audio/streams/songs playing ") + kIdents[0];
    for (const std::string& line :
         {identStart + " from 0:01 of 0:02\r\n", "ident: " + std::string(kIdents[0]) + "\r\n",
          std::string("station start: playlist audio/streams/songs playing ") + kSpots[0] + " from 0:01 of 0:03\r\n",
          "spots: " + std::string(kSpots[0]) + ", " + kSpots[1] + "\r\n",
          std::string("idents audio/streams/nothing: there is no such folder or file; songs only\r\n"),
          std::string("spots audio/streams/silence: no clip in it plays; songs only\r\n"),
          std::string("settings: [TRACK4] identsEvery = often refused (a whole number of songs from 0 to 100); 2 is used\r\n"),
          std::string("settings: [TRACK4] spotsCount = 101 refused (a whole number of spots from 0 to 100); 2 is used\r\n"),
          std::string("playlist audio/streams/songs: next track 03.wav\r\n")})
        CHECK(log.find(line) != std::string::npos, "the run log says: " + line);
    CHECK(log.find(std::string("spots: ") + kSpots[1] + "\r\n") == std::string::npos, "a break is named once, as it starts");
    // A clip names no song: the first now-playing line after the ident's start is the next song's.
    const size_t named = log.find("now playing: ", log.find(identStart));
    CHECK(named != std::string::npos && log.compare(named, 15, "now playing: 03") == 0,
          "no song named before 03: " + (named == std::string::npos ? "none named" : log.substr(named, 40)));
    return Failures();
}
