// The configuration reader on arbitrary file contents: long lines, lines without a newline, NUL
// bytes, comments, more lines than the tables hold.  Every stored entry, flag and answer is held
// to a model of the reading rules: fgets through an 80-byte buffer, '#' lines skipped, the last
// character of each entry dropped, keywords searched in the whole line, at most 600 entries.
#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz.h"

namespace {

using blfuzz::fail;
using blfuzz::str;

struct Entry {
  std::string text;  // the stored copy
  bool patch, gav, debug, rowbytes, announce;
};

std::vector<Entry> model_read(const std::string& file, bool quiet) {
  std::vector<Entry> out;
  size_t pos = 0;
  while (out.size() < BL_CONFIG_MAX && pos < file.size()) {
    size_t take = 0;
    while (take < 79 && pos + take < file.size()) {
      if (file[pos + take++] == '\n') break;
    }
    const std::string buffer = file.substr(pos, take);
    pos += take;
    if (buffer[0] == '#') continue;
    const std::string line = buffer.substr(0, std::strlen(buffer.c_str()));  // as a C string
    auto has = [&](const char* k) { return line.find(k) != std::string::npos; };
    out.push_back({line.empty() ? line : line.substr(0, line.size() - 1), !has("nopatch"), has("gav"),
                   !quiet && has("debug"), !quiet && has("rowbytes"), !quiet && has("announce")});
  }
  return out;
}

int model_find(const std::vector<Entry>& entries, const std::string& name) {
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& e = entries[i].text;
    if (e.compare(0, name.size(), name) != 0 || e.size() < name.size()) continue;
    if (e.size() == name.size() || std::strchr(" \t\n\v\f\r", e[name.size()])) return static_cast<int>(i);
  }
  return -1;
}

// The names asked for: the first word of some entries, one character shorter and longer, and a few
// fixed ones.
std::vector<std::string> names_to_ask(const std::vector<Entry>& entries) {
  std::vector<std::string> names = {"", "BlurRect", "debug", "MapRect"};
  for (size_t i = 0; i < entries.size(); i += 1 + i / 8) {
    const std::string& e = entries[i].text;
    const std::string word = e.substr(0, e.find_first_of(" \t\n\v\f\r"));
    names.push_back(word);
    if (!word.empty()) names.push_back(word.substr(0, word.size() - 1));
    names.push_back(word + "X");
  }
  return names;
}

// The file lives in memory; read_config opens it by name.
const std::string& file_path(int& fd) {
  static int memfd = memfd_create("bl_config", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(memfd);
  fd = memfd;
  return path;
}

}  // namespace

BLF_CASE(read_config) {
  const bool quiet = in.ConsumeBool();
  const int32_t debug_word = in.ConsumeIntegralInRange<int32_t>(-2, 2);
  const bool missing = blfuzz::one_in(in, 64);
  const std::string file = in.ConsumeRemainingBytesAsString();

  int fd;
  const std::string& path = file_path(fd);
  if (ftruncate(fd, 0) != 0 || pwrite(fd, file.data(), file.size(), 0) != static_cast<ssize_t>(file.size()))
    fail("cannot write the configuration file");
  // Earlier inputs' entries are the caller's to free; the reader never frees them.
  for (char*& e : config) {
    std::free(e);
    e = nullptr;
  }
  silent = quiet;
  debug = debug_word;
  configs = -1;
  if (read_config(path.c_str()) != 1) fail("read_config did not read an existing file");
  const std::vector<Entry> want = model_read(file, quiet);
  if (configs != static_cast<int32_t>(want.size())) fail(str("configs ", configs, ", expected ", want.size()));
  for (size_t i = 0; i < want.size(); ++i) {
    const Entry& w = want[i];
    if (!config[i] || w.text != config[i]) fail(str("entry ", i, " differs"));
    if (should_patch[i] != w.patch || should_use_gav[i] != w.gav || should_debug[i] != w.debug ||
        should_show_rowbytes[i] != w.rowbytes || should_announce[i] != w.announce)
      fail(str("flags of entry ", i, " differ"));
  }
  if (missing) {
    if (read_config("/proc/self/fd/-1/none") != 0 || configs != static_cast<int32_t>(want.size()))
      fail("a missing file must change nothing");
  }
  for (const std::string& name : names_to_ask(want)) {
    const int i = model_find(want, name);
    if (should_patch_bottleneck(name.c_str()) != (i < 0 ? 0 : want[i].patch))
      fail(str("should_patch_bottleneck(\"", name, "\")"));
    int32_t d = 7, g = 7, r = 7, a = 7;
    get_bottleneck_info(name.c_str(), &d, &g, &r, &a);
    const bool ok = i < 0 ? d == debug_word && g == 1 && r == 7 && a == 7
                          : d == want[i].debug && g == want[i].gav && r == want[i].rowbytes && a == want[i].announce;
    if (!ok) fail(str("get_bottleneck_info(\"", name, "\")"));
  }
}
