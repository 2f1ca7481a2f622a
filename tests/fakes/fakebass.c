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

typedef struct Channel {
    uint32_t handle;
    uint32_t active;
    float volume;
    uint64_t position;
    uint64_t length;
    DWORD stopsAt; /* tick count at which a playing jingle ends; 0 never */
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

#define MAX_NAMED 16
#define NAME_SIZE 200
typedef struct Failure {
    char name[NAME_SIZE];
    int code;
} Failure;
static uint32_t g_version;
static Failure g_failures[MAX_NAMED];
static int g_failureCount;
static char g_plugins[MAX_NAMED][NAME_SIZE]; /* file names of loaded add-ons, lower case */
static int g_pluginCount;
static uint32_t g_nextPlugin;
static DWORD g_lastCallSlot; /* per thread: index + 1 of its last call */

static void ResetState(void) {
    g_logCount = 0;
    g_channelCount = 0;
    g_nextStream = FAKEBASS_STREAM_BASE + 1;
    g_nextSample = FAKEBASS_SAMPLE_BASE + 1;
    g_nextChannel = FAKEBASS_CHANNEL_BASE + 1;
    g_failInit = 0;
    g_failAll = 0;
    g_streamLength = 600ull * FAKEBASS_BYTES_PER_SECOND;
    g_openDelayMs = 0;
    g_jingleLengthMs = 0;
    g_version = FAKEBASS_VERSION;
    g_failureCount = 0;
    g_pluginCount = 0;
    g_nextPlugin = FAKEBASS_PLUGIN_BASE + 1;
    SetEvent(g_openGate);
}

static BassCall* Begin(int fn, uint32_t handle) {
    LONG index = InterlockedIncrement(&g_logCount) - 1;
    BassCall* call = &g_log[index % LOG_CAPACITY];
    memset(call, 0, sizeof *call);
    call->fn = fn;
    call->handle = handle;
    call->thread = GetCurrentThreadId();
    TlsSetValue(g_lastCallSlot, (LPVOID)(intptr_t)(index + 1));
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
    return channel;
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

static const char* BaseName(const char* path) {
    const char* base = path;
    for (; *path; ++path)
        if (*path == '/' || *path == '\\') base = path + 1;
    return base;
}

static int IsPlugin(const char* name) {
    int i;
    for (i = 0; i < g_pluginCount; ++i)
        if (!lstrcmpiA(g_plugins[i], name)) return 1;
    return 0;
}

/* By name, not content: a call under way shows no result yet to the tests'
 * pollers, so its time is kept short. */
static int EndsWith(const char* path, const char* end) {
    size_t length = strlen(path), endLength = strlen(end);
    return length >= endLength && !lstrcmpiA(path + length - endLength, end);
}

/* Whether the open the call records may succeed as far as the scripted
 * failures and the loaded add-ons go; if not, the error is noted. Caller
 * holds the lock. */
static int Allowed(BassCall* call) {
    int i;
    for (i = 0; i < g_failureCount; ++i) {
        if (!strcmp(g_failures[i].name, call->text)) {
            call->error = g_failures[i].code;
            return 0;
        }
    }
    if (call->fn != BF_STREAM_CREATE_URL && call->fn != BF_PLUGIN_LOAD && EndsWith(call->text, ".flac") &&
        !IsPlugin("bassflac.dll")) {
        call->error = 41; /* BASS_ERROR_FILEFORM */
        return 0;
    }
    return 1;
}

static int ErrorOf(const BassCall* call) {
    if (call->error) return call->error;
    switch (call->fn) {
    case BF_STREAM_CREATE_FILE:
    case BF_SAMPLE_LOAD:
    case BF_PLUGIN_LOAD:
        if (call->result) return 0;
        return IsRegularFile(call->text) ? 41 : 2; /* BASS_ERROR_FILEFORM, BASS_ERROR_FILEOPEN */
    case BF_STREAM_CREATE_URL:
        return call->result ? 0 : 2;
    case BF_INIT:
        return call->result ? 0 : 23; /* BASS_ERROR_DEVICE */
    case BF_SECONDS_TO_BYTES:
    case BF_GET_LENGTH:
        return call->result == ~0ull ? 5 : 0; /* BASS_ERROR_HANDLE */
    case BF_IS_ACTIVE:
    case BF_GET_VERSION:
        return 0;
    default:
        return call->result ? 0 : 5;
    }
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
    call->args[0] = (uint32_t)mem;
    call->args[1] = flags;
    call->qwords[0] = offset;
    call->qwords[1] = length;
    Text(call, (const char*)file);
    WaitToOpen();
    EnterCriticalSection(&g_lock);
    if (!g_failAll && !mem && IsRegularFile((const char*)file) && Allowed(call) && Add(g_nextStream, g_streamLength))
        handle = g_nextStream++;
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
    if (!g_failAll && url && !strncmp(url, "http://", 7) && Allowed(call) && Add(g_nextStream, ~0ull))
        handle = g_nextStream++;
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
    call->seconds = seconds;
    EnterCriticalSection(&g_lock);
    /* Whole sample frames of 8 bytes, as the library rounds. */
    if (!g_failAll && Find(handle)) bytes = ((uint64_t)(seconds * FAKEBASS_BYTES_PER_SECOND)) & ~7ull;
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
    if (channel) channel->position = position;
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
    if (channel) channel->active = 0;
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
    if (!g_failAll && !mem && IsRegularFile((const char*)file) && Allowed(call) && IsWave((const char*)file) &&
        Add(g_nextSample, 0))
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

DWORD __stdcall BASS_GetVersion(void) {
    BassCall* call = Begin(BF_GET_VERSION, 0);
    call->result = g_version;
    return g_version;
}

/* Not a call of its own for what the next one answers: the thread's last call stays. */
int __stdcall BASS_ErrorGetCode(void) {
    LPVOID last = TlsGetValue(g_lastCallSlot);
    LONG index = (LONG)(intptr_t)last - 1;
    int code = 0;
    BassCall* call;
    if (index >= 0 && index >= g_logCount - LOG_CAPACITY) code = ErrorOf(&g_log[index % LOG_CAPACITY]);
    call = Begin(BF_ERROR_GET_CODE, 0);
    call->result = (uint64_t)(int64_t)code;
    TlsSetValue(g_lastCallSlot, last);
    return code;
}

DWORD __stdcall BASS_PluginLoad(const char* file, DWORD flags) {
    BassCall* call = Begin(BF_PLUGIN_LOAD, 0);
    uint32_t handle = 0;
    call->args[0] = flags;
    Text(call, file);
    EnterCriticalSection(&g_lock);
    if (!g_failAll && file && IsRegularFile(file) && Allowed(call) && g_pluginCount < MAX_NAMED) {
        lstrcpynA(g_plugins[g_pluginCount++], BaseName(file), NAME_SIZE);
        handle = g_nextPlugin++;
    }
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

/* ---- scripting ----------------------------------------------------------- */

void FakeBass_SetVersion(uint32_t version) { g_version = version; }

void FakeBass_FailOpen(const char* name, int code) {
    EnterCriticalSection(&g_lock);
    if (g_failureCount < MAX_NAMED) {
        lstrcpynA(g_failures[g_failureCount].name, name, NAME_SIZE);
        g_failures[g_failureCount++].code = code;
    }
    LeaveCriticalSection(&g_lock);
}

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
void FakeBass_SetStreamLength(uint64_t bytes) { g_streamLength = bytes; }
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
                                     "BASS_GetVersion",
                                     "BASS_ErrorGetCode",
                                     "BASS_PluginLoad"};

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
        g_lastCallSlot = TlsAlloc();
        g_openGate = CreateEventA(NULL, TRUE, TRUE, NULL);
        ResetState();
    } else if (reason == DLL_PROCESS_DETACH) {
        char path[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("FAKEBASS_LOG", path, sizeof path);
        if (length > 0 && length < sizeof path) WriteLog(path);
    }
    return TRUE;
}
