// The wider kernel-mode header: everything of wdm.h is here too.
#pragma once
#include <wdm.h>
