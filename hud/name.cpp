#include "hud/name.h"

#include <cstring>
#include <string>

#include "hud/colour.h"
#include "platform/host.h"
#include "platform/patch.h"
#include "settings/settings.h"
#include "settings/text.h"

std::atomic<uint32_t> g_nameColour{0};
size_t g_nameEntryCapacity = 0;
bool g_nameEntryMeasured = false;

namespace {

// The game has no "CVT_MSG" text of its own; the key is written without a
// terminator, the game's byte after it is already zero.
const char kNameKey[] = "CVT_MSG";
constexpr size_t kNameKeyLength = sizeof(kNameKey) - 1;

constexpr uint32_t kPaletteColourA = 8;
constexpr uint32_t kPaletteColourB = 6;

}  // namespace

void ShowStationName(int8_t station) {
    for (size_t i = 0; i < kNameKeyLength; ++i) host::Write<char>(host::kNameKeySlotAddr + i, kNameKey[i]);
    char* entry = HostTextLookup(kNameKey);
    std::string name = GetValue(TrackSection(station).c_str(), "name", "");
    if (!entry) return;
    // The entry's own text on first sight is all the room it is known to have.
    if (!g_nameEntryMeasured) {
        g_nameEntryCapacity = std::strlen(entry);
        g_nameEntryMeasured = true;
    }
    if (name.size() > g_nameEntryCapacity) name.resize(g_nameEntryCapacity);
    HostCopyAsciiText(name.c_str(), entry);
}

void ApplyStationColours(int8_t station) {
    const std::string section = TrackSection(station);
    const bool useColourA = HostStationBase() != 0;
    const std::string colour = GetValue(section.c_str(), useColourA ? "colorA" : "colorB", "");
    if (colour.empty()) {
        uint8_t rgba[4] = {};
        HostPaletteColour(rgba, useColourA ? kPaletteColourA : kPaletteColourB);
        g_nameColour = PackColour(rgba[0], rgba[1], rgba[2], rgba[3]);
    } else {
        g_nameColour = PackColour(ColourComponent(colour, 1), ColourComponent(colour, 2), ColourComponent(colour, 3),
                                  kOpaque);
    }
    // Only now that a colour is set may the game reach ApplyNameColour.
    RedirectCall(host::kNameColourCallSite, reinterpret_cast<const void*>(&ApplyNameColour));

    const std::string shadow = GetValue(section.c_str(), "shadow", "0,0,0");
    PatchByte(host::kShadowRedSite, ColourComponent(shadow, 1));
    PatchByte(host::kShadowGreenSite, ColourComponent(shadow, 2));
    PatchByte(host::kShadowBlueSite, ColourComponent(shadow, 3));
}

extern "C" __attribute__((force_align_arg_pointer)) void ApplyNameColour() {
    HostSetTextColour(g_nameColour.load(std::memory_order_relaxed));
}
