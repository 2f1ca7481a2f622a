/* The fake audio library bass.dll: every call is recorded with its arguments
 * and thread; answers come from a small table of channels that the tests can
 * script. Files are checked on disk: a stream opens from any regular file, a
 * sample loads only from a WAV file. Setting FAKEBASS_LOG=FILE writes the
 * calls to FILE when the library unloads, after the module's own detach. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "fakebass.h"

#define LOG_CAPACITY 131072
#define MAX_CHANNELS 4096

typedef void(__stdcall* SyncProc)(DWORD sync, DWORD channel, DWORD data, void* user);

typedef struct Channel {
    uint32_t handle;
    uint32_t active;
    float volume;
    uint64_t position;
    uint64_t length;
    DWORD stopsAt; /* tick count at which a playing jingle ends; 0 never */
    uint32_t flags;
    uint32_t bytesPerSecond;
    double endsAtMs;  /* a playing stream without the loop flag stops then; 0 never */
    double playedAtMs;
    SyncProc endSync;
    void* endSyncUser;
} Channel;

static CRITICAL_SECTION g_lock;
static BassCall g_log[LOG_CAPACITY];
static volatile LONG g_logCount;
static Channel g_channels[MAX_CHANNELS];
static int g_channelCount;
static uint32_t g_nextStream, g_nextSample, g_nextChannel;
static int g_failInit, g_failAll;
static uint64_t g_streamLength;
static uint32_t g_openDelayMs, g_jingleLengthMs;
static HANDLE g_openGate;
static volatile LONG g_opensWaiting;
static int g_streamLengthScripted;
/* When streams ran to their end, kept after they are freed. */
#define ENDS_KEPT 1024
static struct { uint32_t handle; double atMs; } g_ends[ENDS_KEPT];
static int g_endCount;
static HANDLE g_mixer;
static LARGE_INTEGER g_frequency, g_loadedAt;

#define MIXER_PERIOD_MS 1
#define FLOAT_BYTES 4u

/* Milliseconds since the library loaded. */
static double NowMs(void) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - g_loadedAt.QuadPart) * 1000.0 / (double)g_frequency.QuadPart;
}

static void ResetState(void) {
    g_logCount = 0;
    g_channelCount = 0;
    g_nextStream = FAKEBASS_STREAM_BASE + 1;
    g_nextSample = FAKEBASS_SAMPLE_BASE + 1;
    g_nextChannel = FAKEBASS_CHANNEL_BASE + 1;
    g_failInit = 0;
    g_failAll = 0;
    g_streamLength = 600ull * FAKEBASS_BYTES_PER_SECOND;
    g_streamLengthScripted = 0;
    g_endCount = 0;
    g_openDelayMs = 0;
    g_jingleLengthMs = 0;
    SetEvent(g_openGate);
}

static BassCall* Begin(int fn, uint32_t handle) {
    LONG index = InterlockedIncrement(&g_logCount) - 1;
    BassCall* call = &g_log[index % LOG_CAPACITY];
    memset(call, 0, sizeof *call);
    call->fn = fn;
    call->handle = handle;
    call->thread = GetCurrentThreadId();
    return call;
}

static void Text(BassCall* call, const char* text) {
    if (text) lstrcpynA(call->text, text, BASS_CALL_TEXT);
}

/* Caller holds the lock. */
static Channel* Find(uint32_t handle) {
    int i;
    if (!handle) return NULL;
    for (i = 0; i < g_channelCount; ++i) {
        if (g_channels[i].handle == handle) {
            Channel* channel = &g_channels[i];
            if (channel->active == 1 && channel->stopsAt && (LONG)(GetTickCount() - channel->stopsAt) >= 0)
                channel->active = 0;
            return channel;
        }
    }
    return NULL;
}

static Channel* Add(uint32_t handle, uint64_t length) {
    Channel* channel;
    if (g_channelCount == MAX_CHANNELS) return NULL;
    channel = &g_channels[g_channelCount++];
    memset(channel, 0, sizeof *channel);
    channel->handle = handle;
    channel->length = length;
    channel->volume = 1.0f;
    channel->bytesPerSecond = FAKEBASS_BYTES_PER_SECOND;
    return channel;
}

/* When a playing stream without the loop flag reaches its end, from its position now. */
static void ScheduleEnd(Channel* channel) {
    channel->endsAtMs = 0;
    if (channel->active != 1 || (channel->flags & 0x4) || channel->handle >= FAKEBASS_SAMPLE_BASE ||
        channel->length == ~0ull)
        return;
    channel->endsAtMs = NowMs() + (double)(channel->length - (channel->position < channel->length ? channel->position
                                                                                                  : channel->length)) *
                                      1000.0 / channel->bytesPerSecond;
}

/* Stops the streams whose end has come and calls their end syncs, outside the lock. */
static DWORD WINAPI MixerThread(LPVOID unused) {
    (void)unused;
    for (;;) {
        SyncProc procs[16];
        void* users[16];
        DWORD handles[16];
        int due = 0, i;
        double now;
        Sleep(MIXER_PERIOD_MS);
        now = NowMs();
        EnterCriticalSection(&g_lock);
        for (i = 0; i < g_channelCount && due < 16; ++i) {
            Channel* channel = &g_channels[i];
            if (channel->active != 1 || channel->endsAtMs == 0 || now < channel->endsAtMs) continue;
            channel->active = 0;
            channel->position = channel->length;
            channel->endsAtMs = 0;
            g_ends[g_endCount % ENDS_KEPT].handle = channel->handle;
            g_ends[g_endCount++ % ENDS_KEPT].atMs = now;
            if (channel->endSync) {
                procs[due] = channel->endSync;
                users[due] = channel->endSyncUser;
                handles[due++] = channel->handle;
            }
        }
        LeaveCriticalSection(&g_lock);
        for (i = 0; i < due; ++i) procs[i](1, handles[i], 0, users[i]);
    }
    return 0;
}

/* The path as UTF-8, from a narrow or (with the library's unicode flag) UTF-16 name. */
static void PathText(const void* file, uint32_t flags, char* out, int size) {
    out[0] = 0;
    if (!file) return;
    if (flags & 0x80000000u) {
        WideCharToMultiByte(CP_UTF8, 0, (const wchar_t*)file, -1, out, size, NULL, NULL);
    } else {
        lstrcpynA(out, (const char*)file, size);
    }
}

static FILE* OpenForReading(const void* file, uint32_t flags) {
    return (flags & 0x80000000u) ? _wfopen((const wchar_t*)file, L"rb") : fopen((const char*)file, "rb");
}

static int IsRegularFileOf(const void* file, uint32_t flags) {
    DWORD attributes = (flags & 0x80000000u) ? GetFileAttributesW((const wchar_t*)file)
                                              : GetFileAttributesA((const char*)file);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* A WAV file's length and byte rate as 32-bit float samples; 0 if it is not a WAV file. */
static int WaveFloatLength(const void* file, uint32_t flags, uint64_t* length, uint32_t* bytesPerSecond) {
    unsigned char header[12], chunk[8], format[16];
    uint32_t channels = 0, rate = 0, bits = 0;
    int found = 0;
    FILE* in = OpenForReading(file, flags);
    if (!in) return 0;
    if (fread(header, 1, 12, in) == 12 && !memcmp(header, "RIFF", 4) && !memcmp(header + 8, "WAVE", 4)) {
        while (fread(chunk, 1, 8, in) == 8) {
            uint32_t size = chunk[4] | chunk[5] << 8 | chunk[6] << 16 | (uint32_t)chunk[7] << 24;
            if (!memcmp(chunk, "fmt ", 4) && size >= 16 && fread(format, 1, 16, in) == 16) {
                channels = format[2] | format[3] << 8;
                rate = format[4] | format[5] << 8 | format[6] << 16 | (uint32_t)format[7] << 24;
                bits = format[14] | format[15] << 8;
                size -= 16;
            } else if (!memcmp(chunk, "data", 4) && channels && rate && bits >= 8) {
                *length = (uint64_t)size / (channels * (bits / 8)) * channels * FLOAT_BYTES;
                *bytesPerSecond = rate * channels * FLOAT_BYTES;
                found = 1;
                break;
            }
            if (fseek(in, (long)(size + (size & 1)), SEEK_CUR)) break;
        }
    }
    fclose(in);
    return found;
}

static void Remove(uint32_t handle) {
    int i;
    for (i = 0; i < g_channelCount; ++i) {
        if (g_channels[i].handle == handle) {
            g_channels[i] = g_channels[--g_channelCount];
            return;
        }
    }
}

static int IsRegularFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static int IsWave(const char* path) {
    char magic[4] = {0};
    FILE* file = fopen(path, "rb");
    size_t got = 0;
    if (file) {
        got = fread(magic, 1, sizeof magic, file);
        fclose(file);
    }
    return got == sizeof magic && !memcmp(magic, "RIFF", 4);
}

static void WaitToOpen(void) {
    InterlockedIncrement(&g_opensWaiting);
    WaitForSingleObject(g_openGate, INFINITE);
    InterlockedDecrement(&g_opensWaiting);
    if (g_openDelayMs) Sleep(g_openDelayMs);
}

/* ---- the library's calls ------------------------------------------------- */

BOOL __stdcall BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid) {
    BassCall* call = Begin(BF_INIT, 0);
    BOOL ok;
    call->args[0] = (uint32_t)device;
    call->args[1] = freq;
    call->args[2] = flags;
    call->args[3] = (uint32_t)(uintptr_t)win;
    call->args[4] = (uint32_t)(uintptr_t)clsid;
    EnterCriticalSection(&g_lock);
    ok = !g_failAll && g_failInit == 0;
    if (g_failInit > 0) --g_failInit;
    LeaveCriticalSection(&g_lock);
    call->result = (uint64_t)ok;
    return ok;
}

BOOL __stdcall BASS_SetConfig(DWORD option, DWORD value) {
    BassCall* call = Begin(BF_SET_CONFIG, 0);
    call->args[0] = option;
    call->args[1] = value;
    call->result = !g_failAll;
    return !g_failAll;
}

DWORD __stdcall BASS_StreamCreateFile(BOOL mem, const void* file, uint64_t offset, uint64_t length, DWORD flags) {
    BassCall* call = Begin(BF_STREAM_CREATE_FILE, 0);
    uint32_t handle = 0;
    uint64_t fileLength = 0;
    uint32_t bytesPerSecond = FAKEBASS_BYTES_PER_SECOND;
    int wave;
    Channel* channel;
    call->args[0] = (uint32_t)mem;
    call->args[1] = flags;
    call->qwords[0] = offset;
    call->qwords[1] = length;
    PathText(file, flags, call->text, BASS_CALL_TEXT);
    WaitToOpen();
    wave = !mem && file && WaveFloatLength(file, flags, &fileLength, &bytesPerSecond);
    EnterCriticalSection(&g_lock);
    if (!g_failAll && !mem && file && IsRegularFileOf(file, flags) &&
        (channel = Add(g_nextStream, wave && !g_streamLengthScripted ? fileLength : g_streamLength))) {
        channel->flags = flags;
        if (wave) channel->bytesPerSecond = bytesPerSecond;
        handle = g_nextStream++;
    }
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

DWORD __stdcall BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, void* user) {
    BassCall* call = Begin(BF_STREAM_CREATE_URL, 0);
    uint32_t handle = 0;
    call->args[0] = offset;
    call->args[1] = flags;
    call->args[2] = (uint32_t)(uintptr_t)proc;
    call->args[3] = (uint32_t)(uintptr_t)user;
    Text(call, url);
    WaitToOpen();
    EnterCriticalSection(&g_lock);
    if (!g_failAll && url && !strncmp(url, "http://", 7) && Add(g_nextStream, ~0ull)) handle = g_nextStream++;
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

BOOL __stdcall BASS_StreamFree(DWORD handle) {
    BassCall* call = Begin(BF_STREAM_FREE, handle);
    BOOL ok;
    EnterCriticalSection(&g_lock);
    ok = !g_failAll && Find(handle) != NULL;
    if (ok) Remove(handle);
    LeaveCriticalSection(&g_lock);
    call->result = ok;
    return ok;
}

uint64_t __stdcall BASS_ChannelSeconds2Bytes(DWORD handle, double seconds) {
    BassCall* call = Begin(BF_SECONDS_TO_BYTES, handle);
    uint64_t bytes = ~0ull;
    Channel* channel;
    call->seconds = seconds;
    EnterCriticalSection(&g_lock);
    channel = g_failAll ? NULL : Find(handle);
    /* Whole sample frames of 8 bytes, as the library rounds. */
    if (channel) bytes = ((uint64_t)(seconds * channel->bytesPerSecond)) & ~7ull;
    LeaveCriticalSection(&g_lock);
    call->result = bytes;
    return bytes;
}

uint64_t __stdcall BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    BassCall* call = Begin(BF_GET_LENGTH, handle);
    Channel* channel;
    uint64_t length = ~0ull;
    call->args[0] = mode;
    EnterCriticalSection(&g_lock);
    channel = g_failAll ? NULL : Find(handle);
    if (channel) length = channel->length;
    LeaveCriticalSection(&g_lock);
    call->result = length;
    return length;
}

BOOL __stdcall BASS_ChannelSetPosition(DWORD handle, uint64_t position, DWORD mode) {
    BassCall* call = Begin(BF_SET_POSITION, handle);
    Channel* channel;
    call->qwords[0] = position;
    call->args[0] = mode;
    EnterCriticalSection(&g_lock);
    channel = g_failAll ? NULL : Find(handle);
    if (channel) {
        channel->position = position;
        ScheduleEnd(channel);
    }
    LeaveCriticalSection(&g_lock);
    call->result = channel != NULL;
    return channel != NULL;
}

BOOL __stdcall BASS_ChannelPlay(DWORD handle, BOOL restart) {
    BassCall* call = Begin(BF_PLAY, handle);
    Channel* channel;
    call->args[0] = (uint32_t)restart;
    EnterCriticalSection(&g_lock);
    channel = g_failAll ? NULL : Find(handle);
    if (channel) {
        channel->active = 1;
        channel->stopsAt = 0;
        if (handle >= FAKEBASS_CHANNEL_BASE && g_jingleLengthMs) channel->stopsAt = (GetTickCount() + g_jingleLengthMs) | 1;
        channel->playedAtMs = NowMs();
        ScheduleEnd(channel);
        if (channel->endsAtMs && !g_mixer) g_mixer = CreateThread(NULL, 0, MixerThread, NULL, 0, NULL);
    }
    LeaveCriticalSection(&g_lock);
    call->result = channel != NULL;
    return channel != NULL;
}

DWORD __stdcall BASS_ChannelIsActive(DWORD handle) {
    BassCall* call = Begin(BF_IS_ACTIVE, handle);
    Channel* channel;
    DWORD state = 0;
    EnterCriticalSection(&g_lock);
    channel = g_failAll ? NULL : Find(handle);
    if (channel) state = channel->active;
    LeaveCriticalSection(&g_lock);
    call->result = state;
    return state;
}

BOOL __stdcall BASS_ChannelStop(DWORD handle) {
    BassCall* call = Begin(BF_CHANNEL_STOP, handle);
    Channel* channel;
    EnterCriticalSection(&g_lock);
    channel = g_failAll ? NULL : Find(handle);
    if (channel) {
        channel->active = 0;
        channel->endsAtMs = 0;
    }
    LeaveCriticalSection(&g_lock);
    call->result = channel != NULL;
    return channel != NULL;
}

BOOL __stdcall BASS_ChannelSetAttribute(DWORD handle, DWORD attribute, float value) {
    BassCall* call = Begin(BF_SET_ATTRIBUTE, handle);
    Channel* channel;
    call->args[0] = attribute;
    call->value = value;
    EnterCriticalSection(&g_lock);
    channel = g_failAll ? NULL : Find(handle);
    if (channel && attribute == 2) channel->volume = value;
    LeaveCriticalSection(&g_lock);
    call->result = channel != NULL;
    return channel != NULL;
}

DWORD __stdcall BASS_SampleLoad(BOOL mem, const void* file, uint64_t offset, DWORD length, DWORD max, DWORD flags) {
    BassCall* call = Begin(BF_SAMPLE_LOAD, 0);
    uint32_t handle = 0;
    call->args[0] = (uint32_t)mem;
    call->args[1] = length;
    call->args[2] = max;
    call->args[3] = flags;
    call->qwords[0] = offset;
    Text(call, (const char*)file);
    EnterCriticalSection(&g_lock);
    if (!g_failAll && !mem && IsRegularFile((const char*)file) && IsWave((const char*)file) && Add(g_nextSample, 0))
        handle = g_nextSample++;
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

DWORD __stdcall BASS_SampleGetChannel(DWORD sample, BOOL onlyNew) {
    BassCall* call = Begin(BF_SAMPLE_GET_CHANNEL, sample);
    uint32_t handle = 0;
    call->args[0] = (uint32_t)onlyNew;
    EnterCriticalSection(&g_lock);
    if (!g_failAll && sample >= FAKEBASS_SAMPLE_BASE && sample < FAKEBASS_CHANNEL_BASE && Find(sample) &&
        Add(g_nextChannel, 0))
        handle = g_nextChannel++;
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

DWORD __stdcall BASS_ChannelSetSync(DWORD handle, DWORD type, uint64_t param, SyncProc proc, void* user) {
    BassCall* call = Begin(BF_SET_SYNC, handle);
    Channel* channel;
    call->args[0] = type;
    call->args[1] = (uint32_t)(uintptr_t)proc;
    call->args[2] = (uint32_t)(uintptr_t)user;
    call->qwords[0] = param;
    EnterCriticalSection(&g_lock);
    channel = g_failAll || (type & 0xFFFF) != 2 ? NULL : Find(handle);
    if (channel) {
        channel->endSync = proc;
        channel->endSyncUser = user;
    }
    LeaveCriticalSection(&g_lock);
    call->result = channel ? 1 : 0;
    return channel ? 1 : 0;
}

double __stdcall BASS_ChannelBytes2Seconds(DWORD handle, uint64_t position) {
    BassCall* call = Begin(BF_BYTES_TO_SECONDS, handle);
    Channel* channel;
    double seconds = -1;
    call->qwords[0] = position;
    EnterCriticalSection(&g_lock);
    channel = g_failAll ? NULL : Find(handle);
    if (channel) seconds = (double)position / channel->bytesPerSecond;
    LeaveCriticalSection(&g_lock);
    call->seconds = seconds;
    call->result = channel != NULL;
    return seconds;
}

BOOL __stdcall BASS_ChannelGetAttribute(DWORD handle, DWORD attribute, float* value) {
    BassCall* call = Begin(BF_GET_ATTRIBUTE, handle);
    Channel* channel;
    call->args[0] = attribute;
    EnterCriticalSection(&g_lock);
    channel = g_failAll || attribute != 2 ? NULL : Find(handle);
    if (channel) *value = call->value = channel->volume;
    LeaveCriticalSection(&g_lock);
    call->result = channel != NULL;
    return channel != NULL;
}

BOOL __stdcall BASS_Stop(void) {
    BassCall* call = Begin(BF_STOP, 0);
    call->result = !g_failAll;
    return !g_failAll;
}

BOOL __stdcall BASS_Free(void) {
    BassCall* call = Begin(BF_FREE, 0);
    call->result = !g_failAll;
    return !g_failAll;
}

/* ---- scripting ----------------------------------------------------------- */

void FakeBass_Reset(void) {
    EnterCriticalSection(&g_lock);
    ResetState();
    LeaveCriticalSection(&g_lock);
}

int FakeBass_CallCount(void) { return (int)g_logCount; }

int FakeBass_GetCall(int index, BassCall* out) {
    if (index < 0 || index >= g_logCount || index < g_logCount - LOG_CAPACITY) return 0;
    *out = g_log[index % LOG_CAPACITY];
    return 1;
}

void FakeBass_FailInit(int times) { g_failInit = times; }
void FakeBass_FailAll(int fail) { g_failAll = fail; }
void FakeBass_SetStreamLength(uint64_t bytes) {
    g_streamLength = bytes;
    g_streamLengthScripted = 1;
}
void FakeBass_SetOpenDelay(uint32_t ms) { g_openDelayMs = ms; }
void FakeBass_SetJingleLength(uint32_t ms) { g_jingleLengthMs = ms; }

void FakeBass_SetActive(uint32_t handle, uint32_t state) {
    Channel* channel;
    EnterCriticalSection(&g_lock);
    channel = Find(handle);
    if (channel) {
        channel->active = state;
        channel->stopsAt = 0;
    }
    LeaveCriticalSection(&g_lock);
}

#define CHANNEL_FIELD(name, type, field, missing)        \
    type name(uint32_t handle) {                          \
        Channel* channel;                                 \
        type value = missing;                             \
        EnterCriticalSection(&g_lock);                    \
        channel = Find(handle);                           \
        if (channel) value = channel->field;              \
        LeaveCriticalSection(&g_lock);                    \
        return value;                                     \
    }

CHANNEL_FIELD(FakeBass_Active, uint32_t, active, 0)
CHANNEL_FIELD(FakeBass_Volume, float, volume, -1.0f)
CHANNEL_FIELD(FakeBass_Position, uint64_t, position, ~0ull)
CHANNEL_FIELD(FakeBass_PlayedAtMs, double, playedAtMs, -1)
double FakeBass_EndedAtMs(uint32_t handle) {
    double at = -1;
    int i;
    EnterCriticalSection(&g_lock);
    for (i = 0; i < g_endCount && i < ENDS_KEPT; ++i)
        if (g_ends[i].handle == handle) at = g_ends[i].atMs;
    LeaveCriticalSection(&g_lock);
    return at;
}

void FakeBass_HoldOpens(int hold) {
    if (hold) {
        ResetEvent(g_openGate);
    } else {
        SetEvent(g_openGate);
    }
}

int FakeBass_OpensWaiting(void) { return (int)g_opensWaiting; }

static const char* const kNames[] = {"",
                                     "BASS_Init",
                                     "BASS_SetConfig",
                                     "BASS_StreamCreateFile",
                                     "BASS_StreamCreateURL",
                                     "BASS_StreamFree",
                                     "BASS_ChannelSeconds2Bytes",
                                     "BASS_ChannelGetLength",
                                     "BASS_ChannelSetPosition",
                                     "BASS_ChannelPlay",
                                     "BASS_ChannelIsActive",
                                     "BASS_ChannelStop",
                                     "BASS_ChannelSetAttribute",
                                     "BASS_SampleLoad",
                                     "BASS_SampleGetChannel",
                                     "BASS_Stop",
                                     "BASS_Free",
                                     "BASS_ChannelSetSync",
                                     "BASS_ChannelBytes2Seconds",
                                     "BASS_ChannelGetAttribute"};

static void WriteLog(const char* path) {
    FILE* file = fopen(path, "w");
    LONG first = g_logCount > LOG_CAPACITY ? g_logCount - LOG_CAPACITY : 0;
    LONG i;
    if (!file) return;
    for (i = first; i < g_logCount; ++i) {
        const BassCall* call = &g_log[i % LOG_CAPACITY];
        fprintf(file, "%s handle=%#x args=%u,%u,%u,%u,%u q=%llu,%llu seconds=%.3f value=%.4f text=%s result=%llu\n",
                kNames[call->fn], call->handle, call->args[0], call->args[1], call->args[2], call->args[3],
                call->args[4], (unsigned long long)call->qwords[0], (unsigned long long)call->qwords[1],
                call->seconds, call->value, call->text, (unsigned long long)call->result);
    }
    fclose(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&g_lock);
        QueryPerformanceFrequency(&g_frequency);
        QueryPerformanceCounter(&g_loadedAt);
        g_openGate = CreateEventA(NULL, TRUE, TRUE, NULL);
        ResetState();
    } else if (reason == DLL_PROCESS_DETACH) {
        char path[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("FAKEBASS_LOG", path, sizeof path);
        if (length > 0 && length < sizeof path) WriteLog(path);
    }
    return TRUE;
}
