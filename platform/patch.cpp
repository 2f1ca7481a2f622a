// The two primitives that write game code: one byte, and a redirected call.
#include "platform/patch.h"

#include <windows.h>

namespace {

constexpr uint8_t kCallRel32 = 0xE8;
constexpr SIZE_T kCallSize = 5;

// Makes [address, address + size) writable for its lifetime and puts back the
// protection it found, whatever that was.
struct WritableCode {
    void* address;
    SIZE_T size;
    DWORD previous = 0;
    WritableCode(uintptr_t at, SIZE_T bytes) : address(reinterpret_cast<void*>(at)), size(bytes) {
        VirtualProtect(address, size, PAGE_EXECUTE_READWRITE, &previous);
    }
    ~WritableCode() {
        DWORD ignored;
        VirtualProtect(address, size, previous, &ignored);
    }
    WritableCode(const WritableCode&) = delete;
    WritableCode& operator=(const WritableCode&) = delete;
};

uint8_t CodeByteAt(uintptr_t address) {
    return *reinterpret_cast<const volatile uint8_t*>(address);
}

}  // namespace

// The tick asks for the same bytes on almost every pass. A site that already
// holds them is left alone: the game could not tell the difference, and each
// write would otherwise cost two protection changes.
void PatchByte(uintptr_t address, uint8_t value) {
    if (CodeByteAt(address) == value) return;
    WritableCode writable(address, 1);
    *reinterpret_cast<volatile uint8_t*>(address) = value;
}

void RedirectCall(uintptr_t site, const void* target) {
    // The displacement is relative to the end of the 5-byte instruction, in 32-bit wrap-around.
    const uint32_t displacement = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(target)) -
                                  static_cast<uint32_t>(site + kCallSize);
    if (CodeByteAt(site) == kCallRel32 && *reinterpret_cast<const volatile uint32_t*>(site + 1) == displacement) return;
    WritableCode writable(site, kCallSize);
    *reinterpret_cast<volatile uint8_t*>(site) = kCallRel32;
    *reinterpret_cast<volatile uint32_t*>(site + 1) = displacement;
}
