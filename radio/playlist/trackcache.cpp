#include "radio/playlist/trackcache.h"

#include <charconv>
#include <cstdio>
#include <unordered_set>

const char kTrackCacheName[] = "zorve-tracks.cache";

namespace {

// The first line; a file that starts otherwise is of another format or no cache.
const char kHeader[] = "zorve track lengths 1\n";
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

// check, size, write time and length, then the path to the line's end.
bool ParseLine(const char* begin, const char* end, TrackCache& cache) {
    if (end != begin && end[-1] == '\r') --end;  // a file an editor gave Windows line ends
    const char* at = begin;
    uint32_t check;
    CachedLength length;
    if (end - begin < kCheckDigits || !ReadField(at, end, check, kHexBase) || at - begin != kCheckDigits + 1)
        return false;
    if (CheckSum(at, end) != check) return false;
    if (!ReadField(at, end, length.stamp.size) || !ReadField(at, end, length.stamp.writeTime) ||
        !ReadField(at, end, length.micros) || length.micros == 0 || at == end) {
        return false;
    }
    cache[std::string(at, end)] = length;
    return true;
}

}  // namespace

std::string TrackCacheKey(const std::filesystem::path& path) {
    const auto text = path.generic_u8string();
    return std::string(text.begin(), text.end());
}

bool ParseTrackCache(const std::string& text, TrackCache& cache) {
    if (text.compare(0, sizeof kHeader - 1, kHeader) != 0) return false;
    bool whole = true;
    const char* const end = text.data() + text.size();
    for (const char* line = text.data() + sizeof kHeader - 1; line < end;) {
        const char* stop = line;
        while (stop < end && *stop != '\n') ++stop;
        // A last line without its line end was cut short.
        whole = stop < end && ParseLine(line, stop, cache) && whole;
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
        const std::string fields = std::to_string(length.stamp.size) + kField + std::to_string(length.stamp.writeTime) +
                                   kField + std::to_string(length.micros) + kField + path;
        char check[kCheckDigits + 1];
        std::snprintf(check, sizeof check, "%08x", static_cast<unsigned>(CheckSum(fields.data(), fields.data() + fields.size())));
        text += check;
        text += kField;
        text += fields;
        text += '\n';
    }
    return text;
}

uint64_t CachedMicros(const TrackCache& cache, const std::string& path, const FileStamp& stamp) {
    const auto found = cache.find(path);
    if (found == cache.end()) return 0;
    const FileStamp& kept = found->second.stamp;
    return kept.size == stamp.size && kept.writeTime == stamp.writeTime ? found->second.micros : 0;
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
