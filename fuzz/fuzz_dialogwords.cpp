// The words a script or a user types into a module's dialog: control names,
// labels, ids and values of any shape, checked against the bound controls.
#include "dialog.h"
#include "dialoghost.h"
#include "fuzzinput.h"
#include "inputwords.h"
#include "resourcescript.h"

#include <sstream>

namespace
{

const char Script[] = R"(
IDD_T DIALOG 0, 0, 100, 100
CAPTION "Options"
BEGIN
    LTEXT "&Width:",-1,1,1,10,10
    EDITTEXT 1000,1,1,10,10
    LTEXT "Quality (1-100):",-1,1,1,10,10
    EDITTEXT 1002,1,1,10,10
    CONTROL "Use clipboard resolution",1010,"Button",BS_AUTOCHECKBOX | WS_TABSTOP,1,1,10,10
    CONTROL "Normal",1011,"Button",BS_AUTORADIOBUTTON | WS_GROUP,1,1,10,10
    CONTROL "Crop",1013,"Button",BS_AUTORADIOBUTTON,1,1,10,10
    CONTROL "Hidden",1003,"Button",BS_AUTOCHECKBOX | NOT WS_VISIBLE,1,1,10,10
    DEFPUSHBUTTON "OK",1,1,1,10,10
END
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  static const std::vector<zulan::DialogTemplate> templates = zulan::ParseResourceScript(Script);
  FuzzInput input(data, size);
  const bool interactive = input.Byte() & 1;
  // The first line is the command's own words, the rest what the terminal
  // would be typed.
  const std::string text = input.Rest();
  const size_t lineEnd = text.find('\n');
  std::istringstream terminal(lineEnd == std::string::npos ? "" : text.substr(lineEnd + 1));
  zulan::Console console(false);
  zulan::InputWords inputs(console, interactive, terminal);
  const std::vector<std::string> words = zulan::SplitWords(text.substr(0, lineEnd));
  inputs.Assign(words.begin(), words.end());
  zulan::DialogHost dialogs(templates, inputs, console, false);
  const XPDIALOG handle = dialogs.Define("IDD_T", nullptr);
  int32_t width = 800, quality = 75, flags = 8, area = 0, hidden = 0;
  dialogs.Find(handle)->BindEdit(1000, &width, 4, nullptr);
  dialogs.Find(handle)->BindEdit(1002, &quality, 3, nullptr);
  dialogs.Find(handle)->BindCheck(1010, &flags, 8, nullptr);
  dialogs.Find(handle)->BindRadio(1011, &area, 0, nullptr);
  dialogs.Find(handle)->BindRadio(1013, &area, 1, nullptr);
  dialogs.Find(handle)->BindCheck(1003, &hidden, 1, nullptr);
  dialogs.Run(handle);
  dialogs.Release(handle);
  return 0;
}
