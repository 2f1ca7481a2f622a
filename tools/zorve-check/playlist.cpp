#include "tools/zorve-check/playlist.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "platform/timetext.h"
#include "radio/trackcache.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

namespace fs = std::filesystem;

uint32_t Little32(const unsigned char* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint32_t Big32(const unsigned char* bytes) {
    return static_cast<uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Seconds of a WAV file from its format and data chunks.
bool WaveSeconds(const std::string& data, double& seconds) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    uint32_t byteRate = 0;
    for (size_t at = 12; at + 8 <= data.size();) {
        const uint32_t size = Little32(bytes + at + 4);
        if (!data.compare(at, 4, "fmt ") && at + 16 <= data.size()) byteRate = Little32(bytes + at + 16);
        if (!data.compare(at, 4, "data") && byteRate) {
            seconds = static_cast<double>(size) / byteRate;
            return true;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

// Seconds of a FLAC file from its stream information block.
bool FlacSeconds(const std::string& data, double& seconds) {
    if (data.size() < 26) return false;
    const auto* info = reinterpret_cast<const unsigned char*>(data.data()) + 8;
    const uint32_t rate = info[10] << 12 | info[11] << 4 | info[12] >> 4;
    const uint64_t samples = static_cast<uint64_t>(info[13] & 0x0F) << 32 | Big32(info + 14);
    if (!rate) return false;
    seconds = static_cast<double>(samples) / rate;
    return true;
}

// Seconds of an Ogg Vorbis or Opus file: the last page's granule position over the rate.
bool OggSeconds(const std::string& data, double& seconds) {
    constexpr uint32_t kOpusRate = 48000;
    uint32_t rate = 0;
    const size_t vorbis = data.find("\x01vorbis");
    if (data.find("OpusHead") != std::string::npos) {
        rate = kOpusRate;
    } else if (vorbis != std::string::npos && vorbis + 16 <= data.size()) {
        rate = Little32(reinterpret_cast<const unsigned char*>(data.data()) + vorbis + 12);
    }
    const size_t last = data.rfind("OggS");
    if (!rate || last == std::string::npos || last + 14 > data.size()) return false;
    const auto* granule = reinterpret_cast<const unsigned char*>(data.data()) + last + 6;
    const uint64_t samples = Little32(granule) | static_cast<uint64_t>(Little32(granule + 4)) << 32;
    seconds = static_cast<double>(samples) / rate;
    return true;
}

// Seconds of an MP3 file from its first frame: exact with a frame count in a
// Xing or Info header, otherwise estimated from the bit rate.
bool Mp3Seconds(const std::string& data, double& seconds) {
    static const int kBitRates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int kRates[4] = {44100, 48000, 32000, 0};
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
    size_t at = 0;
    if (data.compare(0, 3, "ID3") == 0 && data.size() > 10)
        at = 10 + ((bytes[6] & 0x7F) << 21 | (bytes[7] & 0x7F) << 14 | (bytes[8] & 0x7F) << 7 | (bytes[9] & 0x7F));
    while (at + 4 <= data.size() && !(bytes[at] == 0xFF && (bytes[at + 1] & 0xE0) == 0xE0)) ++at;
    if (at + 4 > data.size()) return false;
    // MPEG-1 layer III figures; other versions give a rougher estimate.
    const int bitRate = kBitRates[bytes[at + 2] >> 4];
    const int rate = kRates[(bytes[at + 2] >> 2) & 3];
    if (!bitRate || !rate) return false;
    const size_t xing = data.find("Xing", at), info = data.find("Info", at);
    const size_t tag = xing < info ? xing : info;
    constexpr uint32_t kFramesFlag = 1;
    constexpr int kSamplesPerFrame = 1152;
    if (tag != std::string::npos && tag < at + 64 && tag + 12 <= data.size() && (Big32(bytes + tag + 4) & kFramesFlag)) {
        seconds = static_cast<double>(Big32(bytes + tag + 8)) * kSamplesPerFrame / rate;
        return true;
    }
    seconds = static_cast<double>(data.size() - at) * 8 / (bitRate * 1000.0);
    return true;
}

enum class Length { kKnown, kUnknown, kNotAudio };

bool StartsWith(const std::string& data, const char* head) {
    return data.compare(0, std::strlen(head), head) == 0;
}

// A file whose ending names a format it does not start like is not audio.
Length TrackLength(const fs::path& path, double& seconds) {
    const std::string data = ReadAll(path);
    const std::string ending = LowerCase(path.extension().string());
    const auto known = [&](bool read) { return read ? Length::kKnown : Length::kNotAudio; };
    if (ending == ".wav") return known(StartsWith(data, "RIFF") && WaveSeconds(data, seconds));
    if (ending == ".flac") return known(StartsWith(data, "fLaC") && FlacSeconds(data, seconds));
    if (ending == ".ogg" || ending == ".oga" || ending == ".opus")
        return known(StartsWith(data, "OggS") && OggSeconds(data, seconds));
    if (ending == ".mp3" || ending == ".mp2" || ending == ".mp1") {
        const bool frame = data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0xFF && (data[1] & 0xE0) == 0xE0;
        return known((StartsWith(data, "ID3") || frame) && Mp3Seconds(data, seconds));
    }
    // AIFF, MP4, WMA and the like: played, but their length is not read here.
    return data.empty() ? Length::kNotAudio : Length::kUnknown;
}

}  // namespace

PlaylistLook LookAtPlaylist(const std::string& section) {
    PlaylistLook look{};
    if (!GetValue(section.c_str(), "source", "").empty()) return look;
    look.playlist = GetValue(section.c_str(), "playlist", "");
    if (look.playlist.empty()) return look;
    look.shuffle = GetLongValue(section.c_str(), "shuffle", 0) != 0;
    const TrackList list = ReadTrackList(look.playlist, look.shuffle, 0);
    if (list.fault == TrackListFault::kMissing) {
        look.fault = "no folder or playlist file " + look.playlist + " in the game folder";
        return look;
    }
    if (list.fault == TrackListFault::kUnreadable) {
        look.fault = "not a folder, nor a readable .m3u or .m3u8 file";
        return look;
    }
    look.problems = list.skipped;
    // The lengths the module learned, while each file is as it was then.
    TrackCache cache;
    LoadTrackCache(BaseDirFile(kTrackCacheName).c_str(), cache);
    for (const TrackFile& track : list.tracks) {
        std::error_code error;
        double seconds = 0;
        if (!fs::is_regular_file(track.path, error)) {
            look.problems.push_back({track.name, "no such file"});
            continue;
        }
        FileStamp stamp;
        const uint64_t micros =
            ReadFileStamp(track.path, stamp) ? CachedMicros(cache, TrackCacheKey(track.path), stamp) : 0;
        if (micros) {
            ++look.tracks;
            ++look.cachedLengths;
            look.seconds += micros / 1e6;
            continue;
        }
        const Length length = TrackLength(track.path, seconds);
        if (length == Length::kNotAudio || (length == Length::kKnown && !(seconds > 0))) {
            look.problems.push_back({track.name, length == Length::kNotAudio ? "not an audio file" : "no sound in it"});
            continue;
        }
        ++look.tracks;
        if (length == Length::kKnown) {
            look.seconds += seconds;
        } else {
            ++look.unknownLengths;
        }
    }
    if (look.tracks == 0) look.fault = "no track in it plays";
    return look;
}

std::string PlaylistSummary(const PlaylistLook& look) {
    char length[16];
    FormatDuration(length, sizeof length, static_cast<uint32_t>(std::lround(look.seconds)));
    std::string text = std::to_string(look.tracks) + (look.tracks == 1 ? " track, " : " tracks, ") + length;
    if (look.unknownLengths) text += " and " + std::to_string(look.unknownLengths) + " of a length not read here";
    if (look.cachedLengths)
        text += " (" + std::to_string(look.cachedLengths) + (look.cachedLengths == 1 ? " length" : " lengths") +
                " from " + kTrackCacheName + ")";
    return text + (look.shuffle ? ", shuffled" : ", in order");
}
