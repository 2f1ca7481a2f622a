// The station name and its colours in the game: the text entry, the colour hook, the shadow.
#include "hud/name.h"

#include <cstring>
#include <string>

#include "hud/colour.h"
#include "platform/busy.h"
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
constexpr size_t kStationNumbers = 256;

// A station's name and colours as its section gives them. Every audible tick
// needs them, and the document never changes after loading but for the
// position entry, so each station's are read once per load.
struct StationLook {
    uint32_t generation = 0;  // the load they were read from; 0 matches the empty document before any
    std::string name;
    bool hasColourA = false;  // an empty colour leaves the game's palette colour
    bool hasColourB = false;
    uint32_t colourA = 0;
    uint32_t colourB = 0;
    uint8_t shadow[3] = {};
};

// A "r,g,b" text as the game's colour value, fully opaque.
uint32_t OpaqueColour(const std::string& text) {
    return PackColour(ColourComponent(text, 1), ColourComponent(text, 2), ColourComponent(text, 3), kOpaque);
}

// Never destroyed: the exit work must not free memory.
StationLook* const g_stationLooks = new StationLook[kStationNumbers];

// A name longer than the entry, cut to it: one buffer for the run, which stops
// growing once it has held the entry's capacity, so no tick allocates for it.
std::string& g_cutName = *new std::string;

const StationLook& LookOf(int8_t station) {
    StationLook& look = g_stationLooks[static_cast<uint8_t>(station)];
    if (look.generation == g_settingsGeneration) return look;
    BusyMark busy(g_memoryWork);
    const std::string section = TrackSection(station);
    look.name = GetValue(section.c_str(), "name", "");
    const std::string colourA = GetValue(section.c_str(), "colorA", "");
    const std::string colourB = GetValue(section.c_str(), "colorB", "");
    look.hasColourA = !colourA.empty();
    look.hasColourB = !colourB.empty();
    look.colourA = OpaqueColour(colourA);
    look.colourB = OpaqueColour(colourB);
    const std::string shadow = GetValue(section.c_str(), "shadow", "0,0,0");
    for (int16_t i = 0; i < 3; ++i) look.shadow[i] = ColourComponent(shadow, i + 1);
    look.generation = g_settingsGeneration;
    return look;
}

}  // namespace

void ShowStationName(int8_t station) {
    for (size_t i = 0; i < kNameKeyLength; ++i) host::Write<char>(host::kNameKeySlotAddr + i, kNameKey[i]);
    char* entry = HostTextLookup(kNameKey);
    if (!entry) return;
    // The entry's own text on first sight is all the room it is known to have.
    if (!g_nameEntryMeasured) {
        g_nameEntryCapacity = std::strlen(entry);
        g_nameEntryMeasured = true;
    }
    const std::string& name = LookOf(station).name;
    if (name.size() > g_nameEntryCapacity) {
        {
            BusyMark busy(g_memoryWork);
            g_cutName.assign(name, 0, g_nameEntryCapacity);
        }
        HostCopyAsciiText(g_cutName.c_str(), entry);
    } else {
        HostCopyAsciiText(name.c_str(), entry);
    }
}

void ApplyStationColours(int8_t station) {
    const StationLook& look = LookOf(station);
    const bool useColourA = HostStationBase() != 0;
    if (useColourA ? look.hasColourA : look.hasColourB) {
        g_nameColour = useColourA ? look.colourA : look.colourB;
    } else {
        g_nameColour = HostPaletteColour(useColourA ? kPaletteColourA : kPaletteColourB);
    }
    // Only now that a colour is set may the game reach ApplyNameColour.
    RedirectCall(host::kNameColourCallSite, reinterpret_cast<const void*>(&ApplyNameColour));

    PatchByte(host::kShadowRedSite, look.shadow[0]);
    PatchByte(host::kShadowGreenSite, look.shadow[1]);
    PatchByte(host::kShadowBlueSite, look.shadow[2]);
}

extern "C" __attribute__((force_align_arg_pointer)) void ApplyNameColour() {
    HostSetTextColour(g_nameColour.load(std::memory_order_relaxed));
}
