// Whether a track's header can vouch for the length the library reads from
// it without a full scan: a VBR MP3 without a frame count in a Xing, Info or
// VBRI header gets a length estimated from its first frames, a chained Ogg
// file the length of its last link alone. Decided from bounded reads of the
// file's start (and an Ogg file's last page), never by reading it all. Plain
// file work, shared with the players' checker.
#pragma once

#include <filesystem>

enum class LengthDoubt { kNone, kVbrWithoutHeader, kChainedOgg };

LengthDoubt DoubtOfHeaderLength(const std::filesystem::path& path);

// Why the header's length is doubtful, in words for the player.
const char* LengthDoubtText(LengthDoubt doubt);
