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

    // The file gone (or unreadable) at exit: the document in memory is written.
    UseSettings("[TRACK1]\r\nname = Kept\r\n");
    SetLongValue("POSITION", "seconds", 8);
    std::remove(kSettings);
    ASSERT_EQ(Save(), 0);
    EXPECT_EQ(folder.Settings(), std::string(kBom) + "[TRACK1]\r\nname = Kept\r\n\r\n\r\n" + PositionFile("8"));
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
