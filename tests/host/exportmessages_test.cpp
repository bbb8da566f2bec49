// Exports and settings that cannot work are refused before anything is
// drawn or stored, each with its cause and what to do about it, and leave
// no file behind.
#include "sanitizers.h"
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace testing_support;

namespace
{

// Width, height, flags (8: the clipboard's size), quality.
std::string Stored(int32_t width, int32_t height, int32_t flags = 0, int32_t quality = 75)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, OptionsLine({width, height, flags, quality, 2, 0, 9, 0}) + "\n");
  return registry;
}

struct Refusal
{
  const char *name;
  std::vector<int32_t> settings;  // width, height, flags, quality
  std::string arguments;          // after the drawing; files land in the test's folder
  std::string message;
  int status;
  std::vector<std::string> files;  // what the folder holds afterwards
};

TEST(ExportMessages, EachRefusalNamesItsCauseAndRemedy)
{
  const Refusal refusals[] = {
    {"JPEG wider than decoders open",
     {65501, 8, 0, 75},
     "--export 'JPEG File' a.jpg",
     "ErrorBox: Error: A JPEG of 65501 x 8 pixels would not open in common programs, which read at most 65500 "
     "pixels a side; export as PNG or BMP, or set a smaller size with JPEGOPT",
     1,
     {}},
    {"the same size as BMP", {65501, 8, 0, 75}, "-c 'SAVEBMP a.bmp'", "", 0, {"a.bmp"}},
    {"clipboard's JPEG too high",
     {800, 600, 8, 75},
     "--clipboard 8x65501 -c 'WBSM a.jpg 0,0 10,10'",
     "set a smaller size than the clipboard's with JPEGOPT",
     1,
     {}},
    {"clipboard out of range",
     {800, 600, 8, 75},
     "--clipboard 70000x10 --export 'PNG File' a.png",
     "ErrorBox: Error: The clipboard resolution 70000 x 10 is out of range (1 to 65535 pixels a side, at most "
     "2147483647 pixels); turn off \"Use clipboard resolution\" with JPEGOPT to use a size of your own",
     1,
     {}},
    {"section too large to draw",
     {800, 600, 0, 75},
     "-c 'WBSM a.png 0,-1.6e38 1,1.6e38'",
     "ErrorBox: Error: The section is too large to draw at this picture size",
     1,
     {}},
    {"unknown ending",
     {800, 600, 0, 75},
     "-c 'WBSM a.jpeg 0,0 10,10'",
     "status: Unknown file format: a picture's name ends in .jpg, .png or .bmp\nErrorBox: Unknown file format\n",
     1,
     {}},
    {"empty name",
     {800, 600, 0, 75},
     "-c \"SAVEBMP ''\"",
     "ErrorBox: Error: No file written: the file name is empty or too long",
     1,
     {}},
  };
  for (const Refusal &refusal : refusals)
  {
    SCOPED_TRACE(refusal.name);
    const std::string folder = FreshFolder("out");
    const std::vector<int32_t> &words = refusal.settings;
    const CommandResult run = RunZulanIn(folder, Stored(words[0], words[1], words[2], words[3]),
                                         ShellQuote(Floorplan) + " " + refusal.arguments);
    EXPECT_EQ(run.status, refusal.status) << run.output;
    EXPECT_TRUE(Contains(run.output, refusal.message)) << run.output;
    EXPECT_FALSE(Contains(run.output, "longer than")) << run.output;
    EXPECT_EQ(FolderEntries(folder), refusal.files);
  }
}

TEST(ExportMessages, PictureBeyondMemoryIsRefusedBeforeDrawing)
{
#if defined(RASTELLO_SANITIZED)
  GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
#endif
  // 40000 x 40000 needs 6 GB for the picture alone; with 3 GB of address
  // space the refusal must come at once, before a strip is drawn.
  const std::string folder = FreshFolder("out");
  const CommandResult run = RunCommand(
    "cd " + ShellQuote(folder) + " && ulimit -v 3000000 && "
    + ZulanCommandLine(Stored(40000, 40000), ShellQuote(Floorplan) + " --export 'JPEG File' a.jpg") + " </dev/null");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "ErrorBox: Error: Not enough memory for a picture of 40000 x 40000 pixels: the "
                                   "export needs about 19837 MB; set a smaller size with JPEGOPT"))
    << run.output;
  EXPECT_FALSE(Contains(run.output, "Preparing image")) << run.output;
  EXPECT_TRUE(FolderEntries(folder).empty());
}

TEST(ExportMessages, FolderThatCannotBeWrittenIsNamed)
{
  // A writable file in a folder closed to this user: the folder is the
  // problem. root may write anything, so root runs zulan as nobody.
  const std::string folder = FreshFolder("closed");
  const std::string target = folder + "/a.png";
  WriteFileBytes(target, {'o', 'l', 'd'});
  ASSERT_EQ(chmod(target.c_str(), 0666), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  const std::string launcher = geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
  const std::string registry = TempPath("registry.reg");
  const CommandResult probe =
    RunCommand(launcher + "test -r " + ShellQuote(Floorplan) + " -a -x " + ShellQuote(folder));
  if (probe.status != 0)
  {
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
    GTEST_SKIP() << "nobody cannot reach the build folder";
  }
  const CommandResult run = RunCommand(
    launcher
    + ZulanCommandLine("/dev/null/none.reg", ShellQuote(Floorplan) + " --export 'PNG File' " + ShellQuote(target))
    + " </dev/null");
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Contains(run.output, "ErrorBox: Cannot write to file " + target + ": its folder " + folder
                                     + " cannot be written to (Permission denied)"))
    << run.output;
  EXPECT_EQ(ReadFileBytes(target), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

struct DialogCase
{
  const char *words;
  const char *message;  // empty: saved
};

TEST(ExportMessages, OptionsDialogRefusesValuesOutOfRangeAndSavesAllOrNothing)
{
  const DialogCase cases[] = {
    {"1010=off Width=0 Quality=90 ok", "ErrorBox: Width: enter a whole number of pixels from 1 to 65535"},
    {"1010=off Height=-5 ok", "ErrorBox: Height: enter a whole number of pixels from 1 to 65535"},
    {"Quality=101 ok", "ErrorBox: Quality: enter a whole number from 1 to 100"},
    {"Quality=0 ok", "ErrorBox: Quality: enter a whole number from 1 to 100"},
  };
  for (const DialogCase &item : cases)
  {
    SCOPED_TRACE(item.words);
    const std::string registry = TempPath("registry.reg");
    std::remove(registry.c_str());
    const CommandResult run = RunZulan(registry, "-c " + ShellQuote(std::string("JPEGOPT ") + item.words));
    EXPECT_NE(run.status, 0) << run.output;
    EXPECT_TRUE(Contains(run.output, item.message)) << run.output;
    EXPECT_TRUE(StoredValue(registry, "Options").empty()) << run.output;
  }

  // The dialog stays open after the refusal: a corrected value is taken,
  // with everything else typed before it.
  const std::string registry = TempPath("registry.reg");
  std::remove(registry.c_str());
  const CommandResult run = RunZulan(registry, "-c 'JPEGOPT 1010=off Width=0 Quality=90 ok Width=1600 ok'");
  EXPECT_EQ(Occurrences(run.output, "ErrorBox: Width:"), 1u) << run.output;
  EXPECT_EQ(StoredValue(registry, "Options"), OptionsBytes({1600, 600, 0, 90, 2, 0, 9, 0}));
}

}  // namespace
