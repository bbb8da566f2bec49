// The registry's use of the shared careful write, where its rules differ
// from the exports'.
#include "registry.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using zulan::Registry;
namespace fs = std::filesystem;

namespace
{
const char GoodFile[] = "[K]\n\"Old\"=hex:01\n";

std::string Text(const std::string &path)
{
  std::ifstream in(path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::string Fresh(const std::string &name)
{
  const fs::path folder = fs::temp_directory_path() / ("registry-write-" + std::to_string(getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return (folder / name).string();
}

bool TemporaryLeft(const std::string &path)
{
  for (const auto &entry : fs::directory_iterator(fs::path(path).parent_path()))
    if (entry.path().filename().string().rfind(".registry-", 0) == 0)
      return true;
  return false;
}
} // namespace

// Unlike an export, the registry replaces a file that is read-only to us but
// sits in our folder, and keeps it read-only.
TEST(RegistryWrite, ReadOnlyFileIsReplacedAndStaysReadOnly)
{
  const std::string path = Fresh("registry.reg");
  std::ofstream(path) << GoodFile;
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
  Registry registry;
  registry.Load(path);
  ASSERT_EQ(registry.Set("K", "New", {3, {2}}), "");
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0444));
  Registry again;
  again.Load(path);
  EXPECT_TRUE(again.Get("K", "Old"));
  EXPECT_TRUE(again.Get("K", "New"));
}

// A write that fails part way (a file size limit stands in for a full disk)
// keeps the old file whole, leaves no temporary and says why.
TEST(RegistryWrite, FailedWriteKeepsTheFileAndLeavesNoTemporary)
{
  const std::string path = Fresh("registry.reg");
  std::ofstream(path) << GoodFile;
  int channel[2];
  ASSERT_EQ(pipe(channel), 0);
  const pid_t child = fork();
  if (child == 0)
  {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {200, 200};
    setrlimit(RLIMIT_FSIZE, &limit);
    Registry registry;
    registry.Load(path);
    const std::string error = registry.Set("K", "Big", {3, std::vector<uint8_t>(400, 0xab)});
    if (write(channel[1], error.data(), error.size()) < 0)
      _exit(1);
    _exit(0);
  }
  close(channel[1]);
  std::string error;
  char chunk[256];
  for (ssize_t count; (count = read(channel[0], chunk, sizeof chunk)) > 0;)
    error.append(chunk, static_cast<size_t>(count));
  close(channel[0]);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(error, "cannot write a temporary file beside " + path + ": File too large");
  EXPECT_EQ(Text(path), GoodFile);
  EXPECT_FALSE(TemporaryLeft(path));
}
