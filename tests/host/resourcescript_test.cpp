// The module's dialog template as the host reads it from the resource
// script: every control, text, place and style the dialog is meant to have.
#include "resourcescript.h"
#include "testimages.h"
#include "expecterror.h"

#include <gtest/gtest.h>

using namespace zulan;

namespace
{

std::string ReadText(const std::string &path)
{
  const std::vector<uint8_t> bytes = testing_support::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string ModuleScript()
{
  return ReadText(RASTELLO_SHELL_SOURCE "/resource.h") + "\n" + ReadText(RASTELLO_SHELL_SOURCE "/rastello.rc");
}

struct ExpectedControl
{
  int id;
  ControlKind kind;
  const char *text;
  int x, y, width, height;
  bool visible;
  bool tabStop;
};

}  // namespace

TEST(ResourceScript, OptionsDialogTemplateIsComplete)
{
  const std::vector<DialogTemplate> dialogs = ParseResourceScript(ModuleScript());
  ASSERT_EQ(dialogs.size(), 1u);
  const DialogTemplate &dialog = dialogs[0];
  EXPECT_EQ(dialog.name, "IDD_DLGJPEG");
  EXPECT_EQ(dialog.caption, "JPEG and PNG Options");
  EXPECT_EQ(dialog.width, 177);
  EXPECT_EQ(dialog.height, 149);
  EXPECT_EQ(dialog.fontSize, 8);
  EXPECT_EQ(dialog.fontName, "MS Sans Serif");
  EXPECT_EQ(dialog.style & (WsPopup | WsCaption | WsSysMenu | DsModalFrame),
            WsPopup | WsCaption | WsSysMenu | DsModalFrame);

  const ControlKind L = ControlKind::Label, E = ControlKind::Edit, G = ControlKind::GroupBox, C = ControlKind::CheckBox,
                    R = ControlKind::RadioButton, B = ControlKind::PushButton, D = ControlKind::DefaultButton;
  const ExpectedControl expected[] = {
    {-1, G, "Bitmap size", 7, 7, 102, 49, true, false},
    {-1, L, "Width:", 14, 17, 22, 8, true, false},
    {1000, E, "", 14, 26, 40, 14, true, true},
    {-1, L, "Height:", 62, 17, 24, 8, true, false},
    {1001, E, "", 62, 26, 40, 14, true, true},
    {1010, C, "Use clipboard resolution", 14, 43, 91, 10, true, true},
    {-1, G, "Unused area", 116, 7, 54, 49, true, false},
    {1011, R, "Normal", 124, 18, 38, 10, true, true},
    {1012, R, "Blank", 124, 30, 34, 10, true, false},
    {1013, R, "Crop", 124, 42, 31, 10, true, false},
    {-1, G, "PNG Compression", 7, 61, 78, 51, true, false},
    {1005, R, "Fastest", 39, 106, 39, 10, false, true},
    {1006, R, "Fast", 18, 73, 29, 10, true, false},
    {1007, R, "Default", 18, 84, 39, 10, true, false},
    {1008, R, "Maximum", 18, 95, 45, 10, true, false},
    {1009, C, "Use filters", 18, 106, 47, 10, false, true},
    {-1, G, "JPEG", 92, 61, 78, 51, true, false},
    {-1, L, "Quality (1-100):", 101, 70, 48, 8, true, false},
    {1002, E, "", 101, 80, 40, 14, true, true},
    {1003, C, "Greyscale", 101, 107, 47, 10, false, true},
    {1004, C, "Progressive", 101, 98, 53, 10, true, true},
    {1, D, "OK", 120, 128, 50, 14, true, true},
    {2, B, "Cancel", 63, 128, 50, 14, true, true},
    {1014, B, "Help", 7, 128, 50, 14, true, true},
    {2015, C, "Force black and white image (requires 6.10)", 7, 115, 153, 10, false, true},
  };
  ASSERT_EQ(dialog.controls.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i)
  {
    const ControlTemplate &control = dialog.controls[i];
    const ExpectedControl &want = expected[i];
    SCOPED_TRACE("control " + std::to_string(i) + " " + want.text + " " + std::to_string(want.id));
    EXPECT_EQ(control.id, want.id);
    EXPECT_EQ(control.kind, want.kind);
    EXPECT_EQ(control.text, want.text);
    EXPECT_EQ(control.x, want.x);
    EXPECT_EQ(control.y, want.y);
    EXPECT_EQ(control.width, want.width);
    EXPECT_EQ(control.height, want.height);
    EXPECT_EQ((control.style & WsVisible) != 0, want.visible);
    EXPECT_EQ((control.style & WsTabStop) != 0, want.tabStop);
    if (want.kind == E)
    {
      EXPECT_EQ(control.style & (WsBorder | EsAutoHScroll), WsBorder | EsAutoHScroll);
    }
  }
  // Radio groups start at Normal and at the hidden Fastest.
  EXPECT_NE(dialog.controls[7].style & WsGroup, 0u);
  EXPECT_NE(dialog.controls[11].style & WsGroup, 0u);
}

TEST(ResourceScript, ErrorsNameTheLine)
{
  const struct
  {
    const char *script;
    const char *message;
  } cases[] = {
    {"D DIALOG 0, 0, 10, 10\nBEGIN\n  EDITTEXT IDC_NOWHERE,1,2,3,4\nEND\n",
     "resource script line 3: unknown name IDC_NOWHERE"},
    {"D DIALOG 0, 0, 10, 10\nCAPTION \"open\nBEGIN\nEND\n", "resource script line 2: string without its closing quote"},
    {"D DIALOG 0, 0, 10, 10\nBEGIN\n  LISTBOX 5,1,2,3,4\nEND\n", "resource script line 3: unknown statement LISTBOX"},
    {"D DIALOG 0, 0, 10, 10\nBEGIN\n  CONTROL \"x\",5,\"Button\",WS_TABSTOP WS_GROUP,1,2,3,4\nEND\n",
     "resource script line 3: | expected in style, found WS_GROUP"},
    {"D DIALOG 0, 0, 10, 10\nBEGIN\n  LTEXT \"x\",-1,1,2\n", "resource script line 3: number expected"},
    {"D DIALOG 0, 0, 10, 10\nBEGIN\n", "resource script ends inside dialog D"},
    {"  LTEXT \"x\",-1,1,2,3,4\n", "resource script line 1: statement outside a dialog: LTEXT"},
  };
  for (const auto &test : cases)
  {
    SCOPED_TRACE(test.script);
    testing_support::ExpectError<ResourceScriptError>([&] { ParseResourceScript(test.script); }, test.message);
  }
}

namespace
{

void PutWord(std::vector<uint8_t> &bytes, uint32_t value)
{
  bytes.push_back(uint8_t(value));
  bytes.push_back(uint8_t(value >> 8));
}

void PutText(std::vector<uint8_t> &bytes, const std::string &text)
{
  for (char c : text)
    PutWord(bytes, uint8_t(c));
  PutWord(bytes, 0);
}

// The DIALOG resources of a compiled resource file (.res): each entry is a
// header of sizes, type and name, then its data, aligned to 4 bytes.
std::vector<std::pair<std::string, std::vector<uint8_t>>> DialogResources(const std::vector<uint8_t> &res)
{
  std::vector<std::pair<std::string, std::vector<uint8_t>>> found;
  const auto word = [&](size_t at) { return uint32_t(res[at] | res[at + 1] << 8); };
  for (size_t at = 0; at + 8 <= res.size();)
  {
    const uint32_t dataSize = word(at) | word(at + 2) << 16, headerSize = word(at + 4) | word(at + 6) << 16;
    size_t field = at + 8;
    const bool dialogType = word(field) == 0xFFFF && word(field + 2) == 5;
    field += word(field) == 0xFFFF ? 4 : 0;
    std::string name;
    if (word(field) != 0xFFFF)
      for (; word(field) != 0; field += 2)
        name += char(word(field));
    if (dialogType)
      found.emplace_back(name,
                         std::vector<uint8_t>(res.begin() + at + headerSize, res.begin() + at + headerSize + dataSize));
    at = (at + headerSize + dataSize + 3) & ~size_t(3);
  }
  return found;
}

}  // namespace

// What the resource compiler makes of the script must be what the Linux
// host reads from the script itself: one dialog, the same controls.
TEST(CompiledDialog, ReadsAsTheScriptDoes)
{
  const std::string resPath = RASTELLO_TEST_TMP "/rastello-dialog.res";
  const std::string command = "i686-w64-mingw32-windres -I" RASTELLO_SHELL_SOURCE " -O res -o " + resPath
                              + " " RASTELLO_SHELL_SOURCE "/rastello.rc 2>/dev/null";
  if (std::system("command -v i686-w64-mingw32-windres >/dev/null") != 0 || std::system(command.c_str()) != 0)
    GTEST_SKIP() << "no resource compiler for Windows here";
  const auto dialogs = DialogResources(testing_support::ReadFileBytes(resPath));
  ASSERT_EQ(dialogs.size(), 1u);
  const DialogTemplate compiled =
    ParseDialogResource(dialogs[0].first, dialogs[0].second.data(), dialogs[0].second.size());
  const DialogTemplate script = ParseResourceScript(ModuleScript()).at(0);
  EXPECT_EQ(compiled.name, "IDD_DLGJPEG");
  EXPECT_EQ(compiled.caption, script.caption);
  EXPECT_EQ(compiled.fontSize, script.fontSize);
  EXPECT_EQ(compiled.fontName, script.fontName);
  EXPECT_EQ(compiled.width, script.width);
  ASSERT_EQ(compiled.controls.size(), script.controls.size());
  for (size_t i = 0; i < script.controls.size(); ++i)
  {
    const ControlTemplate &a = compiled.controls[i], &b = script.controls[i];
    SCOPED_TRACE(b.text);
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(a.kind, b.kind);
    EXPECT_EQ(a.text, b.text);
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.height, b.height);
    const uint32_t meaningful = WsVisible | WsDisabled | WsGroup | BsTypeMask;
    EXPECT_EQ(a.style & meaningful, b.style & meaningful);
  }
}

// A module's resources are read as untrusted bytes: every cut of a valid
// template is refused, none is read past.
TEST(CompiledDialog, RefusesEveryTruncation)
{
  std::vector<uint8_t> bytes;
  PutWord(bytes, 0x40);    // DS_SETFONT
  PutWord(bytes, 0x80C8);  // WS_POPUP | WS_CAPTION
  PutWord(bytes, 0);
  PutWord(bytes, 0);
  PutWord(bytes, 1);  // one control
  for (int v : {0, 0, 100, 50})
    PutWord(bytes, uint32_t(v));
  PutWord(bytes, 0);  // no menu
  PutWord(bytes, 0);  // default class
  PutText(bytes, "Title");
  PutWord(bytes, 8);
  PutText(bytes, "Font");
  while (bytes.size() % 4)
    bytes.push_back(0);
  PutWord(bytes, 0x0003);  // BS_AUTOCHECKBOX
  PutWord(bytes, 0x5001);  // WS_CHILD | WS_VISIBLE | WS_TABSTOP
  PutWord(bytes, 0);
  PutWord(bytes, 0);
  for (int v : {5, 6, 40, 10, 1007})
    PutWord(bytes, uint32_t(v));
  PutWord(bytes, 0xFFFF);
  PutWord(bytes, 0x80);  // Button
  PutText(bytes, "Check");
  PutWord(bytes, 0);  // no creation data

  const DialogTemplate whole = ParseDialogResource("D", bytes.data(), bytes.size());
  EXPECT_EQ(whole.caption, "Title");
  EXPECT_EQ(whole.fontName, "Font");
  ASSERT_EQ(whole.controls.size(), 1u);
  EXPECT_EQ(whole.controls[0].kind, ControlKind::CheckBox);
  EXPECT_EQ(whole.controls[0].id, 1007);
  EXPECT_EQ(whole.controls[0].text, "Check");
  for (size_t size = 0; size < bytes.size(); ++size)
  {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + size);
    EXPECT_THROW(ParseDialogResource("D", cut.data(), cut.size()), ResourceScriptError) << size;
  }
}
