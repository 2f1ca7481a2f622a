// The credit banner: the game's text routines called in their fixed order.
#include "hud/banner.h"

#include <cstdint>

#include "hud/nowplaying.h"
#include "platform/host.h"

namespace {

const char kBannerText[] = "ZORVE ASI by KT552";
constexpr float kBannerScale = 0.6f;
constexpr float kBannerX = 15.0f;
constexpr float kBannerY = 15.0f;
constexpr uint32_t kBannerPalette = 6;
// Text settings the banner draws with: an alignment, two widths, a proportional
// flag and a font.
constexpr int32_t kBannerIntA = 2;
constexpr float kBannerFloatA = 1.0f;
constexpr float kBannerFloatB = 1.0f;
constexpr uint32_t kBannerFlag = 1;
constexpr int32_t kBannerIntB = 1;
// The now-playing line's place: a line of the banner's scale below it.
constexpr float kLineHeight = 20.0f;
constexpr float kNowPlayingY = kBannerY + kLineHeight * kBannerScale;

}  // namespace

// No allocation, no lock: this runs inside the game's drawing, on its thread.
extern "C" __attribute__((force_align_arg_pointer)) void DrawBanner() {
    HostSetTextScale(kBannerScale, kBannerScale);
    HostSetTextColour(HostPaletteColour(kBannerPalette));
    HostSetTextIntA(kBannerIntA);
    HostSetTextFloatA(kBannerFloatA);
    HostSetTextFloatB(kBannerFloatB);
    HostSetTextFlag(kBannerFlag);
    HostSetTextIntB(kBannerIntB);
    HostPrintText(kBannerX, kBannerY, kBannerText);
    DrawNowPlaying(kBannerX, kNowPlayingY);
}
