// Text from players' tools: the conversions, and names with accents through
// the library's UTF-16 calls while all-ASCII names keep the plain ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "platform/bass.h"
#include "platform/unicode.h"
#include "radio/jingles.h"
#include "radio/player.h"
#include "settings/settings.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

TEST(Encodings, Utf8IsCheckedAndEveryAnsiByteConverts) {
    const struct {
        const char* text;
        size_t valid;  // bytes before the first invalid sequence
        std::u16string wide;
    } cases[] = {
        {"plain", 5, u"plain"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", 14, u"caf\u00E9 \u20AC \U0001F3B5"},
        {"a\xC0\x80", 1, u""},          // overlong NUL
        {"a\xE0\x80\xAF", 1, u""},      // overlong slash
        {"a\xED\xA0\x80", 1, u""},      // a surrogate
        {"a\xF4\x90\x80\x80", 1, u""},  // past U+10FFFF
        {"a\xE2\x82", 1, u""},          // cut short
        {"caf\xE9", 3, u""},            // Windows-1252
    };
    for (const auto& c : cases) {
        const std::string text = c.text;
        EXPECT_EQ(Utf8ValidLength(text), c.valid) << text;
        std::u16string wide;
        EXPECT_EQ(Utf8ToUtf16(text, wide), c.valid == text.size()) << text;
        EXPECT_EQ(wide, c.wide) << text;
        std::string back;
        if (c.valid == text.size()) {
            EXPECT_TRUE(Utf16ToUtf8(wide, back) && back == text) << text;
        }
    }
    EXPECT_EQ(ExternalToUtf16("caf\xE9 \x80\x81"), u"caf\u00E9 \u20AC\u0081");
    EXPECT_EQ(ExternalToUtf8("caf\xE9"), "caf\xC3\xA9");
    std::string cut;
    EXPECT_FALSE(Utf16ToUtf8(u"ab\xDC00", cut));
    EXPECT_EQ(cut, "ab");
}

class Names : public ModuleTest {};

TEST_F(Names, AccentedNamesOpenThroughUnicodeAndAsciiNamesAsBefore) {
    folder.Write("music/\xC3\x89t\xC3\xA9.mp3", "x");
    folder.Write("music/plain.mp3", "x");
    folder.WriteWave("audio/streams/d\xC3\xA9" "but.wav");
    folder.WriteWave("audio/streams/plain.wav");
    const struct {
        const char* value;  // as written in settings.ini
        uint32_t unicode;   // BASS_UNICODE or 0
        const char* opened; // the name the library was given, as UTF-8
    } sources[] = {
        {"music/\xC3\x89t\xC3\xA9.mp3", BASS_UNICODE, "music/\xC3\x89t\xC3\xA9.mp3"},
        {"music/\xC9t\xE9.mp3", BASS_UNICODE, "music/\xC3\x89t\xC3\xA9.mp3"},  // saved in the ANSI code page
        {"music/plain.mp3", 0, "music/plain.mp3"},
    };
    for (const auto& c : sources) {
        ResetModuleState();
        UseSettings(std::string("[TRACK1]\nsource = ") + c.value + "\n");
        StartStation(1);
        ASSERT_TRUE(RunQueuedThread()) << c.opened;
        const auto opens = BassCallsOf(BF_STREAM_CREATE_FILE);
        ASSERT_EQ(opens.size(), 1u) << c.opened;
        EXPECT_EQ(opens[0].args[1], 0x20104u | c.unicode) << c.opened;
        EXPECT_STREQ(opens[0].text, c.opened);
        EXPECT_NE(opens[0].result, 0u) << c.opened;
    }

    ResetModuleState();
    UseSettings("[SWITCHER]\nsamples = d\xE9" "but.wav,plain.wav\n");
    LoadJingles();
    const auto loads = BassCallsOf(BF_SAMPLE_LOAD);
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0].args[3], BASS_UNICODE);
    EXPECT_STREQ(loads[0].text, "./audio/streams/d\xC3\xA9" "but.wav");
    EXPECT_EQ(loads[1].args[3], 0u);
    EXPECT_NE(g_jingleSamples[0], 0u);
    EXPECT_NE(g_jingleSamples[1], 0u);
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
