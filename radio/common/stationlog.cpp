// The run log's station-start lines.
#include "radio/common/stationlog.h"

#include "platform/runlog.h"

namespace {

constexpr size_t kTimeText = 16;

}  // namespace

int32_t OpenError(BassDword handle) {
    return handle ? BASS_OK : LoggedAudioError();
}

void LogFileStart(const char* source, BassDword stream, int32_t openError, BassBool played, double seconds,
                  BassQword bytes, BassQword length, BassQword position) {
    if (!RunLogOpen()) return;
    if (!stream) {
        LogLine("station start: file %s not played: %s (error %d)", source, AudioErrorText(openError), openError);
        return;
    }
    if (!played) {
        const int32_t error = LoggedAudioError();
        LogLine("station start: file %s opened but not played: %s (error %d)", source, AudioErrorText(error),
                error);
        return;
    }
    if (length == 0 || length == kBassErrorQword) {
        LogLine("station start: file %s playing from its start (its length is not known)", source);
        return;
    }
    // The library's bytes per second, from the broadcast time it converted.
    if (seconds <= 0 || bytes == 0 || bytes == kBassErrorQword) {
        LogLine("station start: file %s playing%s", source, position == 0 ? " from its start" : "");
        return;
    }
    const double bytesPerSecond = static_cast<double>(bytes) / seconds;
    char from[kTimeText];
    char of[kTimeText];
    FormatDuration(from, sizeof from, static_cast<uint32_t>(static_cast<double>(position) / bytesPerSecond));
    FormatDuration(of, sizeof of, static_cast<uint32_t>(static_cast<double>(length) / bytesPerSecond + 0.5));
    LogLine("station start: file %s playing from %s of %s", source, from, of);
}

void LogUrlStart(const char* source, BassDword stream, int32_t openError, BassBool played) {
    if (!RunLogOpen()) return;
    if (!stream) {
        LogLine("station start: internet stream %s not played: %s (error %d)", source, AudioErrorText(openError),
                openError);
    } else if (!played) {
        const int32_t error = LoggedAudioError();
        LogLine("station start: internet stream %s connected but not played: %s (error %d)", source,
                AudioErrorText(error), error);
    } else {
        LogLine("station start: internet stream %s playing", source);
    }
}
