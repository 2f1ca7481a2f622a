// The run log's writer: claimed places, whole lines, the size limit and the previous run's copy.
#include "platform/runlog.h"

#include <windows.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <exception>

#include "platform/bass.h"
#include "platform/files.h"
#include "platform/host.h"
#include "platform/timetext.h"

namespace {

const char kLogFull[] = "the log is full (256 KB): nothing more is written in this run";
const char kLineEnd[] = "\r\n";
constexpr size_t kLineEndLength = sizeof kLineEnd - 1;
constexpr size_t kClockText = 16;

constexpr uint32_t kMsPerSecond = 1000;

std::atomic<HANDLE> g_runLog{INVALID_HANDLE_VALUE};
std::atomic<int> g_internalErrors{0};
// Bytes claimed by lines so far, written or not. Each line is written at the
// place its claim gives it, so that lines of several threads neither mix nor
// overwrite one another; a line is written only when its claim ends within
// the limit.
std::atomic<size_t> g_runLogBytes{0};

// The clock, a blank, the text cut to fit, and the line end; the length.
size_t FormatLine(char (&line)[kRunLogLineMax], const char* format, va_list args) {
    char clock[kClockText];
    FormatClock(clock, sizeof clock, HostClockMs() / kMsPerSecond);
    const int prefix = std::snprintf(line, sizeof line, "%s ", clock);
    size_t length = prefix > 0 ? static_cast<size_t>(prefix) : 0;
    const size_t room = sizeof line - kLineEndLength - length;
    const int text = std::vsnprintf(line + length, room, format, args);
    if (text > 0) length += static_cast<size_t>(text) < room ? static_cast<size_t>(text) : room - 1;
    for (char c : kLineEnd) {
        if (c) line[length++] = c;
    }
    return length;
}

void WriteAt(HANDLE log, size_t place, const char* text, size_t length) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(place);
    DWORD written;
    WriteFile(log, text, static_cast<DWORD>(length), &written, &at);
}

void WriteLine(const char* line, size_t length) {
    const HANDLE log = g_runLog.load();
    if (log == INVALID_HANDLE_VALUE) return;
    const size_t before = g_runLogBytes.fetch_add(length);
    if (before + length <= kRunLogLimit) {
        WriteAt(log, before, line, length);
    } else if (before <= kRunLogLimit) {
        // The first line past the limit: the one that says so instead.
        char full[kRunLogLineMax];
        char clock[kClockText];
        FormatClock(clock, sizeof clock, HostClockMs() / kMsPerSecond);
        const int size = std::snprintf(full, sizeof full, "%s %s%s", clock, kLogFull, kLineEnd);
        if (size > 0) WriteAt(log, before, full, static_cast<size_t>(size));
    }
}

}  // namespace

void OpenRunLogFile(const char* path, const char* previousPath) {
    CloseRunLog();
    // Only a plain file is kept as the previous log: a folder, device or link
    // named zorve.log stays as it is, and the log is then not written.
    if (IsRegularFile(path)) MoveFileExA(path, previousPath, MOVEFILE_REPLACE_EXISTING);
    const HANDLE log = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    g_runLogBytes = 0;
    g_runLog = log;
}

void CloseRunLog() {
    const HANDLE log = g_runLog.exchange(INVALID_HANDLE_VALUE);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
}

bool RunLogOpen() {
    return g_runLog.load() != INVALID_HANDLE_VALUE;
}

void LogLine(const char* format, ...) {
    if (!RunLogOpen()) return;
    char line[kRunLogLineMax];
    va_list args;
    va_start(args, format);
    const size_t length = FormatLine(line, format, args);
    va_end(args);
    WriteLine(line, length);
}

int32_t LoggedAudioError() {
    return RunLogOpen() ? BASS_ErrorGetCode() : BASS_OK;
}

const char* ShownPath(const char* path) {
    return path[0] == '.' && path[1] == '/' ? path + 2 : path;
}

void LogCaughtException(const char* job) {
    const int count = ++g_internalErrors;
    if (count > kInternalErrorLines + 1) return;
    if (count > kInternalErrorLines) {
        LogLine("internal error: more follow, and are not written");
        return;
    }
    try {
        throw;
    } catch (const std::exception& error) {
        LogLine("internal error: %s abandoned (%s); the radio goes on", job, error.what());
    } catch (...) {
        LogLine("internal error: %s abandoned (an unknown error); the radio goes on", job);
    }
}

const char* AudioErrorText(int32_t code) {
    switch (code) {
        case BASS_OK: return "no error";
        case BASS_ERROR_MEM: return "the audio library ran out of memory";
        case BASS_ERROR_FILEOPEN: return "the file or address could not be opened";
        case BASS_ERROR_DRIVER: return "no usable sound driver was found";
        case BASS_ERROR_BUFLOST: return "the sound buffer was lost";
        case BASS_ERROR_HANDLE: return "there was no open stream to work on";
        case BASS_ERROR_FORMAT: return "the sound card cannot play the audio's sample format";
        case BASS_ERROR_POSITION: return "the position could not be set";
        case BASS_ERROR_INIT: return "the sound device was not set up";
        case BASS_ERROR_START: return "the sound output is not running";
        case BASS_ERROR_SSL: return "the secure (SSL) connection failed";
        case BASS_ERROR_ALREADY: return "it was already done";
        case BASS_ERROR_NOTAUDIO: return "the file holds no audio";
        case BASS_ERROR_NOCHAN: return "no free channel was left";
        case BASS_ERROR_ILLTYPE: return "a type was not accepted";
        case BASS_ERROR_ILLPARAM: return "a value was not accepted";
        case BASS_ERROR_NO3D: return "there is no 3D sound";
        case BASS_ERROR_NOEAX: return "there is no EAX support";
        case BASS_ERROR_DEVICE: return "the sound device could not be used";
        case BASS_ERROR_NOPLAY: return "it is not playing";
        case BASS_ERROR_FREQ: return "the sample rate is not supported";
        case BASS_ERROR_NOTFILE: return "the stream is not a file";
        case BASS_ERROR_NOHW: return "no hardware voice was free";
        case BASS_ERROR_EMPTY: return "the file holds nothing to play";
        case BASS_ERROR_NONET: return "no internet connection could be opened";
        case BASS_ERROR_CREATE: return "a file could not be created";
        case BASS_ERROR_NOFX: return "effects are not available";
        case BASS_ERROR_NOTAVAIL: return "the data is not available";
        case BASS_ERROR_DECODE: return "the channel only decodes";
        case BASS_ERROR_DX: return "DirectX is too old";
        case BASS_ERROR_TIMEOUT: return "the server did not answer";
        case BASS_ERROR_FILEFORM: return "the file's format is not supported";
        case BASS_ERROR_SPEAKER: return "the speaker setting is not available";
        case BASS_ERROR_VERSION: return "it was made for another version of the audio library";
        case BASS_ERROR_CODEC: return "the codec it needs is not available";
        case BASS_ERROR_ENDED: return "the stream had ended";
        case BASS_ERROR_BUSY: return "the sound device is busy";
        case BASS_ERROR_UNSTREAMABLE: return "the file cannot be played as a stream";
        case BASS_ERROR_PROTOCOL: return "the address's protocol is not supported";
        case BASS_ERROR_DENIED: return "access was denied";
        case BASS_ERROR_UNKNOWN: return "an unknown error";
        default: return "an error the audio library does not name";
    }
}
