// A long session in minutes: the game runs with the real zorve.asi under a
// churn faster than any player (a station change every 300 ms across file,
// playlist and internet stations, servers that drop and refuse, the output
// device lost, settings edited live, the radio's volume and audibility
// toggled), and once a second this process notes from outside the module what
// is alive: the audio library's handles by kind, its own private memory,
// handles and threads, and the size of the run logs. soak.txt in the game
// folder gets a line per sample and the operations' counts; scripts/soak
// judges it with what the exit left on disk.
//
// fakehost.exe --asi=zorve.asi zorve_soak.dll MINUTES
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/e2e/rig.h"

namespace {

constexpr uint32_t kChangeEveryMs = 300;
// Every so many visits the player stays on an internet station long enough
// for its server to drop it and the module to reconnect (2 s of play, the
// stream's buffer, the first 1 s wait); rarely, so that the changes keep
// their pace.
constexpr int kStayEvery = 60;
constexpr uint32_t kStayMs = 3600;
constexpr uint32_t kSampleEveryMs = 1000;
constexpr uint32_t kEditEveryMs = 5000;
constexpr DWORD kEditRetryMs = 10;
constexpr int kEditAttempts = 100;
constexpr uint32_t kDeviceLossEveryMs = 30000;
constexpr int kLongAbsenceLoss = 3;  // this loss keeps the device away
constexpr uint32_t kLongAbsenceMs = 10000;
constexpr int kForeverInits = 1 << 30;
constexpr uint32_t kVolumeEveryMs = 7000;
constexpr uint32_t kOnFootEveryMs = 30000;
constexpr uint32_t kOnFootForMs = 1000;
constexpr uint32_t kTitleEveryMs = 3000;
constexpr uint32_t kRefusalEveryMs = 11000;
constexpr int kRefusals = 2;
// The end: churn stops, a last edit, a file station started, then the exit.
constexpr uint32_t kQuietBeforeEndMs = 7000;
constexpr uint32_t kLastEditBeforeEndMs = 6000;
constexpr uint32_t kLastStartBeforeEndMs = 3000;
constexpr uint32_t kLoopMs = 5;
constexpr uint32_t kStartClockMs = 3725500;
constexpr uint32_t kFrameMs = 16;
constexpr int32_t kSavedOffset = 1200;
constexpr uint32_t kFileMs = 60000;
constexpr uint32_t kWaveRate = 8000;
constexpr uint32_t kShortestTrackMs = 500;
constexpr uint32_t kLongestTrackMs = 2000;
constexpr int kTracks = 12;
constexpr int kOtherTracks = 8;
constexpr uint32_t kServerDropMs = 2000;
constexpr uint32_t kServerConnectMs = 20;
// A URL open is looked at again this much later, once it has surely ended.
constexpr double kOpenSettledMs = 8000;

const char kRecordName[] = "soak.txt";
const char kFaultsName[] = "faults.txt";
const char kLastEditName[] = "soak-last-edit.ini";
const char kTemporaryEdit[] = "audio/streams/settings.ini.edit";
const char kLogPaths[2][32] = {"audio/streams/zorve.log", "audio/streams/zorve.log.1"};
const char kDropsUrl[] = "http://soak.example/drops";
const char kRefusesUrl[] = "http://soak.example/refuses";
const char kOggUrl[] = "http://soak.example/ogg";

enum Kind { kFile, kPlaylist, kInternet };
struct Station {
    Kind kind;
    const char* source;       // the source or playlist value
    const char* otherSource;  // what edits switch it to, if anything
};
// Stations 1-11.
const Station kStations[] = {
    {kFile, "audio/streams/morning.wav", nullptr},
    {kPlaylist, "audio/streams/tracks", nullptr},
    {kInternet, kDropsUrl, nullptr},
    {kFile, "audio/streams/evening.wav", "audio/streams/late.wav"},
    {kPlaylist, "audio/streams/mix.m3u", "audio/streams/others"},
    {kInternet, kRefusesUrl, nullptr},
    {kPlaylist, "audio/streams/others", nullptr},
    {kFile, "audio/streams/late.wav", nullptr},
    {kInternet, kOggUrl, nullptr},
    {kPlaylist, "audio/streams/tracks", nullptr},
    {kFile, "audio/streams/night.wav", nullptr},
};
constexpr int kStationCount = sizeof kStations / sizeof kStations[0];
const char* const kJingleSets[2] = {"jingles/one.wav,jingles/two.wav", "jingles/two.wav,jingles/three.wav"};

uint32_t g_random = 2463534242u;

uint32_t Next() {
    g_random ^= g_random << 13;
    g_random ^= g_random >> 17;
    g_random ^= g_random << 5;
    return g_random;
}

uint32_t Between(uint32_t low, uint32_t high) {
    return low + Next() % (high - low + 1);
}

DWORD g_startTicks;

uint32_t ElapsedMs() {
    return GetTickCount() - g_startTicks;
}

FILE* g_record;

void Record(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Record(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(g_record, format, args);
    va_end(args);
    std::fputc('\n', g_record);
    std::fflush(g_record);
}

// What the churn did, and where it stands.
struct Churn {
    int32_t station = 0;
    int visits = 0;
    uint32_t visitEndMs = 0;
    bool onFoot = false;
    uint32_t onFootUntilMs = 0;
    int changes = 0;
    int edits = 0;
    int editShown = 0;  // the latest edit whose name the game showed
    int editsTaken = 0; // edits shown before the next one came
    int deviceLosses = 0;
    uint32_t deviceBackAtMs = 0;  // the end of a long absence, 0 when none runs
    int volumeStep = 0;
    int titles = 0;
};
Churn g_churn;

// ---- the game folder and the edits -------------------------------------------

std::string Section(const std::string& name, const std::string& lines) {
    return "; " + name + "\r\n[" + name + "]\r\n" + lines + "\r\n\r\n";
}

// Edit n of the player's file, in the module's own layout so that its saves
// give it back byte for byte but for the position: every name and colour
// changes, and in turn a source, a playlist and the jingles.
std::string Settings(int edit) {
    std::string text = "\xEF\xBB\xBF; stations for the soak\r\n\r\n\r\n";
    for (int i = 0; i < kStationCount; ++i) {
        const Station& station = kStations[i];
        const bool other = station.otherSource && (edit / (station.kind == kFile ? 1 : 2)) % 2;
        const char* source = other ? station.otherSource : station.source;
        std::string lines = (station.kind == kPlaylist ? "playlist = " : "source = ") + std::string(source) + "\r\n";
        if (station.kind == kPlaylist && i % 2) lines += "shuffle = 1\r\n";
        lines += "name = Soak " + std::to_string(i + 1) + " edit " + std::to_string(edit) + "\r\n";
        lines += "colorA = " + std::to_string((edit * 37 + i * 20) % 256) + ",128," + std::to_string(i * 20) + "\r\n";
        text += Section("TRACK" + std::to_string(i + 1), lines);
    }
    text += Section("SWITCHER", std::string("samples = ") + kJingleSets[(edit / 3) % 2] + "\r\n");
    text += Section("INTERNET", "reconnect = 1\r\n");
    text += Section("DISPLAY", "nowplaying = 1\r\n");
    text += Section("SOUND", "level = 1\r\n");
    text += "; where the broadcast stands\r\n[POSITION]\r\nseconds = " + std::to_string(kSavedOffset) + "\r\n";
    return text;
}

// As an editor saves: the whole file written aside, then put in place.
void SaveEdit(int edit);

// Every edit renames the stations: the name the game shows says which edit
// the module took.
void NoteEditShown() {
    const char* shown = std::strstr(Host().TextEntry(), " edit ");
    const int edit = shown ? std::atoi(shown + std::strlen(" edit ")) : 0;
    if (edit <= g_churn.editShown) return;
    g_churn.editShown = edit;
    Record("edit %d shown %u", edit, ElapsedMs());
}

void Edit() {
    g_churn.editsTaken += g_churn.edits > 0 && g_churn.editShown == g_churn.edits;
    SaveEdit(++g_churn.edits);
    Record("edit %d saved %u", g_churn.edits, ElapsedMs());
}

void SaveEdit(int edit) {
    const std::string text = Settings(edit);
    WriteFile(kTemporaryEdit, text);
    // Windows refuses to rename over a file that is open, as it is for a
    // moment whenever the module reads it: editors try again.
    for (int attempt = 1; !MoveFileExA(kTemporaryEdit, kSettingsPath, MOVEFILE_REPLACE_EXISTING); ++attempt) {
        Record("edit %d: rename refused (error %lu), attempt %d", edit, GetLastError(), attempt);
        if (attempt == kEditAttempts) return;
        Sleep(kEditRetryMs);
    }
    WriteFile(kLastEditName, text);
}

void WriteGameFolder() {
    PrepareGameFolder();
    DeleteFileA(kRecordName);
    DeleteFileA(kFaultsName);
    SaveEdit(0);
    for (const char* name : {"morning", "evening", "late", "night"})
        WriteWaveOfLength(std::string("audio/streams/") + name + ".wav", kFileMs, kWaveRate);
    CreateDirectoryA("audio\\streams\\tracks", nullptr);
    CreateDirectoryA("audio\\streams\\others", nullptr);
    std::string list = "#EXTM3U\r\n";
    for (int i = 0; i < kTracks; ++i) {
        const std::string name = "track" + std::to_string(10 + i) + ".wav";
        WriteWaveOfLength("audio/streams/tracks/" + name, Between(kShortestTrackMs, kLongestTrackMs), kWaveRate);
        list += "tracks/" + name + "\r\n";
    }
    for (int i = 0; i < kOtherTracks; ++i)
        WriteWaveOfLength("audio/streams/others/song" + std::to_string(10 + i) + ".wav",
                          Between(kShortestTrackMs, kLongestTrackMs), kWaveRate);
    WriteFile("audio/streams/mix.m3u", list);
    CreateDirectoryA("audio\\streams\\jingles", nullptr);
    for (const char* name : {"one", "two", "three"}) WriteWave(std::string("audio/streams/jingles/") + name + ".wav");
}

void ScriptServers(int refusals) {
    FakeServer drops = {};
    drops.dropAfterMs = kServerDropMs;
    drops.connectMs = kServerConnectMs;
    drops.name = "Soak Drops";
    drops.bitrate = 128;
    drops.title = "First Song";
    FakeNet_SetServer(kDropsUrl, &drops);
    FakeServer refuses = drops;
    refuses.name = "Soak Refuses";
    refuses.refusals = refusals;
    refuses.title = nullptr;
    FakeNet_SetServer(kRefusesUrl, &refuses);
    FakeServer ogg = drops;
    ogg.name = "Soak Ogg";
    ogg.headersInHttp = 1;
    ogg.ogg = 1;
    FakeNet_SetServer(kOggUrl, &ogg);
}

// ---- what is alive -----------------------------------------------------------

uint32_t ThreadCount() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    uint32_t count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return count;
}

uint64_t LogBytes() {
    uint64_t bytes = 0;
    for (const char* path : kLogPaths) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(path, GetFileExInfoStandard, &data))
            bytes += uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
    }
    return bytes;
}

// The process's handles, from the system's table of every process's handles
// (GetProcessHandleCount answers 0 under Wine).
struct HandleEntry {
    ULONG process;
    UCHAR type, flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
constexpr ULONG kSystemHandleInformation = 16;
constexpr size_t kHandleTableBytes = 8u << 20;
// Static, so that reading it allocates nothing the memory measure would see.
alignas(8) unsigned char g_handleTable[kHandleTableBytes];

uint32_t HandleCount() {
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query =
        reinterpret_cast<Query>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    ULONG length = 0;
    if (!query || query(kSystemHandleInformation, g_handleTable, sizeof g_handleTable, &length) != 0) return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(g_handleTable);
    uint32_t count = 0;
    for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].process == GetCurrentProcessId();
    return count;
}

void Sample() {
    FakeBassLive live;
    FakeBass_GetLive(&live);
    Record("sample %u streams=%u decode_channels=%u samples=%u sample_channels=%u syncs=%u private_kb=%llu "
           "handles=%lu threads=%u log_kb=%llu",
           ElapsedMs() / 1000, live.streams, live.decodeChannels, live.samples, live.sampleChannels, live.syncs,
           static_cast<unsigned long long>(PrivateBytes() / 1024), static_cast<unsigned long>(HandleCount()), ThreadCount(),
           static_cast<unsigned long long>(LogBytes() / 1024));
}

// ---- counting reconnects -----------------------------------------------------

// Internet opens made by a thread that never opened a file: the reconnect
// thread's, as the stations' openings open files too.
struct Reconnects {
    int scanned = 0;
    std::vector<uint32_t> fileThreads;
    std::vector<int> pending;  // attempts whose outcome is not looked at yet
    int attempts = 0;
    int connected = 0;
};
Reconnects g_reconnects;

bool OpensFiles(uint32_t thread) {
    for (uint32_t known : g_reconnects.fileThreads)
        if (known == thread) return true;
    return false;
}

void ScanCalls(bool final) {
    Reconnects& r = g_reconnects;
    BassCall call;
    // Calls the fake's record no longer holds are passed over.
    while (r.scanned < FakeBass_CallCount() && !FakeBass_GetCall(r.scanned, &call)) ++r.scanned;
    // A call is counted before it is written down: a blank one is read again.
    for (; FakeBass_GetCall(r.scanned, &call) && call.fn != 0; ++r.scanned) {
        if (call.fn == BF_STREAM_CREATE_FILE && !OpensFiles(call.thread)) r.fileThreads.push_back(call.thread);
        if (call.fn == BF_STREAM_CREATE_URL && !OpensFiles(call.thread)) {
            ++r.attempts;
            r.pending.push_back(r.scanned);
        }
    }
    const double settledBefore = [&] {
        BassCall last;
        return FakeBass_GetCall(r.scanned - 1, &last) ? last.time * 1000 - kOpenSettledMs : 0;
    }();
    for (size_t i = 0; i < r.pending.size();) {
        if (!FakeBass_GetCall(r.pending[i], &call)) {
            r.pending.erase(r.pending.begin() + i);  // left the fake's record unread: counted as an attempt only
        } else if (final || call.time * 1000 < settledBefore) {
            r.connected += call.result != 0;
            r.pending.erase(r.pending.begin() + i);
        } else {
            ++i;
        }
    }
}

// ---- the churn ---------------------------------------------------------------

int32_t PickStation(bool internet) {
    for (;;) {
        const int32_t station = static_cast<int32_t>(Between(1, kStationCount));
        if (station != g_churn.station && (!internet || kStations[station - 1].kind == kInternet)) return station;
    }
}

// Visits follow each other on a fixed schedule, so that the pace holds
// whatever the loop's own lateness.
void ChangeStation() {
    ++g_churn.visits;
    const bool stay = g_churn.visits % kStayEvery == 0;
    g_churn.station = PickStation(stay);
    TuneTo(g_churn.station);
    ++g_churn.changes;
    g_churn.visitEndMs += stay ? kStayMs : kChangeEveryMs;
}

void LoseDevice(uint32_t nowMs) {
    ++g_churn.deviceLosses;
    if (g_churn.deviceLosses == kLongAbsenceLoss) {
        FakeBass_FailInit(kForeverInits);
        FakeNet_LoseDevice(1);
        g_churn.deviceBackAtMs = nowMs + kLongAbsenceMs;
    } else {
        FakeNet_LoseDevice(g_churn.deviceLosses % 2 == 0);
    }
}

// Whether a period of everyMs has begun since lastMs.
bool Due(uint32_t everyMs, uint32_t lastMs, uint32_t nowMs) {
    return nowMs / everyMs != lastMs / everyMs;
}

// The player leaves the car for a moment now and then; the station's visit
// waits for the return, as changes are taken up only while the radio is heard.
void LeaveOrReturn(uint32_t lastMs, uint32_t nowMs) {
    if (!g_churn.onFoot && Due(kOnFootEveryMs, lastMs, nowMs)) {
        PlayerLeavesCar();
        g_churn.onFoot = true;
        g_churn.onFootUntilMs = nowMs + kOnFootForMs;
    } else if (g_churn.onFoot && nowMs >= g_churn.onFootUntilMs) {
        PutPlayerInCar();
        g_churn.onFoot = false;
        g_churn.visitEndMs += kOnFootForMs;
    }
}

void ChurnStep(uint32_t lastMs, uint32_t nowMs) {
    if (g_churn.deviceBackAtMs && nowMs >= g_churn.deviceBackAtMs) {
        FakeBass_FailInit(0);
        g_churn.deviceBackAtMs = 0;
    }
    LeaveOrReturn(lastMs, nowMs);
    if (!g_churn.onFoot && nowMs >= g_churn.visitEndMs) ChangeStation();
    if (Due(kEditEveryMs, lastMs, nowMs)) Edit();
    if (Due(kDeviceLossEveryMs, lastMs, nowMs)) LoseDevice(nowMs);
    if (Due(kVolumeEveryMs, lastMs, nowMs)) {
        static const float kVolumes[] = {0.4f, 1.0f, 0.0f, 0.7f};
        SetHost<float>(host::kRadioVolumeAddr, kVolumes[g_churn.volumeStep++ % 4]);
    }
    if (Due(kTitleEveryMs, lastMs, nowMs)) {
        const std::string title = "Song " + std::to_string(++g_churn.titles);
        FakeNet_SetTitle(kDropsUrl, title.c_str());
        FakeNet_SetTitle(kOggUrl, title.c_str());
    }
    if (Due(kRefusalEveryMs, lastMs, nowMs)) ScriptServers(kRefusals);
}

// The last edit, then a file station started well before the exit: its
// position must be on disk after the exit, the file otherwise as edited.
void EndQuietly(uint32_t endMs) {
    if (g_churn.onFoot) PutPlayerInCar();
    if (g_churn.deviceBackAtMs) FakeBass_FailInit(0);
    SetHost<float>(host::kRadioVolumeAddr, 1.0f);
    while (ElapsedMs() + kLastEditBeforeEndMs < endMs) Sleep(kLoopMs);
    Edit();
    while (ElapsedMs() + kLastStartBeforeEndMs < endMs) {
        NoteEditShown();
        Sleep(kLoopMs);
    }
    g_churn.editsTaken += g_churn.editShown == g_churn.edits;
    const int32_t station = g_churn.station == 1 ? 4 : 1;
    const uint32_t due = ClockMs() / 1000 + kSavedOffset;
    TuneTo(station);
    ++g_churn.changes;
    Record("due %u", due);
    while (ElapsedMs() < endMs) Sleep(kLoopMs);
}

int Play(uint32_t minutes) {
    g_record = std::fopen(kRecordName, "w");
    if (!g_record) return 2;
    WriteFaultsTo(kFaultsName);
    WriteGameFolder();
    FakeBass_SetJingleLength(FAKEBASS_OWN_LENGTH);
    FakeBass_SetDecodeCost(FAKEBASS_DECODE_COST);
    ScriptServers(0);
    SetGameDefaults();
    PutPlayerInCar();
    StartClock(kStartClockMs, false);
    SetHost<uint32_t>(host::kGameActiveAddr, 1);
    Host().StartDrawing(kFrameMs);
    g_startTicks = GetTickCount();
    Record("start minutes=%u", minutes);

    const uint32_t endMs = minutes * 60000;
    const uint32_t quietFromMs = endMs - kQuietBeforeEndMs;
    uint32_t lastMs = 0, lastSampleMs = 0;
    ChangeStation();
    while (ElapsedMs() < quietFromMs) {
        const uint32_t nowMs = ElapsedMs();
        ChurnStep(lastMs, nowMs);
        NoteEditShown();
        ScanCalls(false);
        if (nowMs - lastSampleMs >= kSampleEveryMs) {
            lastSampleMs += kSampleEveryMs;
            Sample();
        }
        lastMs = nowMs;
        Sleep(kLoopMs);
    }
    EndQuietly(endMs);
    ScanCalls(true);
    Sample();
    Record("count station_changes=%d reconnects=%d reconnects_connected=%d device_losses=%d edits=%d "
           "edits_taken=%d track_changes=%u",
           g_churn.changes, g_reconnects.attempts, g_reconnects.connected, g_churn.deviceLosses, g_churn.edits,
           g_churn.editsTaken,
           FakeBass_TracksFed());
    Record("exit");
    std::fclose(g_record);
    return 0;
}

}  // namespace

extern "C" __declspec(dllexport) int FakeHostMain(const FakeHost* host, int argc, char** argv) {
    SetFakeHost(host);
    const long minutes = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (minutes < 1) {
        std::printf("usage: zorve_soak.dll MINUTES (at least 1)\n");
        return 2;
    }
    return Play(static_cast<uint32_t>(minutes));
}
