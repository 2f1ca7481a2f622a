// The findings as plain lines for players, or as one JSON object.
#pragma once

#include <cstdio>
#include <string>

#include "tools/zorve-check/inspect.h"

// With tracks, every playing track of a playlist with its length and title.
void PrintText(FILE* out, const std::string& folder, const FolderLook& look, bool tracks);
void PrintJson(FILE* out, const std::string& folder, const FolderLook& look, bool tracks);
