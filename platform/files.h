// File-system services shared by the module and the native tools.
#pragma once

#include <cstdio>

// True when path names an existing file or folder. A path that ends in a
// separator never does: such a path is a folder name with no file in it.
bool PathExists(const char* path);

// True when path names an existing file that may not be written.
bool IsReadOnlyFile(const char* path);

// Puts what was written to file on the disk, as far as the system allows.
bool CommitFile(FILE* file);

// Moves from onto to in one step, replacing to if it exists.
bool ReplaceFileWith(const char* from, const char* to);
