// The host's parts where the module's data crosses into them: file names
// copied into the module's fixed buffers, registry key paths and value names
// given as host string ids, export filters named in any case, and refused
// input ending the run with its own exit status.
#include "console.h"
#include "filenames.h"
#include "moduleloader.h"
#include "registrybridge.h"
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>
#include <vector>

using namespace zulan;
using testing_support::TempPath;

namespace
{

// A module buffer of XP_NAME_BYTES with guard bytes beyond it, to see what
// a copy touches.
struct NameBuffer
{
  NameBuffer() { std::memset(bytes, '#', sizeof bytes); }
  bool UntouchedFrom(size_t first) const
  {
    for (size_t i = first; i < sizeof bytes; ++i)
      if (bytes[i] != '#')
        return false;
    return true;
  }
  char bytes[XP_NAME_BYTES + 16];
};

TEST(FileNames, LongestNameThatFitsIsCopiedWithItsEnd)
{
  Console console(false);
  NameBuffer buffer;
  const std::string name(XP_NAME_BYTES - 1, 'n');  // 255 characters and the NUL fill the buffer
  EXPECT_TRUE(CopyFileName(console, name, buffer.bytes, ""));
  EXPECT_EQ(std::string(buffer.bytes), name);
  EXPECT_EQ(buffer.bytes[XP_NAME_BYTES - 1], '\0');
  EXPECT_TRUE(buffer.UntouchedFrom(XP_NAME_BYTES)) << "written past the module's buffer";
  EXPECT_FALSE(console.InputRefused());

  NameBuffer empty;
  EXPECT_TRUE(CopyFileName(console, "", empty.bytes, ""));
  EXPECT_EQ(empty.bytes[0], '\0');
  EXPECT_TRUE(empty.UntouchedFrom(1));
}

TEST(FileNames, OneCharacterTooLongIsRefusedAndWritesNothing)
{
  for (size_t length : {XP_NAME_BYTES, XP_NAME_BYTES + 1, size_t{5000}})
  {
    SCOPED_TRACE(length);
    Console console(false);
    NameBuffer buffer;
    testing::internal::CaptureStderr();
    const bool copied = CopyFileName(console, std::string(length, 'n'), buffer.bytes, "; give a shorter one");
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(copied);
    EXPECT_TRUE(buffer.UntouchedFrom(0)) << "a refused name must leave the module's buffer as it was";
    EXPECT_TRUE(console.InputRefused());
    EXPECT_EQ(warning, "zulan: file name longer than 255 characters refused; give a shorter one\n");
  }
}

// The save dialog's name: the Esc key is a cancel, never a file name, and a
// script without a name is refused.
TEST(FileNames, SaveNameCancelledOrLeftWithoutInput)
{
  struct Case
  {
    bool interactive;
    std::vector<std::string> given;
    const char *typed;
    int32_t chosen;
    bool refused;
  };
  const Case cases[] = {
    {false, {}, "", 0, true},           {false, {"esc"}, "", 0, false}, {true, {}, "\x1b\n", 0, false},
    {true, {}, "plan\x1b\n", 0, false}, {true, {}, "", 0, false},       {true, {}, "plan\n", 1, false},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(testing::PrintToString(c.given) + " typed " + testing::PrintToString(std::string(c.typed)));
    Console console(false);
    std::istringstream terminal(c.typed);
    InputWords inputs(console, c.interactive, terminal);
    inputs.Assign(c.given.begin(), c.given.end());
    char name[XP_NAME_BYTES] = "old.png";
    int32_t filter = 0;
    SaveFileRecord saveRecord = {name, &filter, "PNG", "PNG file\0*.PNG\0\0", 4096, 2048, 1, "SAVE"};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int32_t chosen = AskSaveFileName(inputs, console, "Save section", &saveRecord);
    const std::string printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_EQ(chosen, c.chosen) << printed;
    EXPECT_EQ(console.InputRefused(), c.refused) << printed;
    if (c.chosen == 0)
    {
      EXPECT_STREQ(name, "old.png");
    }
    else
    {
      EXPECT_EQ(std::string(name), (std::filesystem::current_path() / "plan.PNG").string());
    }
    if (c.refused)
    {
      EXPECT_NE(printed.find("zulan: no input for \"Save section:\"; cancelled\n"), std::string::npos) << printed;
    }
  }
}

TEST(ConsoleStatus, OnlyRefusalsMarkTheRunAsRefused)
{
  Console console(false);
  testing::internal::CaptureStderr();
  console.Warn("just a warning");
  console.ShowMessage("ErrorBox", "an error box");
  EXPECT_FALSE(console.InputRefused());
  EXPECT_TRUE(console.ErrorBoxShown());
  console.Refuse("typed word refused");
  const std::string printed = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(console.InputRefused());
  EXPECT_TRUE(testing_support::Contains(printed, "zulan: just a warning\n")) << printed;
  EXPECT_TRUE(testing_support::Contains(printed, "zulan: typed word refused\n")) << printed;
}

// Below 0x10000 a key path or value name is no pointer but the id of one of
// the host's strings; the module's records mix both forms.
TEST(RegistryBridgeStrings, IdsAndTextsNameTheSameValue)
{
  Console console(false);
  std::vector<int32_t> asked;
  RegistryBridge bridge(TempPath("registry.reg"), console, [&](int32_t id) -> const char * {
    asked.push_back(id);
    switch (id)
    {
    case 3053:
      return "Software\\Rastello\\Export";
    case 0xFFFF:
      return "Options";
    default:
      return "";
    }
  });
  auto id = [](uintptr_t value) { return reinterpret_cast<const char *>(value); };

  int32_t stored = 0x01020304;
  RegValueRecord set = {XP_HKEY_CURRENT_USER, id(3053), id(0xFFFF), &stored, 4, 3, 4, 0};
  ASSERT_EQ(bridge.SetValue(&set), 1);
  EXPECT_EQ(asked, (std::vector<int32_t>{3053, 0xFFFF}));
  const auto value = bridge.GetRegistry().Get("HKEY_CURRENT_USER\\Software\\Rastello\\Export", "Options");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->bytes, (std::vector<uint8_t>{4, 3, 2, 1}));

  // Read back by text, then with an id for the key only.
  int32_t read = 0;
  RegValueRecord byText = {XP_HKEY_CURRENT_USER, "Software\\Rastello\\Export", "Options", &read, 4, 3, 4, 0};
  ASSERT_EQ(bridge.GetValue(&byText), 1);
  EXPECT_EQ(read, stored);
  read = 0;
  RegValueRecord mixed = {XP_HKEY_CURRENT_USER, id(3053), "Options", &read, 4, 3, 4, 0};
  ASSERT_EQ(bridge.GetValue(&mixed), 1);
  EXPECT_EQ(read, stored);

  // An id the host does not know names nothing that was stored.
  RegValueRecord unknown = {XP_HKEY_CURRENT_USER, id(3054), "Options", &read, 4, 3, 4, 0};
  EXPECT_EQ(bridge.GetValue(&unknown), 0);
}

void PngFilter() {}
void JpegFilter() {}

TEST(ExportFilters, FoundByDescriptionOrExtensionInAnyCase)
{
  Console console(false);
  ModuleLoader loader(console);
  loader.RegisterExport(JpegFilter, "JPEG File", "JPG");
  loader.RegisterExport(PngFilter, "PNG File", "PNG");
  for (const char *name : {"PNG File", "png file", "Png FILE", "PNG", "png", "pNg"})
  {
    const ExportFilter *filter = loader.FindExport(name);
    ASSERT_NE(filter, nullptr) << name;
    EXPECT_EQ(filter->handler, PngFilter) << name;
  }
  ASSERT_NE(loader.FindExport("jpeg file"), nullptr);
  EXPECT_EQ(loader.FindExport("jpeg file")->handler, JpegFilter);
  for (const char *name : {"PNG Fil", "PNG File ", "PN", "", "GIF File"})
    EXPECT_EQ(loader.FindExport(name), nullptr) << '"' << name << '"';
}

// End to end: a filter named in lower case runs; an unknown one is refused
// input, and the run ends with status 2 having written nothing.
TEST(ExportFilters, NamedOnTheCommandLine)
{
  using namespace testing_support;
  const std::string drawing = ShellQuote(std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf");
  const std::string folder = FreshFolder("out");
  const std::string registry = TempPath("registry.reg");

  CommandResult run = RunZulanIn(folder, registry, drawing + " --export 'png file' plan.png");
  EXPECT_EQ(run.status, 0) << run.output;
  const DecodedImage png = DecodePng(ReadFileBytes(folder + "/plan.png"));
  EXPECT_TRUE(png.ok) << png.messages;

  run = RunZulanIn(folder, registry, drawing + " --export 'GIF File' plan.gif");
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_TRUE(Contains(run.output, "zulan: no export filter \"GIF File\"")) << run.output;
  EXPECT_FALSE(std::filesystem::exists(folder + "/plan.gif"));
}

}  // namespace
