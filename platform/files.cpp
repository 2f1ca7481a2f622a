// File-system services: existence, stamps, whole reads and writes, replacing a file in one rename.
#include "platform/files.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/unicode.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

bool EndsInSeparator(const char* path) {
    const size_t length = std::strlen(path);
    return length > 0 && (path[length - 1] == '/' || path[length - 1] == '\\');
}

constexpr uint64_t kStampUnitsPerMs = 10000;  // 100 ns units

}  // namespace

bool operator==(const FileStamp& a, const FileStamp& b) {
    return a.writeTime == b.writeTime && a.size == b.size;
}

bool operator!=(const FileStamp& a, const FileStamp& b) {
    return !(a == b);
}

bool Exists(const FileStamp& stamp) {
    return stamp.writeTime != 0;
}

CallPath ToCallPath(const char* path) {
    CallPath call;
    if (IsAscii(path)) {
        call.narrow = path;
    } else {
        call.wide = ExternalToUtf16(path);
    }
    return call;
}

#ifdef _WIN32

namespace {

uint64_t Join(DWORD high, DWORD low) {
    return uint64_t{high} << 32 | low;
}

FileStamp StampOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    FileStamp stamp;
    stamp.writeTime = Join(data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime);
    stamp.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
    return stamp;
}

DWORD Attributes(const char* path) {
    if (IsAscii(path)) return GetFileAttributesA(path);
    const CallPath call = ToCallPath(path);
    return GetFileAttributesW(reinterpret_cast<const wchar_t*>(call.wide.c_str()));
}

}  // namespace

FileStamp StampOfFile(const char* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return FileStamp();
    return StampOf(data);
}

uint64_t MsSinceWrite(const FileStamp& stamp) {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const uint64_t time = Join(now.dwHighDateTime, now.dwLowDateTime);
    return time > stamp.writeTime ? (time - stamp.writeTime) / kStampUnitsPerMs : 0;
}

bool PathExists(const char* path) {
    return !EndsInSeparator(path) && Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsRegularFile(const char* path) {
    constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT;
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & kNotPlain) == 0;
}

bool IsReadOnlyFile(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

// Without FILE_SHARE_DELETE, a handle left open by a thread that the exit
// killed would keep the exit's save from renaming over the file.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

ReadResult ReadFileContent(const char* path, std::string& content) {
    const HANDLE file = CreateFileA(path, GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::kMissing
                                                                              : ReadResult::kFailed;
    }
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.HighPart == 0 && size.LowPart < content.max_size();
    try {
        if (ok) content.resize(size.LowPart);
    } catch (const std::bad_alloc&) {
        ok = false;  // too big for the memory left: it cannot be read whole
        content.clear();
    }
    size_t done = 0;
    while (ok && done < content.size()) {
        DWORD got = 0;
        ok = ReadFile(file, &content[done], static_cast<DWORD>(content.size() - done), &got, nullptr) && got > 0;
        done += got;
    }
    CloseHandle(file);
    return ok ? ReadResult::kOk : ReadResult::kFailed;
}

WriteResult WriteWholeFile(const char* path, const char* data, size_t size) {
    const HANDLE file = CreateFileA(path, GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) return WriteResult::kCannotOpen;
    DWORD written = 0;
    bool ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr) && written == size;
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    return ok ? WriteResult::kOk : WriteResult::kFailed;
}

bool ReplaceFileWith(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool ListFiles(const std::filesystem::path& folder, std::vector<std::filesystem::path>& files) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                          nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)))
            files.push_back(folder / found.cFileName);
    } while (FindNextFileW(search, &found));
    const bool whole = GetLastError() == ERROR_NO_MORE_FILES;
    FindClose(search);
    return whole;
}

bool ReadFileStamp(const std::filesystem::path& path, FileStamp& stamp) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    stamp = StampOf(data);
    return true;
}

#else

namespace {

constexpr uint64_t kStampUnitsPerSecond = 10000000;
constexpr uint64_t kNsPerStampUnit = 100;
// The Unix epoch in Windows file time: seconds from 1601 to 1970.
constexpr uint64_t kEpochSeconds = 11644473600u;

// A time as Windows file time, as ReadFileStamp gives it.
uint64_t StampTime(const timespec& time) {
    return (static_cast<uint64_t>(time.tv_sec) + kEpochSeconds) * kStampUnitsPerSecond +
           static_cast<uint64_t>(time.tv_nsec) / kNsPerStampUnit;
}

// File names here are UTF-8: a name in the ANSI code page is looked up as its UTF-8 form.
bool Status(const char* path, struct stat& info) {
    return stat(IsValidUtf8(path) ? path : ExternalToUtf8(path).c_str(), &info) == 0;
}

}  // namespace

FileStamp StampOfFile(const char* path) {
    struct stat info;
    FileStamp stamp;
    if (stat(path, &info) != 0) return stamp;
    stamp.writeTime = StampTime(info.st_mtim);
    stamp.size = static_cast<uint64_t>(info.st_size);
    return stamp;
}

uint64_t MsSinceWrite(const FileStamp& stamp) {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    const uint64_t time = StampTime(now);
    return time > stamp.writeTime ? (time - stamp.writeTime) / kStampUnitsPerMs : 0;
}

bool PathExists(const char* path) {
    struct stat info;
    return !EndsInSeparator(path) && Status(path, info);
}

bool IsRegularFile(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0 && S_ISREG(info.st_mode);
}

bool IsReadOnlyFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && (info.st_mode & S_IWUSR) == 0;
}

ReadResult ReadFileContent(const char* path, std::string& content) {
    FILE* file = std::fopen(path, "rb");
    if (!file) return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
    content.clear();
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok ? ReadResult::kOk : ReadResult::kFailed;
}

WriteResult WriteWholeFile(const char* path, const char* data, size_t size) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return WriteResult::kCannotOpen;
    bool ok = std::fwrite(data, 1, size, file) == size && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    ok = std::fclose(file) == 0 && ok;
    return ok ? WriteResult::kOk : WriteResult::kFailed;
}

bool ReplaceFileWith(const char* from, const char* to) {
    return std::rename(from, to) == 0;
}

bool ListFiles(const std::filesystem::path& folder, std::vector<std::filesystem::path>& files) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::error_code entryError;
        if (entries->is_regular_file(entryError)) files.push_back(entries->path());
    }
    return !error;
}

bool ReadFileStamp(const std::filesystem::path& path, FileStamp& stamp) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    stamp.size = static_cast<uint64_t>(info.st_size);
    stamp.writeTime = StampTime(info.st_mtim);
    return true;
}

#endif

ReadingFile OpenForReading(const std::filesystem::path& path) {
#ifdef _WIN32
    return ReadingFile(_wfopen(path.c_str(), L"rb"), std::fclose);
#else
    return ReadingFile(std::fopen(path.c_str(), "rb"), std::fclose);
#endif
}

std::string ReadFileAt(FILE* file, int64_t at, size_t count) {
    const int whence = at < 0 ? SEEK_END : SEEK_SET;
#ifdef _WIN32
    const bool placed = _fseeki64(file, at, whence) == 0;
#else
    const bool placed = fseeko(file, static_cast<off_t>(at), whence) == 0;
#endif
    if (!placed) return "";
    std::string bytes(count, '\0');
    bytes.resize(std::fread(&bytes[0], 1, count, file));
    return bytes;
}
