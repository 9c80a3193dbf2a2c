// Random weight entries and position tables for the resampling tests.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace rstest {

// Weight entries for `phases` phases of `taps` taps in the layout of `bytes`-byte samples:
// mostly filters that sum to about 1.0, sometimes any 16-bit values.
std::vector<uint32_t> random_entries(int phases, int taps, int bytes, std::mt19937& rng);

// Non-decreasing first taps of n destination positions over a source of `size` positions:
// uniform scales (shrinks and enlargements, with offsets reaching past the edges), random steps
// (repeats and skips), or integral enlargements by `run` (runs of equal entries).
std::vector<int32_t> random_positions(int n, int size, int taps, int run, std::mt19937& rng);

}  // namespace rstest
