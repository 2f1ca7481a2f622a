// The game's routines as typed calls, and the game values read fresh on every call.
#include "platform/host.h"

#include <cstring>

namespace {

// Member routines take the object in ECX and pop their own stack arguments.
using TextLookupFn = char*(__thiscall*)(void* table, const char* key);
using PaletteColourFn = void*(__thiscall*)(void* palette, uint8_t* rgba, uint32_t index);
using CopyAsciiTextFn = void(__cdecl*)(const char* text, char* entry);
using SetTextColourFn = void(__cdecl*)(uint32_t rgba);
using SetTextScaleFn = void(__cdecl*)(float x, float y);
using SetTextIntFn = void(__cdecl*)(int32_t value);
using SetTextFloatFn = void(__cdecl*)(float value);
using SetTextFlagFn = void(__cdecl*)(uint32_t value);
using PrintTextFn = void(__cdecl*)(float x, float y, const char* text);

template <typename Fn>
Fn Routine(uintptr_t address) {
    return reinterpret_cast<Fn>(address);
}

void* Object(uintptr_t address) {
    return reinterpret_cast<void*>(address);
}

}  // namespace

char* HostTextLookup(const char* key) {
    return Routine<TextLookupFn>(host::kTextLookupAddr)(Object(host::kTextTableAddr), key);
}

void HostCopyAsciiText(const char* text, char* entry) {
    Routine<CopyAsciiTextFn>(host::kCopyAsciiTextAddr)(text, entry);
}

uint32_t HostPaletteColour(uint32_t index) {
    // The game fills red, green, blue, alpha in memory order: read back as one
    // little-endian word, red is the lowest byte.
    uint8_t rgba[4] = {};
    Routine<PaletteColourFn>(host::kPaletteColourAddr)(Object(host::kPaletteAddr), rgba, index);
    uint32_t colour;
    std::memcpy(&colour, rgba, sizeof colour);
    return colour;
}

void HostSetTextColour(uint32_t rgba) {
    Routine<SetTextColourFn>(host::kSetTextColourAddr)(rgba);
}

void HostSetTextScale(float x, float y) {
    Routine<SetTextScaleFn>(host::kSetTextScaleAddr)(x, y);
}

void HostSetTextIntA(int32_t value) {
    Routine<SetTextIntFn>(host::kSetTextIntAAddr)(value);
}

void HostSetTextFloatA(float value) {
    Routine<SetTextFloatFn>(host::kSetTextFloatAAddr)(value);
}

void HostSetTextFloatB(float value) {
    Routine<SetTextFloatFn>(host::kSetTextFloatBAddr)(value);
}

void HostSetTextFlag(uint32_t value) {
    Routine<SetTextFlagFn>(host::kSetTextFlagAddr)(value);
}

void HostSetTextIntB(int32_t value) {
    Routine<SetTextIntFn>(host::kSetTextIntBAddr)(value);
}

void HostPrintText(float x, float y, const char* text) {
    Routine<PrintTextFn>(host::kPrintTextAddr)(x, y, text);
}
