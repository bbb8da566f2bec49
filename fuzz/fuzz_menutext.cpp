// Menu texts come from modules through AddMenu.
#include "menus.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  try
  {
    const zulan::Menu menu = zulan::ParseMenuText(std::string(reinterpret_cast<const char *>(data), size));
    zulan::FormatMenus({menu});
  }
  catch (const zulan::MenuTextError &)
  {
  }
  return 0;
}
