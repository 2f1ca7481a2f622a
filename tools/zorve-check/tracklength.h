// A playlist track's length, read from its headers: a few bounded reads at
// known places, never the whole file (a track may be gigabytes long and the
// checker a 32-bit program).
#pragma once

#include <filesystem>
#include <string>

enum class Length { kKnown, kUnknown, kNotAudio };

// name is the track's name as the playlist gives it (UTF-8); only names with
// the ending of an audio format count as audio. A file whose ending names a
// format it does not start like is not audio either.
Length TrackLength(const std::filesystem::path& path, const std::string& name, double& seconds);
