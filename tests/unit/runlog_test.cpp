// The run log's file handling: rotation, the switch in the settings, the size
// bound and whole lines from several threads.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "module/logevents.h"
#include "platform/runlog.h"
#include "settings/text.h"
#include "tests/unit/support.h"

namespace {

const char kLog[] = "audio/streams/zorve.log";
const char kPreviousLog[] = "audio/streams/zorve.log.1";

class RunLog : public ModuleTest {
protected:
    void TearDown() override {
        CloseRunLog();
        ModuleTest::TearDown();
    }

    std::vector<std::string> Lines(const char* path) const {
        std::vector<std::string> lines;
        std::istringstream text(folder.Read(path));
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        return lines;
    }
};

TEST_F(RunLog, KeepsOneEarlierRunAndHonoursTheSwitch) {
    UseSettings("[LOG]\r\nenabled = 1\r\n");
    folder.Write(kLog, "two runs ago\r\n");
    OpenRunLog();
    LogLine("last run");
    OpenRunLog();
    LogLine("this run");
    CloseRunLog();
    LogLine("after the close");
    EXPECT_EQ(folder.Read(kPreviousLog), "0:00:00 last run\r\n");
    EXPECT_EQ(folder.Read(kLog), "0:00:00 this run\r\n");

    // Switched off: neither log is touched.
    UseSettings("[log]\r\nEnabled = 0\r\n");
    OpenRunLog();
    LogLine("not written");
    EXPECT_FALSE(RunLogOpen());
    EXPECT_EQ(folder.Read(kPreviousLog), "0:00:00 last run\r\n");
    EXPECT_EQ(folder.Read(kLog), "0:00:00 this run\r\n");

    // A folder named as the log is no log: it is never moved.
    UseSettings("");
    DeleteFileA(kLog);
    DeleteFileA(kPreviousLog);
    ASSERT_TRUE(CreateDirectoryA(kLog, nullptr));
    OpenRunLog();
    EXPECT_FALSE(RunLogOpen());
    EXPECT_FALSE(folder.Exists(kPreviousLog));
    EXPECT_NE(GetFileAttributesA(kLog) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST_F(RunLog, ClockAndPlacesReadAsHoursMinutesSeconds) {
    struct Case {
        uint32_t seconds;
        const char* clock;
        const char* place;
    };
    const Case cases[] = {{0, "0:00:00", "0:00"}, {754, "0:12:34", "12:34"}, {3725, "1:02:05", "1:02:05"},
                          {4294967, "1193:02:47", "1193:02:47"}};
    for (const Case& c : cases) {
        char clock[16], place[16];
        FormatClock(clock, sizeof clock, c.seconds);
        FormatDuration(place, sizeof place, c.seconds);
        EXPECT_STREQ(clock, c.clock);
        EXPECT_STREQ(place, c.place);
    }
}

// 2 x 2000 lines of ~150 bytes: past the bound.
constexpr int kLinesPerThread = 2000;

DWORD WINAPI WriteLines(LPVOID tag) {
    const std::string padding(130, *static_cast<const char*>(tag));
    for (int i = 0; i < kLinesPerThread; ++i) LogLine("%s %05d", padding.c_str(), i);
    return 0;
}

// Two threads write at once, past the bound: every line is whole, the file
// stops near the bound, and one last line says that it is full.
TEST_F(RunLog, LinesStayWholeAndStopAtTheBound) {
    UseSettings("");
    SetHost<uint32_t>(host::kClockMsAddr, 3725500);
    OpenRunLog();
    static const char kTags[] = "ab";
    HANDLE threads[2];
    for (int t = 0; t < 2; ++t) threads[t] = CreateThread(nullptr, 0, WriteLines, const_cast<char*>(&kTags[t]), 0, nullptr);
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    LogLine("after the bound");
    CloseRunLog();

    const std::string text = folder.Read(kLog);
    const auto lines = Lines(kLog);
    ASSERT_FALSE(lines.empty());
    EXPECT_LE(text.size(), kRunLogLimit + kRunLogLineMax);
    EXPECT_GT(text.size(), kRunLogLimit - kRunLogLineMax);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        ASSERT_EQ(line.size(), 8u + 130 + 1 + 5 + 1) << i;  // "1:02:05 ", padding, blank, number, CR
        EXPECT_EQ(line.compare(0, 8, "1:02:05 "), 0) << i;
        EXPECT_EQ(line.find_first_not_of(line[8], 8), 8u + 130) << i;
    }
    EXPECT_EQ(lines.back(), "1:02:05 the log is full (256 KB): nothing more is written in this run\r");
}

}  // namespace
