#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "settings/settings.h"
#include "settings/text.h"
#include "tests/unit/support.h"

namespace {

const char kSettings[] = "audio/streams/settings.ini";
const char kTemporary[] = "audio/streams/settings.ini.tmp";
const char kBom[] = "\xEF\xBB\xBF";

class Settings : public ModuleTest {
protected:
    static int Save() { return SaveSettings(BaseDirFile("settings.ini").c_str()); }
};

std::string PositionFile(const std::string& value) {
    return "[POSITION]\r\nseconds = " + value + "\r\n";
}

struct PositionCase {
    std::string value;
    int32_t seconds;
};

TEST_F(Settings, PositionReadRules) {
    const PositionCase cases[] = {
        {"42", 42},
        {"-42", -42},
        {"+7", 7},
        {"0x1F", 31},
        {"0X10", 16},
        {"0x", 0},
        {"12a", 0},
        {"0x1G", 0},
        {"", 0},
        {std::string(61, '0') + "42", 42},  // 63 characters
        {std::string(62, '0') + "42", 0},   // 64
        {"2147483647", INT32_MAX},
        {"2147483648", INT32_MAX},
        {"99999999999999999999", INT32_MAX},
        {"-2147483649", INT32_MIN},
        {"0xFFFFFFFF", INT32_MAX},
    };
    for (const PositionCase& c : cases) {
        UseSettings(PositionFile(c.value));
        EXPECT_EQ(GetLongValue("POSITION", "seconds", 0), c.seconds) << c.value;
    }
    UseSettings("[POSITION]\r\nother = 5\r\n");
    EXPECT_EQ(GetLongValue("POSITION", "seconds", 0), 0);
}

TEST_F(Settings, NoFileGivesEveryDefault) {
    LoadSettings();
    EXPECT_TRUE(g_settingsLoaded);
    EXPECT_EQ(GetValue("TRACK1", "source", ""), "");
    EXPECT_EQ(GetValue("TRACK1", "name", ""), "");
    EXPECT_EQ(GetValue("TRACK1", "colorA", ""), "");
    EXPECT_EQ(GetValue("TRACK1", "shadow", "0,0,0"), "0,0,0");
    EXPECT_EQ(GetValue("SWITCHER", "samples", ""), "");
    EXPECT_EQ(GetLongValue("POSITION", "seconds", 0), 0);

    // No station started: the signature alone; a station started: its position.
    EXPECT_EQ(Save(), 0);
    EXPECT_EQ(folder.Settings(), kBom);
    std::remove(kSettings);
    LoadSettings();
    SetLongValue("POSITION", "seconds", 7);
    EXPECT_EQ(Save(), 0);
    EXPECT_EQ(folder.Settings(), kBom + PositionFile("7"));
}

TEST_F(Settings, LookupsFollowTheLibraryRules) {
    UseSettings("[track1]\r\nSource = a.mp3\r\nNAME = One\r\nshadow =\r\n"
         "[TRACK2]\r\nname = Old\r\nname = New\r\n");
    EXPECT_EQ(GetValue("TRACK1", "source", ""), "a.mp3");
    EXPECT_EQ(GetValue("TRACK1", "name", ""), "One");
    EXPECT_EQ(GetValue("TRACK1", "shadow", "0,0,0"), "");
    EXPECT_EQ(GetValue("TRACK2", "name", ""), "New");

    SetLongValue("POSITION", "seconds", 1);
    ASSERT_EQ(Save(), 0);
    const std::string saved = folder.Settings();
    EXPECT_EQ(saved.find("Old"), std::string::npos);
    EXPECT_EQ(saved.find("name = New"), saved.rfind("name = "));
}

TEST_F(Settings, SaveKeepsContentAddsSignatureAndReadsBack) {
    // LF line ends, a file comment, comments before a section and an entry, an
    // entry and a section nobody reads; the comment after the last entry goes.
    UseSettings("; top\n\n; tracks\n[TRACK1]\n; the source\nsource = a.mp3\nfoo = bar\n[other]\nx=1\n; tail\n");
    SetLongValue("POSITION", "seconds", 42);
    ASSERT_EQ(Save(), 0);
    const std::string saved = std::string(kBom) +
                              "; top\r\n\r\n\r\n; tracks\r\n[TRACK1]\r\n\r\n; the source\r\nsource = a.mp3\r\n"
                              "foo = bar\r\n\r\n\r\n[other]\r\nx = 1\r\n\r\n\r\n" +
                              PositionFile("42");
    EXPECT_EQ(folder.Settings(), saved);
    EXPECT_FALSE(folder.Exists(kTemporary));

    // The next run skips the signature and reads the first section; saving again
    // changes nothing.
    LoadSettings();
    EXPECT_EQ(GetValue("TRACK1", "source", ""), "a.mp3");
    EXPECT_EQ(GetLongValue("POSITION", "seconds", 0), 42);
    SetLongValue("POSITION", "seconds", 42);
    ASSERT_EQ(Save(), 0);
    EXPECT_EQ(folder.Settings(), saved);
}

TEST_F(Settings, ExitMergesThePositionIntoTheFileOnDisk) {
    UseSettings("[TRACK1]\r\nname = Before\r\n");
    SetLongValue("POSITION", "seconds", 42);
    folder.WriteSettings("[TRACK1]\r\nname = After\r\n[POSITION]\r\nseconds = 3\r\n");
    ASSERT_EQ(Save(), 0);
    EXPECT_EQ(folder.Settings(), std::string(kBom) + "[TRACK1]\r\nname = After\r\n\r\n\r\n" + PositionFile("42"));

    // No station started: a position edited by hand stays.
    UseSettings(PositionFile("5"));
    folder.WriteSettings(PositionFile("9"));
    ASSERT_EQ(Save(), 0);
    EXPECT_EQ(folder.Settings(), kBom + PositionFile("9"));

    // The file gone at exit: the document in memory is written.
    UseSettings("[TRACK1]\r\nname = Kept\r\n");
    SetLongValue("POSITION", "seconds", 8);
    std::remove(kSettings);
    ASSERT_EQ(Save(), 0);
    EXPECT_EQ(folder.Settings(), std::string(kBom) + "[TRACK1]\r\nname = Kept\r\n\r\n\r\n" + PositionFile("8"));
}

std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

// Each file as a player's tool writes it: how it reads, and whether the saves
// (the early one and the exit's) may write over it.
TEST_F(Settings, EncodingsDecideTheReadAndTheSave) {
    const std::u16string wide = u"[TRACK1]\r\nsource = music/\u00C9t\u00E9 \U0001F3B5.wav\r\nname = Kept\r\n";
    const std::string accented = "music/\xC3\x89t\xC3\xA9 \xF0\x9F\x8E\xB5.wav";
    const std::string ansi = "music/\xC9t\xE9.wav";
    const struct Case {
        const char* form;
        std::string file;
        SettingsFileState state;
        std::string source;  // as read; the saves keep it when they write
        const char* why;     // a word of what ReadSettingsDocument says
    } cases[] = {
        {"UTF-8 with signature", kBom + std::string("[TRACK1]\r\nsource = ") + accented + "\r\n",
         SettingsFileState::kRead, accented, ""},
        {"ANSI, not valid UTF-8", "[TRACK1]\r\nsource = " + ansi + "\r\n", SettingsFileState::kRead, ansi, ""},
        {"UTF-16 LE", Utf16(wide, false), SettingsFileState::kRead, accented, "UTF-16"},
        {"UTF-16 BE", Utf16(wide, true), SettingsFileState::kRead, accented, "UTF-16"},
        {"NUL in the middle", std::string("[TRACK1]\r\nsource = a.wav\r\n\0name = Lost\r\n", 40),
         SettingsFileState::kRefused, "a.wav", "NUL byte on line 3 (byte 26 "},
        {"UTF-16 with a lone surrogate", Utf16(u"[TRACK1]\nsource = a.wav\n\xD800x", false), SettingsFileState::kRefused,
         "a.wav", "half of a character pair on line 3"},
        {"UTF-16 cut in a character", Utf16(u"[TRACK1]\nsource = a.wav\n", false) + "x", SettingsFileState::kRefused,
         "a.wav", "half a character"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.form);
        folder.WriteSettings(c.file);
        LoadSettings();
        EXPECT_EQ(g_settingsFileState, c.state);
        EXPECT_NE(g_settingsFileNote.find(c.why), std::string::npos) << g_settingsFileNote;
        EXPECT_EQ(GetValue("TRACK1", "source", ""), c.source);
        SetLongValue("POSITION", "seconds", 77);

        SavePosition(66);
        const bool writes = c.state == SettingsFileState::kRead;
        EXPECT_EQ(folder.Settings() == c.file, !writes);
        EXPECT_EQ(Save(), writes ? kSaveOk : kSaveRefused);
        if (!writes) {
            EXPECT_EQ(folder.Settings(), c.file);
            EXPECT_STREQ(SaveRefusal(), g_settingsFileNote.c_str());
            continue;
        }
        LoadSettings();
        EXPECT_EQ(g_settingsFileState, SettingsFileState::kRead);
        EXPECT_EQ(GetValue("TRACK1", "source", ""), c.source);
        EXPECT_EQ(GetLongValue("POSITION", "seconds", 0), 77);
        EXPECT_EQ(folder.Settings().compare(0, 3, kBom), 0);
    }

    // A file that another program holds open without sharing cannot be read whole.
    folder.WriteSettings("[TRACK1]\r\nname = Mine\r\n");
    const HANDLE lock = CreateFileA(kSettings, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    LoadSettings();
    EXPECT_EQ(g_settingsFileState, SettingsFileState::kRefused);
    EXPECT_EQ(Save(), kSaveRefused);
    CloseHandle(lock);
    EXPECT_EQ(folder.Settings(), "[TRACK1]\r\nname = Mine\r\n");
}

enum class Obstacle { ReadOnlyFile, FolderAtTemporaryName, OpenWithoutDeleteSharing };

TEST_F(Settings, FailedSaveChangesNothingOnDisk) {
    const std::string original = "[TRACK1]\r\nname = Mine\r\n";
    const std::string settings = folder.Path() + "\\audio\\streams\\settings.ini";
    const std::string temporary = settings + ".tmp";
    for (Obstacle obstacle :
         {Obstacle::ReadOnlyFile, Obstacle::FolderAtTemporaryName, Obstacle::OpenWithoutDeleteSharing}) {
        SCOPED_TRACE(static_cast<int>(obstacle));
        UseSettings(original);
        SetLongValue("POSITION", "seconds", 42);
        HANDLE lock = INVALID_HANDLE_VALUE;
        switch (obstacle) {
        case Obstacle::ReadOnlyFile:
            SetFileAttributesA(settings.c_str(), FILE_ATTRIBUTE_READONLY);
            break;
        case Obstacle::FolderAtTemporaryName:
            CreateDirectoryA(temporary.c_str(), nullptr);
            break;
        case Obstacle::OpenWithoutDeleteSharing:
            // The file still reads, but the final rename cannot replace it.
            lock = CreateFileA(settings.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(lock, INVALID_HANDLE_VALUE);
            break;
        }
        EXPECT_EQ(Save(), kSaveCannotOpen);
        if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
        SetFileAttributesA(settings.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(temporary.c_str());
        EXPECT_EQ(folder.Settings(), original);
        EXPECT_FALSE(folder.Exists(kTemporary));
    }
}

TEST_F(Settings, MissingFolderAtExitWritesNothing) {
    UseSettings("[TRACK1]\r\nname = Mine\r\n");
    SetLongValue("POSITION", "seconds", 42);
    std::remove(kSettings);
    ASSERT_TRUE(RemoveDirectoryA("audio\\streams"));
    EXPECT_EQ(Save(), kSaveCannotOpen);
    EXPECT_FALSE(folder.Exists("audio/streams"));
}

}  // namespace
