// The findings as plain lines for players, or as one JSON object.
#pragma once

#include <cstdio>
#include <string>

#include "tools/zorve-check/inspect.h"

void PrintText(FILE* out, const std::string& folder, const FolderLook& look);
void PrintJson(FILE* out, const std::string& folder, const FolderLook& look);
