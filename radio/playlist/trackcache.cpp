// The kept track lengths file: its lines read, checked and written.
#include "radio/playlist/trackcache.h"

#include <charconv>
#include <cstdio>
#include <unordered_set>

const char kTrackCacheName[] = "zorve-tracks.cache";

namespace {

// The first line; a file that starts otherwise is of another format or no cache.
const char kHeader[] = "zorve track lengths 2\n";
// The first format's first line: its lines give lengths alone, and are read for them.
const char kFirstHeader[] = "zorve track lengths 1\n";
constexpr char kNone = '-';
constexpr char kExactMark = 'e';
constexpr char kTaggedMark = 't';
constexpr char kMeasuredMark = 'm';
const char kTemporarySuffix[] = ".tmp";
constexpr char kField = '\t';
constexpr uint32_t kFnvOffset = 2166136261u;
constexpr uint32_t kFnvPrime = 16777619u;
constexpr int kCheckDigits = 8;
constexpr int kHexBase = 16;
constexpr uint64_t kMostCacheBytes = 64u << 20;

uint32_t CheckSum(const char* begin, const char* end) {
    uint32_t hash = kFnvOffset;
    for (const char* at = begin; at != end; ++at) hash = (hash ^ static_cast<unsigned char>(*at)) * kFnvPrime;
    return hash;
}

// Reads a number that runs to the next field separator, and steps past it.
template <typename Number>
bool ReadField(const char*& at, const char* end, Number& value, int base = 10) {
    const auto [stop, error] = std::from_chars(at, end, value, base);
    if (error != std::errc() || stop == at || stop == end || *stop != kField) return false;
    at = stop + 1;
    return true;
}

// The marks field: '-' for none, else any of e (exact) and one of t or m (the level's source).
bool ReadMarks(const char*& at, const char* end, CachedLength& length) {
    const char* stop = at;
    while (stop != end && *stop != kField) ++stop;
    if (stop == end || stop == at) return false;
    if (!(stop - at == 1 && *at == kNone)) {
        for (const char* mark = at; mark != stop; ++mark) {
            if (*mark == kExactMark && !length.exact) {
                length.exact = true;
            } else if ((*mark == kTaggedMark || *mark == kMeasuredMark) && length.level == LevelSource::kNone) {
                length.level = *mark == kTaggedMark ? LevelSource::kTags : LevelSource::kMeasured;
            } else {
                return false;
            }
        }
    }
    at = stop + 1;
    return true;
}

// A number, or '-' where the track has none.
template <typename Number>
bool ReadOptionalField(const char*& at, const char* end, Number& value, bool present) {
    if (!present) {
        if (end - at < 2 || at[0] != kNone || at[1] != kField) return false;
        at += 2;
        return true;
    }
    return ReadField(at, end, value);
}

// check, size, write time and length, in this format the marks, loudness and
// peak, then the path to the line's end.
bool ParseLine(const char* begin, const char* end, bool first, TrackCache& cache) {
    if (end != begin && end[-1] == '\r') --end;  // a file an editor gave Windows line ends
    const char* at = begin;
    uint32_t check;
    CachedLength length;
    if (end - begin < kCheckDigits || !ReadField(at, end, check, kHexBase) || at - begin != kCheckDigits + 1)
        return false;
    if (CheckSum(at, end) != check) return false;
    if (!ReadField(at, end, length.stamp.size) || !ReadField(at, end, length.stamp.writeTime) ||
        !ReadField(at, end, length.micros) || length.micros == 0) {
        return false;
    }
    if (!first) {
        if (!ReadMarks(at, end, length)) return false;
        const bool level = length.level != LevelSource::kNone;
        if (!ReadOptionalField(at, end, length.loudnessCentiLufs, level) ||
            !ReadOptionalField(at, end, length.peakMillionths, level)) {
            return false;
        }
    }
    if (at == end) return false;
    cache[std::string(at, end)] = length;
    return true;
}

}  // namespace

std::string TrackCacheKey(const std::filesystem::path& path) {
    const auto text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

bool ParseTrackCache(const std::string& text, TrackCache& cache) {
    const bool first = text.compare(0, sizeof kFirstHeader - 1, kFirstHeader) == 0;
    if (!first && text.compare(0, sizeof kHeader - 1, kHeader) != 0) return false;
    static_assert(sizeof kFirstHeader == sizeof kHeader, "both headers are of one length");
    // A cache of the first format is read for its lengths and then written anew.
    bool whole = !first;
    const char* const end = text.data() + text.size();
    for (const char* line = text.data() + sizeof kHeader - 1; line < end;) {
        const char* stop = line;
        while (stop < end && *stop != '\n') ++stop;
        // A last line without its line end was cut short.
        whole = stop < end && ParseLine(line, stop, first, cache) && whole;
        line = stop + 1;
    }
    return whole;
}

std::string FormatTrackCache(const TrackCache& cache, const std::vector<std::string>& paths) {
    std::string text = kHeader;
    std::unordered_set<std::string> written;
    for (const std::string& path : paths) {
        const auto found = cache.find(path);
        if (found == cache.end() || !written.insert(path).second) continue;
        const CachedLength& length = found->second;
        std::string marks;
        if (length.exact) marks += kExactMark;
        if (length.level != LevelSource::kNone) marks += length.level == LevelSource::kTags ? kTaggedMark : kMeasuredMark;
        if (marks.empty()) marks = kNone;
        const bool level = length.level != LevelSource::kNone;
        const std::string fields =
            std::to_string(length.stamp.size) + kField + std::to_string(length.stamp.writeTime) + kField +
            std::to_string(length.micros) + kField + marks + kField +
            (level ? std::to_string(length.loudnessCentiLufs) : std::string(1, kNone)) + kField +
            (level ? std::to_string(length.peakMillionths) : std::string(1, kNone)) + kField + path;
        char check[kCheckDigits + 1];
        std::snprintf(check, sizeof check, "%08x", static_cast<unsigned>(CheckSum(fields.data(), fields.data() + fields.size())));
        text += check;
        text += kField;
        text += fields;
        text += '\n';
    }
    return text;
}

const CachedLength* CachedTrack(const TrackCache& cache, const std::string& path, const FileStamp& stamp) {
    const auto found = cache.find(path);
    if (found == cache.end()) return nullptr;
    const FileStamp& kept = found->second.stamp;
    return kept.size == stamp.size && kept.writeTime == stamp.writeTime ? &found->second : nullptr;
}

bool LoadTrackCache(const char* file, TrackCache& cache) {
    cache.clear();
    // Far more than the lines of any playlists: no cache, and not read into memory.
    FileStamp stamp;
    if (ReadFileStamp(file, stamp) && stamp.size > kMostCacheBytes) return false;
    std::string text;
    return ReadWholeFile(file, text) && ParseTrackCache(text, cache);
}

bool SaveTrackCache(const char* file, const std::string& text) {
    const std::string temporary = std::string(file) + kTemporarySuffix;
    const WriteResult written = WriteWholeFile(temporary.c_str(), text.data(), text.size());
    if (written == WriteResult::kFailed) std::remove(temporary.c_str());
    if (written != WriteResult::kOk) return false;
    if (ReplaceFileWith(temporary.c_str(), file)) return true;
    std::remove(temporary.c_str());
    return false;
}
