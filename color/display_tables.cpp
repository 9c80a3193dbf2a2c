#include "color/display_tables.h"

alignas(64) uint8_t GAV1G1Table[256];
alignas(64) uint8_t GAV1M1Table[256];
alignas(64) uint8_t GAVHardGammaTable[256];
alignas(64) uint32_t GAV1G4Table[256];
