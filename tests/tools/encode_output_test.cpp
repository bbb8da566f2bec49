// Where the output goes: a link is followed and the file it names replaced
// with its mode and owner, a character device is written in place, the
// longest file name works, and a signal leaves no temporary behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "testimages.h"
#include "toolharness.h"

namespace
{

using namespace tool_testing;
using testing_support::ReadFileBytes;
using testing_support::ShellQuote;
using Names = std::vector<std::string>;

class EncodeOutput : public testing::Test
{
protected:
  // An empty folder with the input alone, so that any leftover shows.
  void SetUp() override
  {
    folder = FolderOf(testing_support::TempPath("input.ppm"));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    input = folder + "/input.ppm";
    WriteNetpbm(input, testing_support::GradientImage(20, 12));
  }

  static bool IsJpeg(const std::string &path)
  {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    return bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
  }

  std::string folder, input;
};

TEST_F(EncodeOutput, ReplacesTheFileALinkNamesWithItsModeAndOwner)
{
  const std::string target = folder + "/target.jpg", link = folder + "/link.jpg";
  std::ofstream(target) << "old";
  ASSERT_EQ(chmod(target.c_str(), 0600), 0);
  const bool root = geteuid() == 0;
  if (root)
  {
    ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);  // nobody
  }
  std::filesystem::create_symlink("target.jpg", link);  // relative to the link's folder

  const testing_support::CommandResult run = RunEncoder({input, link});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(IsJpeg(target));
  struct stat info;
  ASSERT_EQ(stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  if (root)
  {
    EXPECT_EQ(info.st_uid, 65534u);
  }
  EXPECT_EQ(FolderEntries(folder), (Names{"input.ppm", "link.jpg", "target.jpg"}));
}

TEST_F(EncodeOutput, CharacterDevicesAreWrittenInPlace)
{
  // Reached through links, so that a tool that replaced what it was given
  // would replace a link of the test's and not the device.
  const std::string null = folder + "/null.jpg", full = folder + "/full.jpg";
  std::filesystem::create_symlink("/dev/null", null);
  std::filesystem::create_symlink("/dev/full", full);
  testing_support::CommandResult run = RunEncoder({input, null});
  EXPECT_EQ(run.status, 0) << run.output;
  run = RunEncoder({input, full});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("No space left on device"), std::string::npos) << run.output;
  EXPECT_TRUE(std::filesystem::is_symlink(null));
  EXPECT_TRUE(std::filesystem::is_symlink(full));
  EXPECT_EQ(FolderEntries(folder), (Names{"full.jpg", "input.ppm", "null.jpg"}));
}

TEST_F(EncodeOutput, LongestFileNameIsWritten)
{
  const std::string name = std::string(251, 'n') + ".jpg";  // 255 bytes, the most a name may have
  const testing_support::CommandResult run = RunEncoder({input, folder + "/" + name});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(IsJpeg(folder + "/" + name));
  EXPECT_EQ(FolderEntries(folder), (Names{"input.ppm", name}));
}

TEST_F(EncodeOutput, SignalsRemoveTheTemporary)
{
  // The encoder's progress goes to a FIFO filled beforehand, so its first
  // line waits, with the temporary in place, until the signal comes. With
  // job control on, a background job takes SIGINT and SIGQUIT as a
  // foreground one would.
  const std::string fifo = folder + "/progress.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const int number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM})
  {
    SCOPED_TRACE(strsignal(number));
    const std::string script = "set -m\n"
                               "exec 4<>"
                               + ShellQuote(fifo)
                               + "\n"
                                 "dd if=/dev/zero of="
                               + ShellQuote(fifo) + " bs=4096 count=4096 oflag=nonblock 2>/dev/null\n"
                               + ShellQuote(RASTELLO_ENCODE) + " " + ShellQuote(input) + " "
                               + ShellQuote(folder + "/out.jpg") + " --progress 2>" + ShellQuote(fifo)
                               + " & pid=$!\n"
                                 "tries=0\n"
                                 "until ls -A "
                               + ShellQuote(folder)
                               + " | grep -qv -e '^input.ppm$' -e '^progress.fifo$'; do\n"
                                 "  tries=$((tries + 1)); [ $tries -le 3000 ] || break; sleep 0.01\n"
                                 "done\n"
                                 "kill -"
                               + std::to_string(number)
                               + " $pid\n"
                                 "exec 4<&-  # an encoder the signal did not end fails to write its progress\n"
                                 "wait $pid; echo \"status $?\"\n";
    const testing_support::CommandResult run = testing_support::RunCommand("bash -c " + ShellQuote(script));
    EXPECT_NE(run.output.find("status " + std::to_string(128 + number)), std::string::npos) << run.output;
    EXPECT_EQ(FolderEntries(folder), (Names{"input.ppm", "progress.fifo"}));
  }
}

}  // namespace
