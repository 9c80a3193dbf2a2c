// The reference host: a stand-in for Canvara that loads the extension as Canvara would.
//
// It builds an extension record with the eleven suites, fills every patched slot with its own
// plain implementation of the routine (what Canvara itself computes), loads libbrisklane.so with
// dlopen and initialises it through main_entry.  Area files add host routines and demo cases
// through the registration macros below.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "brisklane/host_abi.h"

namespace hs {

// Row numbers of the patch table, by routine name: hs::Row::BlendConst == 2.
struct Row {
  enum : int {
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) Name = row,
#include "brisklane/routines.def"
#undef BL_ROW
  };
};

// Calls of each host routine (index: patch row), and of WaitFinished.
extern std::atomic<long> g_calls[81];
extern std::atomic<long> g_wait_calls;
inline void count_call(int row) { g_calls[row].fetch_add(1, std::memory_order_relaxed); }

// Registers the host's own implementation of a patched routine (type-checked against the slot).
void register_host_routine(int row, BLRoutine fn);
template <int kRow>
struct HostRoutineRegistrar {
  explicit HostRoutineRegistrar(BLRoutine fn) { register_host_routine(kRow, fn); }
};
#define HS_HOST_ROUTINE(Name, fn)                                                              \
  static_assert(std::is_same_v<decltype(&fn), Name##Proc>, #fn " must have the host signature"); \
  static const ::hs::HostRoutineRegistrar<::hs::Row::Name> hs_registrar_##Name(reinterpret_cast<BLRoutine>(&fn))

// The host's implementation in a slot (what runs without the extension).
BLRoutine host_routine(int row);
template <class Proc>
Proc host_proc(int row) { return reinterpret_cast<Proc>(host_routine(row)); }

// ---- the loaded extension ------------------------------------------------------------

struct SuiteLayout {
  uint32_t code;
  uint16_t count;
};

class Host {
 public:
  Host();
  ~Host();
  // Loads the library; false (with a message in error()) when dlopen fails.
  bool load(const std::string& path);
  // Calls main_entry(1) with the record and returns the status.
  int16_t initialise();
  void about();
  void* symbol(const char* name) const;
  const std::string& error() const { return error_; }

  ExtensionRecord* record() { return record_; }
  SuiteRecord* suite(uint32_t code);
  // What the host would call now for a patch row: the slot's current routine.
  BLRoutine slot(int row);
  template <class Proc>
  Proc slot_proc(int row) { return reinterpret_cast<Proc>(slot(row)); }
  // True when the slot holds the extension's replacement.
  bool replaced(int row);

 private:
  void* handle_ = nullptr;
  std::string error_;
  std::vector<unsigned char> record_storage_;
  ExtensionRecord* record_ = nullptr;
  std::vector<std::vector<BLRoutine>> tables_;
};

struct PatchRowInfo {
  int row;
  uint32_t suite;
  uint32_t slot;
  const char* name;
  const char* kind;  // WAITS, NOWAIT or PLAIN
};
const std::vector<PatchRowInfo>& patch_rows();
uint32_t suite_code(const char* name);

// ---- the demo ------------------------------------------------------------------------

// The demo's image: four 8-bit planes (red, green, blue, alpha) of width x height.  A grey
// input fills red, green and blue alike; an input without alpha gets alpha 255.
struct Image {
  int width = 0, height = 0;
  int channels = 4;  // of the input: 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
  std::vector<uint8_t> plane[4];
  bool colour() const { return channels >= 3; }
};
const Image& builtin_image();
// Reads a PNG (grey, RGB, with or without alpha, palette, 8 or 16 bits) into `out`.  False,
// with a one-line reason in `error`, when the file is missing, is not a PNG, or is larger than
// the host's 16-bit sizes or this process's memory allow.
bool load_png(const std::string& path, Image& out, std::string& error);

// Writes w x h pixels from one row pointer per row (8- or 16-bit samples, big-endian for 16).
bool write_png_rows(const std::string& path, int w, int h, int bit_depth, int color_type,
                    const std::vector<unsigned char*>& rows);
bool write_png_gray(const std::string& path, const uint8_t* p, int w, int h, int stride);
bool write_png_rgb(const std::string& path, const uint8_t* r, const uint8_t* g, const uint8_t* b, int w, int h,
                   int stride);
// An output image of the demo: in colour from three planes when the input has colour, otherwise
// grey from the first.
bool write_png_planes(const std::string& path, const Image& input, const uint8_t* const planes[3], int w, int h,
                      int stride);

struct DemoResult {
  std::string routine;
  bool accelerated = false;   // the extension ran its own kernel (the host routine was not called)
  int max_difference = 0;     // largest |host - extension| over every output byte
  int allowed_difference = 0; // what the routine's rounding permits
  double host_seconds = 0;    // one call of the host's routine
  double ext_seconds = 0;     // one call through the slot
  std::string note;
};

struct DemoContext {
  Host& host;
  const Image& image;
  std::string out_dir;  // where PNGs go; empty: none written
};

using DemoFn = std::vector<DemoResult> (*)(DemoContext&);
void register_demo(int order, DemoFn fn);
struct DemoRegistrar {
  DemoRegistrar(int order, DemoFn fn) { register_demo(order, fn); }
};
#define HS_DEMO(order, fn) static const ::hs::DemoRegistrar hs_demo_##fn(order, &fn)

// Best time of `reps` runs of f (seconds per run).
template <class F>
double best_time(int reps, F&& f);

// Calls through a patch row's slot and tells whether the extension handled the call itself
// (the host routine for that row was not reached).
template <class F>
bool ran_in_extension(int row, F&& call) {
  const long before = g_calls[row].load();
  call();
  return g_calls[row].load() == before;
}

}  // namespace hs

#include <chrono>
template <class F>
double hs::best_time(int reps, F&& f) {
  double best = 1e30;
  for (int i = 0; i < reps; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}
