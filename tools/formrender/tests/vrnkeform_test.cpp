// Runs the vrnkeform program as a user would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "runtime/text.h"
#include "testing/display/xvfb.h"
#include "testing/platform/temp_dir.h"
#include "toolkit/canvas.h"

namespace {

namespace fs = std::filesystem;

int RunTool(const std::string& args) {
  const std::string cmd = std::string(VRNKEFORM_EXE) + " " + args + " 2>/dev/null";
  const int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

void PutString(std::ofstream& out, const std::string& utf8) {
  const std::u16string s = rt::Utf8ToUtf16(utf8);
  const int32_t n = static_cast<int32_t>(s.size());
  out.write(reinterpret_cast<const char*>(&n), 4);
  for (char16_t c : s) {
    const char b[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    out.write(b, 2);
  }
}

class Vrnkeform : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = (dir_ / "small.form").string();
    std::ofstream(form_)
        << "Small : TAnything {\n  ClientWidth = 200\n  ClientHeight = 80\n  Fill = #FF203040\n"
           "  L : TvgLabel {\n    Left = 10\n    Top = 10\n    Width = 180\n    Height = 40\n"
           "    Text = \"Save\"\n    Font.Size = 24\n    FontFill.Color = #FFFFFFFF\n"
           "    OnClick = @NotBoundHere\n  }\n  Hook : TqvHook {}\n}\n";
    std::ofstream lang(dir_ / "qv.local", std::ios::binary);
    PutString(lang, "Save\r\n");
    const int32_t count = 1;
    lang.write(reinterpret_cast<const char*>(&count), 4);
    PutString(lang, "0804");
    PutString(lang, "Save=保存\r\n");
  }
  plat::testing::TempDir temp_;
  const fs::path& dir_ = temp_.path();
  std::string form_;
};

TEST_F(Vrnkeform, RendersAFormOfAnyClassToAPngOfItsSize) {
  const std::string out = (dir_ / "out.png").string();
  ASSERT_EQ(RunTool(form_ + " " + out), 0);
  tk::TBitmap image;
  image.LoadFromFile(out);
  EXPECT_EQ(image.Width(), 200);
  EXPECT_EQ(image.Height(), 80);
  EXPECT_EQ(image.Pixel(195, 75), 0xFF203040u);

  // Translated: the label's pixels change.
  const std::string zh = (dir_ / "zh.png").string();
  ASSERT_EQ(RunTool(form_ + " " + zh + " --lang 0804 --langfile " + (dir_ / "qv.local").string()), 0);
  tk::TBitmap translated;
  translated.LoadFromFile(zh);
  int differing = 0;
  for (int y = 10; y < 50; ++y)
    for (int x = 10; x < 190; ++x) differing += image.Pixel(x, y) != translated.Pixel(x, y);
  EXPECT_GT(differing, 50);
}

TEST_F(Vrnkeform, BadArgumentsAndInputsFail) {
  const std::string out = (dir_ / "x.png").string();
  const std::string langfile = (dir_ / "qv.local").string();
  EXPECT_EQ(RunTool(""), 2);
  EXPECT_EQ(RunTool(form_), 2);
  EXPECT_EQ(RunTool(form_ + " " + out + " --lang 0804"), 2);
  EXPECT_EQ(RunTool(form_ + " " + out + " --bogus"), 2);
  EXPECT_EQ(RunTool((dir_ / "missing.form").string() + " " + out), 1);
  EXPECT_EQ(RunTool(form_ + " " + out + " --lang 0404 --langfile " + langfile), 1);
  EXPECT_EQ(RunTool(form_ + " " + out + " --lang 0804 --langfile " + (dir_ / "none.local").string()), 1);
  std::ofstream(dir_ / "cut.local", std::ios::binary) << std::string("\x40\0\0\0S\0", 6);
  EXPECT_EQ(RunTool(form_ + " " + out + " --lang 0804 --langfile " + (dir_ / "cut.local").string()), 1);
  EXPECT_FALSE(fs::exists(out));
  std::ofstream(dir_ / "broken.form") << "Broken : TX {\n  A : TvgNoSuchControl {}\n}\n";
  EXPECT_EQ(RunTool((dir_ / "broken.form").string() + " " + out), 0);  // an unknown class is a placeholder
  fs::remove(out);
  std::ofstream(dir_ / "bad.form") << "Bad : TX {\n  L : TvgLabel { Width = wide }\n}\n";
  EXPECT_EQ(RunTool((dir_ / "bad.form").string() + " " + out), 1);
  EXPECT_FALSE(fs::exists(out));
}

TEST_F(Vrnkeform, ShowNeedsADisplayAndSaysSo) {
  const std::string cmd = "env -u DISPLAY " + std::string(VRNKEFORM_EXE) + " " + form_ + " --show 2>&1";
  FILE* f = popen(cmd.c_str(), "r");
  ASSERT_NE(f, nullptr);
  char buf[512] = {};
  const size_t n = fread(buf, 1, sizeof buf - 1, f);
  const int rc = pclose(f);
  EXPECT_EQ(WEXITSTATUS(rc), 1);
  EXPECT_NE(std::string(buf, n).find("DISPLAY"), std::string::npos) << std::string(buf, n);
}

TEST_F(Vrnkeform, ShowsTheFormInARealWindowThatLooksLikeItsRender) {
  const std::string png = (dir_ / "small.png").string();
  ASSERT_EQ(RunTool(form_ + " " + png), 0);
  vrnke::testing::TXvfb xvfb(640, 480);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl(VRNKEFORM_EXE, VRNKEFORM_EXE, form_.c_str(), "--show", static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string id;
  ASSERT_EQ(xvfb.Run("xdotool search --sync --onlyvisible --classname vrnkeform", &id), 0) << id;
  id = id.substr(0, id.find('\n'));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::string geometry;
  xvfb.Run("xwininfo -id " + id, &geometry);
  EXPECT_NE(geometry.find("Width: 200"), std::string::npos) << geometry;
  EXPECT_NE(geometry.find("Height: 80"), std::string::npos) << geometry;
  // Placed as the form says: at the screen's corner.
  EXPECT_NE(geometry.find("Absolute upper-left X:  0"), std::string::npos) << geometry;
  const std::string shotFile = (dir_ / "shot.png").string();
  ASSERT_EQ(xvfb.Run("import -window root png24:" + shotFile), 0);
  tk::TBitmap shot, want;
  shot.LoadFromFile(shotFile);
  want.LoadFromFile(png);
  int differing = 0;
  for (int y = 0; y < want.Height(); ++y)
    for (int x = 0; x < want.Width(); ++x)
      if ((shot.Pixel(x, y) | 0xFF000000) != (want.Pixel(x, y) | 0xFF000000)) ++differing;
  EXPECT_EQ(differing, 0);
  // The window manager's close request ends the tool.
  xvfb.RequestClose(std::stoul(id, nullptr, 0));
  int status = -1;
  for (int i = 0; i < 500 && waitpid(pid, &status, WNOHANG) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!WIFEXITED(status)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "vrnkeform did not end on the close request";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
