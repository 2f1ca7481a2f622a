// The tick's step from the radio's now-playing name to the screen's line.
#include "module/nowplaying.h"

#include <cstdint>

#include "hud/nowplaying.h"
#include "platform/host.h"
#include "radio/common/dial.h"
#include "radio/common/nowplaying.h"
#include "radio/common/stream.h"
#include "settings/settings.h"

namespace {

const char kDisplaySection[] = "DISPLAY";
const char kNowPlayingKey[] = "nowplaying";

uint32_t g_seenChanges = 0;

}  // namespace

void CarryNowPlaying(bool audible) {
    char text[kNowPlayingText];
    if (TakeNowPlaying(text, sizeof text)) {
        if (GetLongValue(kDisplaySection, kNowPlayingKey, 0) != 0) {
            PublishNowPlaying(text, HostClockMs());
        } else {
            HideNowPlaying();
        }
    }
    // Taken after the name: a name announced for the station before wins no showing.
    const uint32_t changes = g_stationChanges;
    if (changes != g_seenChanges) {
        g_seenChanges = changes;
        HideNowPlaying();
    }
    const bool ours = IsStreamedStation(CurrentStation()) && g_stationStream != 0 && !g_streamStarting;
    SetNowPlayingAudible(audible && ours);
}
