// Internet streams measured as they play and their gain moved slowly toward the target.
#include "radio/internet/netlevel.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/files.h"
#include "platform/runlog.h"
#include "radio/level/level.h"
#include "radio/level/loudness.h"
#include "settings/text.h"

const char kStationLevelsName[] = "zorve-stations.cache";

namespace {

constexpr size_t kSlots = 4;  // the stream on air, a reconnected one waiting, and those going
constexpr size_t kAddressMax = 1024;
constexpr uint32_t kWindowBlocks = 200;        // 20 s: a block every 100 ms
constexpr uint32_t kFirstJudgementBlocks = 30;  // 3 s heard before the gain moves
constexpr size_t kReservedBlocks = 64;         // far more than one piece of kPieceFrames makes
constexpr uint32_t kPieceFrames = 1024;
constexpr double kStepDbPerSecond = 0.5;  // 1 dB per 2 s
constexpr double kHeadroomDb = -1.0;      // a live stream's next peak is not known
constexpr double kDbPerDecade = 20.0;
constexpr float kInt16Scale = 32768.0f;
constexpr BassDword kSample8Bits = 1;  // BASS_SAMPLE_8BITS: not levelled
constexpr float kRememberStepDb = 0.1f;
constexpr DWORD kSaveEveryMs = 10000;
const char kTemporarySuffix[] = ".tmp";

// One stream's measure and gain. The fields are set before the DSP is, and
// then only the DSP (the library's update thread) touches them, but for the
// atomics, which the other threads read.
struct NetLevel {
    std::atomic<uint32_t> stream{0};
    uint32_t chans = 0;
    double rate = 0;
    bool floatSamples = false;
    LoudnessMeter meter;
    double blocks[kWindowBlocks] = {};
    float peaks[kWindowBlocks] = {};
    uint32_t blockCount = 0, blockAt = 0;
    double gainDb = kUnheardGainDb;
    std::atomic<float> heardGainDb{0};
    std::atomic<bool> judged{false};  // the gain comes from a measure, worth keeping
    float piece[kPieceFrames * kMeterMaxChannels] = {};
    char address[kAddressMax] = "";  // under g_lock
};

// Never destroyed: the exit work must not free memory.
NetLevel* const g_slots = new NetLevel[kSlots];
size_t g_nextSlot = 0;
// The slots' addresses, the gains remembered by address, and the file's state;
// taken by the opening, reconnect and helper threads, never by the DSP.
SRWLOCK g_lock = SRWLOCK_INIT;
std::map<std::string, float>& g_remembered = *new std::map<std::string, float>;
bool g_loaded = false;
bool g_dirty = false;
DWORD g_savedAt = 0;
bool g_saveFailureLogged = false;

float GainOf(double db) {
    return static_cast<float>(std::pow(10.0, db / kDbPerDecade));
}

// The meter's new blocks into the window, each with the peak since the last.
void TakeBlocks(NetLevel& level) {
    for (const double block : level.meter.blocks) {
        level.blocks[level.blockAt] = block;
        level.peaks[level.blockAt] = level.meter.peak;
        level.blockAt = (level.blockAt + 1) % kWindowBlocks;
        if (level.blockCount < kWindowBlocks) ++level.blockCount;
    }
    if (!level.meter.blocks.empty()) level.meter.peak = 0;
    level.meter.blocks.clear();  // keeps its room: no allocation on the library's thread
}

void Measure(NetLevel& level, const void* buffer, uint32_t frames) {
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min(frames - done, kPieceFrames);
        const size_t first = static_cast<size_t>(done) * level.chans;
        const float* samples;
        if (level.floatSamples) {
            samples = static_cast<const float*>(buffer) + first;
        } else {
            const int16_t* in = static_cast<const int16_t*>(buffer) + first;
            for (size_t i = 0; i < static_cast<size_t>(count) * level.chans; ++i) level.piece[i] = in[i] / kInt16Scale;
            samples = level.piece;
        }
        if (MeterMayAllocate(level.meter, count)) return;
        FeedMeter(level.meter, samples, count);
        TakeBlocks(level);
        done += count;
    }
}

// Moves the gain toward the target by at most a step for seconds of sound.
void MoveGain(NetLevel& level, double seconds) {
    if (level.blockCount < kFirstJudgementBlocks) return;
    const double loudness = BlocksLoudness(level.blocks, level.blockCount);
    if (loudness <= kLoudnessFloorLufs) return;  // silence tells nothing
    double wanted = LevelTargetLufs() - loudness;
    const float peak = *std::max_element(level.peaks, level.peaks + level.blockCount);
    if (peak > 0) wanted = std::min(wanted, kHeadroomDb - kDbPerDecade * std::log10(peak));
    const double step = kStepDbPerSecond * seconds;
    level.gainDb += std::clamp(wanted - level.gainDb, -step, step);
    level.heardGainDb = static_cast<float>(level.gainDb);
    level.judged = true;
}

// The gain from one end of the buffer to the other, never past full scale.
template <typename Sample>
void ApplyGain(Sample* samples, size_t count, uint32_t chans, float from, float to, float limit) {
    const size_t frames = count / chans;
    const float slope = frames ? (to - from) / static_cast<float>(frames) : 0;
    for (size_t frame = 0; frame < frames; ++frame) {
        const float gain = from + slope * static_cast<float>(frame);
        for (uint32_t c = 0; c < chans; ++c) {
            Sample& sample = samples[frame * chans + c];
            sample = static_cast<Sample>(std::clamp(sample * gain, -limit, limit));
        }
    }
}

__attribute__((force_align_arg_pointer)) void __stdcall LevelSamples(BassDword, BassDword, void* buffer,
                                                                     BassDword length, void* user) {
    NetLevel& level = *static_cast<NetLevel*>(user);
    const uint32_t sampleBytes = level.floatSamples ? sizeof(float) : sizeof(int16_t);
    const uint32_t frames = length / (sampleBytes * level.chans);
    if (frames == 0) return;
    Measure(level, buffer, frames);
    const float from = GainOf(level.gainDb);
    MoveGain(level, frames / level.rate);
    const float to = GainOf(level.gainDb);
    const size_t count = static_cast<size_t>(frames) * level.chans;
    if (level.floatSamples) {
        ApplyGain(static_cast<float*>(buffer), count, level.chans, from, to, 1.0f);
    } else {
        ApplyGain(static_cast<int16_t*>(buffer), count, level.chans, from, to, kInt16Scale - 1);
    }
}

std::string LevelsPath() {
    return BaseDirFile(kStationLevelsName);
}

// Lines of "gain address", the gain in dB. Under the lock and the file and memory marks.
void LoadRemembered() {
    if (g_loaded) return;
    g_loaded = true;
    std::string text;
    if (!ReadWholeFile(LevelsPath().c_str(), text)) return;
    for (const std::string& line : Fields(text, '\n')) {
        char* end = nullptr;
        const double db = std::strtod(line.c_str(), &end);
        if (end == line.c_str() || *end != ' ' || !std::isfinite(db)) continue;
        std::string address(end + 1);
        if (!address.empty() && address.back() == '\r') address.pop_back();
        if (!address.empty()) g_remembered[address] = static_cast<float>(db);
    }
}

// The slots' measured gains into the remembered ones. Under the lock and the memory mark.
void Harvest() {
    for (size_t i = 0; i < kSlots; ++i) {
        NetLevel& level = g_slots[i];
        if (!level.stream || !level.judged || !level.address[0]) continue;
        const float heard = level.heardGainDb;
        auto known = g_remembered.find(level.address);
        if (known != g_remembered.end() && std::fabs(known->second - heard) < kRememberStepDb) continue;
        g_remembered[level.address] = heard;
        g_dirty = true;
    }
}

// A slot no stream of the library uses any more, or the one the number had.
NetLevel* FreeSlot(uint32_t stream) {
    for (size_t n = 0; n < kSlots; ++n) {
        NetLevel& level = g_slots[(g_nextSlot + n) % kSlots];
        const uint32_t used = level.stream;
        if (used && used != stream && BASS_ChannelIsActive(used) != BASS_ACTIVE_STOPPED) continue;
        g_nextSlot = (g_nextSlot + n + 1) % kSlots;
        level.stream = 0;
        return &level;
    }
    return nullptr;
}

}  // namespace

void LevelNetStream(uint32_t stream, const char* address) {
    BusyMark memory(g_memoryWork);
    BusyMark files(g_fileWork);
    BusyMark audio(g_audioWork);
    BassChannelInfo info{};
    if (!BASS_ChannelGetInfo(stream, &info) || info.chans == 0 || (info.flags & kSample8Bits)) return;
    const size_t length = std::strlen(address);
    if (length >= kAddressMax) return;
    AcquireSRWLockExclusive(&g_lock);
    LoadRemembered();
    Harvest();
    NetLevel* level = FreeSlot(stream);
    if (level && !StartMeter(level->meter, info.freq, info.chans)) level = nullptr;
    if (!level) {
        ReleaseSRWLockExclusive(&g_lock);
        return;
    }
    level->meter.blocks.reserve(kReservedBlocks);
    level->chans = info.chans;
    level->rate = info.freq;
    level->floatSamples = (info.flags & BASS_SAMPLE_FLOAT) != 0;
    level->blockCount = level->blockAt = 0;
    const auto known = g_remembered.find(address);
    const bool heard = known != g_remembered.end();
    level->gainDb = heard ? known->second : kUnheardGainDb;
    level->heardGainDb = static_cast<float>(level->gainDb);
    level->judged = false;
    std::memcpy(level->address, address, length + 1);
    level->stream = stream;
    const double startDb = level->gainDb;
    ReleaseSRWLockExclusive(&g_lock);
    // First in the chain, beneath the volume the fade and the game set.
    constexpr int32_t kPriority = 0;
    if (!BASS_ChannelSetDSP(stream, LevelSamples, level, kPriority)) {
        level->stream = 0;
        return;
    }
    LogLine("internet stream %s levelled toward %.0f LUFS from %+.1f dB (%s)", address, LevelTargetLufs(), startDb,
            heard ? "as last heard" : "never heard before");
}

bool SaveStationLevels() {
    if (!LevellingOn()) return false;
    BusyMark memory(g_memoryWork);
    AcquireSRWLockExclusive(&g_lock);
    Harvest();
    if (!g_dirty || GetTickCount() - g_savedAt < kSaveEveryMs) {
        ReleaseSRWLockExclusive(&g_lock);
        return false;
    }
    std::string text;
    char gain[32];
    for (const auto& [address, db] : g_remembered) {
        std::snprintf(gain, sizeof gain, "%.2f ", db);
        text += gain + address + "\r\n";
    }
    g_dirty = false;
    g_savedAt = GetTickCount();
    ReleaseSRWLockExclusive(&g_lock);
    BusyMark files(g_fileWork);
    const std::string path = LevelsPath();
    const std::string temporary = path + kTemporarySuffix;
    const WriteResult written = WriteWholeFile(temporary.c_str(), text.data(), text.size());
    if (written != WriteResult::kOk || !ReplaceFileWith(temporary.c_str(), path.c_str())) {
        DeleteFileA(temporary.c_str());
        if (!g_saveFailureLogged) LogLine("%s not written: the internet stations' levels are kept in memory meanwhile", kStationLevelsName);
        g_saveFailureLogged = true;
    }
    return true;
}
