// Names with accents through the library's UTF-16 calls, and an opening that
// an exception cuts short.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "platform/bass.h"
#include "radio/jingles.h"
#include "radio/player.h"
#include "settings/settings.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

class Names : public ModuleTest {};

// Names saved in the ANSI code page find the files Windows keeps in UTF-16.
TEST_F(Names, AccentedNamesOpenThroughUnicode) {
    folder.Write("music/\xC3\x89t\xC3\xA9.mp3", "x");
    folder.WriteWave("audio/streams/d\xC3\xA9" "but.wav");
    UseSettings("[TRACK1]\nsource = music/\xC9t\xE9.mp3\n[SWITCHER]\nsamples = d\xE9" "but.wav\n");
    LoadJingles();
    StartStation(1);
    ASSERT_TRUE(RunQueuedThread());
    const auto opens = BassCallsOf(BF_STREAM_CREATE_FILE);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].args[1], 0x20104u | BASS_UNICODE);
    EXPECT_STREQ(opens[0].text, "music/\xC3\x89t\xC3\xA9.mp3");
    EXPECT_NE(opens[0].result, 0u);
    const auto loads = BassCallsOf(BF_SAMPLE_LOAD);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].args[3], BASS_UNICODE);
    EXPECT_NE(g_jingleSamples[0], 0u);
}

// An opening cut short by an exception still ends: the flag comes down and the next station opens.
TEST_F(Names, OpeningCutShortByAnExceptionIsFinished) {
    UseSettings("[TRACK2]\nsource = music.mp3\n");
    folder.Write("music.mp3", "x");
    StartOpeningJob([](void*) { throw std::bad_alloc(); }, std::malloc(1));
    EXPECT_TRUE(g_streamStarting.load());
    EXPECT_TRUE(RunQueuedThread());
    EXPECT_FALSE(g_streamStarting.load());
    StartStation(2);
    EXPECT_TRUE(RunQueuedThread());
    EXPECT_EQ(BassCallsOf(BF_STREAM_CREATE_FILE).size(), 1u);
}

}  // namespace
