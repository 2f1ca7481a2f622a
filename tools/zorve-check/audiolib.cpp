// The audio library's version resource and the add-ons beside the game.
#include "tools/zorve-check/audiolib.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

#include "settings/text.h"

namespace {

// The fixed part of a version resource: a signature, a structure version and
// then the file version as two 32-bit words, major.minor and revision.build,
// all little-endian.
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr size_t kFixedInfoBytes = 16;
constexpr unsigned kHalfWord = 16;
constexpr uint32_t kHalfMask = 0xFFFF;
const char kSupportedPrefix[] = "2.4.";
const char kLibraryName[] = "bass.dll";
const char kAddOnStart[] = "bass";
const char kAddOnEnd[] = ".dll";

uint32_t Word(const unsigned char* at) {
    return uint32_t{at[0]} | uint32_t{at[1]} << 8 | uint32_t{at[2]} << 16 | uint32_t{at[3]} << 24;
}

bool IsAddOnName(const std::string& name) {
    const std::string lower = LowerCase(name);
    const size_t start = sizeof kAddOnStart - 1;
    const size_t end = sizeof kAddOnEnd - 1;
    return lower != kLibraryName && lower.size() > start + end && lower.compare(0, start, kAddOnStart) == 0 &&
           lower.compare(lower.size() - end, end, kAddOnEnd) == 0;
}

}  // namespace

std::string LibraryFileVersion(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "";
    std::vector<unsigned char> data;
    unsigned char block[65536];
    for (size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) data.insert(data.end(), block, block + got);
    std::fclose(file);

    // The resource lies wherever the linker put it: look for its fixed part.
    for (size_t at = 0; at + kFixedInfoBytes <= data.size(); ++at) {
        if (Word(&data[at]) != kFixedInfoSignature || Word(&data[at + 4]) != kFixedInfoStructVersion) continue;
        const uint32_t high = Word(&data[at + 8]);
        const uint32_t low = Word(&data[at + 12]);
        char text[48];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", high >> kHalfWord, high & kHalfMask, low >> kHalfWord,
                      low & kHalfMask);
        return text;
    }
    return "";
}

bool IsSupportedLibraryVersion(const std::string& version) {
    return version.compare(0, sizeof kSupportedPrefix - 1, kSupportedPrefix) == 0;
}

std::vector<std::string> AddOnsIn(const std::string& folder) {
    std::vector<std::string> names;
#ifdef _WIN32
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsAddOnName(found.cFileName))
                names.push_back(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
#else
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            struct stat info;
            const std::string name = entry->d_name;
            if (IsAddOnName(name) && stat((folder + "/" + name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
                names.push_back(name);
        }
        closedir(dir);
    }
#endif
    std::sort(names.begin(), names.end());
    return names;
}

std::string AddOnFor(const std::string& format) {
    if (format == "FLAC") return "bassflac.dll";
    if (format == "Opus") return "bassopus.dll";
    if (format == "AAC" || format == "M4A") return "bass_aac.dll";
    return "";
}

bool HasAddOn(const std::vector<std::string>& addOns, const std::string& name) {
    return std::any_of(addOns.begin(), addOns.end(),
                       [&](const std::string& addOn) { return LowerCase(addOn) == LowerCase(name); });
}
