#include "platform/files.h"

#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

bool EndsInSeparator(const char* path) {
    const size_t length = std::strlen(path);
    return length > 0 && (path[length - 1] == '/' || path[length - 1] == '\\');
}

}  // namespace

#ifdef _WIN32

bool PathExists(const char* path) {
    return !EndsInSeparator(path) && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnlyFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool CommitFile(FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

bool ReplaceFileWith(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

#else

bool PathExists(const char* path) {
    struct stat info;
    return !EndsInSeparator(path) && stat(path, &info) == 0;
}

bool IsReadOnlyFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

bool CommitFile(FILE* file) {
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

bool ReplaceFileWith(const char* from, const char* to) {
    return std::rename(from, to) == 0;
}

#endif
