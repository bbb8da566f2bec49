// The module call by call: what its entry registers, what event 14 and the
// menu commands do, how JPEGOPT binds its dialog, and where the settings
// come from.
#include "commandtable.h"
#include "exportoptions.h"
#include "fakehost.h"
#include "zulanplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

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

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID);

TEST_F(ModuleTest, EntryRegistersTableThenFiltersAndUnregistersOnDetach)
{
  auto *instance = reinterpret_cast<HINSTANCE>(0x1234);
  EXPECT_TRUE(DllMain(instance, DLL_PROCESS_ATTACH, nullptr));
  EXPECT_EQ(commandTable.moduleInstance, instance);
  EXPECT_EQ(state.calls,
            (std::vector<std::string>{"XPRegCmd", "XPRegExport(JPEG File,JPG)", "XPRegExport(PNG File,PNG)"}));
  state.calls.clear();
  EXPECT_TRUE(DllMain(instance, DLL_THREAD_ATTACH, nullptr));
  EXPECT_TRUE(state.calls.empty());
  EXPECT_TRUE(DllMain(instance, DLL_PROCESS_DETACH, nullptr));
  EXPECT_EQ(state.calls, std::vector<std::string>{"XPUnregCmd"});
}

// The table read the way the host reads it: names up to an empty one, the
// handler of name i at handlers[i + 1], handlers[0] called once after
// attach. Each name must then run a handler that does that command's work.
TEST_F(ModuleTest, CommandTableAsTheHostReadsIt)
{
  // The host refuses a table of another layout version.
  EXPECT_EQ(commandTable.flags24, 0xF000);
  EXPECT_EQ(commandTable.version32, 603);
  EXPECT_EQ(commandTable.version44, 603);

  std::map<std::string, XPHandler> commands;
  size_t index = 0;
  for (const char *name = commandTable.commandNames; *name != '\0'; name += std::strlen(name) + 1, ++index)
  {
    ASSERT_LT(index, 64u) << "the name list has no empty end";
    ASSERT_NE(commandTable.handlers[index + 1], nullptr) << name;
    EXPECT_TRUE(commands.emplace(name, commandTable.handlers[index + 1]).second) << name << " named twice";
  }
  std::vector<std::string> names;
  for (const auto &command : commands)
    names.push_back(command.first);
  EXPECT_EQ(names, (std::vector<std::string>{"JPEGMENUOFF", "JPEGMENUON", "JPEGOPT", "SAVEBMP", "WBS", "WBSM"}));

  ASSERT_NE(commandTable.handlers[0], nullptr);
  commandTable.handlers[0]();
  EXPECT_TRUE(state.calls.empty()) << "the initialisation call asks the host for nothing";

  auto run = [&](const std::string &name) {
    state.calls.clear();
    commands.at(name)();
    return state.calls;
  };
  auto has = [](const std::vector<std::string> &calls, const std::string &prefix) {
    return std::any_of(calls.begin(), calls.end(), [&](const std::string &call) { return call.rfind(prefix, 0) == 0; });
  };
  // The request a command leaves the host with: "ReqData(prompt,input)".
  auto request = [&](const std::string &name) {
    const auto calls = run(name);
    const auto found =
      std::find_if(calls.begin(), calls.end(), [](const std::string &call) { return call.rfind("ReqData(", 0) == 0; });
    return found == calls.end() ? std::string() : *found;
  };
  auto asksFor = [](const std::string &call, int32_t input) {
    const std::string end = "," + std::to_string(input) + ")";
    return call.size() > end.size() && call.compare(call.size() - end.size(), end.size(), end) == 0;
  };
  EXPECT_TRUE(has(run("JPEGOPT"), "DefDlg(IDD_DLGJPEG)")) << "JPEGOPT opens the options dialog";
  const std::string wbs = request("WBS");
  EXPECT_TRUE(asksFor(wbs, DataInputFirstCorner)) << "WBS asks for the first corner: " << wbs;
  for (const char *named : {"WBSM", "SAVEBMP"})
  {
    const std::string asked = request(named);
    EXPECT_TRUE(asksFor(asked, DataInputFileName)) << named << " asks for a file name: " << asked;
  }
  run("JPEGMENUOFF");
  EXPECT_EQ(state.registry[fakehost::RegistryKey("AddMenu")], (std::vector<uint8_t>{0, 0, 0, 0}));
  run("JPEGMENUON");
  EXPECT_EQ(state.registry[fakehost::RegistryKey("AddMenu")], (std::vector<uint8_t>{1, 0, 0, 0}));

  // The start-up event goes through the table too, and every item of the
  // menu it adds runs one of the commands above or the host's OPENDOC.
  state.calls.clear();
  ASSERT_NE(commandTable.eventCallback, nullptr);
  commandTable.eventCallback(EventStartUp);
  ASSERT_TRUE(has(state.calls, "AddMenu(")) << "no menu at start-up";
  const std::string menu = commandTable.menuText;
  size_t items = 0;
  for (size_t bar = menu.find('|'); bar != std::string::npos; bar = menu.find('|', bar + 1), ++items)
  {
    const std::string command = menu.substr(bar + 1, menu.find_first_of("; ", bar) - bar - 1);
    EXPECT_TRUE(commands.count(command) != 0 || command == "OPENDOC") << "menu item runs unknown " << command;
  }
  EXPECT_GE(items, 3u);

  // Information: NUL-ended lines up to an empty one, naming the module
  // family first and documenting each command a user types.
  std::vector<std::string> lines;
  for (const char *line = commandTable.informationText; *line != '\0'; line += std::strlen(line) + 1)
    lines.push_back(line);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "Quorvel/Tamblin XP");
  for (const char *documented : {"JPEGOPT", "WBS", "JPEGMENUON", "JPEGMENUOFF"})
  {
    EXPECT_TRUE(has(lines, std::string(documented) + " - ")) << documented << " undocumented";
  }
}

TEST_F(ModuleTest, EventFourteenAddsMenuUnlessSwitchedOff)
{
  OnHostEvent(14);
  EXPECT_EQ(state.calls,
            (std::vector<std::string>{"RscAdr(3053)", "RMGetValue(" + fakehost::RegistryKey("AddMenu") + ",4,3,4)",
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
  const std::vector<std::string> expected = {"RscAdr(3053)",
                                             "RMGetValue(" + fakehost::RegistryKey("Options") + ",32,3,32)",
                                             "DefDlg(IDD_DLGJPEG)",
                                             "EDCTL(1000,0,3,4,800)",
                                             "EDCTL(1001,0,3,4,600)",
                                             "CHKCTL(1010,8,8,callback)",
                                             "EDCTL(1002,0,3,3,75)",
                                             "CHKCTL(1003,8,1)",
                                             "CHKCTL(1004,8,2)",
                                             "RBCTL(1006,9,1)",
                                             "RBCTL(1007,9,-1)",
                                             "RBCTL(1008,9,9)",
                                             "RBCTL(1011,0,0)",
                                             "RBCTL(1013,0,1)",
                                             "RBCTL(1012,0,2)",
                                             "CHKCTL(2015,0,1)",
                                             "XPDlog",
                                             "RscAdr(3053)",
                                             "RMSetValue(" + fakehost::RegistryKey("Options") + ",32)",
                                             "RelDlg",
                                             "CmdEnd"};
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
