#include "shell/function_menu.h"

namespace vrnke {

std::string TMenuExLink::ItemCaption(int top, int sub, int subsub) const {
  if (top < 1 || top > 99 || sub < 0 || sub > 99 || subsub < 0 || subsub > 99 || (sub == 0 && subsub > 0))
    return {};
  const uint32_t code = sub == 0      ? uint32_t(top)
                        : subsub == 0 ? uint32_t(top * 100 + sub)
                                      : uint32_t(top * 10000 + sub * 100 + subsub);
  const TqvMenuItemEx* item = FMenu.FindItemByID(code);
  return item ? item->Caption() : std::string();
}

}  // namespace vrnke
