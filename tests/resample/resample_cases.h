// Random resampling calls for the resampling tests: descriptors over harness planes (margins as
// bytes before and after each row), position tables, weight entries and masks.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "brisklane/vl.h"
#include "tests/support/differential.h"

namespace rstest {

// One call of the driver with everything it points to.
struct DriverCase {
  vl_image src{}, dst{};
  int bytes = 1, fwH = 1, fwV = 1, edgeH = 1, edgeV = 1, integral = 0, scale = 1;
  std::vector<int32_t> iH, iV;
  std::vector<uint32_t> entries;  // weight entries, 8 words each
  std::vector<uint32_t*> wH, wV;
  std::string describe() const;
};

// Weight entries for `phases` phases of `taps` taps in the layout of `bytes`-byte samples:
// mostly filters that sum to about 1.0, sometimes any 16-bit values.
std::vector<uint32_t> random_entries(int phases, int taps, int bytes, std::mt19937& rng);

// Non-decreasing first taps of n destination positions over a source of `size` positions:
// uniform scales (shrinks and enlargements, with offsets reaching past the edges), random steps
// (repeats and skips), or integral enlargements by `run` (runs of equal entries).
std::vector<int32_t> random_positions(int n, int size, int taps, int run, std::mt19937& rng);

// A random driver call for a shape (cols, rows: destination width and height); planes: 0 the
// destination, 1 the source with its margins.
std::shared_ptr<DriverCase> random_driver_case(const bltest::Shape& sh, std::mt19937& rng, int bytes,
                                               std::vector<bltest::Plane>& planes);
// Points the descriptors at the planes of a run.
void bind(DriverCase& c, const bltest::Bases& b);

}  // namespace rstest
