// The real zulan against what users' machines hold: a registry file that is
// a link or a FIFO or is shared by runs at the same moment, and names the
// file system refuses. Each run ends with a warning and its exit status,
// never an abort or a lost value.
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace
{

// The command line, stdin from /dev/null, for a shell line of our own.
std::string Zulan(const std::string &registry, const std::string &arguments)
{
  return ZulanCommandLine(registry, arguments) + " </dev/null";
}

}  // namespace

TEST(RobustRegistry, ParallelRunsLoseNoValue)
{
  const std::string registry = TempPath("registry.reg");
  WriteRegistry(registry, "\"Kept\"=hex:2a\n");
  // Half turn the menu off, half store options of their own quality.
  std::string script;
  for (int run = 0; run < 8; ++run)
  {
    const std::string command =
      run % 2 == 0 ? "-c JPEGMENUOFF" : "-c 'JPEGOPT Quality=" + std::to_string(60 + run) + " ok'";
    script += "(" + Zulan(registry, command) + " >/dev/null 2>&1; echo \"exit $?\") & ";
  }
  const CommandResult result = RunCommand(script + "wait");
  EXPECT_EQ(Occurrences(result.output, "exit 0"), 8u) << result.output;

  EXPECT_EQ(StoredValue(registry, "Kept"), std::vector<uint8_t>{0x2a});
  EXPECT_EQ(StoredValue(registry, "AddMenu"), OptionsBytes({0}));
  const std::vector<uint8_t> options = StoredValue(registry, "Options");
  bool oneOfThem = false;
  for (int quality : {61, 63, 65, 67})
    oneOfThem = oneOfThem || options == OptionsBytes({800, 600, 8, quality, 2, 0, 9, 0});
  EXPECT_TRUE(oneOfThem) << "Options lost or mixed: " << options.size() << " bytes";
  EXPECT_EQ(FolderEntries(fs::path(registry).parent_path().string()),
            (std::vector<std::string>{"registry.reg", "registry.reg.lock"}))
    << "a temporary was left";
}

TEST(RobustRegistry, FifoIsRefusedAndLinkIsKept)
{
  const std::string fifo = TempPath("fifo.reg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  CommandResult run = RunCommand(Zulan(fifo, "-c JPEGMENUOFF"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(
    Contains(run.output, "zulan: registry file " + fifo + " cannot be read (it is not a regular file); using defaults"))
    << run.output;
  EXPECT_TRUE(Contains(run.output, "zulan: registry not saved: ")) << run.output;
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));

  const std::string real = TempPath("real.reg");
  WriteRegistry(real, "\"AddMenu\"=hex:01,00,00,00\n");
  const std::string link = TempPath("link.reg");
  fs::create_symlink("real.reg", link);
  run = RunCommand(Zulan(link, "-c JPEGMENUOFF"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_FALSE(Contains(run.output, "registry")) << run.output;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(StoredValue(real, "AddMenu"), OptionsBytes({0}));
}

TEST(RobustCommands, FileSystemRefusalsWarnAndExitWithStatus2)
{
  const std::string registry = TempPath("registry.reg");
  const std::string longName(300, 'a');
  CommandResult run = RunCommand(Zulan(registry, "-c 'OPENDOC " + longName + "'"));
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_EQ(run.output, "zulan: document \"" + longName + "\" cannot be looked for: File name too long\n");
  // As long as a file name may be: looked for, just not there.
  run = RunCommand(Zulan(registry, "-c 'OPENDOC " + std::string(255, 'a') + "'"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, "\" not found")) << run.output;

  // The Help item from a current folder that is gone.
  const std::string gone = TempPath("gone");
  run = RunCommand("mkdir " + ShellQuote(gone) + " && cd " + ShellQuote(gone) + " && rmdir " + ShellQuote(gone) + " && "
                   + Zulan(registry, "-m JPEG/Help"));
  EXPECT_EQ(run.status, 2) << run.output;
  EXPECT_TRUE(Contains(run.output, "zulan: document \"Rastello.HTML\" cannot be looked for: ")) << run.output;
  EXPECT_EQ(Occurrences(run.output, "\n"), 1u) << run.output;

  // Over-long names wherever the command line takes one end the run as
  // documented, never with an uncaught exception.
  const struct
  {
    std::string arguments;
    int status;
  } cases[] = {
    {"-c 'SAVEBMP " + longName + ".bmp'", 2},
    {ShellQuote(longName + ".dxf"), 4},
  };
  for (const auto &test : cases)
  {
    run = RunCommand(Zulan(registry, test.arguments));
    EXPECT_EQ(run.status, test.status) << test.arguments << "\n" << run.output;
    EXPECT_FALSE(Contains(run.output, "terminate")) << run.output;
  }
  run = RunCommand(Zulan(TempPath(longName + ".reg"), "-c JPEGMENUOFF"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Contains(run.output, ".reg cannot be read (File name too long); using defaults")) << run.output;
}
