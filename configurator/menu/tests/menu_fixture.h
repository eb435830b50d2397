// What the menu tests share: a headless screen, a window with a button to open menus at, trees
// built from caption lists, and the pointer driven to rows of open pop-ups.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "menu/qvMenuBox.h"
#include "menu/qvMenuEx.h"
#include "toolkit/controls.h"
#include "toolkit/headless.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace vrnke::test {

class MenuFixture : public ::testing::Test {
 public:
  void SetUp() override {
    backend_ = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend_));
    RegisterMenuClasses();
    window_ = std::make_unique<tk::TWindow>(nullptr);
    window_->SetPosition(100, 100);
    window_->SetClientSize(600, 400);
    target_ = new tk::TvgButton(window_.get());
    target_->SetParent(window_->Root());
    target_->SetBounds(20, 20, 80, 24);
    window_->Show();
    menu_ = std::make_unique<TqvMenuEx>(nullptr);
  }
  void TearDown() override {
    menu_.reset();
    window_.reset();
    tk::SetTranslateFunction({});
    SetStoredSelectedMenuID(0);
  }

  // Appends one item per caption; returns the first new one.
  static TqvMenuItemEx* Add(TqvMenuItemsEx& level, const std::vector<std::string>& captions) {
    TqvMenuItemEx* first = nullptr;
    for (const std::string& c : captions) {
      TqvMenuItemEx* item = level.Add();
      item->SetCaption(c);
      if (!first) first = item;
    }
    return first;
  }

  void Open(int64_t selected = 0) {
    menu_->ShowMainMenu(selected, target_, tk::TvgPlacement::vgPlacementRight);
  }

  // Screen point in the middle of a row of an open level.
  static tk::TPointF RowCentre(TqvMenuItemsEx& level, int row) {
    TqvMenuBoxItem* r = level.Row(row);
    EXPECT_NE(r, nullptr);
    if (!r) return {};
    return r->LocalToScreen({r->Width() / 2, r->Height() / 2});
  }
  void MoveTo(TqvMenuItemsEx& level, int row) {
    const tk::TPointF p = RowCentre(level, row);
    backend_->MoveMouse(p.x, p.y);
  }
  static bool IsOpen(TqvMenuItemsEx& level) { return level.Popup() && level.Popup()->IsOpen(); }

  tk::THeadlessBackend* backend_ = nullptr;
  std::unique_ptr<tk::TWindow> window_;
  tk::TVisualObject* target_ = nullptr;
  std::unique_ptr<TqvMenuEx> menu_;
};

// Records the clicks a menu reports.
struct ClickLog {
  struct Click {
    std::string name;
    uint32_t id;
    void* buffer;
    int32_t size;
  };
  std::vector<Click> clicks;
  void Attach(TqvMenuEx& menu) {
    menu.OnItemsClick() = [this](TqvMenuItemEx*, const std::string& name, uint32_t id, void* buffer,
                                 int32_t size) {
      clicks.push_back({name, id, buffer, size});
    };
  }
};

}  // namespace vrnke::test
