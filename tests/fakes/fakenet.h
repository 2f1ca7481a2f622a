/* Internet servers and the output device as the fake audio library plays
 * them (fakenet.c): the scripting the tests call, and the routing that the
 * library's calls in fakebass.c make into it. */
#ifndef ZORVE_FAKENET_H
#define ZORVE_FAKENET_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define FAKENET_FOREVER 0xFFFFFFFFu

/* How the server at one address behaves; zero fields are a server that
 * answers at once, never drops, never stalls and sends no headers. */
typedef struct FakeServer {
    uint32_t connectMs;    /* BASS_StreamCreateURL blocks this long, refused or not */
    int refusals;          /* the next this many opens fail: error 40 (BASS_ERROR_TIMEOUT) */
    uint32_t dropAfterMs;  /* the server closes this long after the play starts: the
                              buffer plays out, END fires, AUTOFREE frees; 0 never */
    uint32_t stallAfterMs; /* the stream starves this long after the play starts ... */
    uint32_t stallMs;      /* ... for this long (FAKENET_FOREVER: for good); 0 never */
    const char* name;      /* icy-name:, if not null */
    uint32_t bitrate;      /* icy-br:, if not 0 */
    int headersInHttp;     /* the icy- lines come as HTTP headers (tag 3), not ICY (tag 4) */
    int ogg;               /* titles come as Ogg comments (tag 2, BASS_SYNC_OGG_CHANGE) */
    const char* title;     /* the title sent at connect, if not null */
    const char* wave;      /* a 16-bit PCM WAV file whose samples the stream plays,
                              looped, through its DSPs; if not null */
} FakeServer;

/* Scripts the server of url (copied); a later call replaces it. */
void FakeNet_SetServer(const char* url, const FakeServer* server);
/* The server of url sends a new title now: the tags of its streams change and
 * their BASS_SYNC_META (Ogg: BASS_SYNC_OGG_CHANGE) syncs fire. */
void FakeNet_SetTitle(const char* url, const char* title);
/* The output device stops (a headset unplugged): playing channels answer 4
 * (BASS_ACTIVE_PAUSED_DEVICE) and every play fails with 9 (BASS_ERROR_START)
 * until BASS_Start, or with needsReinit (DirectSound) until BASS_Free and
 * BASS_Init. */
void FakeNet_LoseDevice(int needsReinit);
/* A library built without SSL: https opens fail with BASS_ERROR_SSL (10). */
void FakeNet_NoSsl(int noSsl);

/* ---- routing from fakebass.c: the library's lock is held unless noted ---- */

typedef void(__stdcall* FakeSyncProc)(uint32_t sync, uint32_t channel, uint32_t data, void* user);
typedef void(__stdcall* FakeDspProc)(uint32_t dsp, uint32_t channel, void* buffer, uint32_t length, void* user);

void FakeNet_Reset(void);
/* Whether url is an address the library opens: http:// or https://, any letter case. */
int FakeNet_IsAddress(const char* url);
/* Not under the lock: blocks as the server takes to answer. 0 with the error
 * when the server refuses. */
int FakeNet_Connect(const char* url, int* error);
void FakeNet_Opened(uint32_t handle, const char* url, uint32_t flags);
void FakeNet_Played(uint32_t handle);
void FakeNet_Stopped(uint32_t handle);
void FakeNet_Forget(uint32_t handle);
/* BASS_ATTRIB_BUFFER set on a stream: what of its buffer plays out after the server closes. */
void FakeNet_Buffer(uint32_t handle, uint32_t ms);
/* The state a channel answers: stalled or paused by the device over its own. */
uint32_t FakeNet_State(uint32_t handle, uint32_t state);
/* The error a play fails with now; 0 when plays work. */
int FakeNet_PlayError(void);
/* Takes the syncs the server side fires (META, STALL, OGG_CHANGE); 0 for others. */
int FakeNet_SetSync(uint32_t handle, uint32_t type, FakeSyncProc proc, void* user);
const char* FakeNet_Tags(uint32_t handle, uint32_t tags);
void FakeNet_Config(uint32_t option, uint32_t value);
int FakeNet_Start(void);
void FakeNet_Free(void);
/* Takes a DSP set on an internet stream; 0 for other channels. */
int FakeNet_SetDsp(uint32_t handle, FakeDspProc proc, void* user);
/* The rate and channels of an internet stream that plays a WAV file's samples; 0 for others. */
int FakeNet_Format(uint32_t handle, uint32_t* freq, uint32_t* chans);
/* Not under the lock, after a stream is freed or stopped: waits for a DSP
 * that runs on it. No page of the library says that a free waits for a
 * running DSP; the module assumes it, for file stations' DSPs too, and this
 * fake keeps it so that a DSP's state can be reused once its stream is gone. */
void FakeNet_AfterFree(void);
/* The syncs set on the live internet streams. */
uint32_t FakeNet_SyncCount(void);

/* ---- from fakebass.c, for the server thread ---- */

void FakeBass_Lock(void);
void FakeBass_Unlock(void);
/* A net stream played out after its server closed: stopped, its end noted,
 * freed with AUTOFREE; its end sync, if any, in proc and user. Lock held. */
void FakeBass_StreamEnded(uint32_t handle, FakeSyncProc* proc, void** user);
/* A net stream's end decoded (its server closed): its mixtime end sync, if
 * any and not run yet, in proc and user. Lock held. */
void FakeBass_StreamEndDecoded(uint32_t handle, FakeSyncProc* proc, void** user);
/* Records what an internet stream's DSPs made of a piece decoded at frame
 * position: a BF_NET_DECODED record. Lock not held. */
void FakeBass_NoteDecoded(uint32_t handle, const void* samples, uint32_t bytes, int floatSamples, uint64_t position);

#ifdef __cplusplus
}
#endif

#endif
