// The program's windows drawn by the GDI+ canvas against the same windows drawn by Cairo
// (written by vrnke_render_scenes of a POSIX build). The layout must be the same numbers; the
// pixels may differ where the two rasterisers and font renderers do (see the README of this
// folder for why the tolerance is what it is). Every GDI+ render and a picture of the
// difference are written to VRNKE_COMPARE_OUT for a person to look at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "canvas_scenes.h"

namespace vrnke::test {
namespace {

namespace fs = std::filesystem;

// A pixel differs when one of its channels is off by more than this (of 255).
constexpr int kChannelTolerance = 40;

// How much of a window may differ, by the start of its name: the share of differing pixels
// and the mean channel difference. The main window is mostly pictures and gradients, which
// both canvases draw alike; the dialogs are mostly text, whose glyphs the two font engines
// place a pixel apart and wrap at different words (see the README of this folder).
struct TLimit {
  const char* prefix;
  double share;
  double mean;
};
constexpr TLimit kLimits[] = {{"SettingMain", 0.015, 2.0},
                              {"FunctionMenu", 0.02, 4.0},
                              {"SingleKeyfrm", 0.07, 12.0},
                              {"combofrm", 0.07, 12.0}};

const TLimit& LimitOf(const std::string& name) {
  for (const TLimit& l : kLimits)
    if (name.rfind(l.prefix, 0) == 0) return l;
  throw std::runtime_error("no limit for " + name);
}

// Folders come from the Windows stage of the test script as POSIX paths; Wine shows the root
// of the POSIX file system as drive Z.
std::string FromEnv(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) return {};
  std::string s = v;
  if (s[0] == '/') s = "Z:" + s;
  return s;
}

std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

int ChannelDifference(tk::TAlphaColor a, tk::TAlphaColor b) {
  int d = 0;
  for (int shift = 0; shift < 32; shift += 8)
    d = std::max(d, std::abs(int((a >> shift) & 255) - int((b >> shift) & 255)));
  return d;
}

// The first line where two layouts part, for the failure message.
std::string FirstDifference(const std::string& a, const std::string& b) {
  std::istringstream sa(a), sb(b);
  std::string la, lb;
  for (int n = 1;; ++n) {
    const bool ea = !std::getline(sa, la), eb = !std::getline(sb, lb);
    if (ea && eb) return "none";
    if (ea || eb || la != lb) return "line " + std::to_string(n) + ": Cairo '" + la + "', GDI+ '" + lb + "'";
  }
}

TEST(CanvasCompare, WindowsHaveTheSameLayoutAndNearlyTheSamePixels) {
  const std::string cairoDir = FromEnv("VRNKE_CAIRO_SCENES"), formsDir = FromEnv("VRNKE_FORMS_DIR"),
                    qvLocal = FromEnv("VRNKE_QV_LOCAL"), outDir = FromEnv("VRNKE_COMPARE_OUT");
  ASSERT_FALSE(cairoDir.empty() || formsDir.empty() || qvLocal.empty() || outDir.empty())
      << "VRNKE_CAIRO_SCENES, VRNKE_FORMS_DIR, VRNKE_QV_LOCAL and VRNKE_COMPARE_OUT must be set "
         "(scripts/test-windows.sh sets them)";
  fs::create_directories(outDir);
  tk::SetBackend(std::make_unique<tk::THeadlessBackend>(1366, 768));
  std::vector<TRenderedScene> scenes;
  {
    TSceneRenderer renderer(formsDir, qvLocal);
    scenes = renderer.RenderAll();
  }
  ASSERT_EQ(scenes.size(), 7u);
  for (const TRenderedScene& s : scenes) {
    SCOPED_TRACE(s.name);
    const fs::path cairoPng = fs::path(cairoDir) / (s.name + ".png");
    ASSERT_TRUE(fs::exists(cairoPng)) << cairoPng;
    EXPECT_EQ(FirstDifference(ReadText(fs::path(cairoDir) / (s.name + ".layout")), s.layout), "none");

    tk::TBitmap cairo;
    cairo.LoadFromFile(cairoPng.string());
    s.picture.SaveToFile((fs::path(outDir) / (s.name + ".gdiplus.png")).string());
    ASSERT_EQ(cairo.Width(), s.picture.Width());
    ASSERT_EQ(cairo.Height(), s.picture.Height());
    tk::TBitmap diff(cairo.Width(), cairo.Height());
    long differing = 0;
    double sum = 0;
    for (int y = 0; y < cairo.Height(); ++y)
      for (int x = 0; x < cairo.Width(); ++x) {
        const tk::TAlphaColor a = cairo.Pixel(x, y), b = s.picture.Pixel(x, y);
        const int d = ChannelDifference(a, b);
        sum += d;
        if (d > kChannelTolerance) {
          ++differing;
          diff.SetPixel(x, y, 0xFFFF0000);
        } else if (d > 8) {
          diff.SetPixel(x, y, 0xFFFFD000);  // differs, within the tolerance
        } else {
          const unsigned grey = (((a >> 16) & 255) + ((a >> 8) & 255) + (a & 255)) / 6;
          diff.SetPixel(x, y, 0xFF000000 | grey << 16 | grey << 8 | grey);
        }
      }
    diff.SaveToFile((fs::path(outDir) / (s.name + ".diff.png")).string());
    const double total = double(cairo.Width()) * cairo.Height();
    std::printf("%-20s %6.3f %% of the pixels differ by more than %d, mean difference %.2f\n", s.name.c_str(),
                100.0 * double(differing) / total, kChannelTolerance, sum / total);
    const TLimit& limit = LimitOf(s.name);
    EXPECT_LE(double(differing), limit.share * total)
        << differing << " of " << long(total) << " pixels differ; renders in " << outDir;
    EXPECT_LE(sum / total, limit.mean) << "renders in " << outDir;
  }
  tk::SetBackend(nullptr);
}

}  // namespace
}  // namespace vrnke::test
