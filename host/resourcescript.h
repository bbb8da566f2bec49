// Dialog templates read from a module's resource script (the subset of the
// rc language that DIALOG templates use), since Linux modules carry no
// compiled Windows resources.
#ifndef ZULAN_RESOURCESCRIPT_H
#define ZULAN_RESOURCESCRIPT_H

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zulan
{

// Window and control styles, with the values Windows gives them.
enum : uint32_t
{
  WsPopup = 0x80000000u,
  WsChild = 0x40000000u,
  WsVisible = 0x10000000u,
  WsDisabled = 0x08000000u,
  WsCaption = 0x00C00000u,
  WsBorder = 0x00800000u,
  WsSysMenu = 0x00080000u,
  WsGroup = 0x00020000u,
  WsTabStop = 0x00010000u,
  DsModalFrame = 0x80u,
  EsAutoHScroll = 0x80u,
  BsTypeMask = 0x0Fu,
};

enum class ControlKind
{
  Label,
  Edit,
  GroupBox,
  PushButton,
  DefaultButton,
  CheckBox,
  RadioButton,
  Other
};

struct ControlTemplate
{
  ControlKind kind = ControlKind::Other;
  std::string text;
  int id = -1;
  std::string className;  // "Button", "Edit", "Static"
  uint32_t style = 0;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
};

struct DialogTemplate
{
  std::string name;
  int x = 0, y = 0, width = 0, height = 0;
  uint32_t style = 0;
  std::string caption;
  int fontSize = 0;
  std::string fontName;
  std::vector<ControlTemplate> controls;
};

class ResourceScriptError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

// Every DIALOG and DIALOGEX template of the script. Ids may be numbers or
// names #defined earlier in the script. Throws ResourceScriptError with the
// line that is not understood.
std::vector<DialogTemplate> ParseResourceScript(const std::string &script);

// A template as the resource compiler wrote it into a Windows module (DIALOG
// or DIALOGEX, little-endian words). Throws ResourceScriptError when the
// bytes end early.
DialogTemplate ParseDialogResource(const std::string &name, const uint8_t *bytes, size_t size);

const char *ControlKindName(ControlKind kind);

}  // namespace zulan

#endif
