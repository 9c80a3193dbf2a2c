// Per-routine configuration file and its exported reader.
//
// One line per host routine: its name, then any of the keywords "nopatch", "gav", "debug",
// "rowbytes" and "announce".  Lines starting with '#' are comments.  Lines are read through an
// 80-byte buffer, so a longer line becomes several entries.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "brisklane/host_abi.h"

extern "C" {

char* config[BL_CONFIG_MAX] = {};
int32_t configs = 0;
int32_t should_patch[BL_CONFIG_MAX] = {};
int32_t should_use_gav[BL_CONFIG_MAX] = {};
int32_t should_debug[BL_CONFIG_MAX] = {};
int32_t should_show_rowbytes[BL_CONFIG_MAX] = {};
int32_t should_announce[BL_CONFIG_MAX] = {};

int32_t read_config(const char* path) {
  FILE* f = std::fopen(path, "r");
  if (!f) return 0;
  char line[80];
  int32_t n = 0;
  // The tables hold 600 entries; lines past that are not stored.
  while (n < BL_CONFIG_MAX && std::fgets(line, sizeof line, f)) {
    if (line[0] == '#') continue;
    const size_t len = std::strlen(line);
    char* copy = static_cast<char*>(std::malloc(len + 1));
    if (!copy) break;
    std::memcpy(copy, line, len + 1);
    if (len > 0) copy[len - 1] = '\0';  // drop the last character, normally the newline
    config[n] = copy;
    // Keywords are tested on the whole line in the buffer, the routine name included.
    should_patch[n] = std::strstr(line, "nopatch") == nullptr;
    should_use_gav[n] = std::strstr(line, "gav") != nullptr;
    should_debug[n] = !silent && std::strstr(line, "debug") != nullptr;
    should_show_rowbytes[n] = !silent && std::strstr(line, "rowbytes") != nullptr;
    should_announce[n] = !silent && std::strstr(line, "announce") != nullptr;
    ++n;
  }
  std::fclose(f);
  configs = n;
  return 1;
}

}  // extern "C"

namespace {

// Index of the first entry naming the routine, or -1.  The name must be followed by white space
// or the end of the entry, so "Blur" does not match a line for "BlurRect".
int find_entry(const char* name) {
  const size_t len = std::strlen(name);
  for (int32_t i = 0; i < configs; ++i) {
    const char* e = config[i];
    if (!e || std::strncmp(e, name, len) != 0) continue;
    const unsigned char next = static_cast<unsigned char>(e[len]);
    if (next == '\0' || std::isspace(next)) return i;
  }
  return -1;
}

}  // namespace

extern "C" {

int32_t should_patch_bottleneck(const char* name) {
  const int i = find_entry(name);
  return i < 0 ? 0 : should_patch[i];
}

void get_bottleneck_info(const char* name, int32_t* debugOut, int32_t* useGav, int32_t* showRowBytes,
                         int32_t* announce) {
  *debugOut = debug;
  *useGav = 1;
  const int i = find_entry(name);
  if (i < 0) return;
  *debugOut = should_debug[i];
  *useGav = should_use_gav[i];
  *showRowBytes = should_show_rowbytes[i];
  *announce = should_announce[i];
}

int32_t elapsed_seconds(int64_t later, int64_t earlier) {
  return static_cast<int32_t>((later - earlier) / 1000000000);
}

}  // extern "C"
