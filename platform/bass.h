// Our own declarations of the audio library calls the module makes (bass.dll,
// API version 2.4). Only BASS_GetVersion, which every version exports, is
// linked at load time (through an import library made from bass.def): that
// keeps the library initialised before the module and shut down after it,
// which the module's detach relies on. Every other call is a pointer bound by
// BindAudioCalls once the version is accepted, so that a library without one
// of them still lets the module load and say why it stays silent.
#pragma once

#include <cstdint>

using BassDword = uint32_t;
using BassQword = uint64_t;
using BassBool = int32_t;

// Called on the library's own thread when a sync's event happens.
using BassSyncProc = void(__stdcall*)(BassDword sync, BassDword channel, BassDword data, void* user);

// Writes up to length bytes of a user stream's samples into buffer, on the
// library's update thread; the bytes written, with BASS_STREAMPROC_END at the end.
using BassStreamProc = BassDword(__stdcall*)(BassDword handle, void* buffer, BassDword length, void* user);

// Works on a channel's samples in place (float here) before they are heard, on the library's thread.
using BassDspProc = void(__stdcall*)(BassDword dsp, BassDword channel, void* buffer, BassDword length, void* user);

// BASS_CHANNELINFO.
struct BassChannelInfo {
    BassDword freq, chans, flags, ctype, origres, plugin, sample;
    const char* filename;
};

// BASS_INFO.
struct BassInfo {
    BassDword flags, hwsize, hwfree, freesam, free3d, minrate, maxrate;
    BassBool eax;
    BassDword minbuf, dsver, latency, initflags, speakers, freq;
};

extern "C" {
// The library's version: major, minor, revision and build, one byte each, highest first.
BassDword __stdcall BASS_GetVersion();
}

// Bound calls: null until BindAudioCalls has found them. One line here and one
// in the table of platform/bass.cpp per call.
inline BassBool(__stdcall* BASS_Init)(int32_t device, BassDword freq, BassDword flags, void* win,
                                      const void* clsid) = nullptr;
inline BassBool(__stdcall* BASS_SetConfig)(BassDword option, BassDword value) = nullptr;
inline BassDword(__stdcall* BASS_StreamCreateFile)(BassBool mem, const void* file, BassQword offset, BassQword length,
                                                   BassDword flags) = nullptr;
inline BassDword(__stdcall* BASS_StreamCreateURL)(const char* url, BassDword offset, BassDword flags, void* proc,
                                                  void* user) = nullptr;
inline BassBool(__stdcall* BASS_StreamFree)(BassDword handle) = nullptr;
inline BassQword(__stdcall* BASS_ChannelSeconds2Bytes)(BassDword handle, double seconds) = nullptr;
inline BassQword(__stdcall* BASS_ChannelGetLength)(BassDword handle, BassDword mode) = nullptr;
inline BassBool(__stdcall* BASS_ChannelSetPosition)(BassDword handle, BassQword position, BassDword mode) = nullptr;
inline BassBool(__stdcall* BASS_ChannelPlay)(BassDword handle, BassBool restart) = nullptr;
inline BassDword(__stdcall* BASS_ChannelIsActive)(BassDword handle) = nullptr;
inline BassBool(__stdcall* BASS_ChannelStop)(BassDword handle) = nullptr;
inline BassBool(__stdcall* BASS_ChannelSetAttribute)(BassDword handle, BassDword attribute, float value) = nullptr;
inline BassDword(__stdcall* BASS_SampleLoad)(BassBool mem, const void* file, BassQword offset, BassDword length,
                                             BassDword max, BassDword flags) = nullptr;
inline BassDword(__stdcall* BASS_SampleGetChannel)(BassDword sample, BassBool onlyNew) = nullptr;
// Frees a sample and stops and frees its channels.
inline BassBool(__stdcall* BASS_SampleFree)(BassDword sample) = nullptr;
inline BassDword(__stdcall* BASS_ChannelSetSync)(BassDword handle, BassDword type, BassQword param,
                                                 BassSyncProc proc, void* user) = nullptr;
inline double(__stdcall* BASS_ChannelBytes2Seconds)(BassDword handle, BassQword position) = nullptr;
inline BassBool(__stdcall* BASS_ChannelGetAttribute)(BassDword handle, BassDword attribute, float* value) = nullptr;
inline BassBool(__stdcall* BASS_Stop)() = nullptr;
inline BassBool(__stdcall* BASS_Free)() = nullptr;
// Starts the output again after BASS_Stop, or after the device stopped by itself.
inline BassBool(__stdcall* BASS_Start)() = nullptr;
// The channel's tags of one kind, in the library's own memory; null when it has none.
inline const char*(__stdcall* BASS_ChannelGetTags)(BassDword handle, BassDword tags) = nullptr;
// The error of the calling thread's last library call; 0 when it succeeded.
inline int32_t(__stdcall* BASS_ErrorGetCode)() = nullptr;
// Loads an add-on that teaches the library more formats; 0 when it is refused.
inline BassDword(__stdcall* BASS_PluginLoad)(const char* file, BassDword flags) = nullptr;
inline BassDword(__stdcall* BASS_GetConfig)(BassDword option) = nullptr;
inline BassDword(__stdcall* BASS_StreamCreate)(BassDword freq, BassDword chans, BassDword flags, BassStreamProc proc,
                                               void* user) = nullptr;
// Reads a decoding channel's next samples; kBassErrorDword at its end or on error.
inline BassDword(__stdcall* BASS_ChannelGetData)(BassDword handle, void* buffer, BassDword length) = nullptr;
inline BassBool(__stdcall* BASS_ChannelGetInfo)(BassDword handle, BassChannelInfo* info) = nullptr;
// The output device's figures; freq is the rate it mixes at.
inline BassBool(__stdcall* BASS_GetInfo)(BassInfo* info) = nullptr;
// Adds proc to the channel's chain of sample work; its handle, 0 when refused.
inline BassDword(__stdcall* BASS_ChannelSetDSP)(BassDword handle, BassDspProc proc, void* user,
                                                int32_t priority) = nullptr;

// Binds every call above from the loaded bass.dll. Answers how many of them it
// lacks (0: all bound) and names the first one missing in firstMissing. Bind
// before the first bound call; a library that lacks one must get no call at all.
int BindAudioCalls(const char*& firstMissing);

constexpr BassBool kBassFalse = 0;
constexpr int32_t kBassDefaultDevice = -1;
constexpr BassDword kBassOutputRate = 44100;

constexpr BassDword BASS_CONFIG_BUFFER = 0;
constexpr BassDword BASS_CONFIG_UPDATEPERIOD = 1;
constexpr BassDword BASS_CONFIG_NET_PREBUF = 15;
constexpr BassDword BASS_CONFIG_NET_PLAYLIST = 21;

constexpr BassDword BASS_SAMPLE_LOOP = 0x4;
constexpr BassDword BASS_SAMPLE_SOFTWARE = 0x10;
constexpr BassDword BASS_SAMPLE_FLOAT = 0x100;
constexpr BassDword BASS_STREAM_PRESCAN = 0x20000;
constexpr BassDword BASS_STREAM_AUTOFREE = 0x40000;
constexpr BassDword BASS_STREAM_BLOCK = 0x100000;
constexpr BassDword BASS_STREAM_DECODE = 0x200000;
constexpr BassDword BASS_STREAM_STATUS = 0x800000;
constexpr BassDword BASS_UNICODE = 0x80000000;  // the file name is UTF-16

constexpr BassDword BASS_SYNC_END = 2;
constexpr BassDword BASS_SYNC_META = 4;         // a new Shoutcast title arrived
constexpr BassDword BASS_SYNC_OGG_CHANGE = 12;  // new Ogg comments: the next song of an Ogg stream
constexpr BassDword BASS_SYNC_MIXTIME = 0x40000000;

constexpr BassDword BASS_POS_BYTE = 0;
constexpr BassDword BASS_ATTRIB_VOL = 2;
constexpr BassDword BASS_ATTRIB_BUFFER = 13;  // seconds of playback buffering, up to the buffer the stream was made with
constexpr BassDword BASS_ACTIVE_STOPPED = 0;
constexpr BassDword BASS_ACTIVE_PLAYING = 1;
constexpr BassDword BASS_ACTIVE_STALLED = 2;        // an internet stream waits for data; it resumes by itself
constexpr BassDword BASS_ACTIVE_PAUSED_DEVICE = 4;  // the output device stopped: a headset unplugged

// Tags of BASS_ChannelGetTags: series of NUL-ended strings, the last ending twice.
constexpr BassDword BASS_TAG_OGG = 2;   // Ogg comments, UTF-8
constexpr BassDword BASS_TAG_HTTP = 3;  // the server's HTTP headers
constexpr BassDword BASS_TAG_ICY = 4;   // the server's ICY headers: icy-name:, icy-br:
constexpr BassDword BASS_TAG_META = 5;  // one string: StreamTitle='...';StreamUrl='...';

constexpr BassQword kBassErrorQword = ~BassQword{0};
constexpr BassDword kBassErrorDword = ~BassDword{0};
constexpr BassDword BASS_STREAMPROC_END = 0x80000000;

// The only library version whose calls these declarations describe.
constexpr BassDword kBassVersionWord = 0x0204;
constexpr unsigned kBassVersionShift = 16;

// Error codes of BASS_ErrorGetCode.
constexpr int32_t BASS_OK = 0;
constexpr int32_t BASS_ERROR_MEM = 1;
constexpr int32_t BASS_ERROR_FILEOPEN = 2;
constexpr int32_t BASS_ERROR_DRIVER = 3;
constexpr int32_t BASS_ERROR_BUFLOST = 4;
constexpr int32_t BASS_ERROR_HANDLE = 5;
constexpr int32_t BASS_ERROR_FORMAT = 6;
constexpr int32_t BASS_ERROR_POSITION = 7;
constexpr int32_t BASS_ERROR_INIT = 8;
constexpr int32_t BASS_ERROR_START = 9;
constexpr int32_t BASS_ERROR_SSL = 10;
constexpr int32_t BASS_ERROR_ALREADY = 14;
constexpr int32_t BASS_ERROR_NOTAUDIO = 17;
constexpr int32_t BASS_ERROR_NOCHAN = 18;
constexpr int32_t BASS_ERROR_ILLTYPE = 19;
constexpr int32_t BASS_ERROR_ILLPARAM = 20;
constexpr int32_t BASS_ERROR_NO3D = 21;
constexpr int32_t BASS_ERROR_NOEAX = 22;
constexpr int32_t BASS_ERROR_DEVICE = 23;
constexpr int32_t BASS_ERROR_NOPLAY = 24;
constexpr int32_t BASS_ERROR_FREQ = 25;
constexpr int32_t BASS_ERROR_NOTFILE = 27;
constexpr int32_t BASS_ERROR_NOHW = 29;
constexpr int32_t BASS_ERROR_EMPTY = 31;
constexpr int32_t BASS_ERROR_NONET = 32;
constexpr int32_t BASS_ERROR_CREATE = 33;
constexpr int32_t BASS_ERROR_NOFX = 34;
constexpr int32_t BASS_ERROR_NOTAVAIL = 37;
constexpr int32_t BASS_ERROR_DECODE = 38;
constexpr int32_t BASS_ERROR_DX = 39;
constexpr int32_t BASS_ERROR_TIMEOUT = 40;
constexpr int32_t BASS_ERROR_FILEFORM = 41;
constexpr int32_t BASS_ERROR_SPEAKER = 42;
constexpr int32_t BASS_ERROR_VERSION = 43;
constexpr int32_t BASS_ERROR_CODEC = 44;
constexpr int32_t BASS_ERROR_ENDED = 45;
constexpr int32_t BASS_ERROR_BUSY = 46;
constexpr int32_t BASS_ERROR_UNSTREAMABLE = 47;
constexpr int32_t BASS_ERROR_PROTOCOL = 48;
constexpr int32_t BASS_ERROR_DENIED = 49;
constexpr int32_t BASS_ERROR_UNKNOWN = -1;
