// Display lookup tables derived from the host's colour curves.
//
// The colour conversion rebuilds them whenever the host hands over new gamma or gray curves; the
// display subsampling routines read them.  They are zero until first filled.
//
// GAV1G4Table entries are stored as big-endian words: the four bytes of an entry in memory are the
// display pixel's bytes, so the entry value (x << 16) | (y << 8) | z lies in memory as 0, x, y, z.
// Fill it with store_display_word().
#pragma once

#include <cstdint>
#include <cstring>

extern "C" {
extern uint8_t GAV1G1Table[256];        // gray display
extern uint8_t GAV1M1Table[256];        // monochrome display
extern uint8_t GAVHardGammaTable[256];  // hard gamma
extern uint32_t GAV1G4Table[256];       // gray to 32-bit display pixels
}

namespace bl {

// Stores the entry value (x << 16) | (y << 8) | z as the pixel bytes 0, x, y, z.
inline void store_display_word(uint32_t* entry, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  std::memcpy(entry, bytes, 4);
}

// The entry value of a stored entry.
inline uint32_t load_display_word(const uint32_t* entry) {
  uint8_t b[4];
  std::memcpy(b, entry, 4);
  return (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
         (static_cast<uint32_t>(b[2]) << 8) | b[3];
}

}  // namespace bl
