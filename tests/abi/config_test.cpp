// The exported per-routine configuration reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/abi/test_host.h"

using namespace abitest;

namespace {

std::string write_file(const std::string& text) {
  char path[] = "/tmp/bl_config_XXXXXX";
  const int fd = mkstemp(path);
  if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
  close(fd);
  return path;
}

struct Config {
  Lib lib;
  int32_t (*read)(const char*) = lib.fn<int32_t (*)(const char*)>("read_config");
  int32_t (*patch)(const char*) = lib.fn<int32_t (*)(const char*)>("should_patch_bottleneck");
  void (*info)(const char*, int32_t*, int32_t*, int32_t*, int32_t*) =
      lib.fn<void (*)(const char*, int32_t*, int32_t*, int32_t*, int32_t*)>("get_bottleneck_info");
  int32_t& configs = *lib.sym<int32_t>("configs");
  char** config = lib.sym<char*>("config");
  int32_t& silent = *lib.sym<int32_t>("silent");
  int32_t& debug = *lib.sym<int32_t>("debug");
};

}  // namespace

TEST(Config, KeywordsNamesAndComments) {
  EXPECT_CHILD(([] {
    Config c;
    CHECK(c.patch("BlurRect") == 0);  // nothing read yet
    const std::string path = write_file(
        "# BlurRect nopatch\n"
        "BlurRect gav debug rowbytes announce\n"
        "BlurRectX nopatch\n"
        "MapRect\tnopatch\n"
        "MapRect gav\n"
        "\n"
        "SharpenRect\n"
        "debugRect\n"
        "MoveRect nopatch gav");
    CHECK(c.read(path.c_str()) == 1);
    unlink(path.c_str());
    CHECK(c.configs == 8);  // the comment is not stored; the empty line is
    CHECK(std::strcmp(c.config[0], "BlurRect gav debug rowbytes announce") == 0);
    CHECK(std::strcmp(c.config[4], "") == 0);
    CHECK(std::strcmp(c.config[7], "MoveRect nopatch ga") == 0);  // no newline: last character dropped
    CHECK(c.patch("BlurRect") == 1);
    CHECK(c.patch("Blur") == 0);          // a prefix of a name is not a match
    CHECK(c.patch("BlurRectX") == 0);     // its own line says nopatch
    CHECK(c.patch("MapRect") == 0);       // the earlier line wins
    CHECK(c.patch("SharpenRect") == 1);   // name alone, then the newline
    CHECK(c.patch("MoveRect") == 0);      // keywords tested on the whole line
    CHECK(c.patch("WaitFinished") == 0);  // no line
    // silent is 1 from the start: debug, rowbytes and announce have no effect.
    int32_t dbg = 9, gav = 9, rb = 9, an = 9;
    c.info("BlurRect", &dbg, &gav, &rb, &an);
    CHECK(dbg == 0 && gav == 1 && rb == 0 && an == 0);
    c.info("SharpenRect", &dbg, &gav, &rb, &an);
    CHECK(gav == 0);
    c.info("MoveRect", &dbg, &gav, &rb, &an);
    CHECK(gav == 1);
    // No match: debug = the global switch, use = 1, the other two untouched.
    c.debug = 5;
    dbg = gav = rb = an = 9;
    c.info("Nothing", &dbg, &gav, &rb, &an);
    CHECK(dbg == 5 && gav == 1 && rb == 9 && an == 9);
    return std::string();
  }));
}

TEST(Config, DiagnosticKeywordsNeedSilentOffWhileReading) {
  EXPECT_CHILD(([] {
    Config c;
    c.silent = 0;
    const std::string path = write_file("BlurRect debug rowbytes announce\ndebugRect\n");
    CHECK(c.read(path.c_str()) == 1);
    c.silent = 1;  // what counts is the switch at the time the line was read
    int32_t dbg = 0, gav = 9, rb = 0, an = 0;
    c.info("BlurRect", &dbg, &gav, &rb, &an);
    CHECK(dbg == 1 && gav == 0 && rb == 1 && an == 1);
    c.info("debugRect", &dbg, &gav, &rb, &an);  // the name itself holds "debug"
    CHECK(dbg == 1 && rb == 0);
    // A second file starts from entry 0 again.
    const std::string second = write_file("MapRect nopatch\n");
    CHECK(c.read(second.c_str()) == 1);
    CHECK(c.configs == 1 && c.patch("BlurRect") == 0 && c.patch("MapRect") == 0);
    unlink(path.c_str());
    unlink(second.c_str());
    return std::string();
  }));
}

TEST(Config, LongLinesSplitAndTheTableStopsAt600) {
  EXPECT_CHILD(([] {
    Config c;
    // 100 characters: one read of 79, then the remaining 21 and the newline.
    const std::string longline = "LongRoutine " + std::string(88, 'x') + "\n";
    std::string text = longline;
    for (int i = 0; i < 700; ++i) text += "Routine" + std::to_string(i) + " gav\n";
    const std::string path = write_file(text);
    CHECK(c.read(path.c_str()) == 1);
    unlink(path.c_str());
    CHECK(c.configs == 600);
    CHECK(std::strlen(c.config[0]) == 78);  // 79 characters read, the last one dropped
    CHECK(std::strlen(c.config[1]) == 21);
    CHECK(c.patch("Routine597") == 1);
    CHECK(c.patch("Routine598") == 0);  // entry 600 and on were not stored
    return std::string();
  }));
}

TEST(Config, MissingFileChangesNothingAndElapsedSecondsTruncates) {
  EXPECT_CHILD(([] {
    Config c;
    const std::string path = write_file("BlurRect\n");
    CHECK(c.read(path.c_str()) == 1);
    unlink(path.c_str());
    CHECK(c.read("/nonexistent/brisklane.conf") == 0);
    CHECK(c.configs == 1 && c.patch("BlurRect") == 1);
    auto elapsed = c.lib.fn<int32_t (*)(int64_t, int64_t)>("elapsed_seconds");
    CHECK(elapsed(5999999999, 1000000000) == 4);
    CHECK(elapsed(1000000000, 2500000000) == -1);
    CHECK(elapsed(7, 7) == 0);
    return std::string();
  }));
}
