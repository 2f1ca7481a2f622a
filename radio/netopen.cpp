#include "radio/netopen.h"

#include "platform/bass.h"

namespace {

constexpr BassDword kUrlStreamFlags = BASS_SAMPLE_SOFTWARE | BASS_STREAM_AUTOFREE | BASS_STREAM_BLOCK |
                                      BASS_STREAM_STATUS;
constexpr BassDword kNetPlaylistOn = 1;
constexpr BassDword kNetPrebufferPercent = 0;
constexpr BassDword kPlaybackBufferMs = 160;

}  // namespace

uint32_t OpenUrlStream(const char* url) {
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, kNetPlaylistOn);
    BASS_SetConfig(BASS_CONFIG_NET_PREBUF, kNetPrebufferPercent);
    BASS_SetConfig(BASS_CONFIG_BUFFER, kPlaybackBufferMs);
    return BASS_StreamCreateURL(url, 0, kUrlStreamFlags, nullptr, nullptr);
}
