// The reference host's demo on the user's own image: PNG inputs of every kind run the whole
// table, and anything else is one line of error and exit status 2.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Outcome {
  int status;
  std::string output;
};

Outcome hostsim(const std::string& args) {
  const char* exe = std::getenv("BL_HOSTSIM");
  const char* lib = std::getenv("BL_LIBRARY");
  const std::string cmd = std::string(exe ? exe : "./hostsim") + " demo --lib " + (lib ? lib : "./libbrisklane.so") +
                          " " + args + " 2>&1";
  Outcome r{-1, ""};
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string temp_path(const std::string& name) { return ::testing::TempDir() + "/" + name; }

// A w x h PNG in the given libpng format with a little structure in it.
std::string write_png(const std::string& name, int w, int h, png_uint_32 format) {
  png_image im{};
  im.version = PNG_IMAGE_VERSION;
  im.width = static_cast<png_uint_32>(w);
  im.height = static_cast<png_uint_32>(h);
  im.format = format;
  std::vector<uint8_t> px(PNG_IMAGE_SIZE(im));
  for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 7 + i / 13);
  const std::string path = temp_path(name);
  EXPECT_TRUE(png_image_write_to_file(&im, path.c_str(), 0, px.data(), 0, nullptr)) << path;
  return path;
}

// Colour type byte of a written PNG (IHDR byte 25): 0 grey, 2 RGB.
int colour_type(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return -1;
  unsigned char head[26] = {};
  const size_t n = std::fread(head, 1, sizeof head, f);
  std::fclose(f);
  return n == sizeof head ? head[25] : -1;
}

TEST(HostsimInput, EveryKindOfPngRunsTheWholeTable) {
  struct Case {
    const char* name;
    int w, h;
    png_uint_32 format;
    int expect_colour_type;
  };
  for (const Case& c : {Case{"grey.png", 77, 45, PNG_FORMAT_GRAY, 0}, Case{"rgb.png", 130, 67, PNG_FORMAT_RGB, 2},
                        Case{"rgba.png", 64, 64, PNG_FORMAT_RGBA, 2}, Case{"one.png", 1, 1, PNG_FORMAT_GA, 0}}) {
    const std::string out = temp_path(std::string("out_") + c.name);
    const Outcome r = hostsim("--input " + write_png(c.name, c.w, c.h, c.format) + " --out " + out);
    EXPECT_EQ(r.status, 0) << c.name << "\n" << r.output;
    EXPECT_NE(r.output.find(" 0 outside their allowed difference"), std::string::npos) << c.name << "\n" << r.output;
    EXPECT_EQ(colour_type(out + "/blend_overlay.png"), c.expect_colour_type) << c.name;
  }
}

TEST(HostsimInput, AnythingElseIsOneLineAndStatusTwo) {
  const std::string text = temp_path("not_a_png.png");
  FILE* f = std::fopen(text.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("plain text\n", f);
  std::fclose(f);
  for (const std::string& path : {temp_path("missing.png"), text, write_png("wide.png", 40000, 1, PNG_FORMAT_GRAY)}) {
    const Outcome r = hostsim("--no-images --input " + path);
    EXPECT_EQ(r.status, 2) << path << "\n" << r.output;
    EXPECT_EQ(r.output.rfind("hostsim: " + path + ": ", 0), 0u) << r.output;
    EXPECT_EQ(r.output.find('\n'), r.output.size() - 1) << r.output;
  }
}

}  // namespace
