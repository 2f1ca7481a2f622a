// A playlist station's tracks from a folder or a .m3u/.m3u8 file.
#include "radio/playlist/tracklist.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/files.h"
#include "platform/unicode.h"
#include "settings/text.h"

namespace {

namespace fs = std::filesystem;

const char* const kAudioEndings[] = {".mp3", ".mp2", ".mp1", ".ogg", ".oga", ".wav", ".aif", ".aiff", ".flac",
                                     ".opus", ".m4a", ".aac", ".mp4", ".wma", ".ape", ".mpc", ".wv"};
const char kUtf8Signature[] = "\xEF\xBB\xBF";
const char kUtf16LittleMark[] = "\xFF\xFE";
const char kUtf16BigMark[] = "\xFE\xFF";
constexpr uint32_t kFnvOffset = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;

bool EndsWith(const std::string& text, const std::string& ending) {
    return text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
}

// Windows keeps names in UTF-16, this system's checker in bytes.
fs::path PathOfUtf8(const std::string& utf8) {
#ifdef _WIN32
    std::u16string wide;
    Utf8ToUtf16(utf8, wide);
    return fs::path(std::wstring(wide.begin(), wide.end()));
#else
    return fs::path(utf8);
#endif
}

// The name as UTF-8; false, with the name up to the fault, when Windows gave
// half of a character pair, which has no UTF-8 form.
bool NameOf(const fs::path& path, std::string& name) {
#ifdef _WIN32
    const std::wstring& native = path.native();
    return Utf16ToUtf8(std::u16string(native.begin(), native.end()), name);
#else
    name = ExternalToUtf8(path.native());
    return true;
#endif
}

// Too long for the library's and the system's plain file calls.
bool TooLong(const fs::path& path) {
    return path.native().size() > kMaxTrackPath;
}

const char* const kDeviceNames[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
const char* const kNumberedDevices[] = {"com", "lpt"};
const char* const kDeviceDigits[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
                                     "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};  // and the superscripts 1 to 3
const char* const kDevicePrefixes[] = {"\\\\.\\", "\\\\?\\", "//./", "//?/"};

// A name Windows opens as a device rather than a file, whatever its folder or
// ending: CON, NUL, COM1.mp3 and the like, or a path in the device space.
bool IsDeviceName(const std::string& line) {
    for (const char* prefix : kDevicePrefixes)
        if (line.compare(0, std::char_traits<char>::length(prefix), prefix) == 0) return true;
    const size_t slash = line.find_last_of("/\\");
    std::string base = LowerCase(line.substr(slash == std::string::npos ? 0 : slash + 1));
    base = base.substr(0, base.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : kDeviceNames)
        if (base == device) return true;
    for (const char* device : kNumberedDevices)
        for (const char* digit : kDeviceDigits)
            if (base == std::string(device) + digit) return true;
    return false;
}

void ReadFolder(const fs::path& folder, TrackList& list) {
    std::vector<fs::path> files;
    const bool whole = ListFiles(folder, files);
    if (!whole && files.empty()) {
        list.fault = TrackListFault::kUnreadable;
        return;
    }
    for (const fs::path& path : files) {
        std::string name;
        if (!NameOf(path.filename(), name)) {
            list.skipped.push_back({name + "\xEF\xBF\xBD", "its name is damaged (half of a character pair)"});
            continue;
        }
        if (!IsAudioFileName(name)) continue;
        if (TooLong(path)) {
            list.skipped.push_back({name, "its path is longer than 259 characters"});
            continue;
        }
        list.tracks.push_back({path, name});
    }
    if (!whole) {
        std::string name;
        NameOf(folder, name);
        list.skipped.push_back({name, "the folder could not be listed to its end"});
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

bool StartsWith(const std::string& text, const char* head) {
    return text.compare(0, std::char_traits<char>::length(head), head) == 0;
}

// The list's text as UTF-8: UTF-16 after its byte-order mark; a .m3u8 as it
// is (its lines are checked one by one); a .m3u as it is when all of it is
// valid UTF-8, else in the ANSI code page.
std::string ListText(const std::string& bytes, bool m3u8, const std::string& listName, TrackList& list) {
    if (StartsWith(bytes, kUtf16LittleMark) || StartsWith(bytes, kUtf16BigMark)) {
        std::string text;
        bool utf16;
        TextFault fault;
        DecodeTextFile(bytes, text, utf16, fault);
        if (fault.what) {
            list.skipped.push_back({listName, std::string("it holds ") + fault.what + " on line " +
                                                  std::to_string(fault.line) + ": the lines from there on are left out"});
        }
        return text;
    }
    const std::string text = StartsWith(bytes, kUtf8Signature) ? bytes.substr(3) : bytes;
    return m3u8 ? text : ExternalToUtf8(text);
}

void ReadPlaylistFile(const fs::path& file, bool m3u8, TrackList& list) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        list.fault = TrackListFault::kUnreadable;
        return;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        list.fault = TrackListFault::kUnreadable;
        return;
    }
    std::string listName;
    NameOf(file.filename(), listName);
    const std::string text = ListText(bytes, m3u8, listName, list);
    const fs::path folder = file.parent_path();
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        line.erase(0, first);
        if (!IsValidUtf8(line)) {
            list.skipped.push_back({ExternalToUtf8(line), "not UTF-8 text, as every line of a .m3u8 file must be"});
            continue;
        }
        if (line.find('\0') != std::string::npos) {
            list.skipped.push_back({line, "it holds a NUL byte"});
            continue;
        }
        if (line.find("://") != std::string::npos) {
            list.skipped.push_back({line, "a URL: playlists play files on this computer only"});
            continue;
        }
        if (IsDeviceName(line)) {
            list.skipped.push_back({line, "a device name, not a file"});
            continue;
        }
        const fs::path named = PathOfUtf8(line);
        const fs::path path = named.is_absolute() ? named : folder / named;
        if (TooLong(path)) {
            list.skipped.push_back({line, "its path is longer than 259 characters"});
            continue;
        }
        list.tracks.push_back({path, line});
    }
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
    const fs::path path = PathOfUtf8(ExternalToUtf8(playlist));
    std::error_code error;
    const std::string lower = LowerCase(playlist);
    if (fs::is_directory(path, error)) {
        ReadFolder(path, list);
    } else if (!fs::exists(path, error)) {
        list.fault = TrackListFault::kMissing;
    } else if (EndsWith(lower, ".m3u") || EndsWith(lower, ".m3u8")) {
        ReadPlaylistFile(path, EndsWith(lower, ".m3u8"), list);
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
