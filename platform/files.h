// File-system services shared by the module and the native tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// True when path names an existing file or folder. A path that ends in a
// separator never does: such a path is a folder name with no file in it. A
// path with bytes of 0x80 or above is looked up as CallPath gives it.
bool PathExists(const char* path);

// True when path names a plain file: no folder, device or link.
bool IsRegularFile(const char* path);

// True when path names an existing file that may not be written.
bool IsReadOnlyFile(const char* path);

enum class ReadResult { kOk, kMissing, kFailed };

// The whole content of the file at path. kMissing when there is no such file
// (or folder on its way), kFailed when one is there but cannot be read whole.
ReadResult ReadFileContent(const char* path, std::string& content);
inline bool ReadWholeFile(const char* path, std::string& content) {
    return ReadFileContent(path, content) == ReadResult::kOk;
}

// A file opened for a few bounded reads (a track's headers or tags), closed
// when it goes; null when it cannot be opened.
using ReadingFile = std::unique_ptr<FILE, int (*)(FILE*)>;
ReadingFile OpenForReading(const std::filesystem::path& path);

// Up to count bytes from offset at (from the end when negative); fewer at the
// end of the file, none on error.
std::string ReadFileAt(FILE* file, int64_t at, size_t count);

enum class WriteResult { kOk, kCannotOpen, kFailed };

// Creates or empties the file at path, writes size bytes of data and puts them
// on the disk, as far as the system allows. The file is
// shared for reading, writing and renaming, so that a write cut short by the
// process's exit never keeps the exit's own save from replacing it.
WriteResult WriteWholeFile(const char* path, const char* data, size_t size);

// Moves from onto to in one step, replacing to if it exists.
bool ReplaceFileWith(const char* from, const char* to);

// A path from the settings or a playlist in the form the file calls take: an
// all-ASCII path as it is, for the plain calls; any other as UTF-16 (read as
// UTF-8 when it is valid UTF-8, else in the ANSI code page), for the wide calls.
struct CallPath {
    std::string narrow;
    std::u16string wide;  // empty for an all-ASCII path

    bool Wide() const { return !wide.empty(); }
    // What a call that takes either form is given.
    const void* Name() const {
        return Wide() ? static_cast<const void*>(wide.c_str()) : static_cast<const void*>(narrow.c_str());
    }
};
CallPath ToCallPath(const char* path);

// Adds the paths of the files directly in folder (no folders) to files, in
// the system's order, from one pass over the folder: on Windows the listing
// itself tells files from folders, with no look at each entry. False when the
// folder could not be listed, or not to its end.
bool ListFiles(const std::filesystem::path& folder, std::vector<std::filesystem::path>& files);

// What tells one version of a file from another: its size and its last write
// time, in the system's file time units (100 ns since 1601, as Windows counts).
struct FileStamp {
    uint64_t size = 0;
    uint64_t writeTime = 0;
};

// The stamp of the file at path; false when path names no readable file.
bool ReadFileStamp(const std::filesystem::path& path, FileStamp& stamp);

bool operator==(const FileStamp& a, const FileStamp& b);
bool operator!=(const FileStamp& a, const FileStamp& b);

// The stamp of whatever path names, without allocating; the empty stamp (a
// write time of 0) when there is nothing.
FileStamp StampOfFile(const char* path);
bool Exists(const FileStamp& stamp);

// Milliseconds since the stamp's last write; 0 for a write time still to come.
uint64_t MsSinceWrite(const FileStamp& stamp);
