#include "tests/common/folders.h"
#include "tests/e2e/rig.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

const char kSettingsPath[] = "audio/streams/settings.ini";
const char kRunLogPath[] = "audio/streams/zorve.log";
const char kAudioLeftOpenLine[] = "exit: audio library left open (the game closed mid-call)";
const char kBassLogName[] = "bass.log";

namespace {

const FakeHost* g_host = nullptr;
int g_failures = 0;
char g_faultsPath[MAX_PATH];

// A player object and a vehicle object in game memory the module reads only
// through the player pointer.
constexpr uintptr_t kPlayerObject = 0xB00000;
constexpr uintptr_t kVehicleObject = 0xB01000;
constexpr uint16_t kModelWithRadio = 400;
constexpr uint8_t kPlayerOnFoot = 1;

constexpr DWORD kPollMs = 2;
constexpr DWORD kFrameSleepMs = 16;
constexpr uint32_t kShortFrameMs = 16;
constexpr uint32_t kLongFrameMs = 17;

std::mutex g_clockLock;
std::vector<uint32_t> g_clockHistory;
bool g_keepClockHistory = true;
bool g_clockRunning = false;
bool g_clockStarted = false;
uint32_t g_frame = 0;

void SetClockLocked(uint32_t ms) {
    SetHost<uint32_t>(host::kClockMsAddr, ms);
    if (g_keepClockHistory) g_clockHistory.push_back(ms);
}

// No heap and no C runtime: the fault may have come anywhere, the module's
// exit work included (the loader may swallow one in a detach).
LONG CALLBACK NoteFault(EXCEPTION_POINTERS* exception) {
    constexpr DWORD kErrorSeverity = 0xC0000000;
    const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    if ((record.ExceptionCode & kErrorSeverity) != kErrorSeverity) return EXCEPTION_CONTINUE_SEARCH;
    char line[] = "fault 00000000 at 00000000\n";
    const uint32_t values[2] = {record.ExceptionCode, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record.ExceptionAddress))};
    char* const digits[2] = {line + 6, line + 18};
    for (int v = 0; v < 2; ++v)
        for (int i = 0; i < 8; ++i) digits[v][i] = "0123456789abcdef"[(values[v] >> (28 - 4 * i)) & 0xF];
    const HANDLE file = CreateFileA(g_faultsPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, line, sizeof line - 1, &written, nullptr);
    CloseHandle(file);
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI ClockThread(LPVOID) {
    for (;;) {
        Sleep(kFrameSleepMs);
        std::lock_guard<std::mutex> lock(g_clockLock);
        if (!g_clockRunning) continue;
        ++g_frame;
        SetClockLocked(ClockMs() + (g_frame % 2 ? kLongFrameMs : kShortFrameMs));
    }
}

}  // namespace

const FakeHost& Host() {
    return *g_host;
}

void SetFakeHost(const FakeHost* host) {
    g_host = host;
}

int Failures() {
    return g_failures;
}

void Fail(const char* file, int line, const std::string& message) {
    ++g_failures;
    std::printf("FAIL %s:%d: %s\n", file, line, message.c_str());
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%#llx", static_cast<unsigned long long>(value));
    return text;
}

bool WaitFor(const std::function<bool()>& ready, const std::string& what, uint32_t timeoutMs) {
    const DWORD start = GetTickCount();
    while (!ready()) {
        if (GetTickCount() - start > timeoutMs) {
            Fail(__FILE__, __LINE__, "timed out waiting for " + what);
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

double NowMs() {
    LARGE_INTEGER ticks, frequency;
    QueryPerformanceCounter(&ticks);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void WriteFaultsTo(const char* name) {
    GetFullPathNameA(name, MAX_PATH, g_faultsPath, nullptr);
    DeleteFileA(g_faultsPath);
    AddVectoredExceptionHandler(1, NoteFault);
}

void PrepareGameFolder(bool withStreamsFolder) {
    RemoveTree("audio");
    DeleteFileA(kBassLogName);
    if (withStreamsFolder) {
        CreateDirectoryA("audio", nullptr);
        CreateDirectoryA("audio\\streams", nullptr);
    }
    KeepAudioRecord();
}

void KeepAudioRecord() {
    char full[MAX_PATH];
    GetFullPathNameA(kBassLogName, MAX_PATH, full, nullptr);
    SetEnvironmentVariableA("FAKEBASS_LOG", full);
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

bool ReadFile(const std::string& path, std::string& content) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream text;
    text << file.rdbuf();
    content = text.str();
    return true;
}

bool FileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteWave(const std::string& path) {
    // RIFF header of an empty 16-bit mono PCM file.
    static const unsigned char kHeader[44] = {
        'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0,
        0x44, 0xAC, 0, 0, 0x88, 0x58, 0x01, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 0, 0, 0, 0};
    WriteFile(path, std::string(reinterpret_cast<const char*>(kHeader), sizeof kHeader));
}

void WriteWaveOfLength(const std::string& path, uint32_t ms, uint32_t rate) {
    constexpr uint32_t kBytesPerFrame = 2;
    const uint32_t data = static_cast<uint32_t>(uint64_t{rate} * ms / 1000) * kBytesPerFrame;
    std::string wave = "RIFF";
    const auto put32 = [&](uint32_t value) {
        for (int i = 0; i < 4; ++i) wave += static_cast<char>(value >> (8 * i) & 0xFF);
    };
    const auto put16 = [&](uint16_t value) {
        wave += static_cast<char>(value & 0xFF);
        wave += static_cast<char>(value >> 8);
    };
    put32(36 + data);
    wave += "WAVEfmt ";
    put32(16);
    put16(1);  // PCM
    put16(1);  // mono
    put32(rate);
    put32(rate * kBytesPerFrame);
    put16(kBytesPerFrame);
    put16(16);
    wave += "data";
    put32(data);
    wave.append(data, '\0');
    WriteFile(path, wave);
}

std::string Visible(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

uint8_t CodeByte(uintptr_t address) {
    return host::Read<uint8_t>(address);
}

bool RadioBytesAre(uint8_t output, uint8_t retune) {
    return CodeByte(host::kRadioOutputSite) == output && CodeByte(host::kRadioRetuneSite) == retune;
}

void SetGameDefaults() {
    SetHost<float>(host::kRadioVolumeAddr, 1.0f);
}

void PutPlayerInCar() {
    SetHost<uintptr_t>(host::kPlayerAddr, kPlayerObject);
    SetHost<uintptr_t>(kPlayerObject + host::kPlayerVehicleOffset, kVehicleObject);
    SetHost<uint16_t>(kVehicleObject + host::kVehicleModelOffset, kModelWithRadio);
    SetHost<uint8_t>(host::kModelRecordsAddr + host::kModelRecordSize * kModelWithRadio, 0);
    SetHost<uint8_t>(kPlayerObject + host::kPlayerStateOffset, host::kPlayerStateDriving);
}

void PlayerLeavesCar() {
    SetHost<uint8_t>(kPlayerObject + host::kPlayerStateOffset, kPlayerOnFoot);
}

void TuneTo(int32_t station) {
    SetHost<int8_t>(host::kStationStepAddr, 0);
    SetHost<int32_t>(host::kStationBaseAddr, station);
}

void SetOpenWait(int16_t ms) {
    Host().WriteCode(host::kOpenWaitAddr, &ms, sizeof ms);
}

void StartClock(uint32_t startMs, bool keepHistory) {
    std::lock_guard<std::mutex> lock(g_clockLock);
    g_keepClockHistory = keepHistory;
    SetClockLocked(startMs);
    g_clockRunning = true;
    if (!g_clockStarted) CreateThread(nullptr, 0, ClockThread, nullptr, 0, nullptr);
    g_clockStarted = true;
}

void HoldClock(uint32_t ms) {
    std::lock_guard<std::mutex> lock(g_clockLock);
    g_clockRunning = false;
    SetClockLocked(ms);
}

void HoldClock() {
    std::lock_guard<std::mutex> lock(g_clockLock);
    g_clockRunning = false;
}

void ResumeClock() {
    std::lock_guard<std::mutex> lock(g_clockLock);
    g_clockRunning = true;
}

uint32_t ClockMs() {
    return host::Read<uint32_t>(host::kClockMsAddr);
}

std::vector<uint32_t> ClockHistory() {
    std::lock_guard<std::mutex> lock(g_clockLock);
    return g_clockHistory;
}

bool ModuleContains(uintptr_t address) {
    const HMODULE module = GetModuleHandleA("zorve.asi");
    if (!module) return false;
    const uintptr_t base = reinterpret_cast<uintptr_t>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return address >= base && address < base + nt->OptionalHeader.SizeOfImage;
}

uintptr_t CallTarget(uintptr_t site) {
    constexpr uint8_t kCallRel32 = 0xE8;
    if (CodeByte(site) != kCallRel32) return 0;
    const int32_t displacement = host::Read<int32_t>(site + 1);
    return static_cast<uintptr_t>(static_cast<uint32_t>(site + 5) + static_cast<uint32_t>(displacement));
}

int BassCallCount() {
    return FakeBass_CallCount();
}

std::vector<BassCall> BassCallsFrom(int first) {
    std::vector<BassCall> calls;
    BassCall call;
    for (int i = first; FakeBass_GetCall(i, &call); ++i) calls.push_back(call);
    return calls;
}

std::vector<BassCall> BassCallsOf(int fn, int first) {
    std::vector<BassCall> calls;
    for (const BassCall& call : BassCallsFrom(first))
        if (call.fn == fn) calls.push_back(call);
    return calls;
}

bool IsJingleChannel(uint32_t handle) {
    return handle >= FAKEBASS_CHANNEL_BASE;
}

void WaitTicks(int n) {
    // Every tick past the gate sets two volumes: the stream's and the jingle's.
    const int first = BassCallCount();
    WaitFor([&] { return static_cast<int>(BassCallsOf(BF_SET_ATTRIBUTE, first).size()) >= 2 * n + 2; },
            std::to_string(n) + " ticks");
}

int HostCallCount() {
    return Host().CallCount();
}

std::vector<HostCall> HostCallsFrom(int first) {
    std::vector<HostCall> calls;
    HostCall call;
    const int count = Host().CallCount();
    if (first < count - HOST_CALL_CAPACITY) first = count - HOST_CALL_CAPACITY;
    for (int i = first; i < count && Host().GetCall(i, &call); ++i) calls.push_back(call);
    return calls;
}

uint32_t PlayingStream(int fn, int first, const std::string& what, uint32_t timeoutMs) {
    uint32_t stream = 0;
    WaitFor(
        [&] {
            for (const BassCall& open : BassCallsOf(fn, first)) {
                if (!open.result) continue;
                for (const BassCall& play : BassCallsOf(BF_PLAY, first))
                    if (play.handle == open.result && play.result) stream = static_cast<uint32_t>(open.result);
            }
            return stream != 0;
        },
        what, timeoutMs);
    return stream;
}

uint64_t PrivateBytes() {
    uint64_t bytes = 0;
    MEMORY_BASIC_INFORMATION region;
    for (uintptr_t at = 0; VirtualQuery(reinterpret_cast<void*>(at), &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) bytes += region.RegionSize;
        const uintptr_t next = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return bytes;
}

// The file is read only once the module has written it anew: a read under way
// would hold up the module's replacing of it.
int LevelsKept() {
    static const char kTrackCache[] = "audio/streams/zorve-tracks.cache";
    static FILETIME seen{};
    static int kept = 0;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(kTrackCache, GetFileExInfoStandard, &data) ||
        CompareFileTime(&data.ftLastWriteTime, &seen) == 0)
        return kept;
    std::string cache;
    if (!ReadFile(kTrackCache, cache)) return kept;
    seen = data.ftLastWriteTime;
    // Each line: check, size, write time, length, marks, loudness, peak, path.
    kept = 0;
    std::istringstream lines(cache);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string marks;
        for (int field = 0; field <= 4 && fields; ++field) std::getline(fields, marks, '\t');
        kept += fields && marks.find_first_of("mt") != std::string::npos;
    }
    return kept;
}
