// The clipboard on a virtual display of the test's own, with xclip and a bare connection of the
// test as the other programs.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "testing/display/xvfb.h"
#include "toolkit/x11/x11_backend.h"

// Xlib last: its macros would break the toolkit's headers.
#include <X11/Xlib.h>

namespace tk::x11::test {
namespace {

using vrnke::testing::TBackgroundClient;
using vrnke::testing::TXvfb;

class X11Clipboard : public ::testing::Test {
 protected:
  void SetUp() override {
    xvfb_ = std::make_unique<TXvfb>(640, 480);
    backend_ = std::make_unique<TX11Backend>(xvfb_->Display());
  }
  void TearDown() override {
    backend_.reset();
    xvfb_.reset();
  }

  // Handles our events until `client` ends (it may be waiting for our answer).
  bool PumpUntilDone(TBackgroundClient& client, double seconds = 10) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!client.Finished()) {
      if (std::chrono::steady_clock::now() > until) return false;
      backend_->ProcessEvents(0.01);
    }
    return true;
  }
  // What another program pastes.
  std::string PastedElsewhere(const std::string& target = "UTF8_STRING") {
    TBackgroundClient xclip("xclip -o -selection clipboard -t " + target);
    EXPECT_TRUE(PumpUntilDone(xclip)) << "xclip -o did not end";
    return xclip.Output();
  }
  // Another program copies the file's text (xclip stays in the background as its owner). Its
  // first process ends before the one left behind has taken the selection: wait for that.
  void CopiedElsewhere(const std::string& file, const std::string& text) {
    ASSERT_EQ(xvfb_->Run("xclip -i -selection clipboard " + file + " >/dev/null"), 0);
    for (int i = 0; i < 100 && PastedElsewhere() != text; ++i) backend_->ProcessEvents(0.02);
  }

  std::unique_ptr<TXvfb> xvfb_;
  std::unique_ptr<TX11Backend> backend_;
};

TEST_F(X11Clipboard, OtherProgramsPasteWhatTheProgramCopied) {
  const std::string text = "Grüße, 文字 and 繁體 ✓\nsecond line";
  ASSERT_TRUE(backend_->SetClipboardText(text));
  EXPECT_EQ(PastedElsewhere(), text);
  EXPECT_EQ(PastedElsewhere("text/plain\\;charset=utf-8"), text);
  const std::string targets = PastedElsewhere("TARGETS");
  for (const char* t : {"TARGETS", "UTF8_STRING", "TIMESTAMP"})
    EXPECT_NE(targets.find(t), std::string::npos) << targets;
  // Not in Latin-1: no STRING offered, and asking for it gets nothing.
  EXPECT_EQ(targets.find("\nSTRING"), std::string::npos) << targets;
  EXPECT_EQ(PastedElsewhere("STRING"), "");
  // The program reads its own text back without asking the server.
  EXPECT_EQ(backend_->ClipboardText(), text);

  ASSERT_TRUE(backend_->SetClipboardText("Grüße"));
  EXPECT_EQ(PastedElsewhere("STRING"),
            "Gr\xFC\xDF"
            "e");  // Latin-1
}

TEST_F(X11Clipboard, TheProgramPastesWhatAnotherProgramCopied) {
  ASSERT_TRUE(backend_->SetClipboardText("ours"));
  const std::string file = testing::TempDir() + "clip.txt";
  {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    std::fputs("粘贴 Paste ✓", f);
    std::fclose(f);
  }
  CopiedElsewhere(file, "粘贴 Paste ✓");
  // Our ownership ended with the other's copy; the text comes from xclip now.
  EXPECT_EQ(backend_->ClipboardText(), "粘贴 Paste ✓");

  // A text too large for one request comes in pieces.
  std::string big;
  for (int i = 0; big.size() < 3 * 1024 * 1024; ++i) big += "Zeile " + std::to_string(i) + " 文字\n";
  {
    std::FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(big.data(), 1, big.size(), f);
    std::fclose(f);
  }
  CopiedElsewhere(file, big);
  const std::string pasted = backend_->ClipboardText();
  EXPECT_EQ(pasted.size(), big.size());
  EXPECT_TRUE(pasted == big);
  std::remove(file.c_str());
}

// An owner that never answers costs the timeout, not a hang; one that is gone costs nothing.
TEST_F(X11Clipboard, ReadingFromAnOwnerThatDoesNotAnswerEndsAtTheDeadline) {
  Display* other = XOpenDisplay(xvfb_->Display().c_str());
  ASSERT_NE(other, nullptr);
  const Window w = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(other, XInternAtom(other, "CLIPBOARD", 0), w, CurrentTime);
  XSync(other, 0);
  backend_->SetClipboardTimeout(0.3);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(backend_->ClipboardText(), "");
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(took, 0.25);
  EXPECT_LT(took, 5.0);
  // The program takes the clipboard back from the silent owner.
  EXPECT_TRUE(backend_->SetClipboardText("back"));
  EXPECT_EQ(PastedElsewhere(), "back");
  XCloseDisplay(other);
  // With no owner at all there is nothing to wait for.
  backend_.reset();
  TX11Backend second(xvfb_->Display());
  EXPECT_EQ(second.ClipboardText(), "");
}

}  // namespace
}  // namespace tk::x11::test
