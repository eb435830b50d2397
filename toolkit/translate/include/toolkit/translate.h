// The toolkit's text translation hook. Captions, titles and message texts pass through
// Translate(); the language component installs the function that maps them.
#pragma once

#include <functional>
#include <string>

namespace tk {

using TranslateFunction = std::function<std::string(const std::string&)>;

// Installs the function (an empty one restores the identity); returns the previous one.
TranslateFunction SetTranslateFunction(TranslateFunction fn);
const TranslateFunction& GetTranslateFunction();

// The text in the current language; the text itself when no function is installed.
std::string Translate(const std::string& text);

}  // namespace tk
