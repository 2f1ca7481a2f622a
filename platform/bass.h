// Our own declarations of the audio library calls the module makes (bass.dll,
// API version 2.4). Linked at load time through an import library made from
// bass.def: the library is then initialised before the module and shut down
// after it, which the module's detach relies on.
#pragma once

#include <cstdint>

using BassDword = uint32_t;
using BassQword = uint64_t;
using BassBool = int32_t;

// Called on the library's own thread when a sync's event happens.
using BassSyncProc = void(__stdcall*)(BassDword sync, BassDword channel, BassDword data, void* user);

extern "C" {
BassBool __stdcall BASS_Init(int32_t device, BassDword freq, BassDword flags, void* win, const void* clsid);
BassBool __stdcall BASS_SetConfig(BassDword option, BassDword value);
BassDword __stdcall BASS_StreamCreateFile(BassBool mem, const void* file, BassQword offset, BassQword length,
                                          BassDword flags);
BassDword __stdcall BASS_StreamCreateURL(const char* url, BassDword offset, BassDword flags, void* proc, void* user);
BassBool __stdcall BASS_StreamFree(BassDword handle);
BassQword __stdcall BASS_ChannelSeconds2Bytes(BassDword handle, double seconds);
BassQword __stdcall BASS_ChannelGetLength(BassDword handle, BassDword mode);
BassBool __stdcall BASS_ChannelSetPosition(BassDword handle, BassQword position, BassDword mode);
BassBool __stdcall BASS_ChannelPlay(BassDword handle, BassBool restart);
BassDword __stdcall BASS_ChannelIsActive(BassDword handle);
BassBool __stdcall BASS_ChannelStop(BassDword handle);
BassBool __stdcall BASS_ChannelSetAttribute(BassDword handle, BassDword attribute, float value);
BassDword __stdcall BASS_SampleLoad(BassBool mem, const void* file, BassQword offset, BassDword length,
                                    BassDword max, BassDword flags);
BassDword __stdcall BASS_SampleGetChannel(BassDword sample, BassBool onlyNew);
BassDword __stdcall BASS_ChannelSetSync(BassDword handle, BassDword type, BassQword param, BassSyncProc proc,
                                        void* user);
double __stdcall BASS_ChannelBytes2Seconds(BassDword handle, BassQword position);
BassBool __stdcall BASS_ChannelGetAttribute(BassDword handle, BassDword attribute, float* value);
BassBool __stdcall BASS_Stop();
BassBool __stdcall BASS_Free();
}

constexpr BassBool kBassFalse = 0;
constexpr int32_t kBassDefaultDevice = -1;
constexpr BassDword kBassOutputRate = 44100;

constexpr BassDword BASS_CONFIG_BUFFER = 0;
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
constexpr BassDword BASS_SYNC_MIXTIME = 0x40000000;

constexpr BassDword BASS_POS_BYTE = 0;
constexpr BassDword BASS_ATTRIB_VOL = 2;
constexpr BassDword BASS_ACTIVE_PLAYING = 1;

constexpr BassQword kBassErrorQword = ~BassQword{0};
