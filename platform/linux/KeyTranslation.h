#pragma once

#include <cstdint>

// The Windows virtual-key code the program's key handling expects for an X keysym;
// 0 for keys it has no use for.
uint32_t virtualKeyOfKeysym(unsigned long keysym);
