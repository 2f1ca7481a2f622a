// The exit work after threads were killed mid-work, the hand-over of opening
// jobs, and the helper thread's early position save.
#include <gtest/gtest.h>

#include "module/entry.h"
#include "module/library.h"
#include "module/logevents.h"
#include "module/reload.h"
#include "platform/busy.h"
#include "platform/runlog.h"
#include "platform/threads.h"
#include "radio/common/opening.h"
#include "radio/player.h"
#include "settings/settings.h"
#include "tests/fakes/threads.h"
#include "tests/unit/support.h"

namespace {

using Exit = ModuleTest;

const char kSettings[] = "[TRACK1]\r\nsource = a.mp3\r\n\r\n[POSITION]\r\nseconds = 7\r\n";
const char kTemporary[] = "audio/streams/settings.ini.tmp";

TEST_F(Exit, EachPartIsSkippedWhileItsMarkIsRaised) {
    struct Case {
        int memory, audio, files;
        bool saves, shutsDown;
    } const cases[] = {{0, 0, 0, true, true},
                       {1, 0, 0, false, true},
                       {0, 1, 0, true, false},
                       {0, 0, 1, false, true},
                       {2, 1, 1, false, false}};
    for (const Case& c : cases) {
        ResetModuleState();
        UseSettings(kSettings);
        SetLongValue("POSITION", "seconds", 42);
        folder.Write(kTemporary, "cut short");
        OpenRunLog();
        g_audioLibraryState = kLibraryAccepted;
        g_memoryWork = c.memory;
        g_audioWork = c.audio;
        g_fileWork = c.files;
        DetachWork();
        g_memoryWork = 0;
        g_audioWork = 0;
        g_fileWork = 0;
        const bool saved = folder.Settings().find("seconds = 42") != std::string::npos;
        EXPECT_EQ(saved, c.saves) << c.memory << c.audio << c.files;
        if (!c.saves) {
            EXPECT_EQ(folder.Settings(), kSettings);
        }
        EXPECT_FALSE(folder.Exists(kTemporary)) << c.memory << c.audio << c.files;
        EXPECT_EQ(BassCallsOf(BF_STOP).size() + BassCallsOf(BF_FREE).size(), c.shutsDown ? 2u : 0u);
        EXPECT_EQ(folder.Read("audio/streams/zorve.log").find("audio library left open") == std::string::npos,
                  c.shutsDown);
    }
}

TEST_F(Exit, OneJobWaitsAtATime) {
    int runs = 0;
    const OpeningBody count = [](void* runs) { ++*static_cast<int*>(runs); };
    EXPECT_TRUE(HandOverOpening(count, &runs, nullptr));
    EXPECT_FALSE(HandOverOpening(count, &runs, nullptr));
    EXPECT_TRUE(RunWaitingOpening());
    EXPECT_FALSE(RunWaitingOpening());
    EXPECT_EQ(runs, 1);
    FailThreadStarts(true);
    EXPECT_FALSE(HandOverOpening(count, &runs, nullptr));
    FailThreadStarts(false);
}

TEST_F(Exit, EarlySaveKeepsHandEditsAndLeavesTheDocumentAlone) {
    UseSettings(kSettings);
    NoteSettingsInForce();
    SetHost<uint32_t>(host::kClockMsAddr, 90000);
    StartStation(1);
    // Edited by hand while the game runs: the save waits while the editor may still be writing.
    const std::string edit = "; mine\r\n[TRACK1]\r\nsource = b.mp3\r\n\r\n[POSITION]\r\nseconds = 7\r\n";
    folder.WriteSettings(edit);
    folder.SetWriteTime("audio/streams/settings.ini", 0);
    EXPECT_FALSE(SaveRequestedPosition());
    EXPECT_EQ(folder.Settings(), edit);
    folder.SetWriteTime("audio/streams/settings.ini", -1000);
    EXPECT_TRUE(SaveRequestedPosition());
    EXPECT_FALSE(SaveRequestedPosition());
    const std::string saved = folder.Settings();
    for (const char* kept : {"; mine", "source = b.mp3", "seconds = 97\r\n"})
        EXPECT_NE(saved.find(kept), std::string::npos) << kept << "\n" << saved;
    EXPECT_FALSE(folder.Exists(kTemporary));
    EXPECT_EQ(GetValue("TRACK1", "source", ""), "a.mp3");

    // Without a readable file there is nothing to merge into: the exit save does the work.
    std::remove("audio/streams/settings.ini");
    StartStation(1);
    EXPECT_TRUE(SaveRequestedPosition());
    EXPECT_FALSE(folder.Exists("audio/streams/settings.ini"));
}

TEST_F(Exit, PositionReachesTheDiskBeforeAWaitingOpening) {
    UseSettings(kSettings);
    folder.WriteWave("a.mp3");
    SetHost<uint32_t>(host::kClockMsAddr, 90000);
    ListHelperWork();
    StartStation(1);
    ASSERT_TRUE(RunHelperWorkStep());
    EXPECT_NE(folder.Settings().find("seconds = 97\r\n"), std::string::npos) << folder.Settings();
    EXPECT_EQ(QueuedThreadCount(), 1);
    EXPECT_TRUE(RunQueuedThread());
}

}  // namespace
