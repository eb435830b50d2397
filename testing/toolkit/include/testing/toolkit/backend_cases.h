// What every real-window backend must do alike, driven from outside the process with xdotool.
// A backend's test file instantiates these cases on its own fixture `D` (a BackendTest),
// which provides:
//   void Pump(double seconds);                         // handle events for a while
//   Xdo(const std::string& args);                      // xdotool on the backend's display
//   void XdoFromAnotherThread(const std::string& args);  // the same while the test thread pumps
//   tk::TRect ClientArea(const tk::TWindow& w);        // the client area on the screen
//   uint32_t ScreenPixel(int x, int y);                // #AARRGGBB, alpha full
//   bool PointerHeld();                                // a pop-up holds the pointer
//   void PressOutsideTheProgram();                     // a press that reaches no window of ours
//   static constexpr const char* kTypeOutsideKeymap;   // xdotool arguments typing "复制"
//   static constexpr bool kClickToActivate;            // the owner takes keys only once pressed
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "toolkit/app/application.h"
#include "toolkit/controls.h"

namespace vrnke::testing {

// What a backend's fixture does alike on every backend: handle events and make windows.
class BackendTest : public ::testing::Test {
 protected:
  // Handles events until `done` holds; false after `seconds`.
  bool PumpUntil(const std::function<bool()>& done, double seconds = 5) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
      if (std::chrono::steady_clock::now() > until) return false;
      tk::Backend().ProcessEvents(0.02);
      tk::TWindow::UpdateAll();
    }
    return true;
  }
  // Handles what comes within `seconds`.
  void PumpFor(double seconds) {
    PumpUntil([] { return false; }, seconds);
  }

  tk::TWindow& MakeWindow(int x, int y, int w, int h, tk::TAlphaColor fill = 0xFF3060A0) {
    windows_.push_back(std::make_unique<tk::TWindow>(nullptr));
    tk::TWindow& win = *windows_.back();
    win.SetClientSize(w, h);
    win.SetPosition(x, y);
    win.Root()->SetBounds(0, 0, float(w), float(h));
    win.Scene()->SetFill(fill);
    return win;
  }
  // The windows go before the backend.
  void CloseWindowsAndBackend() {
    tk::Application().OnModalIdle = nullptr;
    windows_.clear();
    tk::SetBackend(nullptr);
  }

  std::vector<std::unique_ptr<tk::TWindow>> windows_;
};

template <class D>
class BackendWindows : public D {};

TYPED_TEST_SUITE_P(BackendWindows);

TYPED_TEST_P(BackendWindows, PointerAndKeysWithTheirTypedCharactersComeFromOutside) {
  using namespace tk;
  TWindow& w = this->MakeWindow(100, 100, 300, 200, 0xFF3060A0);
  auto* button = new TvgRectangle(&w);
  button->SetParent(w.Root());
  button->SetBounds(10, 10, 100, 40);
  std::vector<std::string> log;
  button->OnMouseEnter = [&](rt::TComponent*) { log.push_back("enter"); };
  button->OnMouseLeave = [&](rt::TComponent*) { log.push_back("leave"); };
  button->OnClick = [&](rt::TComponent*) { log.push_back("click"); };
  button->OnMouseWheel = [&](rt::TComponent*, TShiftState, int delta, bool&) {
    log.push_back("wheel " + std::to_string(delta));
  };
  auto* box = new TvgTextBox(&w);
  box->SetParent(w.Root());
  box->SetBounds(10, 100, 200, 30);
  w.Show();
  this->Pump(0.3);

  this->Xdo("mousemove 150 130");
  ASSERT_TRUE(this->PumpUntil([&] { return !log.empty(); })) << "no enter";
  this->Xdo("click 1");
  this->Xdo("click 5");
  ASSERT_TRUE(this->PumpUntil([&] { return log.size() >= 3; }));
  this->Xdo("mousemove 600 600");
  ASSERT_TRUE(this->PumpUntil([&] { return log.size() >= 4; }));
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "click", "wheel -120", "leave"}));

  this->Xdo("mousemove 150 215 click 1");
  ASSERT_TRUE(this->PumpUntil([&] { return w.Scene()->Focused() == box; }));
  this->Xdo("type 'Fn 3'");
  ASSERT_TRUE(this->PumpUntil([&] { return box->Text() == "Fn 3"; })) << box->Text();
  this->Xdo("key BackSpace");
  ASSERT_TRUE(this->PumpUntil([&] { return box->Text() == "Fn "; })) << box->Text();
  // Text outside the keymap: xdotool maps a spare key to each character only while it types,
  // so the window reads its events meanwhile.
  std::thread typist([&] { this->XdoFromAnotherThread(TypeParam::kTypeOutsideKeymap); });
  EXPECT_TRUE(this->PumpUntil([&] { return box->Text() == "Fn 复制"; })) << box->Text();
  typist.join();

  // Keys carry their virtual-key code and the shift state.
  std::vector<std::tuple<int, char32_t, TShiftState>> keys;
  box->OnKeyDown = [&](rt::TComponent*, uint16_t& k, char32_t& c, TShiftState s) {
    if (k < 0x10 || k > 0x12) keys.emplace_back(k, c, s);
  };
  this->Xdo("key shift+a F5 ctrl+Left");
  ASSERT_TRUE(this->PumpUntil([&] { return keys.size() >= 3; })) << keys.size();
  const std::vector<std::tuple<int, char32_t, TShiftState>> want = {
      {'A', U'A', ssShift}, {0x74, 0, 0}, {vk::Left, 0, ssCtrl}};
  EXPECT_EQ(keys, want);
}

TYPED_TEST_P(BackendWindows, AFormDragsItsBorderlessWindowByItsTitleArea) {
  using namespace tk;
  TWindow& w = this->MakeWindow(100, 100, 300, 200, 0xFF3060A0);
  auto* title = new TvgRectangle(&w);
  title->SetParent(w.Root());
  title->SetBounds(0, 0, 300, 30);
  title->OnMouseDown = [&](rt::TComponent*, TMouseButton, TShiftState, float, float) { w.BeginMoveDrag(); };
  w.Show();
  this->Pump(0.3);
  this->Xdo("mousemove 150 110 mousedown 1");
  this->Pump(0.1);
  this->Xdo("mousemove 200 140");
  this->Pump(0.1);
  this->Xdo("mousemove 250 170 mouseup 1");
  ASSERT_TRUE(this->PumpUntil([&] { return w.Left() == 200 && w.Top() == 160; }))
      << w.Left() << "," << w.Top();
  EXPECT_EQ(this->ClientArea(w), (TRect{200, 160, 300, 200}));
  // A press elsewhere moves nothing.
  this->Xdo("mousemove 300 300 mousedown 1 mousemove 350 350 mouseup 1");
  this->Pump(0.3);
  EXPECT_EQ(w.Left(), 200);
}

TYPED_TEST_P(BackendWindows, TimersRunFromTheLoopAndAKilledOneDoesNot) {
  using namespace tk;
  std::vector<int> ran;
  Application().SetTimer(0.05, [&] { ran.push_back(1); });
  const int killed = Application().SetTimer(0.02, [&] { ran.push_back(2); });
  Application().KillTimer(killed);
  int ticks = 0;
  const int repeating = Application().SetTimer(
      0.01, [&] { ++ticks; }, true);
  ASSERT_TRUE(this->PumpUntil(
      [&] {
        Application().HandleMessage();
        return !ran.empty() && ticks >= 3;
      },
      5));
  Application().KillTimer(repeating);
  EXPECT_EQ(ran, std::vector<int>{1});
}

REGISTER_TYPED_TEST_SUITE_P(BackendWindows, PointerAndKeysWithTheirTypedCharactersComeFromOutside,
                            AFormDragsItsBorderlessWindowByItsTitleArea,
                            TimersRunFromTheLoopAndAKilledOneDoesNot);

// A cascade: a pop-up at the pointer over a main window, and a child beside one of its items.
template <class D>
class BackendPopups : public D {
 protected:
  void SetUp() override {
    D::SetUp();
    main_ = &this->MakeWindow(100, 100, 400, 300, 0xFF404040);
    popup = new tk::TvgPopup(main_);
    popup->SetParent(main_->Root());
    popup->SetPlacement(tk::TvgPlacement::vgPlacementMouse);
    popup->SetSize(150, 120);
    auto* fill = new tk::TvgRectangle(main_);
    fill->SetParent(popup);
    fill->SetAlign(tk::TvgAlign::vaClient);
    fill->Fill().SetColor(0xFFE0C020);
    item = new tk::TvgRectangle(main_);
    item->SetParent(popup);
    item->SetBounds(0, 40, 150, 30);
    item->Fill().SetColor(0xFF2080E0);
    child = new tk::TvgPopup(main_);
    child->SetParent(main_->Root());
    child->SetPlacement(tk::TvgPlacement::vgPlacementRight);
    child->SetPlacementTarget(item);
    child->SetSize(100, 80);
    auto* childFill = new tk::TvgRectangle(main_);
    childFill->SetParent(child);
    childFill->SetAlign(tk::TvgAlign::vaClient);
    childFill->Fill().SetColor(0xFF20C060);
    main_->Show();
    this->Pump(0.3);
  }
  void OpenCascadeAt(int x, int y) {
    this->Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) +
              (D::kClickToActivate ? " click 1" : ""));
    this->Pump(0.1);
    popup->Popup();
    child->Popup();
    this->Pump(0.3);
  }

  tk::TWindow* main_ = nullptr;
  tk::TvgPopup* popup = nullptr;
  tk::TvgPopup* child = nullptr;
  tk::TvgRectangle* item = nullptr;
};

TYPED_TEST_SUITE_P(BackendPopups);

TYPED_TEST_P(BackendPopups, APopupOpensAtThePointerAndItsChildBesideItsTarget) {
  this->OpenCascadeAt(200, 150);
  ASSERT_TRUE(this->popup->IsOpen());
  EXPECT_EQ(this->ClientArea(*this->popup->PopupWindow()), (tk::TRect{200, 150, 150, 120}));
  EXPECT_EQ(this->ClientArea(*this->child->PopupWindow()), (tk::TRect{350, 190, 100, 80}));
  EXPECT_EQ(this->ScreenPixel(210, 160), 0xFFE0C020u);
  EXPECT_EQ(this->ScreenPixel(210, 200), 0xFF2080E0u);
  EXPECT_EQ(this->ScreenPixel(400, 230), 0xFF20C060u);
  EXPECT_TRUE(this->PointerHeld());  // the cascade holds the pointer
}

TYPED_TEST_P(BackendPopups, EscapeClosesTheCascadeFromTheTopAndGivesThePointerBack) {
  this->OpenCascadeAt(200, 150);
  this->Xdo("key Escape");
  ASSERT_TRUE(this->PumpUntil([&] { return !this->child->IsOpen(); }));
  EXPECT_TRUE(this->popup->IsOpen());
  EXPECT_TRUE(this->PointerHeld());
  this->Xdo("key Escape");
  ASSERT_TRUE(this->PumpUntil([&] { return !this->popup->IsOpen(); }));
  this->Pump(0.1);
  EXPECT_FALSE(this->PointerHeld());
}

TYPED_TEST_P(BackendPopups, APressOutsideTheProgramClosesTheCascade) {
  this->OpenCascadeAt(200, 150);
  this->PressOutsideTheProgram();
  ASSERT_TRUE(this->PumpUntil([&] { return !this->popup->IsOpen() && !this->child->IsOpen(); }));
  this->Pump(0.1);
  EXPECT_FALSE(this->PointerHeld());
  EXPECT_EQ(this->ScreenPixel(210, 160), 0xFF404040u);
}

TYPED_TEST_P(BackendPopups, APressInsideTheCascadeKeepsItAndOneInTheOwnerClosesIt) {
  this->OpenCascadeAt(200, 150);
  this->Xdo("mousemove 400 230 click 1");  // in the child
  this->Pump(0.3);
  EXPECT_TRUE(this->popup->IsOpen());
  EXPECT_TRUE(this->child->IsOpen());
  this->Xdo("mousemove 120 380 click 1");  // in the main window
  ASSERT_TRUE(this->PumpUntil([&] { return !this->popup->IsOpen() && !this->child->IsOpen(); }));
}

REGISTER_TYPED_TEST_SUITE_P(BackendPopups, APopupOpensAtThePointerAndItsChildBesideItsTarget,
                            EscapeClosesTheCascadeFromTheTopAndGivesThePointerBack,
                            APressOutsideTheProgramClosesTheCascade,
                            APressInsideTheCascadeKeepsItAndOneInTheOwnerClosesIt);

}  // namespace vrnke::testing
