/* Internet servers and the output device of the fake audio library, as the
 * library's documentation describes them:
 * - BASS_StreamCreateURL takes http:// and https:// addresses ("Should begin
 *   with http:// or https://"); https fails with BASS_ERROR_SSL (10) where the
 *   library has no SSL. It blocks until the server answers (at most the net
 *   time-out, BASS_CONFIG_NET_TIMEOUT, 5 s by default) and fails with
 *   BASS_ERROR_TIMEOUT when it does not.
 * - A stream whose server closes the connection plays out what it has
 *   buffered (the playback buffer as BASS_CONFIG_BUFFER stood when it was
 *   made), then fires its END sync and, with BASS_STREAM_AUTOFREE, is freed.
 * - A starved stream answers BASS_ACTIVE_STALLED (2) and resumes by itself when
 *   data comes; BASS_SYNC_STALL fires with data 0 when it stalls and 1 when it
 *   resumes. With no read time-out (BASS_CONFIG_NET_READTIMEOUT 0, the default)
 *   a server that stops sending keeps it stalled for good; with one, the
 *   connection closes when it runs out.
 * - ICY headers (BASS_TAG_ICY) or HTTP headers (BASS_TAG_HTTP) hold icy-name:
 *   and icy-br:; BASS_TAG_META holds StreamTitle='...'; and BASS_SYNC_META
 *   (mixtime) fires when it changes; an Ogg stream's titles are comments
 *   (BASS_TAG_OGG) with BASS_SYNC_OGG_CHANGE.
 * - When the output device stops, playing channels answer
 *   BASS_ACTIVE_PAUSED_DEVICE (4) and plays fail with BASS_ERROR_START (9)
 *   until BASS_Start; under DirectSound only BASS_Free and BASS_Init bring it
 *   back. BASS_Free frees every channel.
 * - A stream's DSPs (page BASS_ChannelSetDSP) get its samples as they are
 *   decoded, in the channel's format (16-bit here, float with
 *   BASS_SAMPLE_FLOAT), on the update thread, a playback buffer ahead of what
 *   is heard, refilled every update period (BASS_CONFIG_UPDATEPERIOD, 100 ms);
 *   here only servers given a WAV file send samples, and a stalled or closed
 *   stream decodes nothing more.
 * Events run on a thread of this file, which stands for the library's update
 * and sync threads. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fakenet.h"

#define MAX_SERVERS 16
#define MAX_STREAMS 64
#define URL_SIZE 200
#define TEXT_SIZE 200
#define TAG_SIZE 512
#define MAX_SYNCS 4
#define MAX_DUE 64
#define MAX_DSPS 2
#define FILL_PERIOD_MS 100
#define MAX_FILL_FRAMES 48000
#define MAX_WAVE_BYTES (64u << 20)
#define FLOAT_FLAG 0x100u
#define NET_PERIOD_MS 1
#define DEFAULT_BUFFER_MS 500
#define AUTOFREE_FLAG 0x40000u
#define NET_ERROR_START 9
#define NET_ERROR_TIMEOUT 40
#define NET_ERROR_SSL 10
#define SYNC_META 4
#define SYNC_STALL 6
#define SYNC_OGG_CHANGE 12
#define CONFIG_BUFFER 0
#define CONFIG_NET_READTIMEOUT 37
#define ACTIVE_PLAYING 1
#define ACTIVE_STALLED 2
#define ACTIVE_PAUSED_DEVICE 4

typedef struct Server {
    char url[URL_SIZE];
    FakeServer script;
    char name[TEXT_SIZE];
    char title[TEXT_SIZE];
    unsigned titleSerial; /* counts the titles sent */
    int16_t* samples;     /* the WAV file's, interleaved; never freed, as servers are few */
    uint32_t frames, chans, rate;
} Server;

typedef struct Dsp {
    FakeDspProc proc;
    void* user;
} Dsp;

typedef struct Sync {
    uint32_t type;
    FakeSyncProc proc;
    void* user;
} Sync;

typedef struct NetStream {
    uint32_t handle;
    int server;
    uint32_t flags;
    uint32_t bufferMs;
    double playedAtMs;  /* 0 until the first play */
    int stopped;
    int stalled, stallDone;
    double closedAtMs;  /* 0 while the server sends */
    unsigned titleSerial;
    Sync syncs[MAX_SYNCS];
    int syncCount;
    char tags[2][TAG_SIZE]; /* two, so that a title change never rewrites text a caller reads */
    int tagSide;
    Dsp dsps[MAX_DSPS];
    int dspCount;
    uint64_t framesMade;
    double filledAtMs;
} NetStream;

/* One piece decoded in a pass, for its DSPs to run on without the lock. */
typedef struct Fill {
    uint32_t handle;
    Dsp dsps[MAX_DSPS];
    int dspCount;
    uint32_t bytes;
    int floatSamples;
    uint64_t position;
} Fill;
static float g_fill[MAX_FILL_FRAMES * 2];
/* Held by the server thread from a pass's start until its DSPs have run:
 * a free or stop waits on it, so that no DSP runs once they returned. */
static SRWLOCK g_dspLock = SRWLOCK_INIT;

typedef struct Due {
    FakeSyncProc proc;
    uint32_t sync, channel, data;
    void* user;
} Due;

static Server g_servers[MAX_SERVERS];
static int g_serverCount;
static NetStream g_streams[MAX_STREAMS];
static int g_streamCount;
static uint32_t g_bufferMs = DEFAULT_BUFFER_MS;
static uint32_t g_readTimeoutMs;
static int g_deviceLost;  /* 0, 1 (BASS_Start helps), 2 (only BASS_Free and BASS_Init help) */
static int g_noSsl;
static HANDLE g_thread;
static double g_ticksPerMs;

static double NowMs(void) {
    LARGE_INTEGER ticks;
    if (g_ticksPerMs == 0) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        g_ticksPerMs = (double)frequency.QuadPart / 1000.0;
    }
    QueryPerformanceCounter(&ticks);
    return (double)ticks.QuadPart / g_ticksPerMs;
}

/* Lock held for the rest of this file unless said otherwise. */
static int FindServer(const char* url) {
    int i;
    for (i = 0; i < g_serverCount; ++i)
        if (url && !strcmp(g_servers[i].url, url)) return i;
    return -1;
}

static NetStream* FindStream(uint32_t handle) {
    int i;
    for (i = 0; i < g_streamCount; ++i)
        if (g_streams[i].handle == handle) return &g_streams[i];
    return NULL;
}

static void Copy(char* out, const char* text) {
    lstrcpynA(out, text ? text : "", TEXT_SIZE);
}

/* A 16-bit PCM WAV file's samples into the server. */
static void LoadWave(Server* server, const char* path) {
    FILE* file = fopen(path, "rb");
    unsigned char header[12], chunk[8], fmt[16];
    if (!file) return;
    if (fread(header, 1, 12, file) == 12 && !memcmp(header, "RIFF", 4) && !memcmp(header + 8, "WAVE", 4)) {
        while (fread(chunk, 1, 8, file) == 8) {
            const uint32_t size = chunk[4] | chunk[5] << 8 | chunk[6] << 16 | (uint32_t)chunk[7] << 24;
            if (!memcmp(chunk, "fmt ", 4) && size >= 16 && fread(fmt, 1, 16, file) == 16) {
                server->chans = fmt[2] | fmt[3] << 8;
                server->rate = fmt[4] | fmt[5] << 8 | fmt[6] << 16 | (uint32_t)fmt[7] << 24;
                fseek(file, (long)(size - 16 + (size & 1)), SEEK_CUR);
            } else if (!memcmp(chunk, "data", 4) && server->chans && size <= MAX_WAVE_BYTES) {
                server->samples = (int16_t*)malloc(size);
                if (server->samples && fread(server->samples, 1, size, file) == size) {
                    server->frames = size / (2 * server->chans);
                } else {
                    free(server->samples);
                    server->samples = NULL;
                }
                break;
            } else {
                fseek(file, (long)(size + (size & 1)), SEEK_CUR);
            }
        }
    }
    fclose(file);
    if (!server->frames || server->chans > 2) server->samples = NULL, server->frames = 0;
}

void FakeNet_SetServer(const char* url, const FakeServer* server) {
    int index;
    FakeBass_Lock();
    index = FindServer(url);
    if (index < 0 && g_serverCount < MAX_SERVERS) {
        index = g_serverCount++;
        memset(&g_servers[index], 0, sizeof g_servers[index]);
        lstrcpynA(g_servers[index].url, url, URL_SIZE);
    }
    if (index >= 0) {
        Server* entry = &g_servers[index];
        entry->script = *server;
        Copy(entry->name, server->name);
        entry->script.name = server->name ? entry->name : NULL;
        Copy(entry->title, server->title);
        entry->script.title = NULL;
        entry->script.wave = NULL;
        if (server->wave && !entry->samples) LoadWave(entry, server->wave);
        if (server->title) ++entry->titleSerial;
    }
    FakeBass_Unlock();
}

void FakeNet_SetTitle(const char* url, const char* title) {
    int index;
    FakeBass_Lock();
    index = FindServer(url);
    if (index >= 0) {
        Copy(g_servers[index].title, title);
        ++g_servers[index].titleSerial;
    }
    FakeBass_Unlock();
}

void FakeNet_LoseDevice(int needsReinit) {
    FakeBass_Lock();
    g_deviceLost = needsReinit ? 2 : 1;
    FakeBass_Unlock();
}

void FakeNet_NoSsl(int noSsl) {
    FakeBass_Lock();
    g_noSsl = noSsl;
    FakeBass_Unlock();
}

static int IsHttps(const char* url) {
    return url && !_strnicmp(url, "https://", 8);
}

int FakeNet_IsAddress(const char* url) {
    return url && (!_strnicmp(url, "http://", 7) || IsHttps(url));
}

void FakeNet_Reset(void) {
    g_noSsl = 0;
    g_serverCount = 0;
    g_streamCount = 0;
    g_bufferMs = DEFAULT_BUFFER_MS;
    g_readTimeoutMs = 0;
    g_deviceLost = 0;
}

/* Without the lock: the wait is the server's. */
int FakeNet_Connect(const char* url, int* error) {
    uint32_t connectMs = 0;
    int refused = 0, index;
    FakeBass_Lock();
    index = FindServer(url);
    if (g_noSsl && IsHttps(url)) {
        FakeBass_Unlock();
        *error = NET_ERROR_SSL;
        return 0;
    }
    if (index >= 0) {
        connectMs = g_servers[index].script.connectMs;
        if (g_servers[index].script.refusals > 0) {
            --g_servers[index].script.refusals;
            refused = 1;
        }
    }
    FakeBass_Unlock();
    if (connectMs) Sleep(connectMs);
    *error = refused ? NET_ERROR_TIMEOUT : 0;
    return !refused;
}

static DWORD WINAPI ServerThread(LPVOID unused);

void FakeNet_Opened(uint32_t handle, const char* url, uint32_t flags) {
    NetStream* stream;
    const int index = FindServer(url);
    if (index < 0 || g_streamCount == MAX_STREAMS) return;
    stream = &g_streams[g_streamCount++];
    memset(stream, 0, sizeof *stream);
    stream->handle = handle;
    stream->server = index;
    stream->flags = flags;
    stream->bufferMs = g_bufferMs;
    stream->titleSerial = g_servers[index].titleSerial;
    if (!g_thread) g_thread = CreateThread(NULL, 0, ServerThread, NULL, 0, NULL);
}

void FakeNet_Played(uint32_t handle) {
    NetStream* stream = FindStream(handle);
    if (!stream) return;
    if (stream->playedAtMs == 0) stream->playedAtMs = NowMs();
    stream->stopped = 0;
}

void FakeNet_Stopped(uint32_t handle) {
    NetStream* stream = FindStream(handle);
    if (stream) stream->stopped = 1;
}

/* Page BASS_ChannelGetTags: the text lives only as long as its stream. What a
 * late reader finds instead says so, in every tag's form. */
static const char kPoison[] = "icy-name:FREED\0icy-br:0\0StreamTitle='FREED';\0TITLE=FREED\0";

static void Poison(NetStream* stream) {
    int side;
    for (side = 0; side < 2; ++side) {
        memset(stream->tags[side], 0, TAG_SIZE);
        memcpy(stream->tags[side], kPoison, sizeof kPoison);
    }
}

void FakeNet_Forget(uint32_t handle) {
    int i;
    for (i = 0; i < g_streamCount; ++i) {
        if (g_streams[i].handle == handle) {
            Poison(&g_streams[i]);
            g_streams[i] = g_streams[--g_streamCount];
            return;
        }
    }
}

void FakeNet_Buffer(uint32_t handle, uint32_t ms) {
    NetStream* stream = FindStream(handle);
    if (stream) stream->bufferMs = ms;
}

uint32_t FakeNet_State(uint32_t handle, uint32_t state) {
    const NetStream* stream = FindStream(handle);
    if (state == ACTIVE_PLAYING && stream && stream->stalled) state = ACTIVE_STALLED;
    if ((state == ACTIVE_PLAYING || state == ACTIVE_STALLED) && g_deviceLost) state = ACTIVE_PAUSED_DEVICE;
    return state;
}

int FakeNet_PlayError(void) {
    return g_deviceLost ? NET_ERROR_START : 0;
}

int FakeNet_SetSync(uint32_t handle, uint32_t type, FakeSyncProc proc, void* user) {
    NetStream* stream = FindStream(handle);
    const uint32_t kind = type & 0xFFFF;
    if (!stream || (kind != SYNC_META && kind != SYNC_STALL && kind != SYNC_OGG_CHANGE)) return 0;
    if (stream->syncCount == MAX_SYNCS) return 0;
    stream->syncs[stream->syncCount].type = kind;
    stream->syncs[stream->syncCount].proc = proc;
    stream->syncs[stream->syncCount++].user = user;
    return 1;
}

/* Writes NUL-ended lines into the stream's spare tag buffer, ending with a
 * second NUL, and makes it the one handed out. */
static const char* PutTags(NetStream* stream, const char* lines[], int count) {
    char* out = stream->tags[stream->tagSide ^= 1];
    size_t used = 0;
    int i;
    for (i = 0; i < count; ++i) {
        const size_t length = strlen(lines[i]);
        if (used + length + 2 > TAG_SIZE) break;
        memcpy(out + used, lines[i], length + 1);
        used += length + 1;
    }
    out[used] = 0;
    return out;
}

const char* FakeNet_Tags(uint32_t handle, uint32_t tags) {
    NetStream* stream = FindStream(handle);
    const Server* server;
    char name[TEXT_SIZE + 16], bitrate[32], title[TEXT_SIZE + 32];
    const char* lines[4];
    int count = 0;
    if (!stream) return NULL;
    server = &g_servers[stream->server];
    switch (tags) {
    case 3: /* BASS_TAG_HTTP */
    case 4: /* BASS_TAG_ICY */
        if ((tags == 3) != (server->script.headersInHttp != 0)) return NULL;
        lines[count++] = tags == 3 ? "HTTP/1.0 200 OK" : "ICY 200 OK";
        if (server->script.name) {
            snprintf(name, sizeof name, "icy-name:%s", server->name);
            lines[count++] = name;
        }
        if (server->script.bitrate) {
            snprintf(bitrate, sizeof bitrate, "icy-br:%u", server->script.bitrate);
            lines[count++] = bitrate;
        }
        return PutTags(stream, lines, count);
    case 5: /* BASS_TAG_META: one string */
        if (server->script.ogg || !server->titleSerial) return NULL;
        snprintf(title, sizeof title, "StreamTitle='%s';StreamUrl='';", server->title);
        lines[count++] = title;
        return PutTags(stream, lines, count);
    case 2: /* BASS_TAG_OGG */
        if (!server->script.ogg || !server->titleSerial) return NULL;
        snprintf(title, sizeof title, "TITLE=%s", server->title);
        lines[count++] = "ENCODER=fake";
        lines[count++] = title;
        return PutTags(stream, lines, count);
    default:
        return NULL;
    }
}

void FakeNet_Config(uint32_t option, uint32_t value) {
    if (option == CONFIG_BUFFER) g_bufferMs = value;
    if (option == CONFIG_NET_READTIMEOUT) g_readTimeoutMs = value;
}

int FakeNet_Start(void) {
    if (g_deviceLost == 1) g_deviceLost = 0;
    return 1;
}

void FakeNet_Free(void) {
    int i;
    for (i = 0; i < g_streamCount; ++i) Poison(&g_streams[i]);
    g_deviceLost = 0;
    g_streamCount = 0;
}

int FakeNet_SetDsp(uint32_t handle, FakeDspProc proc, void* user) {
    NetStream* stream = FindStream(handle);
    if (!stream || stream->dspCount == MAX_DSPS) return 0;
    stream->dsps[stream->dspCount].proc = proc;
    stream->dsps[stream->dspCount++].user = user;
    return 1;
}

int FakeNet_Format(uint32_t handle, uint32_t* freq, uint32_t* chans) {
    const NetStream* stream = FindStream(handle);
    if (!stream || !g_servers[stream->server].frames) return 0;
    *freq = g_servers[stream->server].rate;
    *chans = g_servers[stream->server].chans;
    return 1;
}

/* The next piece of a playing stream with DSPs, up to a buffer ahead of what
 * is heard, once per update period; 0 when none is due. */
static int Decode(NetStream* stream, double now, Fill* fill) {
    const Server* server = &g_servers[stream->server];
    const double heard = (now - stream->playedAtMs) * server->rate / 1000.0;
    const double ahead = (double)stream->bufferMs * server->rate / 1000.0;
    const int floatSamples = (stream->flags & FLOAT_FLAG) != 0;
    uint32_t frames, i, c;
    if (!stream->dspCount || !server->frames || stream->stalled || stream->closedAtMs) return 0;
    if (stream->filledAtMs > 0 && now - stream->filledAtMs < FILL_PERIOD_MS) return 0;
    if (heard + ahead <= (double)stream->framesMade) return 0;
    frames = (uint32_t)(heard + ahead - (double)stream->framesMade);
    if (frames > MAX_FILL_FRAMES) frames = MAX_FILL_FRAMES;
    if (!frames) return 0;
    stream->filledAtMs = now;
    for (i = 0; i < frames; ++i) {
        const int16_t* frame = server->samples + ((stream->framesMade + i) % server->frames) * server->chans;
        for (c = 0; c < server->chans; ++c) {
            if (floatSamples) {
                g_fill[i * server->chans + c] = frame[c] / 32768.0f;
            } else {
                ((int16_t*)g_fill)[i * server->chans + c] = frame[c];
            }
        }
    }
    fill->handle = stream->handle;
    memcpy(fill->dsps, stream->dsps, sizeof fill->dsps);
    fill->dspCount = stream->dspCount;
    fill->bytes = frames * server->chans * (floatSamples ? 4 : 2);
    fill->floatSamples = floatSamples;
    fill->position = stream->framesMade;
    stream->framesMade += frames;
    return 1;
}

void FakeNet_AfterFree(void) {
    AcquireSRWLockExclusive(&g_dspLock);
    ReleaseSRWLockExclusive(&g_dspLock);
}

uint32_t FakeNet_SyncCount(void) {
    uint32_t count = 0;
    int i;
    for (i = 0; i < g_streamCount; ++i) count += (uint32_t)g_streams[i].syncCount;
    return count;
}

static void Fire(NetStream* stream, uint32_t kind, uint32_t data, Due* due, int* count) {
    int i;
    for (i = 0; i < stream->syncCount && *count < MAX_DUE; ++i) {
        if (stream->syncs[i].type != kind) continue;
        due[*count].proc = stream->syncs[i].proc;
        due[*count].sync = i + 1;
        due[*count].channel = stream->handle;
        due[*count].data = data;
        due[(*count)++].user = stream->syncs[i].user;
    }
}

/* One pass over the playing streams: stalls, closes, ends and titles. */
static int Step(double now, Due* due, Fill* fill) {
    int count = 0, i;
    memset(fill, 0, sizeof *fill);
    for (i = 0; i < g_streamCount; ++i) {
        NetStream* stream = &g_streams[i];
        const FakeServer* script = &g_servers[stream->server].script;
        const double played = now - stream->playedAtMs;
        if (stream->playedAtMs == 0 || stream->stopped) continue;
        if (script->stallMs && !stream->stallDone && !stream->closedAtMs) {
            const int stalling = played >= script->stallAfterMs &&
                             (script->stallMs == FAKENET_FOREVER || played < (double)script->stallAfterMs + script->stallMs);
            if (stalling && !stream->stalled) {
                stream->stalled = 1;
                Fire(stream, SYNC_STALL, 0, due, &count);
            } else if (!stalling && stream->stalled) {
                stream->stalled = 0;
                stream->stallDone = 1;
                Fire(stream, SYNC_STALL, 1, due, &count);
            }
            /* A read time-out closes a silent connection; nothing is left to play. */
            if (stream->stalled && g_readTimeoutMs && played >= (double)script->stallAfterMs + g_readTimeoutMs) {
                stream->closedAtMs = now - stream->bufferMs;
            }
        }
        if (script->dropAfterMs && !stream->closedAtMs && played >= script->dropAfterMs) stream->closedAtMs = now;
        /* The end is decoded as the connection closes: a mixtime end sync runs then,
         * while the buffer still plays. */
        if (stream->closedAtMs && count < MAX_DUE) {
            FakeSyncProc proc = NULL;
            void* user = NULL;
            FakeBass_StreamEndDecoded(stream->handle, &proc, &user);
            if (proc) {
                due[count].proc = proc;
                due[count].sync = 0;
                due[count].channel = stream->handle;
                due[count].data = 0;
                due[count++].user = user;
            }
        }
        if (stream->closedAtMs && now >= stream->closedAtMs + stream->bufferMs) {
            FakeSyncProc proc = NULL;
            void* user = NULL;
            const uint32_t handle = stream->handle;
            FakeBass_StreamEnded(handle, &proc, &user);
            if (proc && count < MAX_DUE) {
                due[count].proc = proc;
                due[count].sync = 0;
                due[count].channel = handle;
                due[count].data = 0;
                due[count++].user = user;
            }
            if (stream->flags & AUTOFREE_FLAG) {
                Poison(stream);
                g_streams[i--] = g_streams[--g_streamCount];
            } else {
                stream->stopped = 1;
            }
            continue;
        }
        if (!fill->handle) Decode(stream, now, fill);
        if (stream->titleSerial != g_servers[stream->server].titleSerial) {
            stream->titleSerial = g_servers[stream->server].titleSerial;
            Fire(stream, script->ogg ? SYNC_OGG_CHANGE : SYNC_META, 0, due, &count);
        }
    }
    return count;
}

static DWORD WINAPI ServerThread(LPVOID unused) {
    (void)unused;
    for (;;) {
        Due due[MAX_DUE];
        Fill fill;
        int count, i;
        Sleep(NET_PERIOD_MS);
        AcquireSRWLockExclusive(&g_dspLock);
        FakeBass_Lock();
        count = Step(NowMs(), due, &fill);
        FakeBass_Unlock();
        /* The DSPs run without the library's lock, as its update thread runs them. */
        for (i = 0; i < fill.dspCount && fill.handle; ++i)
            fill.dsps[i].proc(fill.handle, fill.handle, g_fill, fill.bytes, fill.dsps[i].user);
        if (fill.handle) FakeBass_NoteDecoded(fill.handle, g_fill, fill.bytes, fill.floatSamples, fill.position);
        ReleaseSRWLockExclusive(&g_dspLock);
        for (i = 0; i < count; ++i) due[i].proc(due[i].sync, due[i].channel, due[i].data, due[i].user);
    }
    return 0;
}
