// A track's tags read from its file, as the audio library would hand them to
// the module: an ID3v2 block at the start or in a WAV chunk, ID3v1 at the end,
// Vorbis comments of FLAC, Ogg Vorbis and Opus files. Bounded reads only.
#pragma once

#include <filesystem>

#include "radio/tags/tags.h"

// False when the file has no tags that are read here.
bool ReadFileTags(const std::filesystem::path& path, TrackTags& tags);
