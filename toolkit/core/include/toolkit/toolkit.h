// Everything of the toolkit's core in one include.
#pragma once

#include "toolkit/backend.h"
#include "toolkit/canvas.h"
#include "toolkit/controls.h"
#include "toolkit/headless.h"
#include "toolkit/object.h"
#include "toolkit/scene.h"
#include "toolkit/style.h"
#include "toolkit/translate.h"
#include "toolkit/types.h"
