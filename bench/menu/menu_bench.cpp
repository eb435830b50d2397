// Costs of the function menu as the main window uses it: opening a level (building its pop-up
// and painting its first frame) and a hover change repainted.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "menu/qvMenuBox.h"
#include "menu/qvMenuEx.h"
#include "toolkit/controls.h"
#include "toolkit/headless.h"
#include "toolkit/scene.h"

namespace {

using vrnke::TqvMenuEx;
using vrnke::TqvMenuItemsEx;

// The program's tree and look: 14 entries, four of them with 8, 9, 7 and 15 entries.
void FillProgramMenu(TqvMenuEx& menu) {
  menu.SetUseCustomMenuParams(true);
  vrnke::TMenuParams& p = menu.Parameters();
  p.BGFill().SetColor(0xF3E6E5E5);
  p.ItemNormalFill().SetKind(tk::TBrushKind::None);
  p.ItemOverFill().SetKind(tk::TBrushKind::Gradient);
  p.ItemOverFill().SetGradient(
      tk::TGradient::FromText("0,0,0,1;#3C04EFEB@0.0036,#FF00CCFF@0.4909,#FF00CCFF@0.5091,#3C07CEDB@1"));
  p.ItemDownFill().SetKind(tk::TBrushKind::Gradient);
  p.ItemDownFill().SetGradient(
      tk::TGradient::FromText("0.5,0,0.5,1;#31EEFDFF@0,#FF00CCFF@0.4655,#FF00CCFF@0.5055,#46F8FEFF@1"));
  p.ItemFont().SetFamily("黑体");
  p.ItemFont().SetSize(13);
  p.SetItemHeight(25);
  const std::vector<std::string> top = {"@",
                                        "Undo",
                                        "Redo",
                                        "Save",
                                        "Function",
                                        "www.",
                                        ".com",
                                        "Basic Commands",
                                        "Advanced Commands",
                                        "Media Commands",
                                        "Applications",
                                        "Custom Keys...",
                                        "Combo Keys...",
                                        "Disabled"};
  for (const std::string& c : top) menu.Items().Add()->SetCaption(c);
  const int subs[4] = {8, 9, 7, 15};
  for (int i = 0; i < 4; ++i)
    for (int s = 0; s < subs[i]; ++s)
      menu.Items()[7 + i]->SubItems().Add()->SetCaption("Entry number " + std::to_string(s + 1));
}

struct Fixture {
  Fixture() {
    backend = new tk::THeadlessBackend(1366, 768);
    tk::SetBackend(std::unique_ptr<tk::TBackend>(backend));
    vrnke::RegisterMenuClasses();
    window = std::make_unique<tk::TWindow>(nullptr);
    window->SetClientSize(1157, 588);
    button = new tk::TvgButton(window.get());
    button->SetParent(window->Root());
    button->SetBounds(40, 120, 200, 28);
    window->Show();
    menu = std::make_unique<TqvMenuEx>(nullptr);
    FillProgramMenu(*menu);
  }
  void MoveToRow(TqvMenuItemsEx& level, int row) {
    tk::TVisualObject* r = level.Row(row);
    const tk::TPointF p = r->LocalToScreen({r->Width() / 2, r->Height() / 2});
    backend->MoveMouse(p.x, p.y);
  }
  tk::THeadlessBackend* backend;
  std::unique_ptr<tk::TWindow> window;
  tk::TVisualObject* button;
  std::unique_ptr<TqvMenuEx> menu;
};

// The first show of a menu: pop-up, box, 14 rows with their styles, sizing, first frame.
void BM_OpenTopLevelFirstTime(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    state.PauseTiming();
    f.menu = std::make_unique<TqvMenuEx>(nullptr);
    FillProgramMenu(*f.menu);
    state.ResumeTiming();
    f.menu->ShowMainMenu(5, f.button, tk::TvgPlacement::vgPlacementRight);
    benchmark::DoNotOptimize(f.menu->Items().Popup()->PopupWindow()->BackBuffer().Bits());
    state.PauseTiming();
    f.menu->Items().ClosePopups();
    f.menu.reset();
    tk::TWindow::UpdateAll();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenTopLevelFirstTime)->Unit(benchmark::kMillisecond);

// Every later show: the rows are brought in line and the pop-up painted.
void BM_OpenTopLevelAgain(benchmark::State& state) {
  Fixture f;
  f.menu->ShowMainMenu(5, f.button, tk::TvgPlacement::vgPlacementRight);
  f.menu->Items().ClosePopups();
  for (auto _ : state) {
    f.menu->ShowMainMenu(5, f.button, tk::TvgPlacement::vgPlacementRight);
    benchmark::DoNotOptimize(f.menu->Items().Popup()->PopupWindow()->BackBuffer().Bits());
    state.PauseTiming();
    f.menu->Items().ClosePopups();
    tk::TWindow::UpdateAll();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_OpenTopLevelAgain)->Unit(benchmark::kMillisecond);

// The pointer reaches "Applications": its 15-entry sub-menu opens and is painted.
void BM_OpenSubMenuByPointer(benchmark::State& state) {
  Fixture f;
  f.menu->ShowMainMenu(5, f.button, tk::TvgPlacement::vgPlacementRight);
  TqvMenuItemsEx& top = f.menu->Items();
  for (auto _ : state) {
    state.PauseTiming();
    f.MoveToRow(top, 0);
    tk::TWindow::UpdateAll();
    state.ResumeTiming();
    f.MoveToRow(top, 10);
    tk::TWindow::UpdateAll();
  }
  f.menu->Items().ClosePopups();
}
BENCHMARK(BM_OpenSubMenuByPointer)->Unit(benchmark::kMillisecond);

// The pointer moves from one entry to the next: highlights move and the changed area is painted.
void BM_HoverChangeRepaint(benchmark::State& state) {
  Fixture f;
  f.menu->ShowMainMenu(5, f.button, tk::TvgPlacement::vgPlacementRight);
  TqvMenuItemsEx& top = f.menu->Items();
  f.MoveToRow(top, 1);
  tk::TWindow::UpdateAll();
  int row = 2;
  for (auto _ : state) {
    f.MoveToRow(top, row);
    tk::TWindow::UpdateAll();
    row = row == 2 ? 1 : 2;
  }
  f.menu->Items().ClosePopups();
}
BENCHMARK(BM_HoverChangeRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
