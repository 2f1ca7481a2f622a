#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "settings/text.h"

namespace {

struct FieldCase {
    int16_t n;
    const char* text;
    char separator;
    const char* field;
};

TEST(Text, FieldAtCountsFromOneAndWrapsAround) {
    const FieldCase cases[] = {
        {1, "abc", ',', "abc"},
        {2, "abc", ',', "abc"},
        {1, "", ',', ""},
        {2, "", ',', ""},
        {7, "", ',', ""},
        {1, "a,b", ',', "a"},
        {2, "a,b", ',', "b"},
        {3, "a,b", ',', "a"},
        {4, "a,b", ',', "b"},
        {5, "a,b,c", ',', "b"},
        {INT16_MAX, "a,b", ',', "a"},
        {0, "x,y", ',', "x"},
        {-3, "x,y", ',', "x"},
        {INT16_MIN, "x,y", ',', "x"},
        {1, ",a", ',', ""},
        {2, ",a", ',', "a"},
        {2, "a,", ',', ""},
        {3, "a,", ',', "a"},
        {2, "a,,b", ',', ""},
        {3, "a,,b", ',', "b"},
        {2, " 1 , 2 ", ',', " 2 "},
        {1, "http://host:8000/x", ':', "http"},
        {3, "http://host:8000/x", ':', "8000/x"},
    };
    for (const FieldCase& c : cases) {
        EXPECT_EQ(FieldAt(c.n, c.text, c.separator), c.field) << c.n << " of \"" << c.text << "\"";
    }
}

TEST(Text, FieldsAreTheFieldsInOrder) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"", {""}},
        {"a", {"a"}},
        {",", {"", ""}},
        {"a, b,", {"a", " b", ""}},
        {",,x,", {"", "", "x", ""}},
    };
    for (const auto& [text, fields] : cases) {
        EXPECT_EQ(Fields(text, ','), fields) << text;
        for (size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(FieldAt(static_cast<int16_t>(i + 1), text, ','), fields[i]) << text << " " << i;
        }
    }
}

TEST(Text, NumbersAndSections) {
    EXPECT_EQ(NumberToText(-5), "-5");
    EXPECT_EQ(NumberToText(0), "0");
    EXPECT_EQ(NumberToText(13), "13");
    EXPECT_EQ(NumberToText(INT32_MIN), "-2147483648");
    EXPECT_EQ(NumberToText(INT32_MAX), "2147483647");

    // The station byte comes from the game unsigned and is widened with its sign.
    const std::pair<uint8_t, const char*> sections[] = {
        {0, "TRACK0"}, {1, "TRACK1"}, {13, "TRACK13"}, {127, "TRACK127"},
        {128, "TRACK-128"}, {200, "TRACK-56"}, {255, "TRACK-1"},
    };
    for (const auto& [station, section] : sections) EXPECT_EQ(TrackSection(station), section);
}

TEST(Text, BaseDirFileJoinsWithoutChangingTheName) {
    EXPECT_EQ(BaseDirFile("settings.ini"), "./audio/streams/settings.ini");
    EXPECT_EQ(BaseDirFile(""), "./audio/streams/");
    EXPECT_EQ(BaseDirFile(" jingle.wav"), "./audio/streams/ jingle.wav");
}

}  // namespace
