// A run that a signal ends during a write, or a target that cannot be
// replaced without harm: the old file stays as it was, and nothing else is
// left in its folder.
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <unistd.h>

using namespace testing_support;

namespace
{

const std::vector<uint8_t> OldBytes = {'o', 'l', 'd'};

struct Export
{
  const char *target;
  const char *arguments;  // after the drawing, with TARGET for the target
};

const Export Exports[] = {
  {"out.jpg", "--export 'JPEG File' TARGET"},
  {"out.png", "--export 'PNG File' TARGET"},
  {"out.bmp", "-c 'SAVEBMP TARGET'"},
};

std::string WithTarget(std::string arguments, const std::string &target)
{
  return arguments.replace(arguments.find("TARGET"), 6, target);
}

TEST(ExportSignals, NoTemporaryIsLeftAndTheOldFileStays)
{
  // zulan's status lines go to a FIFO that the script reads; at the first
  // progress figure of the write (the temporary then exists) it sends the
  // signal, or, for SIGPIPE, stops reading so that the next line meets a
  // closed pipe. With job control on, a background job takes SIGINT as a
  // foreground one would.
  for (const Export &item : Exports)
    for (const int number : {SIGHUP, SIGINT, SIGTERM, SIGPIPE})
    {
      SCOPED_TRACE(std::string(item.target) + ", " + strsignal(number));
      const std::string folder = FreshFolder("signal");
      const std::string registry = TempPath("registry.reg");
      const std::string target = folder + "/" + item.target;
      WriteFileBytes(target, OldBytes);
      const std::string fifo = TempPath("status.fifo");
      ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
      // zulan is stopped at once, so that a busy machine cannot let the
      // write end first; the folder is listed to show the temporary there.
      const std::string afterProgress =
        "kill -STOP $pid; ls -A " + ShellQuote(folder) + "; "
        + (number == SIGPIPE ? "exec 3<&-; kill -CONT $pid"
                             : "kill -" + std::to_string(number) + " $pid; kill -CONT $pid; cat <&3 >/dev/null");
      const std::string script =
        "set -m\n"
        + ZulanCommandLine(registry, ShellQuote(Floorplan) + " -c 'JPEGOPT 1010=off Width=4000 Height=3000 ok' "
                                       + WithTarget(item.arguments, ShellQuote(target)))
        + " </dev/null 2>" + ShellQuote(fifo)
        + " & pid=$!\n"
          "exec 3<"
        + ShellQuote(fifo)
        + "\n"
          "while IFS= read -r line <&3; do\n"
          "  case $line in *Saving*%*) "
        + afterProgress
        + "; break ;; esac\n"
          "done\n"
          // wait also returns for the stop (128 + SIGSTOP) under job control.
          "wait $pid; status=$?; while [ $status -eq 147 ]; do wait $pid; status=$?; done\n"
          "echo \"status $status\"\n";
      const CommandResult run = RunCommand("bash -c " + ShellQuote(script));
      std::remove(fifo.c_str());
      EXPECT_NE(run.output.find(".rastello-"), std::string::npos) << run.output;
      EXPECT_NE(run.output.find("status " + std::to_string(128 + number)), std::string::npos) << run.output;
      EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{item.target});
      EXPECT_EQ(ReadFileBytes(target), OldBytes);
    }
}

TEST(ExportTargets, HardLinkedFilesAreRefusedAndKept)
{
  // Replacing one name of a file with two would leave the other name with
  // the old picture: the export is refused, and both names keep the file.
  for (const Export &item : Exports)
  {
    SCOPED_TRACE(item.target);
    const std::string folder = FreshFolder("links");
    const std::string target = folder + "/" + item.target, other = folder + "/other";
    WriteFileBytes(target, OldBytes);
    ASSERT_EQ(link(target.c_str(), other.c_str()), 0);
    const CommandResult run =
      RunZulan(TempPath("registry.reg"), ShellQuote(Floorplan) + " " + WithTarget(item.arguments, ShellQuote(target)));
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("ErrorBox: Cannot write to file " + target
                              + ": it has 2 hard links, and the other names would keep the old contents"),
              std::string::npos)
      << run.output;
    std::vector<std::string> names = FolderEntries(folder);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"other", item.target}));
    EXPECT_EQ(ReadFileBytes(target), OldBytes);
    EXPECT_EQ(ReadFileBytes(other), OldBytes);
  }
}

}  // namespace
