#include "radio/tracklist.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <system_error>

#include "platform/files.h"
#include "settings/text.h"

namespace {

namespace fs = std::filesystem;

const char* const kAudioEndings[] = {".mp3", ".mp2", ".mp1", ".ogg", ".oga", ".wav", ".aif", ".aiff", ".flac",
                                     ".opus", ".m4a", ".aac", ".mp4", ".wma", ".ape", ".mpc", ".wv"};
const char kUtf8Signature[] = "\xEF\xBB\xBF";
constexpr uint32_t kFnvOffset = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;

bool EndsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

std::string Utf8Name(const fs::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Too long for the library's and the system's plain file calls.
bool TooLong(const fs::path& path) {
    return path.native().size() > kMaxTrackPath;
}

void ReadFolder(const fs::path& folder, TrackList& list) {
    std::vector<fs::path> files;
    if (!ListFiles(folder, files) && files.empty()) {
        list.fault = TrackListFault::kUnreadable;
        return;
    }
    for (const fs::path& path : files) {
        const std::string name = Utf8Name(path.filename());
        if (!IsAudioFileName(name)) continue;
        if (TooLong(path)) {
            list.skipped.push_back({name, "its path is longer than 259 characters"});
            continue;
        }
        list.tracks.push_back({path, name});
    }
    // Each name is lowered once, not in every comparison of the sort.
    std::vector<std::pair<std::string, TrackFile>> keyed;
    keyed.reserve(list.tracks.size());
    for (TrackFile& track : list.tracks) keyed.push_back({LowerCase(track.name), std::move(track)});
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.name < b.second.name;
    });
    for (size_t i = 0; i < keyed.size(); ++i) list.tracks[i] = std::move(keyed[i].second);
}

void ReadPlaylistFile(const fs::path& file, TrackList& list) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        list.fault = TrackListFault::kUnreadable;
        return;
    }
    const fs::path folder = file.parent_path();
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first && line.compare(0, 3, kUtf8Signature) == 0) line.erase(0, 3);
        first = false;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        line.erase(0, start);
        if (line.find("://") != std::string::npos) {
            list.skipped.push_back({line, "a URL: playlists play files on this computer only"});
            continue;
        }
        const fs::path named = fs::u8path(line);
        const fs::path path = named.is_absolute() ? named : folder / named;
        if (TooLong(path)) {
            list.skipped.push_back({line, "its path is longer than 259 characters"});
            continue;
        }
        list.tracks.push_back({path, line});
    }
    if (in.bad()) list.fault = TrackListFault::kUnreadable;
}

uint32_t ShuffleKey(uint8_t station, const std::string& name) {
    uint32_t hash = (kFnvOffset ^ station) * kFnvPrime;
    for (unsigned char c : name) hash = (hash ^ c) * kFnvPrime;
    return hash;
}

}  // namespace

bool IsAudioFileName(const std::string& name) {
    const std::string lower = LowerCase(name);
    for (const char* ending : kAudioEndings)
        if (EndsWith(lower, ending)) return true;
    return false;
}

TrackList ReadTrackList(const std::string& playlist, bool shuffle, uint8_t station) {
    TrackList list;
    const fs::path path = fs::u8path(playlist);
    std::error_code error;
    const std::string lower = LowerCase(playlist);
    if (fs::is_directory(path, error)) {
        ReadFolder(path, list);
    } else if (!fs::exists(path, error)) {
        list.fault = TrackListFault::kMissing;
    } else if (EndsWith(lower, ".m3u") || EndsWith(lower, ".m3u8")) {
        ReadPlaylistFile(path, list);
    } else {
        list.fault = TrackListFault::kUnreadable;
    }
    if (shuffle) {
        // Each track's place follows from its own name alone, so the order is
        // the same in every run and a track added later leaves the rest in order.
        std::stable_sort(list.tracks.begin(), list.tracks.end(), [station](const TrackFile& a, const TrackFile& b) {
            return ShuffleKey(station, a.name) < ShuffleKey(station, b.name);
        });
    }
    return list;
}

bool LocateOnTape(const std::vector<double>& lengths, double seconds, size_t& track, double& within) {
    double total = 0;
    for (double length : lengths) total += length > 0 ? length : 0;
    if (!(total > 0)) return false;
    double position = std::fmod(seconds, total);
    if (position < 0) position += total;
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (!(lengths[i] > 0)) continue;
        if (position < lengths[i]) {
            track = i;
            within = position;
            return true;
        }
        position -= lengths[i];
    }
    // Rounding left the position at the very end of the tape: it starts again.
    for (size_t i = 0; i < lengths.size(); ++i) {
        if (lengths[i] > 0) {
            track = i;
            within = 0;
            return true;
        }
    }
    return false;
}
