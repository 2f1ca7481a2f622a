/* Our fake of the audio library: the real calls record themselves and answer
 * from a scriptable state; these extra exports read and script it. */
#ifndef ZORVE_FAKEBASS_H
#define ZORVE_FAKEBASS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum BassFn {
    BF_INIT = 1,
    BF_SET_CONFIG,
    BF_STREAM_CREATE_FILE,
    BF_STREAM_CREATE_URL,
    BF_STREAM_FREE,
    BF_SECONDS_TO_BYTES,
    BF_GET_LENGTH,
    BF_SET_POSITION,
    BF_PLAY,
    BF_IS_ACTIVE,
    BF_CHANNEL_STOP,
    BF_SET_ATTRIBUTE,
    BF_SAMPLE_LOAD,
    BF_SAMPLE_GET_CHANNEL,
    BF_STOP,
    BF_FREE,
    BF_SET_SYNC,
    BF_BYTES_TO_SECONDS,
    BF_GET_ATTRIBUTE,
    BF_GET_VERSION,
    BF_ERROR_GET_CODE,
    BF_PLUGIN_LOAD,
    BF_STREAM_CREATE,
    BF_GET_DATA,     /* args: length, the pull it was read in (0: none); q: position before */
    BF_GET_CONFIG,
    BF_GET_INFO,
    /* Not a call: the update thread pulling a user stream. args: bytes asked,
     * the pull's number; q: bytes written and bytes heard before it; result:
     * the writing function's answer. */
    BF_STREAM_PULL,
    BF_START,
    BF_GET_TAGS,
    BF_SAMPLE_FREE,
    BF_GET_OUTPUT_INFO, /* BASS_GetInfo; args: the output's rate answered */
    /* args: the function, its user value, priority; value: what it makes of a full-scale sample */
    BF_SET_DSP,
    /* Not a call: the update thread decoding a piece of an internet stream
     * that has DSPs (fakenet.c). args: bytes; qwords[0]: its first frame;
     * seconds: the mean square of the samples the DSPs made, value: their peak. */
    BF_NET_DECODED
};

/* BASS_CHANNELINFO */
typedef struct FakeBassChannelInfo {
    uint32_t freq, chans, flags, ctype, origres, plugin, sample;
    const char* filename;
} FakeBassChannelInfo;

#define BASS_CALL_TEXT 200

typedef struct BassCall {
    int fn;
    uint32_t handle;   /* the channel, stream or sample the call is about */
    uint32_t args[5];  /* the other 32-bit arguments in order */
    uint64_t qwords[2];/* the 64-bit arguments in order */
    double seconds;    /* BASS_ChannelSeconds2Bytes */
    float value;       /* BASS_ChannelSetAttribute */
    char text[BASS_CALL_TEXT]; /* file name or URL */
    uint64_t result;
    uint32_t thread;
    double time;       /* when the call began: seconds of the performance counter, shared by every process */
    int32_t error;     /* scripted or format error of a failed open; 0 otherwise */
} BassCall;

/* Bytes per second of the fake's streams unless a WAV header says otherwise:
 * 44100 Hz, 2 channels, 32-bit float. */
#define FAKEBASS_BYTES_PER_SECOND 352800u
#define FAKEBASS_FRAME_BYTES 8u

/* Handle ranges: streams, samples, sample channels. */
#define FAKEBASS_STREAM_BASE 0x10000000u
#define FAKEBASS_SAMPLE_BASE 0x20000000u
#define FAKEBASS_CHANNEL_BASE 0x30000000u
#define FAKEBASS_PLUGIN_BASE 0x40000000u

/* What BASS_GetVersion answers unless scripted: 2.4.17.0, as the version
 * resource of the fake says too. */
#define FAKEBASS_VERSION 0x02041100u

/* Forgets every call and every handle; answers go back to their defaults. */
void FakeBass_Reset(void);
int FakeBass_CallCount(void);
int FakeBass_GetCall(int index, BassCall* out); /* 0 if there is no such call */

/* Scripting. */
void FakeBass_FailInit(int times);          /* the next `times` BASS_Init calls fail */
void FakeBass_FailAll(int fail);            /* every call answers with its error value */
/* Whether calls note their time (on by default); reading the clock costs more
 * than most calls, which the benchmark of the module's tick leaves out. */
void FakeBass_KeepTimes(int keep);
/* Length of file streams opened from now on, instead of the file's own;
 * (uint64)-1: error. Unscripted, a WAV file gives its own length and byte rate
 * as 32-bit float samples, any other file its size. A playing stream without
 * the loop flag stops when its end is heard (see the timing below). */
void FakeBass_SetStreamLength(uint64_t bytes);
/* Files whose name ends in name give this length, (uint64)-1 for unknown,
 * when opened without BASS_STREAM_PRESCAN, as a header's estimate does; with
 * it, and when decoded, their real length. */
void FakeBass_SetHeaderLength(const char* name, uint64_t bytes);
/* What BASS_GetInfo gives as the output's rate, 0 too (page BASS_INFO: freq
 * is 0 where the driver does not say, as with older libraries and some
 * drivers); unscripted, the rate BASS_Init was given, and no answer before it. */
void FakeBass_SetOutputRate(uint32_t freq);
void FakeBass_SetActive(uint32_t handle, uint32_t state);
uint32_t FakeBass_Active(uint32_t handle);
float FakeBass_Volume(uint32_t handle);
uint64_t FakeBass_Position(uint32_t handle);
/* Milliseconds (on the clock of the calls' times) at which a channel last
 * started playing (-1: no such channel), and at which a stream ran to its end,
 * also after it was freed (-1: never). */
double FakeBass_PlayedAtMs(uint32_t handle);
double FakeBass_EndedAtMs(uint32_t handle);
/* The playback buffer a stream took when it was made, or shorter as
 * BASS_ATTRIB_BUFFER set it. */
uint32_t FakeBass_BufferMs(uint32_t handle);
void FakeBass_SetOpenDelay(uint32_t ms);    /* stream opens take this long */
/* Reads of decoding channels spend 1/ratio of the audio's time busy on the
 * reading thread, as real decoding does (200: 5 ms a second); 0, as after a
 * reset: free. */
void FakeBass_SetDecodeCost(uint32_t ratio);
#define FAKEBASS_DECODE_COST 200
void FakeBass_SetJingleLength(uint32_t ms); /* sample channels stop playing after this; 0 never */
#define FAKEBASS_OWN_LENGTH 0xFFFFFFFFu       /* ... after their sample's length in its WAV header */
void FakeBass_HoldOpens(int hold);          /* stream opens wait until released */
int FakeBass_OpensWaiting(void);

/* The handles alive now, by kind, for a long run's watch of what grows. */
typedef struct FakeBassLive {
    uint32_t streams;        /* file, internet and user streams made to be played */
    uint32_t decodeChannels; /* streams made to be read (BASS_STREAM_DECODE) */
    uint32_t samples;
    uint32_t sampleChannels; /* at most a sample's max playbacks each */
    uint32_t syncs;          /* end syncs and the servers' syncs of live streams */
} FakeBassLive;
void FakeBass_GetLive(FakeBassLive* live);
/* Decoding channels a user stream's writing function began to read since
 * the reset: the tracks a playlist stream played, each counted once. */
uint32_t FakeBass_TracksFed(void);

/* The library's timing, as its documentation tells it. Every stream takes
 * BASS_CONFIG_BUFFER (500 ms unless set) as its playback buffer when it is
 * made. The update thread refills a playing user stream every
 * BASS_CONFIG_UPDATEPERIOD (100 ms; 0: never, as BASS_ChannelUpdate is left
 * to the caller) up to a buffer ahead of what is heard, calling its writing
 * function, which may read decoding channels (BASS_ChannelGetData); a stream
 * whose buffer runs dry stalls (2) until more is written; one whose function
 * said its end stays playing until that end is heard. A mixtime end sync runs
 * when the end is decoded (a file stream: a buffer before its end is heard),
 * one without mixtime when it is heard and the stream stops. Stop and free cut
 * the sound at once, buffer and all. */
/* Calls a user stream's writing function once for up to bytes, on the calling
 * thread, as one refill of the update thread; the bytes it wrote. */
uint32_t FakeBass_Pull(uint32_t handle, uint32_t bytes);
/* Whether a user stream's writing function has said its end. */
int FakeBass_PullEnded(uint32_t handle);

/* The player's machine (see fakebass.c for the pages of the library's
 * documentation each rule comes from). The device is closed as the library
 * loads and open after FakeBass_Reset; creates and loads fail with
 * BASS_ERROR_INIT (8) while it is closed. */
/* No output device for ms from now: BASS_Init fails with error (23 or 3),
 * BASS_Start fails too; then it appears. */
void FakeBass_DeviceMissing(uint32_t ms, int error);
int FakeBass_DeviceOpen(void);
/* This share of reads of decoding channels before their end come short:
 * half of what was there, or nothing. */
void FakeBass_ShortReads(uint32_t percent);
/* New streams take the number of the stream freed last; frees of a stream by
 * a thread that knew only an earlier one of its number are counted. */
void FakeBass_ReuseHandles(int reuse);
int FakeBass_ForeignFrees(void);
/* Another plug-in opened the device first: BASS_Init answers
 * BASS_ERROR_ALREADY (14) and every create works. BASS_Stop and BASS_Free
 * made while it is open are counted: they stop or close the other's device. */
void FakeBass_OthersDevice(void);
int FakeBass_OthersShutdowns(void);
/* An older 2.4 that refuses BASS_ATTRIB_BUFFER (BASS_ERROR_ILLTYPE). */
void FakeBass_RefuseBufferAttribute(int refuse);

/* The library's version, as BASS_GetVersion answers it. */
void FakeBass_SetVersion(uint32_t version);
/* Stream opens, sample loads and add-on loads of exactly this file name or
 * URL fail from now on, BASS_ErrorGetCode then answering code. */
void FakeBass_FailOpen(const char* name, int code);

/* BASS_ErrorGetCode answers for the calling thread's last call: a scripted or
 * format error, else what the call's failure means (a missing file 2, a file
 * of another format 41, a bad handle 5). FLAC files (named *.flac) open
 * only once an add-on named bassflac.dll is loaded; add-ons load from any
 * existing file. */

#ifdef __cplusplus
}
#endif

#include "fakenet.h"

#endif
