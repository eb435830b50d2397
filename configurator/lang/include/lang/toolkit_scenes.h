// Connects the translation service to the toolkit's scenes, so that activating or resetting a
// language re-translates every text the scenes show. Target vrnke_lang_toolkit, built with
// the toolkit.
#pragma once

#include "toolkit/translation_service.h"

namespace vrnke {

// Registers the toolkit's scenes with the service (once per service); returns the handle.
int ConnectToolkitScenes(tk::TTranslationService& service = tk::TranslationService());

}  // namespace vrnke
