// The only two ways the module writes game code. Only the worker thread calls
// them, so only the worker thread ever changes the protection of game pages.
#pragma once

#include <cstdint>

void PatchByte(uintptr_t address, uint8_t value);
void RedirectCall(uintptr_t site, const void* target);
