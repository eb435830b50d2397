// Tool and status bars.
#pragma once

#include "toolkit/controls/shapes.h"

namespace tk {

// Bars along an edge; they draw a gradient panel and hold buttons. Published: Fill (object).
class TvgToolBar : public TvgRectangle {
 public:
  explicit TvgToolBar(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgToolBar"; }
};

class TvgStatusBar : public TvgRectangle {
 public:
  explicit TvgStatusBar(rt::TComponent* owner);
  std::string ClassName() const override { return "TvgStatusBar"; }
};

}  // namespace tk
