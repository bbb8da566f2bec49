// The real host with the real module: menus across runs, the options dialog
// and what it stores, and the registry surviving bad files.
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace testing_support;

namespace
{

const char MenuListing[] = "JPEG\n  Write bitmap section   WBS\n  ------\n  Settings               JPEGOPT\n"
                           "  ------\n  Help                   OPENDOC Rastello.HTML\n";
const std::vector<int32_t> DefaultOptions = {800, 600, 8, 75, 2, 0, 9, 0};

}  // namespace

TEST(MenuSwitch, FirstRunAddsMenuAndSwitchShowsAtNextRun)
{
  const std::string registry = TempPath("registry.reg");
  CommandResult run = RunZulan(registry, "--menus");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, MenuListing)) << run.output;

  run = RunZulan(registry, "-c JPEGMENUOFF --menus");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "InfoBox: Rastello menu turned off\n"
                                   "InfoBox: The changes will take effect in your next session.\n"
                                   "InfoBox: \nInfoBox: Use JPEGMENUON to turn it back on.\n"))
    << run.output;
  EXPECT_TRUE(Contains(run.output, MenuListing)) << "the running host keeps its menu\n" << run.output;
  EXPECT_EQ(StoredValue(registry, "AddMenu"), OptionsBytes({0}));

  run = RunZulan(registry, "--menus");
  EXPECT_TRUE(Contains(run.output, "No menus.")) << run.output;

  run = RunZulan(registry, "-c jpegmenuon");
  EXPECT_TRUE(Contains(run.output, "InfoBox: Rastello menu turned on\n")) << run.output;
  EXPECT_TRUE(Contains(run.output, "InfoBox: Use JPEGMENUOFF to turn it off again.\n")) << run.output;
  EXPECT_EQ(StoredValue(registry, "AddMenu"), OptionsBytes({1}));
  EXPECT_TRUE(Contains(RunZulan(registry, "--menus").output, MenuListing));
}

TEST(MenuSwitch, OtherEventCodesChangeNothing)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, "\"AddMenu\"=hex:00,00,00,00\n");
  const std::vector<uint8_t> before = ReadFileBytes(registry);
  const CommandResult run = RunZulan(registry, "--event 0 --event 13 --event 15 --event -14 --menus");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "No menus.")) << run.output;
  EXPECT_EQ(ReadFileBytes(registry), before);
}

TEST(MenuSwitch, MenuItemRunsLikeATypedCommand)
{
  const std::string registry = TempPath("registry.reg");
  CommandResult run = RunZulan(registry, "-m 'Settings: ok'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes(DefaultOptions));
  run = RunZulan(registry, "-m 'JPEG/Help'");
  EXPECT_TRUE(Contains(run.output, "document \"Rastello.HTML\" not found")) << run.output;
  run = RunZulan(registry, "-m 'Nothing'");
  EXPECT_EQ(run.status, 2) << run.output;
}

// One run of the options dialog on a registry file that holds stored (none
// when empty): the exit status, what the run shows and what it stores.
struct DialogRun
{
  const char *name;
  std::string stored, arguments;
  int status;
  std::vector<std::string> shown, notShown;
  std::vector<int32_t> options;  // empty: no Options value
  bool untouched = false;        // the file stays byte for byte
};

class OptionsDialog : public testing::TestWithParam<DialogRun>
{
};

TEST_P(OptionsDialog, ShowsAndStores)
{
  const DialogRun &test = GetParam();
  const std::string registry = TempPath("registry.reg");
  if (!test.stored.empty())
    WriteRegistry(registry, test.stored);
  const std::vector<uint8_t> before = ReadFileBytes(registry);
  const CommandResult run = RunZulan(registry, test.arguments);
  EXPECT_EQ(run.status, test.status) << run.output;
  for (const std::string &text : test.shown)
    EXPECT_TRUE(Contains(run.output, text)) << text << "\n" << run.output;
  for (const std::string &text : test.notShown)
    EXPECT_FALSE(Contains(run.output, text)) << text << "\n" << run.output;
  if (test.untouched)
  {
    EXPECT_EQ(ReadFileBytes(registry), before);
  }
  EXPECT_EQ(StoredValue(registry, "Options"),
            test.options.empty() ? std::vector<uint8_t>{} : OptionsBytes(test.options));
}

const std::string DialogTitle = "dialog \"JPEG and PNG Options\": ";

INSTANTIATE_TEST_SUITE_P(
  Runs, OptionsDialog,
  testing::Values(
    DialogRun{"OkStoresTheWholeRecord",
              "",
              "-c 'JPEGOPT 1010=off Width=1024 Height=768 Quality=90 Progressive=on Crop Fast=on "
              "\"Force black and white image (requires 6.10)\"=on ok'",
              0,
              {},
              {},
              {1024, 768, 2, 90, 2, 1, 1, 1}},
    DialogRun{"CancelLeavesTheFileAlone",
              OptionsLine({640, 480, 0, 50, 2, 2, -1, 0}),
              "-c 'JPEGOPT Width=1 Quality=2 Maximum cancel'",
              0,
              {"closed with Cancel"},
              {},
              {640, 480, 0, 50, 2, 2, -1, 0},
              true},
    // With nothing stored, a later OK in the same run must not pick up
    // what the cancelled dialog had typed.
    DialogRun{"CancelLeavesRunningValuesAlone",
              "",
              "-c 'JPEGOPT 1010=off Width=1234 Blank cancel' -c 'JPEGOPT ok'",
              0,
              {},
              {},
              DefaultOptions},
    DialogRun{"MissingOptionsValueLeavesDefaults",
              "\"AddMenu\"=hex:01,00,00,00\n",
              "--show-dialog -c 'JPEGOPT ok'",
              0,
              {"[800]"},
              {},
              DefaultOptions},
    DialogRun{"GreyscaleBitSurvivesARoundTrip",
              OptionsLine({800, 600, 1 | 2, 75, 2, 0, 9, 0}),
              "-c 'JPEGOPT Quality=60 ok'",
              0,
              {},
              {},
              {800, 600, 3, 60, 2, 0, 9, 0}},
    // The dialog shows no Greyscale control, so nobody can set it there.
    DialogRun{"GreyscaleBitIsHidden",
              OptionsLine({800, 600, 3, 60, 2, 0, 9, 0}),
              "-c 'JPEGOPT Greyscale=off ok'",
              2,
              {"\"Greyscale\" (1003) is hidden"},
              {},
              {800, 600, 3, 60, 2, 0, 9, 0}},
    // The dialog shows the stored size, not the clipboard's.
    // A refused word (Width=5 while greyed out) makes the ok a cancel.
    DialogRun{"ClipboardSizeGreysOutWidthAndHeight",
              "",
              "--clipboard 1920x1080 --show-dialog -c 'JPEGOPT Width=5 1010=off Width=6 1010=on ok'",
              2,
              {DialogTitle + "\"Width\" (1000) disabled\n" + DialogTitle + "\"Height\" (1001) disabled\n",
               "\"Width\" (1000) is disabled; \"Width=5\" refused", DialogTitle + "\"Width\" (1000) enabled\n",
               "\"Help\" (1014) hidden", "(requires 6.10)\" (2015) shown", "[800]"},
              {"[1920]"},
              {}},
    DialogRun{"ClipboardSizeStoredWhenEveryWordIsTaken",
              "",
              "--clipboard 1920x1080 -c 'JPEGOPT 1010=off Width=6 1010=on ok'",
              0,
              {},
              {},
              {6, 600, 8, 75, 2, 0, 9, 0}},
    // One refused word cancels the whole dialog: the valid words around
    // it (Crop, Normal=off) are not stored either, and every refusal is told.
    DialogRun{"RefusedInputsChangeNothing",
              OptionsLine({640, 480, 0, 50, 2, 2, -1, 0}),
              "-c 'JPEGOPT 1010=off Width=12345 Quality=abc Quality=1000 Normal=off Use=on Colour=on Crop ok'",
              2,
              {"takes at most 4 characters; \"Width=12345\" refused", "takes a whole number, not \"abc\"",
               "takes at most 3 characters", "more than one control answers to \"Use\"", "no control \"Colour\"",
               "ok not taken after a refused word; nothing changed", "closed with Cancel"},
              {},
              {640, 480, 0, 50, 2, 2, -1, 0},
              true},
    DialogRun{"OneRefusedValueStoresNothing",
              "",
              "-c 'JPEGOPT 1010=off Width=1600 Height=1200 Quality=abc ok'",
              2,
              {"\"Quality=abc\" refused"},
              {},
              {}},
    // No ok or cancel: the dialog closes as cancelled.
    DialogRun{"UnfinishedIsCancelled", "", "-c 'JPEGOPT 1010=off'", 2, {}, {}, {}}),
  [](const testing::TestParamInfo<DialogRun> &test) { return std::string(test.param.name); });

TEST(Registry, CorruptOrTruncatedFilesGiveDefaults)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, "\"AddMenu\"=hex:00,00,00,00\n\"Options\"=hex:20,03,0");
  CommandResult run = RunZulan(registry, "--menus");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "is corrupt (line 3: byte 2 is not two hex digits); using defaults")) << run.output;
  EXPECT_TRUE(Contains(run.output, MenuListing)) << "AddMenu from the corrupt file was not used\n" << run.output;

  // Saving keeps the user's corrupt file beside the new one.
  const std::vector<uint8_t> corrupt = ReadFileBytes(registry);
  run = RunZulan(registry, "-c 'JPEGOPT ok'");
  EXPECT_EQ(ReadFileBytes(registry + ".corrupt"), corrupt);
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes(DefaultOptions));

  // Well formed but 10 bytes long: not the record, so not used.
  WriteRegistry(registry, "\"Options\"=hex:00,04,00,00,00,03,00,00,00,00\n");
  run = RunZulan(registry, "--show-dialog -c 'JPEGOPT cancel'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "holds 10 bytes where 32 were expected; using defaults")) << run.output;
  EXPECT_TRUE(Contains(run.output, "[800]")) << run.output;

  std::filesystem::create_directories(registry + ".dir");
  run = RunZulan(registry + ".dir", "-c 'JPEGOPT ok'");
  EXPECT_TRUE(Contains(run.output, "registry not saved")) << run.output;
}

TEST(Commands, ErrorsAndUnknownsReportThroughExitStatus)
{
  const std::string registry = TempPath("registry.reg");
  CommandResult run = RunZulan(registry, "-c 'WBSM " + TempPath("section.jpeg") + " 0,0 10,10'");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "ErrorBox: Unknown file format")) << run.output;
  run = RunZulan(registry, "--export 'GIF File' out.gif");
  EXPECT_EQ(run.status, 2) << run.output;
  run = RunZulan(registry, "-c NOSUCH");
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_TRUE(Contains(run.output, "unknown command NOSUCH")) << run.output;
  run = RunZulan(registry, "-c 'JPEGMENUON extra'");
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_TRUE(Contains(run.output, "did not use: extra")) << run.output;
}

TEST(Commands, CommandsAndExportsRunInTheOrderGiven)
{
  const std::string registry = TempPath("registry.reg");
  const CommandResult run = RunZulan(registry, "-c JPEGMENUOFF --export 'JPEG File' " + TempPath("a.jpg")
                                                 + " -c JPEGMENUON --export 'PNG File' " + TempPath("b.png"));
  const size_t off = run.output.find("menu turned off");
  const size_t exported = run.output.find("Saving JPG file");
  const size_t on = run.output.find("menu turned on");
  const size_t second = run.output.find("Saving PNG file");
  ASSERT_NE(second, std::string::npos) << run.output;
  EXPECT_LT(off, exported);
  EXPECT_LT(exported, on);
  EXPECT_LT(on, second);
  EXPECT_EQ(StoredValue(registry, "AddMenu"), OptionsBytes({1}));
}

TEST(Commands, HelpAndStartUpFailures)
{
  const CommandResult help = RunCommand(ShellQuote(ZULAN_PATH) + " --help");
  EXPECT_EQ(help.status, 0);
  for (const char *option : {"--command", "--export", "--menu-item", "--event", "--module", "--registry", "--clipboard",
                             "--show-dialog", "--menus", "--commands", "Exit status"})
    EXPECT_TRUE(Contains(help.output, option)) << option;

  // Refused command lines exit 2, whatever the parser's own codes are.
  for (const char *bad : {"--bogus", "--export 'PNG File'", "--event abc"})
    EXPECT_EQ(RunCommand(ShellQuote(ZULAN_PATH) + " " + bad).status, 2) << bad;

  const std::string registry = TempPath("registry.reg");
  CommandResult run =
    RunCommand(ShellQuote(ZULAN_PATH) + " --module /nonexistent/module.so --registry " + ShellQuote(registry));
  EXPECT_EQ(run.status, 3) << run.output;
  run = RunZulan(registry, "--clipboard 12x");
  EXPECT_EQ(run.status, 2) << run.output;
  // Found beside the executable without --module.
  run = RunCommand(ShellQuote(ZULAN_PATH) + " --registry " + ShellQuote(registry) + " --commands");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "Commands: JPEGOPT WBS WBSM JPEGMENUON JPEGMENUOFF SAVEBMP")) << run.output;
}

TEST(Drawings, ExamplesLoadAndBadDrawingsEndTheRunWithAClearError)
{
  const std::string registry = TempPath("registry.reg");
  for (const char *name : {"floorplan.dxf", "bracket.dxf"})
  {
    // The drawing may also follow the commands.
    const std::string drawing = ShellQuote(std::string(RASTELLO_EXAMPLES) + "/" + name);
    const CommandResult run = RunZulan(registry, "-c JPEGMENUON " + drawing + " --menus");
    EXPECT_EQ(run.status, 0) << name << "\n" << run.output;
  }

  const std::string truncated = TempPath("truncated.dxf");
  const std::vector<uint8_t> whole = ReadFileBytes(std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf");
  WriteFileBytes(truncated, std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
  const std::string garbage = TempPath("garbage.dxf");
  WriteFileBytes(garbage, {0x00, 0xFF, 0x13, 0x37, 0x0A, 0x80});
  const std::string folder = TempPath("folder.dxf");
  std::filesystem::create_directories(folder);
  const std::string nested = std::string(RASTELLO_EXAMPLES) + "/../tests/regressions/dxf-nested-empty-arrays.dxf";
  for (const std::string &bad : {truncated, garbage, TempPath("missing.dxf"), folder, nested})
  {
    const CommandResult run = RunZulan(registry, ShellQuote(bad) + " --menus");
    EXPECT_EQ(run.status, 4) << run.output;
    EXPECT_TRUE(Contains(run.output, "zulan: " + bad + ": ")) << run.output;
    EXPECT_FALSE(Contains(run.output, "JPEG\n")) << "the module must not run on a bad drawing";
  }
}

// Colours in an exported picture beyond the palette's: smoothed edges.
size_t SmoothedPixels(const DecodedImage &image)
{
  size_t count = 0;
  for (size_t i = 0; i + 3 < image.rgba.size(); i += 4)
  {
    const uint8_t r = image.rgba[i], g = image.rgba[i + 1], b = image.rgba[i + 2];
    count += r == g && g == b && r != 0 && r != 255;  // greys between black and white
  }
  return count;
}

TEST(Drawings, AntialiasByOptionOrHostSettingOnly)
{
  const std::string registry = TempPath("registry.reg");
  const std::string drawing = ShellQuote(std::string(RASTELLO_EXAMPLES) + "/bracket.dxf");
  const std::string png = TempPath("bracket.png");
  auto exported = [&](const std::string &options) {
    std::filesystem::remove(png);
    const CommandResult run = RunZulan(registry, drawing + " " + options + " --export 'PNG File' " + ShellQuote(png));
    EXPECT_EQ(run.status, 0) << run.output;
    return DecodePng(ReadFileBytes(png));
  };
  WriteRegistry(registry, "");
  const DecodedImage plain = exported("");
  ASSERT_TRUE(plain.ok);
  EXPECT_EQ(SmoothedPixels(plain), 0u);
  const DecodedImage smooth = exported("--antialias");
  ASSERT_TRUE(smooth.ok);
  EXPECT_GT(SmoothedPixels(smooth), 100u);
  // The host's setting does the same for every run.
  std::ofstream(registry) << "[HKEY_CURRENT_USER\\Software\\Zulan\\Drawing]\n\"Antialias\"=hex(4):01,00,00,00\n";
  EXPECT_GT(SmoothedPixels(exported("")), 100u);
  std::ofstream(registry) << "[HKEY_CURRENT_USER\\Software\\Zulan\\Drawing]\n\"Antialias\"=hex(4):00,00,00,00\n";
  EXPECT_EQ(SmoothedPixels(exported("")), 0u);
}
