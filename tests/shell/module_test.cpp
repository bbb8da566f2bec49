// The module call by call: what its entry registers, what event 14 and the
// menu commands do, how JPEGOPT binds its dialog, and where the settings
// come from.
#include "commandtable.h"
#include "exportoptions.h"
#include "fakehost.h"
#include "zulanplatform.h"

#include <gtest/gtest.h>

#include <cstring>

using fakehost::state;

namespace
{

const ExportOptions Defaults = {800, 600, 8, 75, 2, 0, 9, 0};

std::vector<uint8_t> Bytes(const void *data, size_t size)
{
  const auto *bytes = static_cast<const uint8_t *>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

int32_t clipboardBlock[10];

void *ClipboardValues(int32_t which)
{
  return which == 3 ? clipboardBlock : nullptr;
}

class ModuleTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    fakehost::Reset();
    exportOptions = Defaults;
    addMenuSwitch = 1;
    commandTable.hostModule = zulan::HostModuleHandle();
    zulan::UnregisterHostEntry(XP_GETSYSVADR_NAME);
  }
  void TearDown() override { zulan::UnregisterHostEntry(XP_GETSYSVADR_NAME); }
};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID);

TEST_F(ModuleTest, EntryRegistersTableThenFiltersAndUnregistersOnDetach)
{
  auto *instance = reinterpret_cast<HINSTANCE>(0x1234);
  EXPECT_TRUE(DllMain(instance, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(commandTable.moduleInstance, instance);
  EXPECT_EQ(state.calls, (std::vector<std::string>{"XPRegCmd", "XPRegExport(JPEG File,JPG)",
                                                   "XPRegExport(PNG File,PNG)"}));
  state.calls.clear();
  EXPECT_TRUE(DllMain(instance, DLL_THREAD_ATTACH, nullptr));
  EXPECT_TRUE(state.calls.empty());
  EXPECT_TRUE(DllMain(instance, DLL_PROCESS_DETACH, nullptr));
  EXPECT_EQ(state.calls, std::vector<std::string>{"XPUnregCmd"});
}

TEST_F(ModuleTest, CommandTableAsTheHostReadsIt)
{
  EXPECT_EQ(commandTable.flags24, 0xF000);
  EXPECT_EQ(commandTable.version32, 603);
  EXPECT_EQ(commandTable.version44, 603);
  EXPECT_EQ(commandTable.eventCallback, OnHostEvent);
  const char names[] = "JPEGOPT\0WBS\0WBSM\0JPEGMENUON\0JPEGMENUOFF\0SAVEBMP\0";
  EXPECT_EQ(std::memcmp(commandTable.commandNames, names, sizeof names), 0);
  const XPHandler expected[] = {JPEGOPT, WBS, WBSM, JPEGMENUON, JPEGMENUOFF, SAVEBMP};
  for (size_t i = 0; i < std::size(expected); ++i)
    EXPECT_EQ(commandTable.handlers[i + 1], expected[i]) << i;
  EXPECT_NE(commandTable.handlers[0], nullptr);
  EXPECT_STREQ(commandTable.menuText, "JPEG:\r\nWrite bitmap section:|WBS;\r\n------:\r\nSettings:|JPEGOPT;\r\n"
                                      "------:\r\nHelp:|OPENDOC Rastello.HTML;\r\n");

  // Information: NUL-ended lines up to an empty one.
  std::vector<std::string> lines;
  for (const char *line = commandTable.informationText; *line != '\0'; line += std::strlen(line) + 1)
    lines.push_back(line);
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(lines[0], "Quorvel/Tamblin XP");
  EXPECT_EQ(lines[3], "JPEG commands version 1.02:");
  EXPECT_EQ(lines[5], "JPEGOPT - Export filter options");
  EXPECT_EQ(lines[8], "JPEGMENUOFF - Turn off the default menu");
  EXPECT_EQ(lines[9], " ");
}

TEST_F(ModuleTest, EventFourteenAddsMenuUnlessSwitchedOff)
{
  OnHostEvent(14);
  EXPECT_EQ(state.calls, (std::vector<std::string>{"RscAdr(3053)", "RMGetValue(" + fakehost::RegistryKey("AddMenu")
                                                                      + ",4,3,4)",
                                                   std::string("AddMenu(") + menuText + ")"}));
  state.calls.clear();
  state.registry[fakehost::RegistryKey("AddMenu")] = {0, 0, 0, 0};
  OnHostEvent(14);
  EXPECT_EQ(state.calls.size(), 2u) << "no AddMenu";
  state.calls.clear();
  for (int32_t code : {0, 1, 13, 15, -14, 0x10000 + 14})
    OnHostEvent(code);
  EXPECT_TRUE(state.calls.empty());
}

TEST_F(ModuleTest, MenuCommandsStoreSwitchButKeepRunningOne)
{
  JPEGMENUOFF();
  EXPECT_EQ(state.registry[fakehost::RegistryKey("AddMenu")], (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(state.calls.back(), "CmdEnd");
  EXPECT_EQ(state.calls[state.calls.size() - 2],
            "InfoBox(Rastello menu turned off\nThe changes will take effect in your next session.\n\n"
            "Use JPEGMENUON to turn it back on.)");
  EXPECT_EQ(addMenuSwitch, 1);
  JPEGMENUON();
  EXPECT_EQ(state.registry[fakehost::RegistryKey("AddMenu")], (std::vector<uint8_t>{1, 0, 0, 0}));
}

TEST_F(ModuleTest, OptionsDialogBindsInOrderAndSavesOnOk)
{
  JPEGOPT();
  const std::vector<std::string> expected = {
      "RscAdr(3053)", "RMGetValue(" + fakehost::RegistryKey("Options") + ",32,3,32)", "DefDlg(IDD_DLGJPEG)",
      "EDCTL(1000,0,3,4,800)", "EDCTL(1001,0,3,4,600)", "CHKCTL(1010,8,8,callback)", "EDCTL(1002,0,3,3,75)",
      "CHKCTL(1003,8,1)", "CHKCTL(1004,8,2)", "RBCTL(1006,9,1)", "RBCTL(1007,9,-1)", "RBCTL(1008,9,9)",
      "RBCTL(1011,0,0)", "RBCTL(1013,0,1)", "RBCTL(1012,0,2)", "CHKCTL(2015,0,1)", "XPDlog", "RscAdr(3053)",
      "RMSetValue(" + fakehost::RegistryKey("Options") + ",32)", "RelDlg", "CmdEnd"};
  EXPECT_EQ(state.calls, expected);
  EXPECT_EQ(state.registry[fakehost::RegistryKey("Options")], Bytes(&Defaults, sizeof Defaults));
  ASSERT_EQ(state.callbacks.size(), 2u);
  EXPECT_EQ(state.callbacks[0], state.callbacks[1]) << "one callback for open and for 1010";

  fakehost::Reset();
  state.dialogResult = 2;
  JPEGOPT();
  EXPECT_TRUE(state.registry.empty()) << "Cancel stores nothing";
}

TEST_F(ModuleTest, DialogCallbackFollowsTheClipboardFlag)
{
  JPEGOPT();
  const XPDialogCallback callback = state.callbacks.at(0);
  state.calls.clear();
  EXPECT_EQ(callback(), 0);
  EXPECT_EQ(state.calls, (std::vector<std::string>{"DsAbCtl(1000)", "DsAbCtl(1001)"}));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(GetDlgWin(), 1014)));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(GetDlgWin(), 2015)));
  exportOptions.flags = FlagGreyscale;
  state.calls.clear();
  callback();
  EXPECT_EQ(state.calls, (std::vector<std::string>{"EnAbCtl(1000)", "EnAbCtl(1001)"}));
}

TEST_F(ModuleTest, LoadOptionsTakesClipboardSizeOnlyForExports)
{
  const ExportOptions stored = {1000, 500, FlagClipboardSize | FlagProgressive, 90, 2, 1, -1, 0};
  state.registry[fakehost::RegistryKey("Options")] = Bytes(&stored, sizeof stored);
  std::memset(clipboardBlock, 0, sizeof clipboardBlock);
  clipboardBlock[3] = 1920;
  clipboardBlock[4] = 1080;
  zulan::RegisterHostEntry(XP_GETSYSVADR_NAME, EntryCast<FARPROC>(ClipboardValues));

  LoadOptions(0);
  EXPECT_EQ(exportOptions.width, 1000);
  LoadOptions(1);
  EXPECT_EQ(exportOptions.width, 1920);
  EXPECT_EQ(exportOptions.height, 1080);
  EXPECT_EQ(exportOptions.quality, 90);
  EXPECT_EQ(state.registry[fakehost::RegistryKey("Options")], Bytes(&stored, sizeof stored)) << "memory only";

  // Flag off: the stored size.
  const ExportOptions noClipboard = {1000, 500, 0, 90, 2, 1, -1, 0};
  state.registry[fakehost::RegistryKey("Options")] = Bytes(&noClipboard, sizeof noClipboard);
  LoadOptions(1);
  EXPECT_EQ(exportOptions.width, 1000);
}

TEST_F(ModuleTest, ClipboardBlockFromRegistryWhenHostHasNoEntry)
{
  int32_t block[10] = {0, 0, 0, 640, 480, 0, 0, 0, 0, 0};
  state.registry["#3512|#3420"] = Bytes(block, sizeof block);
  LoadOptions(1);
  EXPECT_EQ(state.calls.back(), "RMGetValue(#3512|#3420,40,3,40)");
  EXPECT_EQ(exportOptions.width, 640);
  EXPECT_EQ(exportOptions.height, 480);
}

TEST_F(ModuleTest, NoClipboardSizeKeepsTheStoredSize)
{
  // Neither the entry nor the registry value: the stored size stays.
  LoadOptions(1);
  EXPECT_EQ(exportOptions.width, 800);
  EXPECT_EQ(exportOptions.height, 600);

  // An entry whose block holds no size (nothing on the clipboard).
  std::memset(clipboardBlock, 0, sizeof clipboardBlock);
  zulan::RegisterHostEntry(XP_GETSYSVADR_NAME, EntryCast<FARPROC>(ClipboardValues));
  LoadOptions(1);
  EXPECT_EQ(exportOptions.width, 800);
  EXPECT_EQ(exportOptions.height, 600);
}
