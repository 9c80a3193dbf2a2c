// The exported per-routine configuration reader.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/abi/test_host.h"

using namespace abitest;

namespace {

struct Config {
  Lib lib;
  int32_t (*read)(const char*) = lib.fn<int32_t (*)(const char*)>("read_config");
  int32_t (*patch)(const char*) = lib.fn<int32_t (*)(const char*)>("should_patch_bottleneck");
  int32_t& configs = *lib.sym<int32_t>("configs");
  char** config = lib.sym<char*>("config");

  // Reads `text` as a configuration file; returns read_config's answer.
  int32_t read_text(const std::string& text) {
    char path[] = "/tmp/bl_config_XXXXXX";
    const int fd = mkstemp(path);
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    const int32_t r = written ? read(path) : -1;
    unlink(path);
    return r;
  }
  // get_bottleneck_info as "debug,gav,rowbytes,announce", each output 9 before the call.
  std::string info(const char* name) {
    int32_t v[4] = {9, 9, 9, 9};
    lib.fn<void (*)(const char*, int32_t*, int32_t*, int32_t*, int32_t*)>("get_bottleneck_info")(name, &v[0], &v[1],
                                                                                                 &v[2], &v[3]);
    return std::to_string(v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]) + "," + std::to_string(v[3]);
  }
};

}  // namespace

TEST(Config, KeywordsNamesCommentsAndLongFiles) {
  EXPECT_CHILD(([] {
    Config c;
    CHECK(c.patch("BlurRect") == 0);  // nothing read yet
    CHECK(c.read_text("# BlurRect nopatch\nBlurRect gav debug rowbytes announce\nBlurRectX nopatch\nMapRect\tnopatch\n"
                      "MapRect gav\n\nSharpenRect\ndebugRect\nMoveRect nopatch gav") == 1);
    CHECK(c.configs == 8);  // the comment is not stored, the empty line is
    CHECK(std::strcmp(c.config[0], "BlurRect gav debug rowbytes announce") == 0 && c.config[4][0] == 0);
    CHECK(std::strcmp(c.config[7], "MoveRect nopatch ga") == 0);  // no newline: the last character dropped
    CHECK(c.patch("BlurRect") == 1 && c.patch("Blur") == 0 && c.patch("BlurRectX") == 0);  // whole names only
    CHECK(c.patch("MapRect") == 0);                                                        // the first line wins
    CHECK(c.patch("SharpenRect") == 1 && c.patch("MoveRect") == 0);  // keywords anywhere on the line
    CHECK(c.patch("WaitFinished") == 0);
    // silent is 1 from the start: debug, rowbytes and announce have no effect.
    CHECK(c.info("BlurRect") == "0,1,0,0" && c.info("SharpenRect") == "0,0,0,0" && c.info("MoveRect") == "0,1,0,0");
    *c.lib.sym<int32_t>("debug") = 5;
    CHECK(c.info("Nothing") == "5,1,9,9");  // no entry: the global debug switch, gav, the rest untouched
    CHECK(c.read("/nonexistent/brisklane.conf") == 0 && c.configs == 8 && c.patch("BlurRect") == 1);
    // A line of 100 characters is read as 79 and then 21 and the newline; entries stop at 600;
    // a second file starts from entry 0.
    std::string text = "LongRoutine " + std::string(88, 'x') + "\n";
    for (int i = 0; i < 700; ++i) text += "Routine" + std::to_string(i) + " gav\n";
    CHECK(c.read_text(text) == 1 && c.configs == 600);
    CHECK(std::strlen(c.config[0]) == 78 && std::strlen(c.config[1]) == 21);
    CHECK(c.patch("Routine597") == 1 && c.patch("Routine598") == 0 && c.patch("BlurRect") == 0);
    auto elapsed = c.lib.fn<int32_t (*)(int64_t, int64_t)>("elapsed_seconds");
    CHECK(elapsed(5999999999, 1000000000) == 4 && elapsed(1000000000, 2500000000) == -1 && elapsed(7, 7) == 0);
    return std::string();
  }));
}

TEST(Config, DiagnosticKeywordsNeedSilentOffWhileReading) {
  EXPECT_CHILD(([] {
    Config c;
    *c.lib.sym<int32_t>("silent") = 0;
    CHECK(c.read_text("BlurRect debug rowbytes announce\ndebugRect\n") == 1);
    *c.lib.sym<int32_t>("silent") = 1;  // what counts is the switch when the line was read
    CHECK(c.info("BlurRect") == "1,0,1,1");
    CHECK(c.info("debugRect") == "1,0,0,0");  // the name itself holds "debug"
    return std::string();
  }));
}
