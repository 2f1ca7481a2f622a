// The tags of a track as the audio library hands them over: ID3v2 (2.2 to
// 2.4), ID3v1, Vorbis comments (Ogg, FLAC, Opus) and the APE and MP4 tags of
// add-ons, read as untrusted bytes into a title, an artist and the levels of
// ReplayGain and R128; and a title from the file's name for a track without.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct TrackTags {
    std::string title, artist;           // UTF-8; empty when the tags have none
    bool hasReplayGain = false; float replayGainDb = 0;  // REPLAYGAIN_TRACK_GAIN
    bool hasReplayPeak = false; float replayPeak = 0;    // REPLAYGAIN_TRACK_PEAK, linear full scale = 1
    bool hasR128Gain = false; int r128Gain = 0;          // R128_TRACK_GAIN (Opus), Q7.8 dB
    bool damaged = false;                // a damaged frame or block was skipped
};

// Tag kinds of BASS_ChannelGetTags that carry a track's tags.
constexpr uint32_t kTagId3 = 0;    // ID3v1: one 128-byte block
constexpr uint32_t kTagId3v2 = 1;  // ID3v2: a block whose header gives its size
// ID3v2 as its data and length (TAG_BINARY), where the library gives it.
constexpr uint32_t kTagId3v2Binary = 20;
constexpr uint32_t kTagOgg = 2;    // Vorbis comments: "key=value" strings, NUL-ended, the last ending twice
constexpr uint32_t kTagApe = 6;    // APE: as Vorbis comments
constexpr uint32_t kTagMp4 = 7;    // MP4: as Vorbis comments

// The most of a tag block that is read; the rest of a bigger one counts as damaged.
constexpr size_t kMaxTagBlock = 1 << 20;

// The tags of an open channel as the library hands them over (BASS_ChannelGetTags), read on the thread
// that owns the channel. False when it has none.
bool ReadChannelTags(uint32_t channel, TrackTags& tags);

// How much of a block that the library handed over as `type` to read: the
// size its header gives, or the strings to and with the empty last one; never
// more than length, the block's own length where the library gives it
// (kUnknownTagLength where it does not), and at most kMaxTagBlock, and then
// cut is set.
constexpr size_t kUnknownTagLength = SIZE_MAX;
size_t TagBlockSize(uint32_t type, const char* block, size_t length, bool& cut);

// One tag block of the library's tag type `type`, untrusted bytes. A title or
// artist found before is kept; a damaged frame or entry is skipped and noted.
void ParseTagBlock(uint32_t type, const char* data, size_t size, TrackTags& tags);

// A track's title from its file name: without folder, extension and a leading
// track number ("03 Last Bus.wav" -> "Last Bus").
std::string TitleFromFileName(const std::string& name);

// What a track is called on air: "Artist - Title", the title alone, or with no
// title in the tags the one from the file name (after the artist, if any).
std::string TrackTitle(const TrackTags& tags, const std::string& fileName);
