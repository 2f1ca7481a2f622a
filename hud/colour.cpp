// Colours from settings text, packed as the game takes them.
#include "hud/colour.h"

#include <cstdlib>
#include <limits>

#include "settings/text.h"

uint32_t PackColour(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
    return static_cast<uint32_t>(red) | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue) << 16 |
           static_cast<uint32_t>(alpha) << 24;
}

uint8_t ColourComponent(const std::string& text, int16_t component) {
    constexpr int kAnyBase = 0;
    long long value = std::strtoll(FieldAt(component, text, ',').c_str(), nullptr, kAnyBase);
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) value = std::numeric_limits<int32_t>::min();
    return static_cast<uint8_t>(value & 0xFF);
}
