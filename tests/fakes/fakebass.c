/* The fake audio library bass.dll: every call is recorded with its arguments
 * thread and time; answers come from a small table of channels that the tests
 * can script. Files are checked on disk: a stream opens from any regular file, a
 * sample loads only from a WAV file. A file stream's length and byte rate are
 * those of its decoded 32-bit float samples, read from the WAV header (the file
 * size and the default rate for other files), unless a length is scripted.
 * File names of streams and samples are in the ANSI code page, or UTF-16 with
 * BASS_UNICODE, as the library takes them; a call's record holds them as UTF-8.
 * A file stream hands over the tags in the file's own bytes, as the library
 * does: an ID3v2 block at its start (the WAV data follows it), an ID3v2 block
 * in a WAV "id3 " chunk, an ID3v1 block in its last 128 bytes; and, standing in
 * for the tags of formats this fake does not decode (Vorbis comments, APE,
 * MP4), a WAV chunk "tagN" holds the block of the library's tag type N as it
 * is handed over.
 * Setting FAKEBASS_LOG=FILE writes the calls to FILE when the library unloads,
 * after the module's own detach. */
#include <windows.h>

#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fakebass.h"
#include "fakenet.h"

/* Built with FAKEBASS_MINOR=3 it stands for a library of version 2.3: it
 * answers so, and its .def leaves out the calls that came with 2.4. */
#ifdef FAKEBASS_MINOR
#define DEFAULT_VERSION ((FAKEBASS_VERSION & 0xFF00FFFFu) | (uint32_t)FAKEBASS_MINOR << 16)
#else
#define DEFAULT_VERSION FAKEBASS_VERSION
#endif

#define LOG_CAPACITY 262144 /* a minute of ticks, as the demo drive needs whole */
#define MAX_CHANNELS 4096

typedef void(__stdcall* SyncProc)(DWORD sync, DWORD channel, DWORD data, void* user);
typedef DWORD(__stdcall* StreamProc)(DWORD handle, void* buffer, DWORD length, void* user);

#define TAG_KINDS 8
#define TAG_ID3 0
#define TAG_ID3V2 1
#define ID3V1_SIZE 128
#define ID3V2_HEADER 10
#define MAX_TAG_BLOCK (16u << 20)

typedef struct Channel {
    uint32_t handle;
    uint32_t active;
    float volume;
    uint64_t position;
    uint64_t length;   /* where decoding ends */
    uint64_t reported; /* what BASS_ChannelGetLength answers: a header's length may be off */
    uint32_t bytesPerSecond, frameBytes;
    DWORD ownLengthMs; /* a sample's, and its channels', length as its file says */
    uint32_t sample;   /* a sample channel's sample */
    DWORD max;         /* a sample's most playbacks at a time */
    int fed;           /* a decoding channel read by a user stream's writing function */
    DWORD stopsAt; /* tick count at which a playing jingle ends; 0 never */
    uint32_t flags;
    double endsAtMs; /* a playing stream without the loop flag stops then; 0 never */
    double playedAtMs;
    SyncProc endSync;
    void* endSyncUser;
    int endSyncMixtime, endSyncFired;
    uint32_t bufferMs; /* BASS_CONFIG_BUFFER as it was when the stream was made */
    /* A user stream: its writing function, the bytes it has written, the bytes
     * heard of them, whether it said its end, when the update thread last
     * filled and looked at it. */
    StreamProc proc;
    void* procUser;
    uint64_t written;
    double heard;
    int procEnded;
    double filledAtMs, seenAtMs;
    /* A WAV file's samples, which its decoding channel gives as they are. */
    wchar_t path[MAX_PATH];
    uint64_t dataAt;
    uint32_t sampleBits, floatSamples;
    char* tags[TAG_KINDS]; /* a file stream's tag blocks by the library's tag type, or NULL */
    uint32_t tagSizes[TAG_KINDS];
    struct {
        const void* data;
        DWORD length;
    } id3v2Binary; /* TAG_BINARY of the ID3v2 block */
    uint32_t fullBufferMs; /* the playback buffer's length, which BASS_ATTRIB_BUFFER may only shorten */
    uint32_t serial; /* which stream of its number it is, counted over every number */
} Channel;

static CRITICAL_SECTION g_lock;
static BassCall g_log[LOG_CAPACITY];
static volatile LONG g_logCount;
static Channel g_channels[MAX_CHANNELS];
static int g_channelCount;
static uint32_t g_nextStream, g_nextSample, g_nextChannel;
static int g_failInit, g_failAll;
static uint64_t g_streamLength;
static int g_streamLengthScripted;
static double g_ticksPerSecond;
static int g_keepTimes = 1;
/* When streams ran to their end, kept after they are freed. */
#define ENDS_KEPT 1024
static struct {
    uint32_t handle;
    double atMs;
} g_ends[ENDS_KEPT];
static int g_endCount;
static uint32_t g_tracksFed;
static HANDLE g_mixer;
#define MIXER_PERIOD_MS 1
#define UNICODE_FLAG 0x80000000u
#define LOOP_FLAG 0x4u
#define DECODE_FLAG 0x200000u
#define PRESCAN_FLAG 0x20000u
#define FLOAT_FLAG 0x100u
#define MIXTIME_SYNC 0x40000000u
#define STREAMPROC_END_FLAG 0x80000000u
#define ERROR_DECODE 38
#define ERROR_ENDED 45
/* Configuration options kept, and their defaults. */
#define CONFIG_BUFFER 0
#define CONFIG_UPDATEPERIOD 1
#define CONFIG_OPTIONS 64
#define DEFAULT_BUFFER_MS 500
#define DEFAULT_UPDATE_PERIOD_MS 100
static DWORD g_config[CONFIG_OPTIONS];
/* The user stream being pulled and that pull's number, while the update thread pulls. */
static DWORD g_pullThread;
static uint32_t g_pullSerial;
static uint32_t g_openDelayMs, g_jingleLengthMs;
/* Decoding costs the reading thread a core's time for 1/ratio of the audio
 * read; 0: free. */
static volatile LONG g_decodeCostRatio;
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
/* Lengths a file's header gives when opened without the full scan. */
typedef struct HeaderLength {
    char name[NAME_SIZE];
    uint64_t bytes;
} HeaderLength;
static HeaderLength g_headerLengths[MAX_NAMED];
static int g_headerLengthCount;
static uint32_t g_initRate, g_outputRate;
static int g_outputRateScripted;
static char g_plugins[MAX_NAMED][NAME_SIZE]; /* file names of loaded add-ons, lower case */
static int g_pluginCount;
static uint32_t g_nextPlugin;
static DWORD g_lastCallSlot; /* per thread: index + 1 of its last call */

/* The player's machine, as the library's documentation tells it; rules a
 * healthy test machine never shows, all scripted but the first:
 * - Page BASS_Init: until BASS_Init succeeds, and after BASS_Free (page
 *   BASS_Free: it frees every channel), every stream create and sample load
 *   fails with BASS_ERROR_INIT (8). While no output device is there (a
 *   headset still off) BASS_Init fails with BASS_ERROR_DEVICE (23) or
 *   BASS_ERROR_DRIVER (3), and BASS_Start (page BASS_Start) fails too.
 * - Page BASS_ChannelGetData: a decoding channel may give less than asked
 *   before its end (a slow disk); its end is -1 with BASS_ERROR_ENDED (45).
 * - Handle numbers are not promised to be new after a free: with reuse on, a
 *   new stream takes the number of the stream freed last. A free by a thread
 *   that named an earlier stream of that number, and not this one, is
 *   recorded as foreign: it was not that thread's to free.
 * - Page BASS_ChannelGetTags: the text lives as long as its stream; fakenet.c
 *   poisons it when the stream goes. BASS_TAG_ID3V2_BINARY gives the ID3v2
 *   block with its true length, which its header may overstate.
 * - Page BASS_Init: with another plug-in's device open in the process,
 *   BASS_Init fails with BASS_ERROR_ALREADY (14) and every create works; a
 *   BASS_Stop or BASS_Free then stops or closes that plug-in's device, and is
 *   counted.
 * - Page BASS_Free: it frees every channel, and their numbers (with reuse
 *   on) are given again to the streams made on the next device.
 * - Page BASS_ATTRIB_BUFFER: a stream's playback buffering may be set
 *   shorter than the buffer it was made with, never longer; an older 2.4
 *   (scripted) refuses the attribute with BASS_ERROR_ILLTYPE (19).
 * - The library's update, sync and net threads run the module's callbacks
 *   without this fake's lock, so that the module's calls interleave with them. */
#define ERROR_INIT 8
#define ERROR_ALREADY 14
#define ERROR_ILLTYPE 19
#define ATTRIB_VOL 2
#define ATTRIB_BUFFER 13
#define TAG_ID3V2_BINARY 20
static int g_deviceOpen; /* BASS_Init succeeded, no BASS_Free since */
static int g_othersDevice; /* the device open is another plug-in's */
static volatile LONG g_othersShutdowns;
static int g_refuseBufferAttribute;
static double g_deviceMissingUntilMs;
static int g_deviceMissingError;
static uint32_t g_shortReadPercent, g_shortReadDraw;
static int g_reuseHandles;
#define REUSE_KEPT 64
static uint32_t g_reusable[REUSE_KEPT];
static int g_reusableCount;
static uint32_t g_serial;
/* Which stream of a number each thread named last: thread, number, serial. */
#define KNOWN_KEPT 1024
static struct {
    DWORD thread;
    uint32_t handle, serial;
} g_known[KNOWN_KEPT];
static int g_knownCount;
static volatile LONG g_foreignFrees;

/* The log file, opened when the device is, and used once before the module's
 * exit: under Wine a thread the exit killed while the system handed it a file
 * can leave the next new file the process uses unusable, and this fake must
 * not add such a file to the exit of a game that has none. */
static FILE* g_logFile;

static FILE* OpenLog(void) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("FAKEBASS_LOG", path, sizeof path);
    FILE* file = length > 0 && length < sizeof path ? fopen(path, "w") : NULL;
    if (file) _commit(_fileno(file));
    return file;
}

static void FreeTags(Channel* channel) {
    int kind;
    for (kind = 0; kind < TAG_KINDS; ++kind) {
        free(channel->tags[kind]);
        channel->tags[kind] = NULL;
    }
}

static void ResetState(void) {
    int i;
    for (i = 0; i < g_channelCount; ++i) FreeTags(&g_channels[i]);
    g_logCount = 0;
    g_channelCount = 0;
    g_nextStream = FAKEBASS_STREAM_BASE + 1;
    g_nextSample = FAKEBASS_SAMPLE_BASE + 1;
    g_nextChannel = FAKEBASS_CHANNEL_BASE + 1;
    g_failInit = 0;
    g_failAll = 0;
    g_streamLengthScripted = 0;
    g_endCount = 0;
    g_tracksFed = 0;
    g_openDelayMs = 0;
    g_decodeCostRatio = 0;
    g_jingleLengthMs = 0;
    g_version = DEFAULT_VERSION;
    g_failureCount = 0;
    g_headerLengthCount = 0;
    g_initRate = g_outputRate = 0;
    g_outputRateScripted = 0;
    g_pluginCount = 0;
    g_nextPlugin = FAKEBASS_PLUGIN_BASE + 1;
    FakeNet_Reset();
    memset(g_config, 0, sizeof g_config);
    g_config[CONFIG_BUFFER] = DEFAULT_BUFFER_MS;
    g_config[CONFIG_UPDATEPERIOD] = DEFAULT_UPDATE_PERIOD_MS;
    SetEvent(g_openGate);
    /* A reset stands for a module past its start: the device is open. */
    g_deviceOpen = 1;
    g_othersDevice = 0;
    g_othersShutdowns = 0;
    g_refuseBufferAttribute = 0;
    g_deviceMissingUntilMs = 0;
    g_shortReadPercent = 0;
    g_shortReadDraw = 1;
    g_reuseHandles = 0;
    g_reusableCount = 0;
    g_knownCount = 0;
    g_foreignFrees = 0;
}

static double Now(void) {
    LARGE_INTEGER ticks;
    QueryPerformanceCounter(&ticks);
    return (double)ticks.QuadPart / g_ticksPerSecond;
}

static double NowMs(void) { return Now() * 1000.0; }

static BassCall* Begin(int fn, uint32_t handle) {
    LONG index = InterlockedIncrement(&g_logCount) - 1;
    BassCall* call = &g_log[index % LOG_CAPACITY];
    memset(call, 0, sizeof *call);
    call->fn = fn;
    call->handle = handle;
    call->thread = GetCurrentThreadId();
    if (g_keepTimes) call->time = Now();
    TlsSetValue(g_lastCallSlot, (LPVOID)(intptr_t)(index + 1));
    return call;
}

static void Text(BassCall* call, const char* text) {
    if (text) lstrcpynA(call->text, text, BASS_CALL_TEXT);
}

/* Caller holds the lock, for these helpers of the player's machine too. */
static int KnownAt(DWORD thread, uint32_t handle) {
    int i;
    for (i = 0; i < g_knownCount && i < KNOWN_KEPT; ++i)
        if (g_known[i].thread == thread && g_known[i].handle == handle) return i;
    return -1;
}

static void Know(const Channel* channel) {
    const DWORD thread = GetCurrentThreadId();
    int at = KnownAt(thread, channel->handle);
    if (at < 0) at = g_knownCount++ % KNOWN_KEPT;
    g_known[at].thread = thread;
    g_known[at].handle = channel->handle;
    g_known[at].serial = channel->serial;
}

/* Before a free by the calling thread: foreign when it named an earlier
 * stream of the number and never this one. */
static void CheckOwner(uint32_t handle) {
    int i, at;
    if (!g_reuseHandles || (at = KnownAt(GetCurrentThreadId(), handle)) < 0) return;
    for (i = 0; i < g_channelCount; ++i)
        if (g_channels[i].handle == handle && g_channels[i].serial != g_known[at].serial)
            InterlockedIncrement(&g_foreignFrees);
}

/* The number of a new stream: the one freed last with reuse on, else the next. */
static uint32_t StreamHandle(void) {
    return g_reusableCount ? g_reusable[g_reusableCount - 1] : g_nextStream;
}

static void StreamHandleTaken(void) {
    if (g_reusableCount) {
        --g_reusableCount;
    } else {
        ++g_nextStream;
    }
}

static void Reusable(uint32_t handle) {
    if (g_reuseHandles && handle < FAKEBASS_SAMPLE_BASE && g_reusableCount < REUSE_KEPT)
        g_reusable[g_reusableCount++] = handle;
}

/* Whether a create or load may go ahead: not without a device. */
static int DeviceReady(BassCall* call) {
    if (g_deviceOpen) return 1;
    call->error = ERROR_INIT;
    return 0;
}

/* Whether the output device is there now (scripted absence). */
static int DeviceThere(BassCall* call) {
    if (NowMs() >= g_deviceMissingUntilMs) return 1;
    call->error = g_deviceMissingError;
    return 0;
}

/* Whether this read of a decoding channel comes short (scripted), and then how
 * much of got it gives: half of it, or nothing. */
static DWORD ShortRead(DWORD got, uint32_t frameBytes) {
    DWORD half;
    if (!g_shortReadPercent) return got;
    g_shortReadDraw = g_shortReadDraw * 1103515245u + 12345u;
    if ((g_shortReadDraw >> 16) % 100 >= g_shortReadPercent) return got;
    if ((g_shortReadDraw >> 24) & 1) return 0;
    half = got / 2 - got / 2 % frameBytes;
    return half ? half : got;
}

static Channel* Find(uint32_t handle) {
    int i;
    if (!handle) return NULL;
    for (i = 0; i < g_channelCount; ++i) {
        if (g_channels[i].handle == handle) {
            Channel* channel = &g_channels[i];
            if (channel->active == 1 && channel->stopsAt && (LONG)(GetTickCount() - channel->stopsAt) >= 0)
                channel->active = 0;
            if (g_reuseHandles) Know(channel);
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
    channel->length = channel->reported = length;
    channel->volume = 1.0f;
    channel->bytesPerSecond = FAKEBASS_BYTES_PER_SECOND;
    channel->frameBytes = FAKEBASS_FRAME_BYTES;
    channel->bufferMs = channel->fullBufferMs = g_config[CONFIG_BUFFER];
    channel->serial = ++g_serial;
    if (g_reuseHandles) Know(channel); /* its maker knows it */
    return channel;
}

/* When a playing file stream without the loop flag has its end heard, from its position now. */
static void ScheduleEnd(Channel* channel) {
    uint64_t left;
    channel->endsAtMs = 0;
    channel->endSyncFired = 0;
    if (channel->active != 1 || (channel->flags & LOOP_FLAG) || channel->handle >= FAKEBASS_SAMPLE_BASE ||
        channel->length == ~0ull || channel->proc)
        return;
    left = channel->position < channel->length ? channel->length - channel->position : 0;
    channel->endsAtMs = NowMs() + (double)left * 1000.0 / channel->bytesPerSecond;
}

/* End syncs due in one round of the update thread, called outside the lock. */
#define SYNCS_PER_ROUND 16
typedef struct DueSyncs {
    SyncProc procs[SYNCS_PER_ROUND];
    void* users[SYNCS_PER_ROUND];
    DWORD handles[SYNCS_PER_ROUND];
    int count;
} DueSyncs;

static void Due(DueSyncs* due, const Channel* channel) {
    if (due->count == SYNCS_PER_ROUND) return;
    due->procs[due->count] = channel->endSync;
    due->users[due->count] = channel->endSyncUser;
    due->handles[due->count++] = channel->handle;
}

/* The end is decoded: a mixtime end sync runs now, a buffer before it is heard. */
static void EndDecoded(Channel* channel, DueSyncs* due) {
    if (channel->endSync && channel->endSyncMixtime && !channel->endSyncFired) {
        channel->endSyncFired = 1;
        Due(due, channel);
    }
}

/* The end is heard: the channel stops, and an end sync without mixtime runs. */
static void EndHeard(Channel* channel, double now, DueSyncs* due) {
    channel->active = 0;
    channel->endsAtMs = 0;
    if (!channel->proc) channel->position = channel->length;
    g_ends[g_endCount % ENDS_KEPT].handle = channel->handle;
    g_ends[g_endCount++ % ENDS_KEPT].atMs = now;
    if (channel->endSync && !channel->endSyncMixtime) Due(due, channel);
}

/* What a user stream's writing function is given to write into. */
#define PULL_CAPACITY (4u << 20)
static unsigned char g_pullBuffer[PULL_CAPACITY];

/* What a float user stream wrote in a pull: the mean square of its samples
 * in the record's seconds, their peak in its value. */
static void NoteWritten(BassCall* call, const float* samples, DWORD count) {
    double sum = 0;
    float peak = 0;
    DWORD i;
    for (i = 0; i < count; ++i) {
        const float magnitude = samples[i] < 0 ? -samples[i] : samples[i];
        sum += (double)samples[i] * samples[i];
        if (magnitude > peak) peak = magnitude;
    }
    call->seconds = count ? sum / count : 0;
    call->value = peak;
}

/* Calls a user stream's writing function for up to request bytes, as the
 * library's update thread does, recording the pull. Caller holds the lock
 * (re-entered by the function's own library calls on this thread). */
static DWORD Pull(uint32_t handle, DWORD request, DueSyncs* due) {
    Channel* channel = Find(handle);
    BassCall* call;
    DWORD result, bytes;
    if (!channel || !channel->proc || channel->procEnded) return 0;
    if (request > PULL_CAPACITY) request = PULL_CAPACITY;
    request -= request % channel->frameBytes;
    call = Begin(BF_STREAM_PULL, handle);
    call->args[0] = request;
    call->args[1] = g_pullSerial = (uint32_t)g_logCount;
    call->qwords[0] = channel->written;
    call->qwords[1] = (uint64_t)channel->heard;
    g_pullThread = GetCurrentThreadId();
    {
        /* The update thread calls it without the library's lock: the module's
         * calls on other threads go on meanwhile. */
        const StreamProc proc = channel->proc;
        void* const user = channel->procUser;
        LeaveCriticalSection(&g_lock);
        result = proc(handle, g_pullBuffer, request, user);
        EnterCriticalSection(&g_lock);
    }
    g_pullThread = 0;
    call->result = result;
    channel = Find(handle);
    if (!channel) return 0;
    bytes = result & ~STREAMPROC_END_FLAG;
    if (channel->flags & FLOAT_FLAG) NoteWritten(call, (const float*)g_pullBuffer, (bytes < request ? bytes : request) / 4);
    channel->written += bytes < request ? bytes : request;
    if (result & STREAMPROC_END_FLAG) {
        channel->procEnded = 1;
        EndDecoded(channel, due);
    }
    return bytes;
}

/* One round of the update thread for a playing user stream: what was heard
 * since the last round, a refill every update period up to a buffer ahead of
 * what is heard, and the stall or the end when all that was written is heard. */
static void UpdateUserStream(uint32_t handle, double now, DueSyncs* due) {
    Channel* channel = Find(handle);
    const DWORD period = g_config[CONFIG_UPDATEPERIOD];
    if (!channel || (channel->active != 1 && channel->active != 2)) return;
    if (channel->seenAtMs > 0 && channel->active == 1) {
        channel->heard += (now - channel->seenAtMs) * channel->bytesPerSecond / 1000.0;
        if (channel->heard > (double)channel->written) channel->heard = (double)channel->written;
    }
    channel->seenAtMs = now;
    if (period && !channel->procEnded && (channel->filledAtMs == 0 || now - channel->filledAtMs >= period)) {
        const double ahead = (double)channel->bufferMs * channel->bytesPerSecond / 1000.0;
        const double wanted = channel->heard + ahead - (double)channel->written;
        channel->filledAtMs = now;
        if (wanted >= channel->frameBytes) Pull(handle, (DWORD)wanted, due);
        /* The lock is let go while the stream's proc runs: a stop that came
         * meanwhile stands, as the library's does. */
        channel = Find(handle);
        if (!channel || channel->active == 0) return;
    }
    if (channel->heard < (double)channel->written) {
        channel->active = 1;
    } else if (channel->procEnded) {
        EndHeard(channel, now, due);
    } else if (channel->filledAtMs > 0) {
        channel->active = 2; /* the buffer ran dry: stalled until more is written */
    }
}

#define USER_STREAMS_PER_ROUND 64

/* The library's update thread: fills user streams, and ends file streams
 * whose end has come (a mixtime end sync a buffer before the end is heard). */
static DWORD WINAPI MixerThread(LPVOID unused) {
    (void)unused;
    for (;;) {
        DueSyncs due;
        uint32_t users[USER_STREAMS_PER_ROUND];
        int userCount = 0, i;
        double now;
        Sleep(MIXER_PERIOD_MS);
        now = NowMs();
        due.count = 0;
        EnterCriticalSection(&g_lock);
        for (i = 0; i < g_channelCount; ++i) {
            Channel* channel = &g_channels[i];
            if (channel->proc && userCount < USER_STREAMS_PER_ROUND) users[userCount++] = channel->handle;
            if (channel->active != 1 || channel->endsAtMs == 0) continue;
            if (now >= channel->endsAtMs - channel->bufferMs) EndDecoded(channel, &due);
            if (now >= channel->endsAtMs) EndHeard(channel, now, &due);
        }
        for (i = 0; i < userCount; ++i) UpdateUserStream(users[i], now, &due);
        LeaveCriticalSection(&g_lock);
        for (i = 0; i < due.count; ++i) due.procs[i](1, due.handles[i], 0, due.users[i]);
    }
    return 0;
}

static void StartMixer(void) {
    if (!g_mixer) g_mixer = CreateThread(NULL, 0, MixerThread, NULL, 0, NULL);
}

static void Remove(uint32_t handle) {
    int i;
    for (i = 0; i < g_channelCount; ++i) {
        if (g_channels[i].handle == handle) {
            FreeTags(&g_channels[i]);
            g_channels[i] = g_channels[--g_channelCount];
            Reusable(handle);
            return;
        }
    }
}

/* The name as a call's record holds it: UTF-8. */
static int IsRegularFile(const char* path) {
    wchar_t wide[MAX_PATH];
    DWORD attributes = MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, MAX_PATH) ? GetFileAttributesW(wide)
                                                                                  : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/* With the library's unicode flag a file name is UTF-16, else in the ANSI code page. */
static int IsWave(const void* path, uint32_t flags) {
    char magic[4] = {0};
    FILE* file = (flags & UNICODE_FLAG) ? _wfopen((const wchar_t*)path, L"rb") : fopen((const char*)path, "rb");
    size_t got = 0;
    if (file) {
        got = fread(magic, 1, sizeof magic, file);
        fclose(file);
    }
    return got == sizeof magic && !memcmp(magic, "RIFF", 4);
}

typedef struct WaveFormat {
    uint32_t rate, channels, frames;
    uint32_t bits, floatSamples, blockAlign; /* 16- or 24-bit PCM, or 32-bit float (format 3) */
    long dataAt;                             /* where the samples start in the file */
} WaveFormat;

static uint32_t Le(const unsigned char* bytes, int size) {
    uint32_t value = 0;
    while (size--) value = value << 8 | bytes[size];
    return value;
}

/* The format and length of a WAV file from its chunks; 0 if it is none. */
/* The path as UTF-8, from a narrow or (with the library's unicode flag) UTF-16 name. */
static void PathText(const void* file, uint32_t flags, char* out, int size) {
    out[0] = 0;
    if (!file) return;
    if (flags & UNICODE_FLAG) {
        WideCharToMultiByte(CP_UTF8, 0, (const wchar_t*)file, -1, out, size, NULL, NULL);
    } else {
        lstrcpynA(out, (const char*)file, size);
    }
}

static int IsRegularFileOf(const void* file, uint32_t flags) {
    DWORD attributes = (flags & UNICODE_FLAG) ? GetFileAttributesW((const wchar_t*)file)
                                              : GetFileAttributesA((const char*)file);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

static FILE* OpenFileBytes(const void* path, uint32_t flags) {
    return (flags & UNICODE_FLAG) ? _wfopen((const wchar_t*)path, L"rb") : fopen((const char*)path, "rb");
}

/* The size of the ID3v2 block that bytes start, header and footer included; 0 if none. */
static uint32_t Id3v2Size(const unsigned char* bytes) {
    int i;
    uint32_t size = 0;
    if (memcmp(bytes, "ID3", 3)) return 0;
    for (i = 6; i < ID3V2_HEADER; ++i) size = size << 7 | (bytes[i] & 0x7F);
    return ID3V2_HEADER + size + (bytes[3] == 4 && (bytes[5] & 0x10) ? ID3V2_HEADER : 0);
}

/* A copy of size bytes from the file's place at, with two NULs after them:
 * blocks of strings end so. */
static char* ReadBlock(FILE* file, long at, uint32_t size) {
    char* block;
    if (size > MAX_TAG_BLOCK || fseek(file, at, SEEK_SET)) return NULL;
    block = (char*)malloc(size + 2);
    if (!block) return NULL;
    if (fread(block, 1, size, file) != size) {
        free(block);
        return NULL;
    }
    block[size] = block[size + 1] = 0;
    return block;
}

/* The file's tag blocks into the channel (see the top of this file). */
static void ReadTags(const void* path, uint32_t flags, Channel* channel) {
    unsigned char header[12], chunk[8];
    long at = 0;
    FILE* file = OpenFileBytes(path, flags);
    if (!file) return;
    if (fread(header, 1, ID3V2_HEADER, file) == ID3V2_HEADER && Id3v2Size(header)) {
        channel->tags[TAG_ID3V2] = ReadBlock(file, 0, Id3v2Size(header));
        channel->tagSizes[TAG_ID3V2] = Id3v2Size(header);
        at = (long)Id3v2Size(header);
    }
    if (!fseek(file, at, SEEK_SET) && fread(header, 1, sizeof header, file) == sizeof header &&
        !memcmp(header, "RIFF", 4) && !memcmp(header + 8, "WAVE", 4)) {
        at += sizeof header;
        while (!fseek(file, at, SEEK_SET) && fread(chunk, 1, sizeof chunk, file) == sizeof chunk) {
            const uint32_t size = Le(chunk + 4, 4);
            int kind = -1;
            if (!memcmp(chunk, "id3 ", 4) || !memcmp(chunk, "ID3 ", 4)) kind = TAG_ID3V2;
            if (!memcmp(chunk, "tag", 3) && chunk[3] >= '0' && chunk[3] < '0' + TAG_KINDS) kind = chunk[3] - '0';
            if (kind >= 0 && !channel->tags[kind]) {
                channel->tags[kind] = ReadBlock(file, at + 8, size);
                channel->tagSizes[kind] = size;
            }
            at += 8 + (long)(size + (size & 1));
        }
    }
    if (!fseek(file, -ID3V1_SIZE, SEEK_END) && fread(header, 1, 3, file) == 3 && !memcmp(header, "TAG", 3)) {
        channel->tags[TAG_ID3] = ReadBlock(file, ftell(file) - 3, ID3V1_SIZE);
    }
    fclose(file);
}

#define FMT_PLAIN 16
#define FORMAT_FLOAT 3
#define FORMAT_EXTENSIBLE 0xFFFE
static int ReadWave(const void* path, uint32_t flags, WaveFormat* wave) {
    /* With WAVE_FORMAT_EXTENSIBLE, as files of more than two channels are
     * written, the sample format is the first word of the sub-format at 24. */
    unsigned char header[12], chunk[8], fmt[26];
    uint32_t blockAlign = 0;
    int found = 0;
    FILE* file = OpenFileBytes(path, flags);
    memset(wave, 0, sizeof *wave);
    if (!file) return 0;
    /* An ID3v2 block before the sound, as MP3 files have. */
    if (fread(header, 1, ID3V2_HEADER, file) == ID3V2_HEADER && Id3v2Size(header)) {
        fseek(file, (long)Id3v2Size(header), SEEK_SET);
    } else {
        fseek(file, 0, SEEK_SET);
    }
    if (fread(header, 1, sizeof header, file) == sizeof header && !memcmp(header, "RIFF", 4) &&
        !memcmp(header + 8, "WAVE", 4)) {
        while (fread(chunk, 1, sizeof chunk, file) == sizeof chunk) {
            uint32_t size = Le(chunk + 4, 4);
            if (!memcmp(chunk, "fmt ", 4) && size >= FMT_PLAIN && fread(fmt, 1, FMT_PLAIN, file) == FMT_PLAIN) {
                uint32_t format = Le(fmt, 2);
                size -= FMT_PLAIN;
                if (format == FORMAT_EXTENSIBLE && size >= sizeof fmt - FMT_PLAIN &&
                    fread(fmt + FMT_PLAIN, 1, sizeof fmt - FMT_PLAIN, file) == sizeof fmt - FMT_PLAIN) {
                    format = Le(fmt + 24, 2);
                    size -= sizeof fmt - FMT_PLAIN;
                }
                wave->floatSamples = format == FORMAT_FLOAT;
                wave->channels = Le(fmt + 2, 2);
                wave->rate = Le(fmt + 4, 4);
                blockAlign = wave->blockAlign = Le(fmt + 12, 2);
                wave->bits = Le(fmt + 14, 2);
            } else if (!memcmp(chunk, "data", 4)) {
                wave->frames = blockAlign ? size / blockAlign : 0;
                wave->dataAt = ftell(file);
                found = wave->rate && wave->channels;
                break;
            }
            if (fseek(file, (long)(size + (size & 1)), SEEK_CUR)) break;
        }
    }
    fclose(file);
    return found;
}

static uint64_t FileSize(const void* path, uint32_t flags) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    const BOOL found = (flags & UNICODE_FLAG) ? GetFileAttributesExW((const wchar_t*)path, GetFileExInfoStandard, &data)
                                              : GetFileAttributesExA((const char*)path, GetFileExInfoStandard, &data);
    if (!found) return 0;
    return (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
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
    case BF_GET_TAGS:
        return call->result ? 0 : 37; /* BASS_ERROR_NOTAVAIL */
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

/* The length a file's header gives without the full scan: scripted by the
 * file name's ending, else its real length. Caller holds the lock. */
static uint64_t HeaderLengthOf(const char* name, uint64_t real) {
    int i;
    for (i = 0; i < g_headerLengthCount; ++i)
        if (EndsWith(name, g_headerLengths[i].name)) return g_headerLengths[i].bytes;
    return real;
}

/* A WAV channel's samples from its position on, as 32-bit float; 0 when the
 * file cannot be read. Caller holds the lock. */
static int ReadSamples(const Channel* channel, float* out, DWORD count) {
    const uint32_t sampleBytes = channel->sampleBits / 8;
    const uint64_t first = channel->position / sizeof(float);
    unsigned char raw[4096];
    FILE* file;
    DWORD done = 0;
    if (!channel->path[0] || (sampleBytes != 2 && sampleBytes != 3 && !(channel->floatSamples && sampleBytes == 4)))
        return 0;
    file = _wfopen(channel->path, L"rb");
    if (!file) return 0;
    if (_fseeki64(file, (__int64)(channel->dataAt + first * sampleBytes), SEEK_SET)) {
        fclose(file);
        return 0;
    }
    while (done < count) {
        DWORD want = count - done, got, i;
        if (want > sizeof raw / sampleBytes) want = sizeof raw / sampleBytes;
        got = (DWORD)(fread(raw, sampleBytes, want, file));
        for (i = 0; i < got; ++i) {
            const unsigned char* at = raw + i * sampleBytes;
            float value;
            if (channel->floatSamples) {
                memcpy(&value, at, sizeof value);
            } else if (sampleBytes == 2) {
                value = (float)(int16_t)(at[0] | at[1] << 8) / 32768.0f;
            } else {
                value = (float)((int32_t)((uint32_t)at[0] << 8 | (uint32_t)at[1] << 16 | (uint32_t)at[2] << 24) >> 8) /
                        8388608.0f;
            }
            out[done + i] = value;
        }
        done += got;
        if (got < want) break;
    }
    fclose(file);
    if (done < count) memset(out + done, 0, (count - done) * sizeof(float));
    return 1;
}

void FakeBass_NoteDecoded(uint32_t handle, const void* samples, uint32_t bytes, int floatSamples, uint64_t position) {
    BassCall* call = Begin(BF_NET_DECODED, handle);
    const uint32_t count = bytes / (floatSamples ? 4 : 2);
    double sum = 0;
    float peak = 0;
    uint32_t i;
    for (i = 0; i < count; ++i) {
        const float value = floatSamples ? ((const float*)samples)[i] : ((const int16_t*)samples)[i] / 32768.0f;
        const float magnitude = value < 0 ? -value : value;
        sum += (double)value * value;
        if (magnitude > peak) peak = magnitude;
    }
    call->args[0] = bytes;
    call->qwords[0] = position;
    call->seconds = count ? sum / count : 0;
    call->value = peak;
}

/* ---- the library's calls ------------------------------------------------- */

BOOL __stdcall BASS_Init(int device, DWORD freq, DWORD flags, HWND win, const void* clsid) {
    BassCall* call = Begin(BF_INIT, 0);
    if (!g_logFile) g_logFile = OpenLog();
    BOOL ok;
    call->args[0] = (uint32_t)device;
    call->args[1] = freq;
    call->args[2] = flags;
    call->args[3] = (uint32_t)(uintptr_t)win;
    call->args[4] = (uint32_t)(uintptr_t)clsid;
    EnterCriticalSection(&g_lock);
    ok = !g_failAll && g_failInit == 0 && DeviceThere(call);
    if (g_failInit > 0) --g_failInit;
    if (ok && g_othersDevice && g_deviceOpen) {
        ok = 0;
        call->error = ERROR_ALREADY;
    }
    if (ok) g_initRate = freq;
    if (ok) g_deviceOpen = 1;
    LeaveCriticalSection(&g_lock);
    call->result = (uint64_t)ok;
    return ok;
}

BOOL __stdcall BASS_SetConfig(DWORD option, DWORD value) {
    BassCall* call = Begin(BF_SET_CONFIG, 0);
    call->args[0] = option;
    call->args[1] = value;
    EnterCriticalSection(&g_lock);
    FakeNet_Config(option, value);
    if (!g_failAll && option < CONFIG_OPTIONS) g_config[option] = value;
    LeaveCriticalSection(&g_lock);
    call->result = !g_failAll;
    return !g_failAll;
}

DWORD __stdcall BASS_GetConfig(DWORD option) {
    BassCall* call = Begin(BF_GET_CONFIG, 0);
    DWORD value = ~0u;
    call->args[0] = option;
    EnterCriticalSection(&g_lock);
    if (!g_failAll && option < CONFIG_OPTIONS) value = g_config[option];
    LeaveCriticalSection(&g_lock);
    call->result = value;
    return value;
}

DWORD __stdcall BASS_StreamCreateFile(BOOL mem, const void* file, uint64_t offset, uint64_t length, DWORD flags) {
    BassCall* call = Begin(BF_STREAM_CREATE_FILE, 0);
    uint32_t handle = 0;
    call->args[0] = (uint32_t)mem;
    call->args[1] = flags;
    call->qwords[0] = offset;
    call->qwords[1] = length;
    PathText(file, flags, call->text, BASS_CALL_TEXT);
    WaitToOpen();
    EnterCriticalSection(&g_lock);
    if (!g_failAll && DeviceReady(call) && !mem && file && IsRegularFileOf(file, flags) && Allowed(call)) {
        WaveFormat wave;
        const int isWave = ReadWave(file, flags, &wave);
        const uint32_t floatFrame = isWave ? wave.channels * (uint32_t)sizeof(float) : 0;
        const uint64_t length = g_streamLengthScripted ? g_streamLength
                                : isWave               ? (uint64_t)wave.frames * floatFrame
                                                       : FileSize(file, flags);
        Channel* channel = Add(StreamHandle(), length);
        if (channel) {
            channel->flags = flags;
            if (!(flags & PRESCAN_FLAG)) channel->reported = HeaderLengthOf(call->text, length);
            ReadTags(file, flags, channel);
            if (isWave) {
                channel->bytesPerSecond = wave.rate * floatFrame;
                channel->frameBytes = floatFrame;
                channel->dataAt = (uint64_t)wave.dataAt;
                channel->sampleBits = wave.bits;
                channel->floatSamples = wave.floatSamples;
                if (flags & UNICODE_FLAG) {
                    lstrcpynW(channel->path, (const wchar_t*)file, MAX_PATH);
                } else {
                    MultiByteToWideChar(CP_ACP, 0, (const char*)file, -1, channel->path, MAX_PATH);
                }
            }
            handle = channel->handle;
            StreamHandleTaken();
        }
    }
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

DWORD __stdcall BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, void* proc, void* user) {
    BassCall* call = Begin(BF_STREAM_CREATE_URL, 0);
    uint32_t handle = 0;
    int accepted;
    call->args[0] = offset;
    call->args[1] = flags;
    call->args[2] = (uint32_t)(uintptr_t)proc;
    call->args[3] = (uint32_t)(uintptr_t)user;
    Text(call, url);
    WaitToOpen();
    accepted = FakeNet_Connect(url, &call->error);
    EnterCriticalSection(&g_lock);
    if (!g_failAll && DeviceReady(call) && FakeNet_IsAddress(url) && accepted && Allowed(call)) {
        Channel* channel = Add(StreamHandle(), ~0ull);
        if (channel) {
            channel->flags = flags;
            handle = channel->handle;
            FakeNet_Opened(handle, url, flags);
            StreamHandleTaken();
        }
    }
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

BOOL __stdcall BASS_StreamFree(DWORD handle) {
    BassCall* call = Begin(BF_STREAM_FREE, handle);
    BOOL ok;
    EnterCriticalSection(&g_lock);
    CheckOwner(handle);
    ok = !g_failAll && Find(handle) != NULL;
    if (ok) {
        Remove(handle);
        FakeNet_Forget(handle);
    }
    LeaveCriticalSection(&g_lock);
    FakeNet_AfterFree();
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
    /* Whole sample frames, as the library rounds. */
    if (channel) {
        bytes = (uint64_t)(seconds * channel->bytesPerSecond);
        bytes -= bytes % channel->frameBytes;
    }
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
    if (channel) length = channel->reported;
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
    /* A decoding channel is only read, never played. */
    if (channel && (channel->flags & DECODE_FLAG) && handle < FAKEBASS_SAMPLE_BASE) {
        call->error = ERROR_DECODE;
        channel = NULL;
    } else if (channel && FakeNet_PlayError()) {
        call->error = FakeNet_PlayError();
        channel = NULL;
    }
    if (channel) {
        FakeNet_Played(handle);
        channel->active = 1;
        channel->stopsAt = 0;
        channel->seenAtMs = channel->filledAtMs = 0;
        channel->heard = (double)channel->written;
        if (channel->proc) StartMixer();
        if (handle >= FAKEBASS_CHANNEL_BASE && g_jingleLengthMs) {
            const DWORD length = g_jingleLengthMs == FAKEBASS_OWN_LENGTH ? channel->ownLengthMs : g_jingleLengthMs;
            channel->stopsAt = (GetTickCount() + length) | 1;
        }
        channel->playedAtMs = NowMs();
        ScheduleEnd(channel);
        if (channel->endsAtMs) StartMixer();
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
    if (channel) state = FakeNet_State(handle, channel->active);
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
        FakeNet_Stopped(handle);
        channel->heard = (double)channel->written;
    }
    LeaveCriticalSection(&g_lock);
    FakeNet_AfterFree();
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
    if (channel && attribute == ATTRIB_VOL) channel->volume = value;
    if (channel && attribute == ATTRIB_BUFFER) {
        if (g_refuseBufferAttribute) {
            call->error = ERROR_ILLTYPE;
            channel = NULL;
        } else {
            const double ms = value * 1000.0;
            channel->bufferMs = ms <= 0 ? 0 : ms < channel->fullBufferMs ? (uint32_t)(ms + 0.5) : channel->fullBufferMs;
            FakeNet_Buffer(handle, channel->bufferMs);
        }
    }
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
    PathText(file, flags, call->text, BASS_CALL_TEXT);
    EnterCriticalSection(&g_lock);
    if (!g_failAll && DeviceReady(call) && !mem && file && IsRegularFileOf(file, flags) && Allowed(call) &&
        IsWave(file, flags)) {
        Channel* sample = Add(g_nextSample, 0);
        WaveFormat wave;
        if (sample) {
            sample->max = max ? max : 1;
            if (ReadWave(file, flags, &wave)) sample->ownLengthMs = (DWORD)((uint64_t)wave.frames * 1000 / wave.rate);
            handle = g_nextSample++;
        }
    }
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

/* A sample plays at most max times at once: a new playback takes the place
 * of the one that has played longest, as the library's do (onlynew FALSE). */
static void MakeRoomForPlayback(uint32_t sample, DWORD max) {
    uint32_t oldest = 0;
    DWORD playbacks = 0;
    int i;
    for (i = 0; i < g_channelCount; ++i) {
        if (g_channels[i].sample != sample) continue;
        ++playbacks;
        if (!oldest || g_channels[i].handle < oldest) oldest = g_channels[i].handle;
    }
    if (playbacks >= max) Remove(oldest);
}

DWORD __stdcall BASS_SampleGetChannel(DWORD sample, BOOL onlyNew) {
    BassCall* call = Begin(BF_SAMPLE_GET_CHANNEL, sample);
    uint32_t handle = 0;
    call->args[0] = (uint32_t)onlyNew;
    EnterCriticalSection(&g_lock);
    if (!g_failAll && sample >= FAKEBASS_SAMPLE_BASE && sample < FAKEBASS_CHANNEL_BASE && Find(sample)) {
        const DWORD ownLengthMs = Find(sample)->ownLengthMs;
        Channel* channel;
        MakeRoomForPlayback(sample, Find(sample)->max);
        channel = Add(g_nextChannel, 0);
        if (channel) {
            channel->ownLengthMs = ownLengthMs;
            channel->sample = sample;
            handle = g_nextChannel++;
        }
    }
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

/* As the library: the sample's channels stop and go with it. */
BOOL __stdcall BASS_SampleFree(DWORD sample) {
    BassCall* call = Begin(BF_SAMPLE_FREE, sample);
    BOOL ok;
    int i;
    EnterCriticalSection(&g_lock);
    ok = !g_failAll && sample >= FAKEBASS_SAMPLE_BASE && sample < FAKEBASS_CHANNEL_BASE && Find(sample) != NULL;
    if (ok) {
        for (i = g_channelCount - 1; i >= 0; --i)
            if (g_channels[i].sample == sample) Remove(g_channels[i].handle);
        Remove(sample);
    }
    LeaveCriticalSection(&g_lock);
    call->result = ok;
    return ok;
}

typedef void(__stdcall* DspProc)(DWORD dsp, DWORD channel, void* buffer, DWORD length, void* user);

/* The function is tried once on a frame of full-scale float samples, so that
 * the record says what it does to the sound (a gain); a file stream's sound is
 * not made here. An internet stream's DSPs run on its samples (fakenet.c)
 * and are never tried: the record's value stays 0. */
DWORD __stdcall BASS_ChannelSetDSP(DWORD handle, DspProc proc, void* user, int priority) {
    BassCall* call = Begin(BF_SET_DSP, handle);
    DWORD dsp = 0;
    float frame[2] = {1.0f, 1.0f};
    call->args[0] = (uint32_t)(uintptr_t)proc;
    call->args[1] = (uint32_t)(uintptr_t)user;
    call->args[2] = (uint32_t)priority;
    EnterCriticalSection(&g_lock);
    if (!g_failAll && proc && Find(handle)) dsp = handle;
    LeaveCriticalSection(&g_lock);
    if (dsp) {
        int net;
        EnterCriticalSection(&g_lock);
        net = FakeNet_SetDsp(handle, (FakeDspProc)proc, user);
        LeaveCriticalSection(&g_lock);
        if (!net) {
            proc(dsp, handle, frame, sizeof frame, user);
            call->value = frame[0];
        }
    }
    call->result = dsp;
    return dsp;
}

DWORD __stdcall BASS_ChannelSetSync(DWORD handle, DWORD type, uint64_t param, SyncProc proc, void* user) {
    BassCall* call = Begin(BF_SET_SYNC, handle);
    Channel* channel;
    call->args[0] = type;
    call->args[1] = (uint32_t)(uintptr_t)proc;
    call->args[2] = (uint32_t)(uintptr_t)user;
    call->qwords[0] = param;
    EnterCriticalSection(&g_lock);
    /* The end sync is kept here, the server's own syncs by fakenet.c. */
    if (!g_failAll && FakeNet_SetSync(handle, type, (FakeSyncProc)proc, user)) {
        LeaveCriticalSection(&g_lock);
        call->result = 1;
        return 1;
    }
    channel = g_failAll || (type & 0xFFFF) != 2 ? NULL : Find(handle);
    if (channel) {
        channel->endSync = proc;
        channel->endSyncUser = user;
        channel->endSyncMixtime = (type & MIXTIME_SYNC) != 0;
        channel->endSyncFired = 0;
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

DWORD __stdcall BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, StreamProc proc, void* user) {
    BassCall* call = Begin(BF_STREAM_CREATE, 0);
    uint32_t handle = 0;
    const uint32_t sampleBytes = (flags & 0x100) ? 4 : (flags & 1) ? 1 : 2; /* float, 8-bit or 16-bit */
    call->args[0] = freq;
    call->args[1] = chans;
    call->args[2] = flags;
    call->args[3] = (uint32_t)(uintptr_t)proc;
    call->args[4] = (uint32_t)(uintptr_t)user;
    EnterCriticalSection(&g_lock);
    if (!g_failAll && DeviceReady(call) && proc && freq && chans) {
        Channel* channel = Add(StreamHandle(), ~0ull);
        if (channel) {
            channel->flags = flags;
            channel->frameBytes = chans * sampleBytes;
            channel->bytesPerSecond = freq * channel->frameBytes;
            channel->proc = proc;
            channel->procUser = user;
            handle = channel->handle;
            StreamHandleTaken();
        }
    }
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

/* A decoding channel's next bytes, from its position on; the pull of a user
 * stream that reads them is noted with them. The samples of a 16- or 24-bit or float
 * WAV file are its own; any other file's are silence. */
/* Page BASS_ChannelGetData: a decoding channel's data is decoded when it is
 * read, on the thread that reads it (a STREAMPROC's reads on the update
 * thread). The cost is spent busy, outside the lock, as a decoder would. */
static void SpendDecodeTime(double audioSeconds) {
    const LONG ratio = g_decodeCostRatio;
    LARGE_INTEGER now, until, frequency;
    if (ratio <= 0 || audioSeconds <= 0) return;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    until.QuadPart = now.QuadPart + (LONGLONG)(audioSeconds / ratio * (double)frequency.QuadPart);
    while (now.QuadPart < until.QuadPart) QueryPerformanceCounter(&now);
}

DWORD __stdcall BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    BassCall* call = Begin(BF_GET_DATA, handle);
    Channel* channel;
    DWORD got = ~0u;
    double audioSeconds = 0;
    call->args[0] = length;
    EnterCriticalSection(&g_lock);
    if (GetCurrentThreadId() == g_pullThread) call->args[1] = g_pullSerial;
    channel = g_failAll ? NULL : Find(handle);
    if (!channel || !(channel->flags & DECODE_FLAG)) {
        call->error = channel ? 37 : 5; /* BASS_ERROR_NOTAVAIL, BASS_ERROR_HANDLE */
    } else if (channel->position >= channel->length) {
        call->error = ERROR_ENDED;
    } else {
        uint64_t left = channel->length - channel->position;
        got = left < length ? (DWORD)left : length;
        got -= got % channel->frameBytes;
        got = ShortRead(got, channel->frameBytes);
        call->qwords[0] = channel->position;
        if (call->args[1] && !channel->fed) {
            channel->fed = 1;
            ++g_tracksFed;
        }
        if (buffer && !ReadSamples(channel, (float*)buffer, got / sizeof(float))) memset(buffer, 0, got);
        channel->position += got;
        audioSeconds = (double)got / channel->bytesPerSecond;
    }
    LeaveCriticalSection(&g_lock);
    SpendDecodeTime(audioSeconds);
    call->result = got;
    return got;
}

BOOL __stdcall BASS_ChannelGetInfo(DWORD handle, FakeBassChannelInfo* info) {
    BassCall* call = Begin(BF_GET_INFO, handle);
    Channel* channel;
    EnterCriticalSection(&g_lock);
    channel = g_failAll || !info ? NULL : Find(handle);
    if (channel) {
        /* File streams decode to 32-bit float here; user streams are as they were made. */
        const uint32_t sampleBytes = !channel->proc || (channel->flags & 0x100) ? 4 : (channel->flags & 1) ? 1 : 2;
        memset(info, 0, sizeof *info);
        info->chans = channel->frameBytes / sampleBytes;
        info->freq = channel->bytesPerSecond / channel->frameBytes;
        info->flags = channel->flags;
        FakeNet_Format(handle, &info->freq, &info->chans);
        call->args[0] = info->freq;
        call->args[1] = info->chans;
    }
    LeaveCriticalSection(&g_lock);
    call->result = channel != NULL;
    return channel != NULL;
}

/* BASS_INFO: 14 DWORDs, the output's rate the last. */
#define INFO_WORDS 14
BOOL __stdcall BASS_GetInfo(DWORD* info) {
    BassCall* call = Begin(BF_GET_OUTPUT_INFO, 0);
    BOOL ok;
    EnterCriticalSection(&g_lock);
    ok = !g_failAll && info && (g_outputRateScripted || g_initRate);
    if (ok) {
        memset(info, 0, INFO_WORDS * sizeof *info);
        info[INFO_WORDS - 1] = call->args[0] = g_outputRateScripted ? g_outputRate : g_initRate;
    }
    LeaveCriticalSection(&g_lock);
    call->result = ok;
    return ok;
}

BOOL __stdcall BASS_Stop(void) {
    BassCall* call = Begin(BF_STOP, 0);
    if (g_othersDevice && g_deviceOpen) InterlockedIncrement(&g_othersShutdowns);
    call->result = !g_failAll;
    return !g_failAll;
}

/* Frees every stream, sample and channel, as the library does. */
BOOL __stdcall BASS_Free(void) {
    BassCall* call = Begin(BF_FREE, 0);
    int i;
    if (!g_failAll) {
        EnterCriticalSection(&g_lock);
        if (g_othersDevice && g_deviceOpen) InterlockedIncrement(&g_othersShutdowns);
        /* In the order they were made: the newest number is given again
         * first. Their tag blocks are left, not freed: this runs at the game's
         * exit too, where a thread killed inside the heap may hold its lock. */
        for (i = 0; i < g_channelCount; ++i) Reusable(g_channels[i].handle);
        g_channelCount = 0;
        g_deviceOpen = 0;
        FakeNet_Free();
        LeaveCriticalSection(&g_lock);
    }
    call->result = !g_failAll;
    return !g_failAll;
}

BOOL __stdcall BASS_Start(void) {
    BassCall* call = Begin(BF_START, 0);
    BOOL ok;
    EnterCriticalSection(&g_lock);
    ok = !g_failAll && DeviceThere(call) && FakeNet_Start();
    LeaveCriticalSection(&g_lock);
    call->result = ok;
    return ok;
}

const char* __stdcall BASS_ChannelGetTags(DWORD handle, DWORD tags) {
    BassCall* call = Begin(BF_GET_TAGS, handle);
    const char* text;
    Channel* channel;
    call->args[0] = tags;
    EnterCriticalSection(&g_lock);
    if (g_failAll || !(channel = Find(handle))) {
        text = NULL;
    } else if (tags < TAG_KINDS && channel->tags[tags]) {
        text = channel->tags[tags];
    } else if (tags == TAG_ID3V2_BINARY && channel->tags[TAG_ID3V2]) {
        channel->id3v2Binary.data = channel->tags[TAG_ID3V2];
        channel->id3v2Binary.length = channel->tagSizes[TAG_ID3V2];
        text = (const char*)&channel->id3v2Binary;
    } else {
        text = FakeNet_Tags(handle, tags);
    }
    LeaveCriticalSection(&g_lock);
    Text(call, text);
    call->result = text != NULL;
    return text;
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
    if (!g_failAll && file && IsRegularFileOf(file, 0) && Allowed(call) && g_pluginCount < MAX_NAMED) {
        lstrcpynA(g_plugins[g_pluginCount++], BaseName(file), NAME_SIZE);
        handle = g_nextPlugin++;
    }
    LeaveCriticalSection(&g_lock);
    call->result = handle;
    return handle;
}

/* ---- scripting ----------------------------------------------------------- */

void FakeBass_SetVersion(uint32_t version) { g_version = version; }

void FakeBass_SetHeaderLength(const char* name, uint64_t bytes) {
    EnterCriticalSection(&g_lock);
    if (g_headerLengthCount < MAX_NAMED) {
        lstrcpynA(g_headerLengths[g_headerLengthCount].name, name, NAME_SIZE);
        g_headerLengths[g_headerLengthCount++].bytes = bytes;
    }
    LeaveCriticalSection(&g_lock);
}

void FakeBass_SetOutputRate(uint32_t freq) {
    g_outputRate = freq;
    g_outputRateScripted = 1;
}

void FakeBass_FailOpen(const char* name, int code) {
    EnterCriticalSection(&g_lock);
    if (g_failureCount < MAX_NAMED) {
        lstrcpynA(g_failures[g_failureCount].name, name, NAME_SIZE);
        g_failures[g_failureCount++].code = code;
    }
    LeaveCriticalSection(&g_lock);
}

void FakeBass_Lock(void) { EnterCriticalSection(&g_lock); }
void FakeBass_Unlock(void) { LeaveCriticalSection(&g_lock); }

void FakeBass_StreamEnded(uint32_t handle, FakeSyncProc* proc, void** user) {
    Channel* channel = Find(handle);
    if (!channel) return;
    channel->active = 0;
    channel->endsAtMs = 0;
    g_ends[g_endCount % ENDS_KEPT].handle = handle;
    g_ends[g_endCount++ % ENDS_KEPT].atMs = NowMs();
    /* A mixtime end sync ran when the end was decoded. */
    if (!channel->endSyncMixtime) {
        *proc = (FakeSyncProc)channel->endSync;
        *user = channel->endSyncUser;
    }
    if (channel->flags & 0x40000u) Remove(handle); /* BASS_STREAM_AUTOFREE */
}

void FakeBass_StreamEndDecoded(uint32_t handle, FakeSyncProc* proc, void** user) {
    Channel* channel = Find(handle);
    if (!channel || !channel->endSync || !channel->endSyncMixtime || channel->endSyncFired) return;
    channel->endSyncFired = 1;
    *proc = (FakeSyncProc)channel->endSync;
    *user = channel->endSyncUser;
}

uint32_t FakeBass_Pull(uint32_t handle, uint32_t bytes) {
    DueSyncs due;
    DWORD got;
    int i;
    due.count = 0;
    EnterCriticalSection(&g_lock);
    got = Pull(handle, bytes, &due);
    LeaveCriticalSection(&g_lock);
    for (i = 0; i < due.count; ++i) due.procs[i](1, due.handles[i], 0, due.users[i]);
    return got;
}

int FakeBass_PullEnded(uint32_t handle) {
    Channel* channel;
    int ended = 0;
    EnterCriticalSection(&g_lock);
    channel = Find(handle);
    if (channel) ended = channel->procEnded;
    LeaveCriticalSection(&g_lock);
    return ended;
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

void FakeBass_DeviceMissing(uint32_t ms, int error) {
    EnterCriticalSection(&g_lock);
    g_deviceMissingUntilMs = NowMs() + ms;
    g_deviceMissingError = error;
    LeaveCriticalSection(&g_lock);
}

int FakeBass_DeviceOpen(void) { return g_deviceOpen; }
void FakeBass_ShortReads(uint32_t percent) { g_shortReadPercent = percent; }
void FakeBass_ReuseHandles(int reuse) { g_reuseHandles = reuse; }
int FakeBass_ForeignFrees(void) { return (int)g_foreignFrees; }
void FakeBass_OthersDevice(void) {
    EnterCriticalSection(&g_lock);
    g_othersDevice = g_deviceOpen = 1;
    LeaveCriticalSection(&g_lock);
}
int FakeBass_OthersShutdowns(void) { return (int)g_othersShutdowns; }
void FakeBass_RefuseBufferAttribute(int refuse) { g_refuseBufferAttribute = refuse; }
void FakeBass_FailAll(int fail) { g_failAll = fail; }
void FakeBass_KeepTimes(int keep) { g_keepTimes = keep; }

void FakeBass_SetStreamLength(uint64_t bytes) {
    g_streamLength = bytes;
    g_streamLengthScripted = 1;
}
void FakeBass_SetOpenDelay(uint32_t ms) { g_openDelayMs = ms; }
void FakeBass_SetDecodeCost(uint32_t ratio) { InterlockedExchange(&g_decodeCostRatio, (LONG)ratio); }
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

/* What BASS_ChannelIsActive would answer, without a call of its own. */
uint32_t FakeBass_Active(uint32_t handle) {
    Channel* channel;
    uint32_t state = 0;
    EnterCriticalSection(&g_lock);
    channel = Find(handle);
    if (channel) state = FakeNet_State(handle, channel->active);
    LeaveCriticalSection(&g_lock);
    return state;
}
CHANNEL_FIELD(FakeBass_Volume, float, volume, -1.0f)
CHANNEL_FIELD(FakeBass_Position, uint64_t, position, ~0ull)
CHANNEL_FIELD(FakeBass_PlayedAtMs, double, playedAtMs, -1)
CHANNEL_FIELD(FakeBass_BufferMs, uint32_t, bufferMs, 0)

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

void FakeBass_GetLive(FakeBassLive* live) {
    int i;
    memset(live, 0, sizeof *live);
    EnterCriticalSection(&g_lock);
    for (i = 0; i < g_channelCount; ++i) {
        const Channel* channel = &g_channels[i];
        if (channel->handle >= FAKEBASS_CHANNEL_BASE) {
            ++live->sampleChannels;
        } else if (channel->handle >= FAKEBASS_SAMPLE_BASE) {
            ++live->samples;
        } else if (channel->flags & DECODE_FLAG) {
            ++live->decodeChannels;
        } else {
            ++live->streams;
        }
        if (channel->endSync) ++live->syncs;
    }
    live->syncs += FakeNet_SyncCount();
    LeaveCriticalSection(&g_lock);
}

uint32_t FakeBass_TracksFed(void) { return g_tracksFed; }

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
                                     "BASS_ChannelGetAttribute",
                                     "BASS_GetVersion",
                                     "BASS_ErrorGetCode",
                                     "BASS_PluginLoad",
                                     "BASS_StreamCreate",
                                     "BASS_ChannelGetData",
                                     "BASS_GetConfig",
                                     "BASS_ChannelGetInfo",
                                     "STREAMPROC",
                                     "BASS_Start",
                                     "BASS_ChannelGetTags",
                                     "BASS_SampleFree",
                                     "BASS_GetInfo",
                                     "BASS_ChannelSetDSP",
                                     "NET_DECODED"};

static void WriteLog(void) {
    FILE* file = g_logFile ? g_logFile : OpenLog();
    LONG first = g_logCount > LOG_CAPACITY ? g_logCount - LOG_CAPACITY : 0;
    LONG i;
    if (!file) return;
    for (i = first; i < g_logCount; ++i) {
        const BassCall* call = &g_log[i % LOG_CAPACITY];
        fprintf(file,
                "%s handle=%#x args=%u,%u,%u,%u,%u q=%llu,%llu seconds=%.3f value=%.4f text=%s result=%llu "
                "time=%.6f\n",
                kNames[call->fn], call->handle, call->args[0], call->args[1], call->args[2], call->args[3],
                call->args[4], (unsigned long long)call->qwords[0], (unsigned long long)call->qwords[1],
                call->seconds, call->value, call->text, (unsigned long long)call->result, call->time);
    }
    fclose(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        g_ticksPerSecond = (double)frequency.QuadPart;
        InitializeCriticalSection(&g_lock);
        g_lastCallSlot = TlsAlloc();
        g_openGate = CreateEventA(NULL, TRUE, TRUE, NULL);
        ResetState();
        g_deviceOpen = 0; /* as the library is loaded: no device before BASS_Init */
    } else if (reason == DLL_PROCESS_DETACH) {
        WriteLog();
    }
    return TRUE;
}
