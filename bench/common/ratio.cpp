#include "common/ratio.h"

#include <cstdio>
#include <map>
#include <random>
#include <string>

namespace blbench {

Buffer::Buffer(size_t size, uint32_t seed) : storage_(size + 128) {
  uintptr_t p = (reinterpret_cast<uintptr_t>(storage_.data()) + 63) & ~uintptr_t{63};
  base_ = reinterpret_cast<uint8_t*>(p);
  std::mt19937 rng(seed);
  for (auto& b : storage_) b = static_cast<uint8_t>(rng());
}

void run_memcpy(benchmark::State& state, size_t bytes) {
  Buffer a(bytes, 3), b(bytes, 4);
  for (auto _ : state) {
    std::memcpy(b.at(0), a.at(0), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(2 * bytes));
}

namespace {

struct Entry {
  double seconds_per_iter = 0;
  double bytes_per_second = 0;
  double items_per_second = 0;
};

constexpr char kSmall[] = "64x64";
constexpr char kLarge[] = "2048x2048";

// The case label's detail after a leading size: "64x64_s2" -> "_s2"; "" when it does not start
// with `size`.
bool detail_after(const std::string& label, const char* size, std::string* detail) {
  const std::string z = size;
  if (label.compare(0, z.size(), z) != 0) return false;
  if (label.size() > z.size() && label[z.size()] != '_') return false;
  *detail = label.substr(z.size());
  return true;
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred || r.run_type != Run::RT_Iteration) continue;
      // "<Routine>/<variant>/<case>", without the run options Google Benchmark appends.
      std::vector<std::string> parts;
      {
        const std::string name = r.benchmark_name();
        size_t start = 0;
        while (start <= name.size()) {
          size_t end = name.find('/', start);
          if (end == std::string::npos) end = name.size();
          std::string part = name.substr(start, end - start);
          const bool option = part.rfind("min_time:", 0) == 0 || part.rfind("iterations:", 0) == 0 ||
                              part.rfind("repeats:", 0) == 0 || part.rfind("threads:", 0) == 0 ||
                              part == "real_time" || part == "process_time" || part == "manual_time";
          if (!option) parts.push_back(part);
          start = end + 1;
        }
      }
      if (parts.size() < 2) continue;
      const std::string routine = parts[0];
      const std::string variant = parts[1];
      std::string label;
      for (size_t i = 2; i < parts.size(); ++i) label += (i > 2 ? "/" : "") + parts[i];
      Entry e;
      e.seconds_per_iter = r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
      auto it = r.counters.find("bytes_per_second");
      if (it != r.counters.end()) e.bytes_per_second = it->second.value;
      it = r.counters.find("items_per_second");
      if (it != r.counters.end()) e.items_per_second = it->second.value;
      const std::string key = routine + "/" + label;
      if (!order_.count(key)) {
        order_[key] = keys_.size();
        keys_.push_back(key);
        routine_.push_back(routine);
        label_.push_back(label);
      }
      // Repetitions (--benchmark_repetitions) keep the fastest run: the least disturbed one.
      auto& slot = table_[key];
      auto old = slot.find(variant);
      if (old == slot.end() || e.seconds_per_iter < old->second.seconds_per_iter) slot[variant] = e;
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\n%-44s %10s %10s %10s  %s\n", "routine/case", "fast GB/s", "x scalar", "x memcpy", "x peers");
    for (const std::string& key : keys_) {
      auto& v = table_[key];
      auto fast = v.find("fast");
      if (fast == v.end()) continue;
      const Entry& f = fast->second;
      std::string peers;
      char buf[160];
      for (auto& [name, e] : v) {
        if (name == "fast" || name == "scalar" || name == "memcpy") continue;
        // Same work per iteration: time ratio; different work: byte-rate ratio.
        const double ratio = (e.bytes_per_second > 0 && f.bytes_per_second > 0)
                                 ? f.bytes_per_second / e.bytes_per_second
                                 : e.seconds_per_iter / f.seconds_per_iter;
        std::snprintf(buf, sizeof buf, "%s%s %.2f", peers.empty() ? "" : ", ", name.c_str(), ratio);
        peers += buf;
      }
      auto sc = v.find("scalar");
      auto mc = v.find("memcpy");
      const double xs = sc == v.end() ? 0 : sc->second.seconds_per_iter / f.seconds_per_iter;
      const double xm = (mc == v.end() || mc->second.bytes_per_second <= 0) ? 0
                                                                            : f.bytes_per_second / mc->second.bytes_per_second;
      char xs_s[32] = "-", xm_s[32] = "-";
      if (xs > 0) std::snprintf(xs_s, sizeof xs_s, "%.2f", xs);
      if (xm > 0) std::snprintf(xm_s, sizeof xm_s, "%.2f", xm);
      std::printf("%-44s %10.2f %10s %10s  %s\n", key.c_str(), f.bytes_per_second / 1e9, xs_s, xm_s, peers.c_str());
    }
    print_small_calls();
    std::fflush(stdout);
  }

 private:
  // The 64x64 case of every routine against its 2048x2048 case: fast output pixels per second.
  void print_small_calls() {
    bool header = false;
    for (size_t i = 0; i < keys_.size(); ++i) {
      std::string detail;
      if (!detail_after(label_[i], kSmall, &detail)) continue;
      auto small = table_[keys_[i]].find("fast");
      auto large_row = table_.find(routine_[i] + "/" + kLarge + detail);
      if (small == table_[keys_[i]].end() || large_row == table_.end()) continue;
      auto large = large_row->second.find("fast");
      if (large == large_row->second.end()) continue;
      const Entry& s = small->second;
      const Entry& l = large->second;
      const bool pixels = s.items_per_second > 0 && l.items_per_second > 0;
      const double rs = pixels ? s.items_per_second : s.bytes_per_second;
      const double rl = pixels ? l.items_per_second : l.bytes_per_second;
      if (rs <= 0 || rl <= 0) continue;
      if (!header) {
        std::printf("\n%-44s %12s %12s %10s\n", "routine/detail (fast, pixels/s)", "64x64 Mpx/s", "2048x2048", "small/large");
        header = true;
      }
      std::string name = routine_[i];
      if (!detail.empty()) name.append("/").append(detail, 1, std::string::npos);
      if (pixels)
        std::printf("%-44s %12.0f %12.0f %10.2f\n", name.c_str(), rs / 1e6, rl / 1e6, rs / rl);
      else
        std::printf("%-44s %12s %12s %10.2f\n", name.c_str(), "-", "-", rs / rl);
    }
  }

  std::vector<std::string> keys_, routine_, label_;
  std::map<std::string, size_t> order_;
  std::map<std::string, std::map<std::string, Entry>> table_;
};

}  // namespace

int bench_main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace blbench
