#pragma once

#include <array>
#include <cstdint>

namespace quillon {

// The two 32-byte keys built into the program. Every protected INI value and every container's
// ID block depends on them: changing either makes stored data unreadable.

// Seals and unseals protected INI values (256-bit key, 128-bit blocks).
const std::array<uint8_t, 32>& IniKey();

// Encrypts a container's ID block (256-bit key, one 256-bit block).
const std::array<uint8_t, 32>& IdKey();

}  // namespace quillon
