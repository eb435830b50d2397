// Bars: the tool bar and the status bar.
#include <algorithm>
#include <cmath>

#include "controls_util.h"
#include "runtime/errors.h"
#include "runtime/text.h"
#include "toolkit/controls/bars.h"
#include "toolkit/scene.h"
#include "toolkit/translate.h"

namespace tk {

using namespace detail;

// --- bars ------------------------------------------------------------------------------------

TvgToolBar::TvgToolBar(rt::TComponent* owner) : TvgRectangle(owner) {
  TGradient g;
  g.points = {{0xFFFDFDFD, 0}, {0xFFE4E4E4, 1}};
  Fill().SetKind(TBrushKind::Gradient);
  Fill().SetGradient(g);
  Stroke().SetColor(0xFFB9B9B9);
  SetHeight(35);
  SetHitTest(false);
}

TvgStatusBar::TvgStatusBar(rt::TComponent* owner) : TvgRectangle(owner) {
  Fill().SetColor(0xFFF0F0F0);
  Stroke().SetColor(0xFFB9B9B9);
  SetHeight(40);
  SetHitTest(false);
}

}  // namespace tk
