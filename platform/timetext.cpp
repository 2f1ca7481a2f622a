// Clock times and lengths as text.
#include "platform/timetext.h"

#include <cstdio>

namespace {

constexpr uint32_t kSecondsPerMinute = 60;
constexpr uint32_t kMinutesPerHour = 60;
constexpr uint32_t kSecondsPerHour = 3600;

}  // namespace

void FormatClock(char* out, size_t size, uint32_t seconds) {
    std::snprintf(out, size, "%u:%02u:%02u", seconds / kSecondsPerHour, seconds / kSecondsPerMinute % kMinutesPerHour,
                  seconds % kSecondsPerMinute);
}

void FormatDuration(char* out, size_t size, uint32_t seconds) {
    if (seconds >= kSecondsPerHour) {
        FormatClock(out, size, seconds);
    } else {
        std::snprintf(out, size, "%u:%02u", seconds / kSecondsPerMinute, seconds % kSecondsPerMinute);
    }
}
