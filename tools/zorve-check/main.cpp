// zorve-check: tells a player what the radio module will make of a game folder.
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <direct.h>
#define ChangeDirectory _chdir
#else
#include <unistd.h>
#define ChangeDirectory chdir
#endif

#include "tools/zorve-check/inspect.h"
#include "tools/zorve-check/report.h"

namespace {

constexpr int kAllPlay = 0;
constexpr int kSomethingWillNotPlay = 1;
constexpr int kUsageError = 2;

const char kUsage[] =
    "usage: zorve-check [--json] [--tracks] GAME-FOLDER\n"
    "Reads GAME-FOLDER/audio/streams/settings.ini as the radio module does and tells, for\n"
    "stations 1 to 11 and the jingles, what will play and why not. --tracks lists every\n"
    "track of a playlist station with its length and title. Exit status 0 when\n"
    "everything configured will play, 1 when something will not, 2 on a usage error.\n";

}  // namespace

int main(int argc, char** argv) {
    bool json = false;
    bool tracks = false;
    const char* folder = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--tracks") == 0) {
            tracks = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return kAllPlay;
        } else if (!folder && argv[i][0] != '-') {
            folder = argv[i];
        } else {
            std::fputs(kUsage, stderr);
            return kUsageError;
        }
    }
    if (!folder) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }
    // The module finds everything from the game's current directory, the game folder.
    if (ChangeDirectory(folder) != 0) {
        std::fprintf(stderr, "zorve-check: cannot open the game folder %s\n", folder);
        return kUsageError;
    }

    const FolderLook look = InspectGameFolder();
    if (json) {
        PrintJson(stdout, folder, look, tracks);
    } else {
        PrintText(stdout, folder, look, tracks);
    }
    return AnyFailure(look) ? kSomethingWillNotPlay : kAllPlay;
}
