// Opening an internet stream with the settings every internet station uses.
#include "radio/internet/netopen.h"

#include "platform/bass.h"
#include "radio/common/creation.h"
#include "radio/common/stationlog.h"

namespace {

constexpr BassDword kUrlStreamFlags = BASS_SAMPLE_SOFTWARE | BASS_STREAM_AUTOFREE | BASS_STREAM_BLOCK |
                                      BASS_STREAM_STATUS;
constexpr BassDword kNetPlaylistOn = 1;
constexpr BassDword kNetPrebufferPercent = 0;
constexpr BassDword kPlaybackBufferMs = 160;

}  // namespace

UrlOpen OpenUrlStream(const char* url) {
    // From the set to the set back, no other stream is made.
    StreamCreationLock creation;
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, kNetPlaylistOn);
    BASS_SetConfig(BASS_CONFIG_NET_PREBUF, kNetPrebufferPercent);
    const BassDword buffer = BASS_GetConfig(BASS_CONFIG_BUFFER);
    BASS_SetConfig(BASS_CONFIG_BUFFER, kPlaybackBufferMs);
    const BassDword stream = BASS_StreamCreateURL(url, 0, kUrlStreamFlags, nullptr, nullptr);
    const int32_t error = OpenError(stream);
    // The option applies to every stream made later: file stations and playlists keep their own buffer.
    if (buffer != kBassErrorDword) BASS_SetConfig(BASS_CONFIG_BUFFER, buffer);
    return {stream, error};
}
