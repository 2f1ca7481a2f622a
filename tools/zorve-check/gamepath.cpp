// Paths as the game sees them, and whether a file is audio the library reads.
#include "tools/zorve-check/gamepath.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/files.h"

#ifndef _WIN32
#include <dirent.h>
#endif

namespace {

// The first bytes of the audio formats the library reads by itself, and of
// those its add-ons read (FLAC, Opus, AAC and M4A).
std::string AudioFormat(const unsigned char* head, size_t size) {
    auto at = [&](size_t offset, const char* text) {
        const size_t length = std::strlen(text);
        return size >= offset + length && std::memcmp(head + offset, text, length) == 0;
    };
    if (at(0, "RIFF") && at(8, "WAVE")) return "WAV";
    if (at(0, "FORM") && (at(8, "AIFF") || at(8, "AIFC"))) return "AIFF";
    if (at(0, "fLaC")) return "FLAC";
    if (at(4, "ftyp")) return "M4A";
    constexpr size_t kOggPacketStart = 28;
    if (at(0, "OggS") && at(kOggPacketStart, "OpusHead")) return "Opus";
    if (at(0, "OggS")) return "OGG";
    if (at(0, "ID3")) return "MP3";
    constexpr unsigned char kFrameSync = 0xFF;
    constexpr unsigned char kFrameSyncHigh = 0xE0;
    // An AAC frame header has the layer bits 00, which MPEG audio never uses.
    constexpr unsigned char kAacSyncMask = 0xF6;
    constexpr unsigned char kAacSync = 0xF0;
    if (size >= 2 && head[0] == kFrameSync && (head[1] & kAacSyncMask) == kAacSync) return "AAC";
    if (size >= 2 && head[0] == kFrameSync && (head[1] & kFrameSyncHigh) == kFrameSyncHigh) return "MP3";
    return "";
}

#ifndef _WIN32

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsDriveOrNetworkPath(const std::string& path) {
    const bool drive = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    const bool network = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
    return drive || network;
}

bool SameNameIgnoringCase(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// The entry of folder called name, matched exactly first and then without
// regard to case; empty when there is none.
std::string FindEntry(const std::string& folder, const std::string& name) {
    struct stat info;
    if (lstat((folder + name).c_str(), &info) == 0) return name;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return "";
    std::string found;
    while (const dirent* entry = readdir(dir)) {
        if (SameNameIgnoringCase(name, entry->d_name)) {
            found = entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

#endif

}  // namespace

#ifndef _WIN32

std::string ResolveLikeWindows(const std::string& path) {
    std::vector<std::string> names;
    std::string name;
    auto take = [&](bool last) {
        if (last) {
            while (!name.empty() && (name.back() == '.' || name.back() == ' ') && name != "." && name != "..") {
                name.pop_back();
            }
        }
        if (name == "..") {
            if (!names.empty()) names.pop_back();
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        name.clear();
    };
    for (char c : path) {
        if (IsSeparator(c)) {
            take(false);
        } else {
            name += c;
        }
    }
    take(true);

    std::string resolved = IsSeparator(path.empty() ? ' ' : path[0]) ? "/" : "";
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string entry = FindEntry(resolved, names[i]);
        if (entry.empty()) return "";
        resolved += entry;
        if (i + 1 < names.size()) resolved += '/';
    }
    return resolved.empty() ? "." : resolved;
}

#endif

bool ExistsForGame(const std::string& path) {
#ifdef _WIN32
    return PathExists(path.c_str());
#else
    // PathExists refuses these before it looks, on every system.
    if (path.empty() || IsSeparator(path.back())) return false;
    const std::string resolved = ResolveLikeWindows(path);
    return !resolved.empty() && PathExists(resolved.c_str());
#endif
}

PathLook LookAt(const std::string& path) {
#ifdef _WIN32
    const std::string onDisk = path;
#else
    if (IsDriveOrNetworkPath(path)) return {PathKind::Unchecked, ""};
    const std::string onDisk = ResolveLikeWindows(path);
#endif
    if (!ExistsForGame(path)) return {PathKind::Missing, ""};
    struct stat info;
    if (stat(onDisk.c_str(), &info) != 0) return {PathKind::Missing, ""};
    if (S_ISDIR(info.st_mode)) return {PathKind::Folder, ""};
    if (info.st_size == 0) return {PathKind::EmptyFile, ""};

    unsigned char head[64] = {};
    size_t size = 0;
    if (FILE* file = std::fopen(onDisk.c_str(), "rb")) {
        size = std::fread(head, 1, sizeof(head), file);
        std::fclose(file);
    }
    const std::string format = AudioFormat(head, size);
    return {format.empty() ? PathKind::Unknown : PathKind::Audio, format};
}
