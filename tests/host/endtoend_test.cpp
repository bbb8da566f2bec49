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

std::string OptionsLine(const std::vector<int32_t> &words)
{
  std::string line = "\"Options\"=hex:";
  char byte[4];
  bool first = true;
  for (uint8_t value : OptionsBytes(words))
  {
    std::snprintf(byte, sizeof byte, first ? "%02x" : ",%02x", value);
    line += byte;
    first = false;
  }
  return line + "\n";
}

bool Contains(const std::string &text, const std::string &part)
{
  return text.find(part) != std::string::npos;
}

} // namespace

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

TEST(OptionsDialog, OkStoresTheWholeRecord)
{
  const std::string registry = TempPath("registry.reg");
  const CommandResult run = RunZulan(
      registry, "-c 'JPEGOPT 1010=off Width=1024 Height=768 Quality=90 Progressive=on Crop Fast=on "
                "\"Force black and white image (requires 6.10)\"=on ok'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes({1024, 768, 2, 90, 2, 1, 1, 1}));
}

TEST(OptionsDialog, CancelLeavesStoredAndRunningValuesAlone)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, OptionsLine({640, 480, 0, 50, 2, 2, -1, 0}));
  const std::vector<uint8_t> before = ReadFileBytes(registry);
  CommandResult run = RunZulan(registry, "-c 'JPEGOPT Width=1 Quality=2 Maximum cancel'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "closed with Cancel")) << run.output;
  EXPECT_EQ(ReadFileBytes(registry), before);

  // With nothing stored, a later OK in the same run must not pick up what
  // the cancelled dialog had typed.
  const std::string empty = TempPath("empty.reg");
  run = RunZulan(empty, "-c 'JPEGOPT 1010=off Width=1234 Blank cancel' -c 'JPEGOPT ok'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(StoredValue(empty, "Options"), OptionsBytes(DefaultOptions));
}

TEST(OptionsDialog, MissingOptionsValueLeavesDefaults)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, "\"AddMenu\"=hex:01,00,00,00\n");
  const CommandResult run = RunZulan(registry, "--show-dialog -c 'JPEGOPT ok'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "[800]")) << run.output;
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes(DefaultOptions));
}

TEST(OptionsDialog, GreyscaleBitSurvivesARoundTrip)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, OptionsLine({800, 600, 1 | 2, 75, 2, 0, 9, 0}));
  CommandResult run = RunZulan(registry, "-c 'JPEGOPT Quality=60 ok'");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes({800, 600, 3, 60, 2, 0, 9, 0}));

  // The dialog shows no Greyscale control, so nobody can set it there.
  run = RunZulan(registry, "-c 'JPEGOPT Greyscale=off ok'");
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"Greyscale\" (1003) is hidden")) << run.output;
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes({800, 600, 3, 60, 2, 0, 9, 0}));
}

TEST(OptionsDialog, ClipboardSizeGreysOutWidthAndHeight)
{
  const std::string registry = TempPath("registry.reg");
  const CommandResult run =
      RunZulan(registry, "--clipboard 1920x1080 --show-dialog -c 'JPEGOPT Width=5 1010=off Width=6 1010=on ok'");
  EXPECT_EQ(run.status, 2) << run.output;
  const std::string opened = "dialog \"JPEG and PNG Options\": \"Width\" (1000) disabled\n"
                             "dialog \"JPEG and PNG Options\": \"Height\" (1001) disabled\n";
  EXPECT_TRUE(Contains(run.output, opened)) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"Width\" (1000) is disabled; \"Width=5\" refused")) << run.output;
  EXPECT_TRUE(Contains(run.output, "dialog \"JPEG and PNG Options\": \"Width\" (1000) enabled\n")) << run.output;
  EXPECT_TRUE(Contains(run.output, "\"Help\" (1014) hidden")) << run.output;
  EXPECT_TRUE(Contains(run.output, "(requires 6.10)\" (2015) shown")) << run.output;
  // The dialog shows the stored size, not the clipboard's.
  EXPECT_TRUE(Contains(run.output, "[800]")) << run.output;
  EXPECT_FALSE(Contains(run.output, "[1920]")) << run.output;
  // The refused Width=5 makes the ok a cancel; without it the size is stored.
  EXPECT_TRUE(StoredValue(registry, "Options").empty());
  const CommandResult valid = RunZulan(registry, "--clipboard 1920x1080 -c 'JPEGOPT 1010=off Width=6 1010=on ok'");
  EXPECT_EQ(valid.status, 0) << valid.output;
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes({6, 600, 8, 75, 2, 0, 9, 0}));
}

TEST(OptionsDialog, RefusedInputsChangeNothing)
{
  // One refused word cancels the whole dialog: the valid words around it
  // (Crop, Normal=off) are not stored either, and every refusal is told.
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, OptionsLine({640, 480, 0, 50, 2, 2, -1, 0}));
  const std::vector<uint8_t> before = ReadFileBytes(registry);
  const CommandResult run = RunZulan(
      registry, "-c 'JPEGOPT 1010=off Width=12345 Quality=abc Quality=1000 Normal=off Use=on Colour=on Crop ok'");
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_TRUE(Contains(run.output, "takes at most 4 characters; \"Width=12345\" refused")) << run.output;
  EXPECT_TRUE(Contains(run.output, "takes a whole number, not \"abc\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "takes at most 3 characters")) << run.output;
  EXPECT_TRUE(Contains(run.output, "more than one control answers to \"Use\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "no control \"Colour\"")) << run.output;
  EXPECT_TRUE(Contains(run.output, "ok not taken after a refused word; nothing changed")) << run.output;
  EXPECT_TRUE(Contains(run.output, "closed with Cancel")) << run.output;
  EXPECT_EQ(ReadFileBytes(registry), before);

  // A single bad value among good ones, on default settings.
  const std::string fresh = TempPath("fresh.reg");
  const CommandResult one = RunZulan(fresh, "-c 'JPEGOPT 1010=off Width=1600 Height=1200 Quality=abc ok'");
  EXPECT_EQ(one.status, 2) << one.output;
  EXPECT_TRUE(Contains(one.output, "\"Quality=abc\" refused")) << one.output;
  EXPECT_TRUE(StoredValue(fresh, "Options").empty());

  // No ok or cancel: the dialog closes as cancelled.
  const std::string other = TempPath("other.reg");
  const CommandResult unfinished = RunZulan(other, "-c 'JPEGOPT 1010=off'");
  EXPECT_EQ(unfinished.status, 2) << unfinished.output;
  EXPECT_TRUE(StoredValue(other, "Options").empty());
}

TEST(Registry, CorruptOrTruncatedFilesGiveDefaults)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, "\"AddMenu\"=hex:00,00,00,00\n\"Options\"=hex:20,03,0");
  CommandResult run = RunZulan(registry, "--menus");
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "is corrupt (line 3: byte 2 is not two hex digits); using defaults"))
      << run.output;
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
  for (const char *option : {"--command", "--export", "--menu-item", "--event", "--module", "--registry",
                             "--clipboard", "--show-dialog", "--menus", "--commands", "Exit status"})
    EXPECT_TRUE(Contains(help.output, option)) << option;

  // Refused command lines exit 2, whatever the parser's own codes are.
  for (const char *bad : {"--bogus", "--export 'PNG File'", "--event abc"})
    EXPECT_EQ(RunCommand(ShellQuote(ZULAN_PATH) + " " + bad).status, 2) << bad;

  const std::string registry = TempPath("registry.reg");
  CommandResult run = RunCommand(ShellQuote(ZULAN_PATH) + " --module /nonexistent/module.so --registry "
                                 + ShellQuote(registry));
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
    count += r == g && g == b && r != 0 && r != 255; // greys between black and white
  }
  return count;
}

TEST(Drawings, AntialiasByOptionOrHostSettingOnly)
{
  const std::string registry = TempPath("registry.reg");
  const std::string drawing = ShellQuote(std::string(RASTELLO_EXAMPLES) + "/bracket.dxf");
  const std::string png = TempPath("bracket.png");
  auto exported = [&](const std::string &options)
  {
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
