#include <cstdint>
#include <cstring>

#include "radio/internet/mirrors.h"
#include "radio/internet/reconnect.h"
#include "radio/internet/streamtags.h"
#include "tests/unit/support.h"

namespace {

class Reconnect : public ModuleTest {};

struct StallStep {
    uint32_t stream;
    uint32_t state;
    uint32_t atMs;
    bool ours;
};

TEST_F(Reconnect, WaitsGrowAndStallsCountAsOursForTheGraceTime) {
    const uint32_t waits[] = {1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000};
    for (uint32_t attempt = 0; attempt < sizeof waits / sizeof waits[0]; ++attempt)
        EXPECT_EQ(ReconnectWaitMs(attempt), waits[attempt]) << attempt;
    EXPECT_EQ(ReconnectWaitMs(UINT32_MAX), 30000u);

    // The grace runs from the first stalled answer, without a break, per stream.
    const StallStep steps[] = {
        {7, 1, 0, true},      {7, 2, 100, true},    {7, 2, 6099, true},   {7, 2, 6100, false},
        {7, 2, 9000, false},  {7, 1, 9001, true},   {7, 2, 9002, true},   {7, 2, 15001, true},
        {8, 2, 15002, true},  {8, 2, 21001, true},  {8, 2, 21002, false}, {8, 4, 21003, false},
        {8, 2, 21004, true},  {8, 0, 21005, false}, {8, 2, 0xFFFFFF00u, true}, {8, 2, 5000, true},
    };
    for (const StallStep& step : steps)
        EXPECT_EQ(CountsAsPlaying(step.stream, step.state, step.atMs), step.ours)
            << step.stream << " state " << step.state << " at " << step.atMs;
}

TEST_F(Reconnect, EachAttemptGoesOnToTheStationsNextAddress) {
    UseSettings("[TRACK4]\nmirrors =  http://b  http://a http://c \n");
    TakeStationMirrors(4, "http://a");
    // The source first, then the mirrors in order, the source's repeat left out; round again.
    const char* const steps[][2] = {{"http://a", "http://b"}, {"http://b", "http://c"}, {"http://c", "http://a"},
                                    {"http://elsewhere", "http://elsewhere"}};
    for (const auto& step : steps) {
        char address[64];
        std::strcpy(address, step[0]);
        NextStationAddress(address, sizeof address);
        EXPECT_STREQ(address, step[1]) << step[0];
    }
}

struct TagCase {
    const char* text;  // NUL-separated where lines
    size_t size;
    const char* title;    // StreamTitle, or null for none
    const char* name;     // icy-name value, or null
    const char* ogg;      // OggTitle, or null
};

TEST_F(Reconnect, TitlesAndHeadersReadAsServersSendThem) {
    const TagCase cases[] = {
        {"StreamTitle='Artist - Song';StreamUrl='';", 0, "Artist - Song", nullptr, nullptr},
        {"StreamTitle='Guns N' Roses - Patience';StreamUrl='http://x/?a=1';", 0, "Guns N' Roses - Patience", nullptr,
         nullptr},
        {"StreamTitle='A';B - C';", 0, "A';B - C", nullptr, nullptr},
        {"StreamTitle='';", 0, nullptr, nullptr, nullptr},
        {"StreamTitle='no end", 0, "no end", nullptr, nullptr},
        {"StreamUrl='x';", 0, nullptr, nullptr, nullptr},
        {"ICY 200 OK\0ICY-NAME: Net Radio\0icy-br:128\0", 37, nullptr, "Net Radio", nullptr},
        {"HTTP/1.0 200 OK\0icy-description:x\0", 35, nullptr, nullptr, nullptr},
        {"ENCODER=x\0ARTIST=Band\0TITLE=Song\0", 34, nullptr, nullptr, "Band - Song"},
        {"title=Only\0", 12, nullptr, nullptr, "Only"},
    };
    for (const TagCase& c : cases) {
        char block[128] = {};
        std::memcpy(block, c.text, c.size ? c.size : std::strlen(c.text) + 1);
        char out[kTagTextMax];
        EXPECT_EQ(StreamTitle(block, out, sizeof out), c.title != nullptr) << c.text;
        if (c.title) { EXPECT_STREQ(out, c.title); }
        EXPECT_EQ(HeaderValue(block, "icy-name:", out, sizeof out), c.name != nullptr) << c.text;
        if (c.name) { EXPECT_STREQ(out, c.name); }
        EXPECT_EQ(OggTitle(block, out, sizeof out), c.ogg != nullptr) << c.text;
        if (c.ogg) { EXPECT_STREQ(out, c.ogg); }
    }

    // Valid UTF-8 stays; anything else is taken in the ANSI code page (1252 here).
    char out[kTagTextMax];
    AsUtf8("Caf\xC3\xA9", out, sizeof out);
    EXPECT_STREQ(out, "Caf\xC3\xA9");
    AsUtf8("Caf\xE9", out, sizeof out);
    EXPECT_STREQ(out, "Caf\xC3\xA9");
    char small[4];
    AsUtf8("Caf\xE9", small, sizeof small);
    EXPECT_STREQ(small, "Caf");
}

}  // namespace
