// The toolkit's controls: shapes, layouts, images, text controls, buttons, pop-ups, scroll
// boxes and the controls of list-and-grid windows, one family a header.
#pragma once

#include "toolkit/controls/bars.h"
#include "toolkit/controls/buttons.h"
#include "toolkit/controls/popup.h"
#include "toolkit/controls/popup_box.h"
#include "toolkit/controls/scroll.h"
#include "toolkit/controls/shapes.h"
#include "toolkit/controls/string_grid.h"
#include "toolkit/controls/tabs.h"
#include "toolkit/controls/text_controls.h"
