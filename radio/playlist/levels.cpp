// Measuring the playlist tracks' loudness ahead, in slices, into the track cache.
#include "radio/playlist/levels.h"

#include <windows.h>

#include <atomic>
#include <cmath>
#include <new>
#include <string>
#include <vector>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/files.h"
#include "platform/threads.h"
#include "platform/unicode.h"
#include "radio/common/dial.h"
#include "radio/common/output.h"
#include "radio/level/loudness.h"
#include "radio/playlist/mixdown.h"
#include "radio/playlist/tape.h"
#include "radio/playlist/trackcache.h"
#include "radio/tags/tags.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

// Decoding is a slice of this much time at most, so that any other work that
// comes meanwhile (a tune-in above all) waits no longer.
constexpr LONGLONG kMeasureSliceMs = 50;
// Tracks after the one on air measured ahead of everything else: the ones the
// stream holds ready and the ones after them.
constexpr size_t kComingUpTracks = 4;
constexpr LONGLONG kMsPerSecond = 1000;
constexpr BassDword kMeasureFlags = BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_UNICODE;
constexpr uint32_t kReadFrames = 4096;
// What is measured is what the listener hears: the stereo the playlist
// stream writes (mixdown.h), which is also how the library plays a file
// station on the player's speakers (a mono file on both at full amplitude).
constexpr uint32_t kHeardChannels = 2;
// Reads in a row at separate wakes that gave nothing: a channel that gives no
// samples and no end is left unmeasured then, rather than read for good.
constexpr uint32_t kMostEmptyReads = 8;
constexpr double kCentiPerUnit = 100.0;
constexpr double kMillionthsPerUnit = 1e6;
constexpr double kMicrosPerSecond = 1e6;
constexpr uint64_t kMicrosPerBlock = 100000;  // the meter keeps a block every 100 ms
const char kSourceKey[] = "source";

enum class Look { kBegan, kLater, kNone };

// Where the look for the next track stands on each tape: the tracks before it
// were taken or passed over. A tape listed anew starts again from its first.
struct Cursor {
    std::string playlist;
    bool shuffle = false;
    size_t tracks = 0;
    size_t next = 0;
};

// The track being measured. Helper thread.
struct Measuring {
    BassDword channel = 0;
    bool comingUp = false;  // a track coming up on air
    // Where the look for the next track goes back to when this one is put
    // off for one coming up: the look's place and the track's.
    size_t* from = nullptr;
    size_t index = 0;
    uint32_t device = 0;  // OutputOpenings() when it was opened
    std::string key;
    FileStamp stamp;
    uint64_t micros = 0;  // its length
    uint32_t chans = 0;   // the track's own, mixed down before the meter
    uint32_t emptyReads = 0;
    LoudnessMeter meter;
};

using Sources = std::vector<std::string>;

Cursor g_cursors[kLastStreamedStation + 1][kTapeKinds];
// The file stations' sources: handed from the worker, then the helper thread's.
std::atomic<Sources*> g_newSources{nullptr};
std::vector<TrackFile>& g_sources = *new std::vector<TrackFile>;
size_t g_sourceCursor = 0;
Measuring& g_measuring = *new Measuring;  // never destroyed: the exit work must not free memory
float g_samples[kReadFrames * kMaxTrackChannels];
float g_heard[kReadFrames * kHeardChannels];
// The programme on air and its first item not begun yet; null while none plays.
const Programme* g_airProgramme = nullptr;
size_t g_comingUp = 0;
// Tracks coming up looked at since the note: each is begun once, so that one
// that cannot be measured is not tried again and again.
size_t g_comingUpTried = 0;
uint32_t g_levelsStored = 0;

LONGLONG NowMs() {
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return count.QuadPart * kMsPerSecond / frequency.QuadPart;
}

void FreeMeasuring() {
    BusyMark audio(g_audioWork);
    BASS_StreamFree(g_measuring.channel);
    g_measuring.channel = 0;
}

// A track put off for one coming up is looked at again later.
void PutOffMeasuring() {
    if (g_measuring.from && *g_measuring.from > g_measuring.index) *g_measuring.from = g_measuring.index;
    FreeMeasuring();
}

// A device opened afresh since the channel was opened freed it with the old
// one (BASS_Free), and its number may be another's now: never read nor freed,
// only forgotten. The track is measured anew another time.
void ForgetMeasuringOfClosedDevice() {
    if (g_measuring.channel && g_measuring.device != OutputOpenings()) g_measuring.channel = 0;
}

// The track's level goes into its cache line, when the file is still the one
// learned; a file station's source, which has none, gets one with its length.
void StoreLevel(const std::string& key, const FileStamp& stamp, uint64_t micros, LevelSource source,
                const TrackLevel& level) {
    BusyMark memory(g_memoryWork);
    TrackCache& cache = KeptTracks();
    auto found = cache.find(key);
    if ((found == cache.end() || found->second.stamp != stamp) && micros > 0) {
        CachedLength line;
        line.stamp = stamp;
        line.micros = micros;
        found = cache.insert_or_assign(key, line).first;
    }
    if (found == cache.end() || found->second.stamp != stamp) return;
    found->second.level = source;
    found->second.loudnessCentiLufs = static_cast<int32_t>(std::lround(level.loudnessLufs * kCentiPerUnit));
    // Rounded up: a gain limited by the kept peak never takes the true one past full scale.
    found->second.peakMillionths = static_cast<uint32_t>(std::ceil(level.peak * kMillionthsPerUnit));
    ++g_levelsStored;
    KeptTracksChanged();
}

// The level the open track's tags give, if any.
TrackLevel TaggedLevel(BassDword channel) {
    BusyMark memory(g_memoryWork);
    TrackTags tags;
    ReadChannelTags(channel, tags);
    return LevelFromTags(tags);
}

// The length of an open channel in microseconds; 0 when it has none.
uint64_t LengthMicros(BassDword channel) {
    const BassQword bytes = BASS_ChannelGetLength(channel, BASS_POS_BYTE);
    const double seconds = bytes == kBassErrorQword ? 0 : BASS_ChannelBytes2Seconds(channel, bytes);
    return seconds > 0 ? static_cast<uint64_t>(std::llround(seconds * kMicrosPerSecond)) : 0;
}

// What came of a look at a track: opened to be measured (or its tags kept),
// passed over, or put off because there is no device now.
enum class Begun { kYes, kNo, kNotNow };

// Opens the track to measure it, or keeps the level its tags give.
Begun OpenToMeasure(const TrackFile& file, std::string& key, const FileStamp& stamp) {
    BassDword channel;
    BassChannelInfo info{};
    {
        BusyMark audio(g_audioWork);
        BusyMark files(g_fileWork);
        channel = BASS_StreamCreateFile(kBassFalse, file.path.c_str(), 0, 0, kMeasureFlags);
        // Without a device nothing opens: the track is not left out for it.
        if (!channel) return BASS_ErrorGetCode() == BASS_ERROR_INIT ? Begun::kNotNow : Begun::kNo;
        const TrackLevel tagged = TaggedLevel(channel);
        g_measuring.micros = LengthMicros(channel);
        if (tagged.known || !BASS_ChannelGetInfo(channel, &info)) {
            BASS_StreamFree(channel);
            if (tagged.known) StoreLevel(key, stamp, g_measuring.micros, LevelSource::kTags, tagged);
            return tagged.known ? Begun::kYes : Begun::kNo;
        }
    }
    BusyMark memory(g_memoryWork);
    if (info.chans == 0 || info.chans > kMaxTrackChannels || !StartMeter(g_measuring.meter, info.freq, kHeardChannels)) {
        BusyMark audio(g_audioWork);
        BASS_StreamFree(channel);
        return Begun::kNo;
    }
    // Room for every block of the track's length, so that feeding the meter
    // allocates nothing (and raises no memory mark) while the length holds.
    g_measuring.meter.blocks.reserve(static_cast<size_t>(g_measuring.micros / kMicrosPerBlock) + 1);
    g_measuring.channel = channel;
    g_measuring.device = OutputOpenings();  // the device is opened afresh on this thread only
    g_measuring.chans = info.chans;
    g_measuring.emptyReads = 0;
    g_measuring.key = std::move(key);
    g_measuring.stamp = stamp;
    return Begun::kYes;
}

// Opens the track to be measured; kNo when it is known already, changed or
// will not open. A track of no tape (ofTape false) need not have a length kept.
Begun BeginTrack(const TrackFile& file, bool ofTape) {
    std::string key;
    {
        BusyMark memory(g_memoryWork);
        key = TrackCacheKey(file.path);
    }
    // A tape's track was checked against its file when its length was learned.
    if (ofTape) {
        const auto found = KeptTracks().find(key);
        if (found == KeptTracks().end() || found->second.level != LevelSource::kNone) return Begun::kNo;
    }
    FileStamp stamp;
    {
        BusyMark files(g_fileWork);
        if (!ReadFileStamp(file.path, stamp)) return Begun::kNo;
    }
    const CachedLength* kept = CachedTrack(KeptTracks(), key, stamp);
    if (kept ? kept->level != LevelSource::kNone : ofTape) return Begun::kNo;
    return OpenToMeasure(file, key, stamp);
}

// Begins the track at cursor for the look, which moves past it unless there
// is no device now.
Begun Begin(const TrackFile& file, bool ofTape, size_t& cursor) {
    const Begun begun = BeginTrack(file, ofTape);
    if (begun == Begun::kNotNow) return begun;
    g_measuring.comingUp = false;
    g_measuring.from = &cursor;
    g_measuring.index = cursor++;
    return begun;
}

// Opens the next track of the tapes that has no level yet, then of the file
// stations. A look through many known tracks goes on at the next step.
Look BeginNextTrack() {
    const LONGLONG started = NowMs();
    const auto passedOver = [started] { return NowMs() - started >= kMeasureSliceMs || UrgentHelperWorkWaiting(); };
    for (int8_t station = 1; station <= static_cast<int8_t>(kLastStreamedStation); ++station) {
        for (size_t kind = 0; kind < kTapeKinds; ++kind) {
            const Tape& tape = StationTape(station, static_cast<TapeKind>(kind));
            Cursor& cursor = g_cursors[station][kind];
            if (!tape.listed) continue;
            if (cursor.playlist != tape.playlist || cursor.shuffle != tape.shuffle || cursor.tracks != tape.tracks.size() ||
                cursor.next > tape.learned) {
                BusyMark memory(g_memoryWork);
                cursor = Cursor{tape.playlist, tape.shuffle, tape.tracks.size(), 0};
            }
            while (cursor.next < tape.learned) {
                const Track& track = tape.tracks[cursor.next];
                if (track.seconds <= 0) {
                    ++cursor.next;
                } else {
                    const Begun begun = Begin(track.file, true, cursor.next);
                    if (begun == Begun::kYes) return Look::kBegan;
                    if (begun == Begun::kNotNow) return Look::kNone;
                }
                if (passedOver()) return Look::kLater;
            }
        }
    }
    while (g_sourceCursor < g_sources.size()) {
        const Begun begun = Begin(g_sources[g_sourceCursor], false, g_sourceCursor);
        if (begun == Begun::kYes) return Look::kBegan;
        if (begun == Begun::kNotNow) return Look::kNone;
        if (passedOver()) return Look::kLater;
    }
    return Look::kNone;
}

// Decodes and measures for one slice; at the track's end its level is kept.
// False when the channel gave nothing: less than asked, nothing too, is no
// end (page BASS_ChannelGetData), so the track is read on at a later wake.
bool MeasureSlice() {
    const LONGLONG started = NowMs();
    const uint32_t frameBytes = g_measuring.chans * sizeof(float);
    bool readAny = false;
    do {
        BassDword got;
        bool ended = false;
        {
            BusyMark audio(g_audioWork);
            got = BASS_ChannelGetData(g_measuring.channel, g_samples, kReadFrames * frameBytes);
            if (got == kBassErrorDword) ended = BASS_ErrorGetCode() == BASS_ERROR_ENDED;
        }
        // A track that cannot be decoded to its end is left unmeasured.
        if (got == kBassErrorDword && !ended) {
            FreeMeasuring();
            return true;
        }
        if (got == kBassErrorDword) {
            FreeMeasuring();
            TrackLevel level;
            level.known = true;
            level.loudnessLufs = MeterLoudness(g_measuring.meter);
            level.peak = g_measuring.meter.peak;
            StoreLevel(g_measuring.key, g_measuring.stamp, g_measuring.micros, LevelSource::kMeasured, level);
            return true;
        }
        const uint32_t frames = got / frameBytes;
        if (frames == 0) {
            if (++g_measuring.emptyReads >= kMostEmptyReads) {
                FreeMeasuring();
                return true;
            }
            return readAny;
        }
        g_measuring.emptyReads = 0;
        readAny = true;
        MixToStereo(g_samples, g_measuring.chans, frames, g_heard);
        if (MeterMayAllocate(g_measuring.meter, frames)) {
            BusyMark memory(g_memoryWork);
            FeedMeter(g_measuring.meter, g_heard, frames);
        } else {
            FeedMeter(g_measuring.meter, g_heard, frames);
        }
    } while (NowMs() - started < kMeasureSliceMs && !UrgentHelperWorkWaiting());
    return true;
}

}  // namespace

void PlanFileLevels() {
    Sources* sources;
    {
        BusyMark memory(g_memoryWork);
        sources = new (std::nothrow) Sources;
        if (!sources) return;
        // With levelling off no file station's source is looked at or kept.
        for (int station = 1; station <= kLastStreamedStation && LevellingOn(); ++station) {
            std::string source = GetValue(TrackSection(static_cast<int8_t>(station)).c_str(), kSourceKey, "");
            if (!source.empty() && !IsInternetAddress(source))
                sources->push_back(std::move(source));
        }
    }
    if (Sources* old = g_newSources.exchange(sources)) {
        BusyMark memory(g_memoryWork);
        delete old;
    }
    WakeHelperThread();
}

bool TakeFileLevelsPlan() {
    Sources* sources = g_newSources.exchange(nullptr);
    if (!sources) return false;
    BusyMark memory(g_memoryWork);
    g_sources.clear();
    std::vector<std::string>& kept = KeptBesideTapes();
    kept.clear();
    for (const std::string& source : *sources) {
        g_sources.push_back(SourceTrack(source.c_str()));
        kept.push_back(TrackCacheKey(g_sources.back().path));
    }
    g_sourceCursor = 0;
    delete sources;
    return true;
}

TrackLevel LevelFromTags(const TrackTags& tags) {
    if (tags.hasReplayGain) return LevelFromReplayGain(tags.replayGainDb, tags.hasReplayPeak, tags.replayPeak);
    if (tags.hasR128Gain) return LevelFromR128Gain(tags.r128Gain);
    return TrackLevel{};
}

TrackFile SourceTrack(const char* source) {
    const std::u16string wide = ExternalToUtf16(source);
    return TrackFile{std::filesystem::path(reinterpret_cast<const wchar_t*>(wide.c_str())), source};
}

bool MeasureLevelsStep() {
    if (LogRefusedTarget()) return true;
    ForgetMeasuringOfClosedDevice();
    if (!LevellingOn()) {
        if (g_measuring.channel) FreeMeasuring();
        return false;
    }
    if (g_measuring.channel) return MeasureSlice();
    // What the cache knows is not measured again; nothing opens without a device.
    return KeptTracksRead() && AudioDeviceOpen() && BeginNextTrack() != Look::kNone;
}

void NoteComingUp(const Programme* programme, size_t next) {
    g_airProgramme = programme;
    g_comingUp = next;
    g_comingUpTried = 0;
}

bool MeasureComingUpStep() {
    ForgetMeasuringOfClosedDevice();
    if (!g_airProgramme || !LevellingOn() || !KeptTracksRead() || !AudioDeviceOpen()) return false;
    if (g_measuring.channel && g_measuring.comingUp) return MeasureSlice();
    const Programme& items = *g_airProgramme;
    while (g_comingUpTried < kComingUpTracks && g_comingUpTried < items.size()) {
        const Track& track = *items[(g_comingUp + g_comingUpTried++) % items.size()].track;
        if (track.seconds <= 0 || KnownLevel(track.file).known) continue;
        if (g_measuring.channel) PutOffMeasuring();
        if (BeginTrack(track.file, false) != Begun::kYes) continue;
        g_measuring.comingUp = true;
        g_measuring.from = nullptr;
        return true;
    }
    return false;
}

uint32_t LevelsStored() {
    return g_levelsStored;
}

TrackLevel KnownLevel(const TrackFile& track) {
    TrackLevel level;
    FileStamp stamp;
    {
        BusyMark files(g_fileWork);
        if (!ReadFileStamp(track.path, stamp)) return level;
    }
    std::string key;
    {
        BusyMark memory(g_memoryWork);
        key = TrackCacheKey(track.path);
    }
    // A file changed since it was measured is unknown again.
    const CachedLength* kept = CachedTrack(KeptTracks(), key, stamp);
    if (!kept || kept->level == LevelSource::kNone) return level;
    level.known = true;
    level.loudnessLufs = kept->loudnessCentiLufs / kCentiPerUnit;
    level.peak = kept->peakMillionths / kMillionthsPerUnit;
    return level;
}
