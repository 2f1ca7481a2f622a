#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <utility>

#include "radio/tags/tags.h"

namespace {

using namespace std::string_literals;

std::string SyncSafe(size_t size) {
    return {char(size >> 21 & 0x7F), char(size >> 14 & 0x7F), char(size >> 7 & 0x7F), char(size & 0x7F)};
}

std::string BigEndian(size_t size, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += char(size >> (8 * i) & 0xFF);
    return out;
}

// One frame; sizes as the version writes them.
std::string Frame(int version, const std::string& id, const std::string& content, char format = 0) {
    if (version == 2) return id + BigEndian(content.size(), 3) + content;
    return id + (version == 3 ? BigEndian(content.size(), 4) : SyncSafe(content.size())) + '\0' + format + content;
}

std::string Tag(int version, char flags, const std::string& body, size_t claimed = 0) {
    return "ID3"s + char(version) + '\0' + flags + SyncSafe(claimed ? claimed : body.size()) + body;
}

std::string Utf16Le(const std::u16string& text) {
    std::string out = "\xFF\xFE";
    for (char16_t unit : text) out += {char(unit & 0xFF), char(unit >> 8)};
    return out;
}

std::string Utf16Be(const std::u16string& text) {
    std::string out;
    for (char16_t unit : text) out += {char(unit >> 8), char(unit & 0xFF)};
    return out;
}

std::string Id3v1(const std::string& title, const std::string& artist) {
    std::string block = "TAG" + title + std::string(30 - title.size(), '\0') + artist;
    return block + std::string(128 - block.size(), '\0');
}

constexpr float kNone = NAN;
constexpr int kNoR128 = INT_MIN;

struct TagCase {
    const char* what;
    uint32_t type;
    std::string block;
    const char* title;
    const char* artist;
    float gain = kNone;
    float peak = kNone;
    int r128 = kNoR128;
    bool damaged = false;
};

TEST(Tags, EachFormatAndEncodingGivesItsTitleArtistAndLevels) {
    const std::string txxxGain = Frame(4, "TXXX", "\3REPLAYGAIN_TRACK_GAIN\0-4.50 dB"s);
    const std::string txxxPeak = Frame(4, "TXXX", "\1"s + Utf16Le(u"replaygain_track_peak") + "\0\0"s +
                                                      Utf16Le(u"0.988"));
    const TagCase cases[] = {
        {"2.3 UTF-16 with BOM", kTagId3v2,
         Tag(3, 0, Frame(3, "TIT2", "\1" + Utf16Le(u"Caf\u00e9 \U0001F3B5")) + Frame(3, "TPE1", "\1" + Utf16Le(u"Zo\u00eb"))),
         "Caf\u00e9 \U0001F3B5", "Zo\u00eb"},
        {"2.4 UTF-8, padding after", kTagId3v2,
         Tag(4, 0, Frame(4, "TPE1", "\3Bj\u00f6rk") + Frame(4, "TIT2", "\3J\u00f3ga\0Second value"s) +
                       std::string(20, '\0')),
         "J\u00f3ga", "Bj\u00f6rk"},
        {"2.4 UTF-16BE", kTagId3v2, Tag(4, 0, Frame(4, "TIT2", "\2" + Utf16Be(u"\u00c9t\u00e9"))), "\u00c9t\u00e9", ""},
        {"2.2 ISO-8859-1", kTagId3v2, Tag(2, 0, Frame(2, "TT2", "\0Caf\xE9"s) + Frame(2, "TP1", "\0Ren\xE9"s)),
         "Caf\u00e9", "Ren\u00e9"},
        {"2.3 whole tag unsynchronised", kTagId3v2, Tag(3, '\x80', "TIT2\0\0\0\4\0\0\0A\xFF\0B"s), "A\u00ffB", ""},
        {"2.4 frame unsynchronised", kTagId3v2, Tag(4, 0, "TIT2"s + SyncSafe(5) + "\0\2\0A\xFF\0B"s), "A\u00ffB", ""},
        {"2.3 extended header", kTagId3v2, Tag(3, '\x40', BigEndian(6, 4) + std::string(6, '\0') +
                                                              Frame(3, "TIT2", "\0Ext"s)),
         "Ext", ""},
        {"2.4 extended header", kTagId3v2, Tag(4, '\x40', SyncSafe(6) + "\1\0"s + Frame(4, "TIT2", "\3Ext")), "Ext", ""},
        {"2.4 TXXX levels", kTagId3v2, Tag(4, 0, txxxGain + txxxPeak), "", "", -4.5f, 0.988f},
        {"a damaged frame is skipped, the next read", kTagId3v2,
         Tag(4, 0, Frame(4, "TIT2", "\7bad") + Frame(4, "TIT2", "\3\xC3"s) + Frame(4, "TIT2", "\3Good") +
                       Frame(4, "TPE1", "\3Band")),
         "Good", "Band", kNone, kNone, kNoR128, true},
        {"a frame past the tag's end", kTagId3v2,
         Tag(3, 0, Frame(3, "TIT2", "\0Kept"s) + "TPE1" + BigEndian(1000, 4) + "\0\0\0Lost"s), "Kept", "", kNone, kNone,
         kNoR128, true},
        {"a block shorter than its header says", kTagId3v2, Tag(4, 0, Frame(4, "TIT2", "\3Short"), 4000), "Short", "",
         kNone, kNone, kNoR128, true},
        {"2.3 Windows-1252 punctuation", kTagId3v2, Tag(3, 0, Frame(3, "TIT2", "\0Don\x92t \x93Stop\x94 \x96 Live\x85"s)),
         "Don\u2019t \u201cStop\u201d \u2013 Live\u2026", ""},
        {"2.4 plain frame sizes, a picture of 36 KB first", kTagId3v2,
         Tag(4, 0, "APIC"s + BigEndian(36000, 4) + "\0\0"s + std::string(36000, '\x55') + "TIT2"s + BigEndian(5, 4) +
                       "\0\0\3Late"s + "TPE1"s + BigEndian(5, 4) + "\0\0\3Band"s),
         "Late", "Band"},
        {"2.4 extended header flag without one", kTagId3v2, Tag(4, '\x40', Frame(4, "TIT2", "\3Stray") +
                                                                          Frame(4, "TPE1", "\3Flag")),
         "Stray", "Flag"},
        {"2.3 extended header flag without one", kTagId3v2, Tag(3, '\x40', Frame(3, "TIT2", "\0Stray"s)), "Stray", ""},
        {"not a tag", kTagId3v2, "ID3\5\0\0\0\0\0\0"s, "", "", kNone, kNone, kNoR128, true},
        {"Vorbis comments", kTagOgg,
         "title=Night Drive\0ARTIST=The \xC3\x89lan\0REPLAYGAIN_TRACK_GAIN=-6.20 dB\0REPLAYGAIN_TRACK_PEAK=1.05\0\0"s,
         "Night Drive", "The \u00c9lan", -6.2f, 1.05f},
        {"Opus R128", kTagOgg, "TITLE=Opus\0R128_TRACK_GAIN=-1024\0\0"s, "Opus", "", kNone, kNone, -1024},
        {"APE levels", kTagApe, "Title=Ape\0Artist=Apes\0REPLAYGAIN_TRACK_GAIN=+2.1 dB\0\0"s, "Ape", "Apes", 2.1f},
        {"MP4", kTagMp4, "Title=Four\0Artist=Mp\0\0"s, "Four", "Mp"},
        {"a level that is no number", kTagOgg, "REPLAYGAIN_TRACK_GAIN=loud\0TITLE=T\0\0"s, "T", "", kNone, kNone,
         kNoR128, true},
        {"comments cut at the block's end", kTagOgg, "TITLE=Cut", "Cut", ""},
        {"ID3v1", kTagId3, Id3v1("Old Song", "Old \xC9"), "Old Song", "Old \u00c9"},
        {"ID3v1 in Windows-1252", kTagId3, Id3v1("Don\x92t Stop", "X"), "Don\u2019t Stop", "X"},
        {"ID3v1 too short", kTagId3, "TAG", "", "", kNone, kNone, kNoR128, true},
    };
    for (const TagCase& row : cases) {
        SCOPED_TRACE(row.what);
        TrackTags tags;
        ParseTagBlock(row.type, row.block.data(), row.block.size(), tags);
        EXPECT_EQ(tags.title, row.title);
        EXPECT_EQ(tags.artist, row.artist);
        EXPECT_EQ(tags.hasReplayGain, !std::isnan(row.gain));
        if (!std::isnan(row.gain)) {
            EXPECT_FLOAT_EQ(tags.replayGainDb, row.gain);
        }
        EXPECT_EQ(tags.hasReplayPeak, !std::isnan(row.peak));
        if (!std::isnan(row.peak)) {
            EXPECT_FLOAT_EQ(tags.replayPeak, row.peak);
        }
        EXPECT_EQ(tags.hasR128Gain, row.r128 != kNoR128);
        if (row.r128 != kNoR128) {
            EXPECT_EQ(tags.r128Gain, row.r128);
        }
        EXPECT_EQ(tags.damaged, row.damaged);
    }
}

// The part of a block read: never past the length the library gives, the
// header's size only where no length is given.
TEST(Tags, BlockSizeKeepsWithinTheLengthGiven) {
    const std::string id3 = Tag(4, 0, Frame(4, "TIT2", "\3Short"), 4000);
    const std::string comments = "TITLE=A\0\0more"s;
    const struct {
        const char* what;
        uint32_t type;
        const std::string& block;
        size_t length;
        size_t read;
        bool cut;
    } cases[] = {
        {"ID3v2 shorter than its header", kTagId3v2, id3, id3.size(), id3.size(), false},
        {"ID3v2 without a length: its header", kTagId3v2, id3, kUnknownTagLength, 4010, false},
        {"ID3v2 of fewer bytes than a header", kTagId3v2, id3, 6, 6, false},
        {"ID3v2 past the most read", kTagId3v2, id3, kMaxTagBlock + 1, 4010, true},
        {"comments to the empty string", kTagOgg, comments, comments.size(), 9, false},
        {"comments cut by their length", kTagOgg, comments, 4, 4, false},
        {"ID3v1 cut by its length", kTagId3, comments, 5, 5, false},
    };
    for (const auto& row : cases) {
        bool cut;
        EXPECT_EQ(TagBlockSize(row.type, row.block.data(), row.length, cut), row.read) << row.what;
        EXPECT_EQ(cut, row.cut) << row.what;
    }
}

TEST(Tags, TitleFromFileNameLeavesOutFolderExtensionAndTrackNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"03 Last Bus.wav", "Last Bus"}, {"music/1-03. Night.mp3", "Night"}, {"C:\\m\\07_Rain.flac", "Rain"},
        {"1999.mp3", "1999"},           {"2Pac Song.ogg", "2Pac Song"},     {".hidden", ".hidden"},
    };
    for (const auto& [name, title] : cases) EXPECT_EQ(TitleFromFileName(name), title) << name;
}

}  // namespace
