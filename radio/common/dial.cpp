// The tuned station, as the game keeps it.
#include "radio/common/dial.h"

#include "platform/host.h"

uint8_t CurrentStation() {
    if (HostAltStationFlag() != 0) return HostAltStation();
    // Added as the game's 32-bit registers add, wrapping instead of overflowing.
    const int32_t sum = static_cast<int32_t>(static_cast<uint32_t>(HostStationBase()) +
                                             static_cast<uint32_t>(int32_t{HostStationStep()}));
    // One correction by the ring size only, as the game itself makes it.
    int32_t station = sum;
    if (sum < 0) {
        station = sum + kStationRing;
    } else if (sum > kStationRing) {
        station = sum - kStationRing;
    }
    return static_cast<uint8_t>(station);
}

bool IsStreamedStation(uint8_t station) {
    return station != kNoStation && station <= kLastStreamedStation;
}
