// Every address of the game process that the module touches, each declared once
// here with what the game keeps there. They are valid only in the game variants
// accepted by SupportedHost(); nothing else may dereference them.
#pragma once

#include <cstdint>

namespace host {

// Image signature words that tell the game variants apart.
constexpr uintptr_t kUnsupportedSignatureAddr = 0x8A6168;
constexpr uint32_t kUnsupportedSignature = 0x8523A0;
constexpr uintptr_t kSupportedSignatureAddr = 0x8A4004;
constexpr uint32_t kSupportedSignatureA = 0x8339CA;
constexpr uint32_t kSupportedSignatureB = 0x833A0A;

// Game state.
constexpr uintptr_t kGameActiveAddr = 0xB7CB84;      // u32, nonzero while a game runs
constexpr uintptr_t kClockMsAddr = 0xB610E0;         // u32, running clock in ms
constexpr uintptr_t kRadioVolumeAddr = 0xB5FCC8;     // float, radio volume setting
constexpr uintptr_t kAttenuationAddr = 0xB6FC24;     // float 0..255, radio ducking
constexpr uintptr_t kCapWordAddr = 0xB5F8BB;         // u16, nonzero caps the radio at 0.4
constexpr uintptr_t kCapByteAddr = 0xB6F065;         // u8, nonzero caps the radio at 0.4
constexpr uintptr_t kAltStationFlagAddr = 0xBA67A4;  // u8, nonzero: alternative station in use
constexpr uintptr_t kAltStationAddr = 0xBA679A;      // u8, the alternative station number
constexpr uintptr_t kStationBaseAddr = 0x8CB764;     // i32, station base; nonzero selects "colorA"
constexpr uintptr_t kStationStepAddr = 0x8CB7A5;     // i8, step added to the station base
constexpr uintptr_t kRadioStateAddr = 0x8CB760;      // u8, 7 keeps the game radio on while opening
constexpr uintptr_t kRadioModeAddr = 0xBA68A5;       // u8, 3 makes the radio audible anywhere
constexpr uintptr_t kVehicleRadioOffAddr = 0xA43088; // u8, must be 0 for the in-vehicle radio
constexpr uintptr_t kPlayerAddr = 0xB7CD98;          // pointer to the player object, or null
constexpr uintptr_t kPlayerStateOffset = 0x530;      // u8 in the player: 50 while driving
constexpr uint8_t kPlayerStateDriving = 50;
constexpr uintptr_t kPlayerVehicleOffset = 0x58C;    // pointer in the player: vehicle or null
constexpr uintptr_t kVehicleModelOffset = 0x22;      // u16 in the vehicle: model index
constexpr uintptr_t kModelRecordsAddr = 0x85D2CB;    // 36-byte model records; first byte 0 = has radio
constexpr uintptr_t kModelRecordSize = 36;
constexpr uintptr_t kOpenWaitAddr = 0x4EB81E;        // i16 in game code: ms to wait before a file opens

// Text and colour objects of the game.
constexpr uintptr_t kNameKeySlotAddr = 0x85F3A0;     // 7-byte text key of the station name
constexpr uintptr_t kTextTableAddr = 0xC1B340;       // text table object
constexpr uintptr_t kPaletteAddr = 0xBAB22C;         // HUD palette object

// Game routines.
constexpr uintptr_t kTextLookupAddr = 0x6A0050;      // member of the text table: key -> text entry
constexpr uintptr_t kCopyAsciiTextAddr = 0x718600;   // (text, entry)
constexpr uintptr_t kPaletteColourAddr = 0x58FEA0;   // member of the palette: (dest rgba, index)
constexpr uintptr_t kSetTextColourAddr = 0x719430;   // (rgba as one u32, red lowest)
constexpr uintptr_t kSetTextScaleAddr = 0x719380;    // (x, y)
constexpr uintptr_t kSetTextIntAAddr = 0x719490;     // (int)
constexpr uintptr_t kSetTextFloatAAddr = 0x7194E0;   // (float)
constexpr uintptr_t kSetTextFloatBAddr = 0x7194F0;   // (float)
constexpr uintptr_t kSetTextFlagAddr = 0x7195B0;     // (byte truth value in a 32-bit slot)
constexpr uintptr_t kSetTextIntBAddr = 0x719610;     // (int)
constexpr uintptr_t kPrintTextAddr = 0x71A700;       // (x, y, text)

// Game code sites the module rewrites.
constexpr uintptr_t kBannerCallSite = 0x57C2B5;      // 5-byte call in the HUD drawing
constexpr uintptr_t kNameColourCallSite = 0x4E9FBA;  // 5-byte call setting the station name colour
constexpr uintptr_t kShadowRedSite = 0x4E9F69;       // imm8 operands of the name shadow colour
constexpr uintptr_t kShadowGreenSite = 0x4E9F6B;
constexpr uintptr_t kShadowBlueSite = 0x4E9F6D;
constexpr uintptr_t kRadioOutputSite = 0x4D8CE4;     // imm8: 0x18 lets the game radio sound, 0 silences it
constexpr uint8_t kRadioOutputOn = 0x18;
constexpr uint8_t kRadioOutputOff = 0x00;
constexpr uintptr_t kRadioRetuneSite = 0x4EBA0B;     // imm8: 7 normally, 0 while a stream opens
constexpr uint8_t kRadioRetuneOn = 0x07;
constexpr uint8_t kRadioRetuneOff = 0x00;

template <typename T>
inline T Read(uintptr_t address) {
    return *reinterpret_cast<const volatile T*>(address);
}

template <typename T>
inline void Write(uintptr_t address, T value) {
    *reinterpret_cast<volatile T*>(address) = value;
}

}  // namespace host

// One fresh read per call: the game changes these under our feet.
inline uint32_t HostUnsupportedSignature() { return host::Read<uint32_t>(host::kUnsupportedSignatureAddr); }
inline uint32_t HostSupportedSignature() { return host::Read<uint32_t>(host::kSupportedSignatureAddr); }
inline uint32_t HostGameActive() { return host::Read<uint32_t>(host::kGameActiveAddr); }
inline uint32_t HostClockMs() { return host::Read<uint32_t>(host::kClockMsAddr); }
inline float HostRadioVolume() { return host::Read<float>(host::kRadioVolumeAddr); }
inline float HostAttenuation() { return host::Read<float>(host::kAttenuationAddr); }
inline uint16_t HostCapWord() { return host::Read<uint16_t>(host::kCapWordAddr); }
inline uint8_t HostCapByte() { return host::Read<uint8_t>(host::kCapByteAddr); }
inline uint8_t HostAltStationFlag() { return host::Read<uint8_t>(host::kAltStationFlagAddr); }
inline uint8_t HostAltStation() { return host::Read<uint8_t>(host::kAltStationAddr); }
inline int32_t HostStationBase() { return host::Read<int32_t>(host::kStationBaseAddr); }
inline int8_t HostStationStep() { return host::Read<int8_t>(host::kStationStepAddr); }
inline uint8_t HostRadioState() { return host::Read<uint8_t>(host::kRadioStateAddr); }
inline uint8_t HostRadioMode() { return host::Read<uint8_t>(host::kRadioModeAddr); }
inline uint8_t HostVehicleRadioOff() { return host::Read<uint8_t>(host::kVehicleRadioOffAddr); }
inline uintptr_t HostPlayer() { return host::Read<uintptr_t>(host::kPlayerAddr); }
inline uint8_t HostPlayerState(uintptr_t player) { return host::Read<uint8_t>(player + host::kPlayerStateOffset); }
inline uintptr_t HostPlayerVehicle(uintptr_t player) { return host::Read<uintptr_t>(player + host::kPlayerVehicleOffset); }
inline uint16_t HostVehicleModel(uintptr_t vehicle) { return host::Read<uint16_t>(vehicle + host::kVehicleModelOffset); }
inline uint8_t HostModelNoRadio(uint16_t model) {
    return host::Read<uint8_t>(host::kModelRecordsAddr + host::kModelRecordSize * model);
}
inline int16_t HostOpenWaitMs() { return host::Read<int16_t>(host::kOpenWaitAddr); }

// Game routines, each with its calling convention in its type.
char* HostTextLookup(const char* key);
void HostCopyAsciiText(const char* text, char* entry);
// The palette entry as the game passes colours: one 32-bit value, red lowest.
uint32_t HostPaletteColour(uint32_t index);
void HostSetTextColour(uint32_t rgba);
void HostSetTextScale(float x, float y);
void HostSetTextIntA(int32_t value);
void HostSetTextFloatA(float value);
void HostSetTextFloatB(float value);
void HostSetTextFlag(uint32_t value);
void HostSetTextIntB(int32_t value);
void HostPrintText(float x, float y, const char* text);
