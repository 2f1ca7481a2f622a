// Opening an internet stream with the settings every internet station uses.
#include "radio/internet/netopen.h"

#include <atomic>

#include "platform/bass.h"
#include "radio/common/creation.h"
#include "radio/common/stationlog.h"

namespace {

constexpr BassDword kUrlStreamFlags = BASS_SAMPLE_SOFTWARE | BASS_STREAM_AUTOFREE | BASS_STREAM_BLOCK |
                                      BASS_STREAM_STATUS;
constexpr BassDword kNetPlaylistOn = 1;
constexpr BassDword kNetPrebufferPercent = 0;
constexpr BassDword kPlaybackBufferMs = 160;
constexpr float kMsPerSecond = 1000.0f;

// Set once a library refused BASS_ATTRIB_BUFFER: its later opens set the
// global buffer around the connect instead. The stream it refused keeps the
// buffer it was made with.
std::atomic<bool> g_bufferAttributeRefused{false};

}  // namespace

UrlOpen OpenUrlStream(const char* url) {
    // Options only internet opens read, always to the same values.
    BASS_SetConfig(BASS_CONFIG_NET_PLAYLIST, kNetPlaylistOn);
    BASS_SetConfig(BASS_CONFIG_NET_PREBUF, kNetPrebufferPercent);
    const bool globalBuffer = g_bufferAttributeRefused;
    if (globalBuffer) SetNetBuffer(kPlaybackBufferMs);
    // The connect may wait for a server for seconds: no lock is held meanwhile.
    const BassDword stream = BASS_StreamCreateURL(url, 0, kUrlStreamFlags, nullptr, nullptr);
    const int32_t error = OpenError(stream);
    if (globalBuffer) {
        SetBackNetBuffer();
    } else if (stream && !BASS_ChannelSetAttribute(stream, BASS_ATTRIB_BUFFER, kPlaybackBufferMs / kMsPerSecond)) {
        g_bufferAttributeRefused = true;
    }
    return {stream, error};
}
