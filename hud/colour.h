// Colours as the game takes them: four bytes red, green, blue, alpha, passed as
// one 32-bit value with red in the lowest byte.
#pragma once

#include <cstdint>
#include <string>

constexpr uint8_t kOpaque = 255;

uint32_t PackColour(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);

// Component i (1 red, 2 green, 3 blue) of a "r,g,b" text: the field read as a C
// integer (0x hexadecimal, leading 0 octal), clamped to 32 bits, low 8 bits kept.
uint8_t ColourComponent(const std::string& text, int16_t component);
