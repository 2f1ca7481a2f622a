// The kept track lengths: what is written comes back, only the tracks asked
// for are written, and no damaged, foreign or stale length is taken.
#include <gtest/gtest.h>

#include "radio/playlist/trackcache.h"

namespace {

const CachedLength kRock{{4096, 133000000000000000ull}, 185250000};
const CachedLength kJazz{{77, 133000000000000001ull}, 1, true, LevelSource::kMeasured, -2345, 891251};
const char kRockPath[] = "music\\rock/caf\xC3\xA9 one.mp3";
const char kJazzPath[] = "music/jazz.ogg";

// The kept length of the track at path while its file is as stamped; 0 otherwise.
uint64_t MicrosOf(const TrackCache& cache, const std::string& path, const FileStamp& stamp) {
    const CachedLength* track = CachedTrack(cache, path, stamp);
    return track ? track->micros : 0;
}

TEST(TrackCache, WrittenLengthsComeBackAndOnlyTheTracksAskedFor) {
    const TrackCache cache = {{kRockPath, kRock}, {kJazzPath, kJazz}, {"music/gone.mp3", kRock}};
    TrackCache read;
    ASSERT_TRUE(ParseTrackCache(FormatTrackCache(cache, {kJazzPath, kRockPath, kJazzPath, "music/new.mp3"}), read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(MicrosOf(read, kRockPath, kRock.stamp), kRock.micros);
    const CachedLength* jazz = CachedTrack(read, kJazzPath, kJazz.stamp);
    ASSERT_TRUE(jazz);
    EXPECT_EQ(jazz->micros, kJazz.micros);
    EXPECT_TRUE(jazz->exact);
    EXPECT_EQ(jazz->level, LevelSource::kMeasured);
    EXPECT_EQ(jazz->loudnessCentiLufs, kJazz.loudnessCentiLufs);
    EXPECT_EQ(jazz->peakMillionths, kJazz.peakMillionths);
    EXPECT_FALSE(CachedTrack(read, kRockPath, kRock.stamp)->exact);
}

TEST(TrackCache, DamagedForeignAndStaleLengthsAreRefused) {
    const std::string good = FormatTrackCache({{kRockPath, kRock}}, {kRockPath});
    const std::string header = good.substr(0, good.find('\n') + 1);
    const std::string line = good.substr(header.size());
    const auto replaced = [](std::string text, const std::string& from, const std::string& to) {
        return text.replace(text.find(from), from.size(), to);
    };
    std::string crlf = good;
    crlf.insert(crlf.size() - 1, "\r");
    struct Case {
        const char* what;
        std::string text;
        bool whole;  // nothing refused
        bool found;
    } const cases[] = {
        {"as written", good, true, true},
        {"windows line ends", crlf, true, true},
        {"another version", replaced(good, "lengths 2", "lengths 3"), false, false},
        {"the first format, read for its length",
         "zorve track lengths 1\n1478bb78\t4096\t133000000000000000\t185250000\tmusic\\rock/caf\xC3\xA9 one.mp3\n", false, true},
        {"no cache at all", "[TRACK1]\nsource = x.mp3\n", false, false},
        {"a changed length", replaced(good, "185250000", "185250001"), false, false},
        {"a changed check sum", replaced(good, line.substr(0, 8), "00000000"), false, false},
        {"the last line cut short", good.substr(0, good.size() - 1), false, false},
        {"a line of no length", FormatTrackCache({{kRockPath, {kRock.stamp, 0}}}, {kRockPath}), false, false},
        {"a line with no path", FormatTrackCache({{"", kRock}}, {""}), false, false},
        {"a stray line besides", good + "garbage\n", false, true},
    };
    for (const Case& c : cases) {
        TrackCache read;
        EXPECT_EQ(ParseTrackCache(c.text, read), c.whole) << c.what;
        EXPECT_EQ(MicrosOf(read, kRockPath, kRock.stamp), c.found ? kRock.micros : 0) << c.what;
    }

    // A file whose size or write time changed since is learned again.
    TrackCache read;
    ASSERT_TRUE(ParseTrackCache(good, read));
    EXPECT_EQ(MicrosOf(read, kRockPath, {kRock.stamp.size + 1, kRock.stamp.writeTime}), 0u);
    EXPECT_EQ(MicrosOf(read, kRockPath, {kRock.stamp.size, kRock.stamp.writeTime + 1}), 0u);
    EXPECT_EQ(MicrosOf(read, "music/other.mp3", kRock.stamp), 0u);
}

}  // namespace
