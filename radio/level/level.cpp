// The levelling keys and the gain each track gets.
#include "radio/level/level.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/runlog.h"
#include "radio/level/loudness.h"
#include "settings/settings.h"

namespace {

const char kSoundSection[] = "SOUND";
const char kLevelKey[] = "level";
const char kTargetKey[] = "target";
constexpr double kDefaultTargetLufs = -18.0;
constexpr double kLowestTargetLufs = -30.0;
constexpr double kHighestTargetLufs = -10.0;
// ReplayGain 2.0's reference level, and Opus's R128 gains' reference.
constexpr double kReplayGainReferenceLufs = -18.0;
constexpr double kR128ReferenceLufs = -23.0;
constexpr double kQ78Scale = 256.0;
constexpr double kDbPerDecade = 20.0;
constexpr size_t kRefusedTextMax = 40;

std::atomic<bool> g_on{false};
std::atomic<float> g_targetLufs{static_cast<float>(kDefaultTargetLufs)};

// A refused target, handed from the worker to the helper thread for the log:
// the worker writes the text, then raises the serial; the helper logs each serial once.
struct RefusedTarget {
    char text[kRefusedTextMax + 1] = "";
    std::atomic<uint32_t> serial{0};
};
RefusedTarget g_refused;
uint32_t g_refusedLogged = 0;  // helper thread

// Carries the gain in the user value itself, so that nothing outlives the stream.
void* GainAsUser(float gain) {
    uint32_t bits;
    std::memcpy(&bits, &gain, sizeof bits);
    return reinterpret_cast<void*>(static_cast<uintptr_t>(bits));
}

__attribute__((force_align_arg_pointer)) void __stdcall ScaleSamples(BassDword, BassDword, void* buffer,
                                                                     BassDword length, void* user) {
    const auto bits = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(user));
    float gain;
    std::memcpy(&gain, &bits, sizeof gain);
    float* samples = static_cast<float*>(buffer);
    for (BassDword i = 0; i < length / sizeof(float); ++i) samples[i] *= gain;
}

bool ParseTarget(const std::string& text, double& lufs) {
    char* end = nullptr;
    lufs = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(lufs) && lufs >= kLowestTargetLufs &&
           lufs <= kHighestTargetLufs;
}

}  // namespace

void ReadLevelSettings() {
    BusyMark memory(g_memoryWork);
    g_on = GetLongValue(kSoundSection, kLevelKey, 0) != 0;
    const std::string text = GetValue(kSoundSection, kTargetKey, "");
    double lufs = kDefaultTargetLufs;
    if (!text.empty() && !ParseTarget(text, lufs)) {
        lufs = kDefaultTargetLufs;
        std::snprintf(g_refused.text, sizeof g_refused.text, "%s", text.c_str());
        ++g_refused.serial;
    }
    g_targetLufs = static_cast<float>(lufs);
}

bool LevellingOn() {
    return g_on;
}

double LevelTargetLufs() {
    return g_targetLufs;
}

bool LogRefusedTarget() {
    const uint32_t serial = g_refused.serial;
    if (serial == g_refusedLogged) return false;
    g_refusedLogged = serial;
    LogLine("settings: [SOUND] target = %s refused (a loudness from %.0f to %.0f LUFS); %.0f LUFS is used",
            g_refused.text, kLowestTargetLufs, kHighestTargetLufs, kDefaultTargetLufs);
    return true;
}

float TrackGain(const TrackLevel& level) {
    if (!LevellingOn() || !level.known || level.loudnessLufs <= kLoudnessFloorLufs) return 1.0f;
    double gain = std::pow(10.0, (LevelTargetLufs() - level.loudnessLufs) / kDbPerDecade);
    if (level.peak > 0 && gain * level.peak > 1.0) gain = 1.0 / level.peak;
    float applied = static_cast<float>(gain);
    // The float nearest the limit may lie just above it.
    if (level.peak > 0 && applied * level.peak > 1.0) applied = std::nextafter(applied, 0.0f);
    return applied;
}

double GainDb(float gain) {
    return kDbPerDecade * std::log10(gain);
}

void FormatGainNote(char* note, size_t size, float gain) {
    if (LevellingOn()) {
        std::snprintf(note, size, " (%+.1f dB)", GainDb(gain));
    } else if (size) {
        note[0] = '\0';
    }
}

TrackLevel LevelFromReplayGain(float gainDb, bool hasPeak, float peak) {
    TrackLevel level;
    level.known = std::isfinite(gainDb);
    level.loudnessLufs = kReplayGainReferenceLufs - gainDb;
    // Without a peak only a lowering is safe.
    level.peak = hasPeak && std::isfinite(peak) && peak > 0 ? peak : 1.0;
    return level;
}

TrackLevel LevelFromR128Gain(int32_t q78Gain) {
    TrackLevel level;
    level.known = true;
    level.loudnessLufs = kR128ReferenceLufs - q78Gain / kQ78Scale;
    level.peak = 1.0;
    return level;
}

bool ApplyStreamGain(uint32_t stream, float gain) {
    // First in the chain: nothing else of ours works on the samples.
    constexpr int32_t kPriority = 0;
    return BASS_ChannelSetDSP(stream, ScaleSamples, GainAsUser(gain), kPriority) != 0;
}
