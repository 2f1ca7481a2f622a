// Folder helpers shared by the unit and end-to-end test DLLs.
#pragma once

#include <string>

// Removes path and everything below it, read-only files included.
void RemoveTree(const std::string& path);
