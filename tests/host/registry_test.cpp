// The registry file: what it reads, what it refuses, and that a bad file
// never leaves half its values behind. The file is the user's: one that
// cannot be read is never replaced, links stay links, and runs saving at the
// same moment lose nothing.
#include "registry.h"
#include "testimages.h"
#include "expecterror.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/resource.h>
#include <csignal>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

using testing_support::FolderEntries;
using zulan::Registry;
using zulan::RegistryValue;
namespace fs = std::filesystem;

namespace
{

const char GoodFile[] = "[K]\n\"Old\"=hex:01\n";
const uid_t Nobody = 65534;
const char NoUnprivilegedUser[] = "\x01";

std::string FileText(const std::string &path)
{
  const std::vector<uint8_t> bytes = testing_support::ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string &path, const std::string &text)
{
  testing_support::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string FolderOf(const std::string &path)
{
  return fs::path(path).parent_path().string();
}

void ExpectNoTemporary(const std::string &folder)
{
  for (const std::string &name : FolderEntries(folder))
    EXPECT_NE(name.rfind(".registry-", 0), 0u) << "temporary left: " << name;
}

mode_t FileType(const std::string &path)
{
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

// Runs body in a child process after setup, and returns what body returned;
// failed when the child could not be made.
std::string InChild(const std::function<bool()> &setup, const std::function<std::string()> &body,
                    const std::string &failed)
{
  int channel[2];
  if (pipe(channel) != 0)
    return failed;
  const pid_t child = fork();
  if (child == 0)
  {
    close(channel[0]);
    const std::string result = setup() ? body() : failed;
    if (write(channel[1], result.data(), result.size()) < 0)
      _exit(1);
    _exit(0);
  }
  close(channel[1]);
  std::string result;
  char chunk[256];
  for (ssize_t count; (count = read(channel[0], chunk, sizeof chunk)) > 0;)
    result.append(chunk, static_cast<size_t>(count));
  close(channel[0]);
  waitpid(child, nullptr, 0);
  return child < 0 ? failed : result;
}

// Runs body in a child process as a user whom permissions bind, even when
// the tests run as root; returns what body returned. A build folder inside
// a folder closed to others (root's home, mode 0700) is out of that user's
// reach, and so is the test: NoUnprivilegedUser then too.
std::string Unprivileged(const std::string &folder, const std::function<std::string()> &body)
{
  return InChild(
    [&folder] {
      return geteuid() != 0
             || (setgroups(0, nullptr) == 0 && setgid(Nobody) == 0 && setuid(Nobody) == 0
                 && access(folder.c_str(), W_OK | X_OK) == 0);
    },
    body, NoUnprivilegedUser);
}

}  // namespace

TEST(RegistryFile, FormatThenParseKeepsEveryValue)
{
  Registry registry;
  registry.Load(testing_support::TempPath("registry.reg"));
  ASSERT_EQ(registry.Set("HKEY_CURRENT_USER\\Software\\A\\", "Options", {3, {0x20, 0x03, 0xff, 0x00}}), "");
  ASSERT_EQ(registry.Set("HKEY_CURRENT_USER\\Software\\B", "Count", {4, {1, 0, 0, 0}}), "");
  ASSERT_EQ(registry.Set("HKEY_CURRENT_USER\\Software\\B", "Empty", {3, {}}), "");
  EXPECT_NE(registry.Format().find("\"Options\"=hex:20,03,ff,00\n"), std::string::npos) << registry.Format();
  EXPECT_NE(registry.Format().find("\"Count\"=hex(4):01,00,00,00\n"), std::string::npos);

  Registry again;
  again.Load(registry.GetPath());
  EXPECT_EQ(again.GetLoadProblem(), "");
  EXPECT_EQ(again.Format(), registry.Format());
  // Keys and names are matched as Windows does: without regard to case.
  const auto value = again.Get("hkey_current_user\\software\\a", "OPTIONS");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, 3);
  EXPECT_EQ(value->bytes, (std::vector<uint8_t>{0x20, 0x03, 0xff, 0x00}));
  EXPECT_EQ(again.Get("HKEY_CURRENT_USER\\Software\\B", "Empty")->bytes.size(), 0u);
  EXPECT_FALSE(again.Get("HKEY_CURRENT_USER\\Software\\A", "Missing"));
  EXPECT_FALSE(again.Get("HKEY_CURRENT_USER\\Software\\C", "Options"));
}

TEST(RegistryFile, RefusesAnythingNotUnderstood)
{
  const struct
  {
    const char *text;
    const char *problem;
  } cases[] = {
    {"\"A\"=hex:01\n", "line 1: value before any [key] line"},
    {"[K]\n\"A\"=hex:01,0\n", "line 2: byte 1 is not two hex digits"},
    {"[K]\n\"A\"=hex:01;02\n", "line 2: bytes must be separated by commas"},
    {"[K]\n\"A\"=hex:01,\n", "line 2: byte 1 is not two hex digits"},
    {"[K]\n\"A\"=dword:00000001\n", "line 2: value is not hex: data"},
    {"[K]\n\"A\"=hex(x):01\n", "line 2: value type not understood"},
    {"[K\n", "line 1: key line without its closing ]"},
    {"[K]\n\"A\n", "line 2: value line without \"="},
    {"[K]\nA=hex:01\n", "line 2: neither a [key] nor a \"value\"=... line"},
    {"\x89PNG\r\n", "line 1: neither a [key] nor a \"value\"=... line"},
  };
  for (const auto &test : cases)
  {
    SCOPED_TRACE(test.text);
    Registry registry;
    testing_support::ExpectError<std::runtime_error>([&] { registry.Parse(test.text); }, test.problem);
  }
}

TEST(RegistryFile, CorruptFileLoadsEmptyAndIsKeptWhenSaving)
{
  const std::string path = testing_support::TempPath("registry.reg");
  const std::string corrupt = "[K]\n\"Good\"=hex:01\n\"Bad\"=hex:0";
  testing_support::WriteFileBytes(path, std::vector<uint8_t>(corrupt.begin(), corrupt.end()));
  Registry registry;
  registry.Load(path);
  EXPECT_EQ(registry.GetLoadProblem(), "line 3: byte 0 is not two hex digits");
  EXPECT_FALSE(registry.Get("K", "Good")) << "a corrupt file gives none of its values";

  ASSERT_EQ(registry.Set("K", "New", {3, {7}}), "");
  const std::vector<uint8_t> kept = testing_support::ReadFileBytes(path + ".corrupt");
  EXPECT_EQ(std::string(kept.begin(), kept.end()), corrupt);
  Registry again;
  again.Load(path);
  EXPECT_EQ(again.GetLoadProblem(), "");
  EXPECT_EQ(again.Get("K", "New")->bytes, std::vector<uint8_t>{7});
}

TEST(RegistryFile, KeyNamesFromRootAndPath)
{
  EXPECT_EQ(zulan::RegistryKeyName(0x80000001u, "Software\\X\\"), "HKEY_CURRENT_USER\\Software\\X");
  EXPECT_EQ(zulan::RegistryKeyName(0x80000002u, "A"), "HKEY_LOCAL_MACHINE\\A");
  EXPECT_EQ(zulan::RegistryKeyName(0x80000001u, ""), "HKEY_CURRENT_USER");
}

TEST(RegistryFile, UnreadableFileIsNeverReplaced)
{
  const std::string path = testing_support::TempPath("registry.reg");
  const std::string folder = FolderOf(path);
  // The folder is open to all, so only the file's own mode can stop a save.
  ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
  WriteText(path, GoodFile);
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  std::string outcome = Unprivileged(folder, [&] {
    Registry registry;
    registry.Load(path);
    return registry.GetRefusal() + "|" + registry.Set("K", "New", {3, {2}});
  });
  if (outcome == NoUnprivilegedUser)
    GTEST_SKIP() << "no user without root's rights who can reach " << folder;
  EXPECT_EQ(outcome,
            "Permission denied|" + path + " could not be read (Permission denied), so it is left as it is in this run");

  // Readable at start, unreadable when saving: the save reads it again.
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  if (geteuid() == 0)
  {
    ASSERT_EQ(chown(path.c_str(), Nobody, Nobody), 0);
  }
  outcome = Unprivileged(folder, [&] {
    Registry registry;
    registry.Load(path);
    const bool read = registry.Get("K", "Old").has_value();
    chmod(path.c_str(), 0);
    return (read ? "read|" : "not read|") + registry.Set("K", "New", {3, {2}});
  });
  EXPECT_EQ(outcome, "read|" + path + " cannot be read now (Permission denied), so it is left as it is");

  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  EXPECT_EQ(FileText(path), GoodFile);
  ExpectNoTemporary(folder);
}

TEST(RegistryFile, SpecialAndOversizedFilesAreRefusedAndNeverWritten)
{
  const std::string fifo = testing_support::TempPath("fifo.reg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string linkToFifo = testing_support::TempPath("link.reg");
  fs::create_symlink("fifo.reg", linkToFifo);
  // A node of the null device of our own, so that a failure cannot replace
  // /dev/null; without root a link to it, which we cannot replace anyway.
  const std::string device = testing_support::TempPath("device.reg");
  if (mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
    fs::create_symlink("/dev/null", device);
  const std::string folder = testing_support::TempPath("folder.reg");
  fs::create_directory(folder);
  const std::string big = testing_support::TempPath("big.reg");
  WriteText(big, GoodFile);
  ASSERT_EQ(truncate(big.c_str(), Registry::MaxFileBytes + 1), 0);

  const struct
  {
    std::string path;
    const char *refusal;
    mode_t type;
  } cases[] = {
    {fifo, "it is not a regular file", S_IFIFO},
    {linkToFifo, "it is not a regular file", S_IFLNK},
    {device, "it is not a regular file", FileType(device)},
    {folder, "it is a folder", S_IFDIR},
    {big, "it is larger than 16 MiB", S_IFREG},
  };
  for (const auto &test : cases)
  {
    Registry registry;
    registry.Load(test.path);
    EXPECT_EQ(registry.GetRefusal(), test.refusal) << test.path;
    EXPECT_EQ(registry.Set("K", "New", {3, {2}}),
              test.path + " could not be read (" + test.refusal + "), so it is left as it is in this run");
    EXPECT_EQ(registry.Get("K", "New")->bytes, std::vector<uint8_t>{2}) << "the run itself still sees it";
    EXPECT_EQ(FileType(test.path), test.type) << test.path;
  }
  EXPECT_EQ(fs::file_size(big), Registry::MaxFileBytes + 1);
  fs::remove(big);

  // A FIFO put in its place after a good read is refused when saving.
  const std::string swapped = testing_support::TempPath("swapped.reg");
  WriteText(swapped, GoodFile);
  Registry registry;
  registry.Load(swapped);
  ASSERT_EQ(registry.GetRefusal(), "");
  fs::remove(swapped);
  ASSERT_EQ(mkfifo(swapped.c_str(), 0644), 0);
  EXPECT_EQ(registry.Set("K", "New", {3, {2}}),
            swapped + " cannot be read now (it is not a regular file), so it is left as it is");
  EXPECT_EQ(FileType(swapped), static_cast<mode_t>(S_IFIFO));
  ExpectNoTemporary(FolderOf(fifo));
}

TEST(RegistryFile, LinksAreFollowedHopByHopAndStay)
{
  const std::string first = testing_support::TempPath("first");
  const std::string second = testing_support::TempPath("second");
  for (const std::string &folder : {first, second})
  {
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  WriteText(second + "/real.reg", GoodFile);
  // Each hop is relative to its own link's folder.
  fs::create_symlink("real.reg", second + "/hop.reg");
  fs::create_symlink("../second/hop.reg", first + "/registry.reg");
  Registry registry;
  registry.Load(first + "/registry.reg");
  EXPECT_TRUE(registry.Get("K", "Old"));
  ASSERT_EQ(registry.Set("K", "New", {3, {2}}), "");
  EXPECT_TRUE(fs::is_symlink(first + "/registry.reg"));
  EXPECT_TRUE(fs::is_symlink(second + "/hop.reg"));
  Registry real;
  real.Load(second + "/real.reg");
  EXPECT_TRUE(real.Get("K", "Old"));
  EXPECT_TRUE(real.Get("K", "New"));
  EXPECT_EQ(FolderEntries(second), (std::vector<std::string>{"hop.reg", "real.reg", "real.reg.lock"}));

  // A dangling link names the file to create.
  fs::create_symlink("../second/new.reg", first + "/dangling.reg");
  registry.Load(first + "/dangling.reg");
  EXPECT_EQ(registry.GetRefusal(), "");
  ASSERT_EQ(registry.Set("K", "New", {3, {2}}), "");
  EXPECT_TRUE(fs::is_symlink(first + "/dangling.reg"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(second + "/new.reg")));

  // A loop is refused, bounded, and left as it is.
  fs::create_symlink("loop.reg", first + "/loop.reg");
  registry.Load(first + "/loop.reg");
  EXPECT_EQ(registry.GetRefusal(), "Too many levels of symbolic links");
  EXPECT_NE(registry.Set("K", "New", {3, {2}}), "");
  EXPECT_TRUE(fs::is_symlink(first + "/loop.reg"));
}

// Saving replaces the file and keeps its permission bits, read-only ones
// too: unlike an export, the registry replaces a file that is read-only to
// us but sits in our folder.
TEST(RegistryFile, SavingKeepsPermissionBits)
{
  for (const mode_t mode : {0640, 0444})
  {
    SCOPED_TRACE(mode);
    const std::string path = testing_support::TempPath("registry.reg");
    WriteText(path, GoodFile);
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    Registry registry;
    registry.Load(path);
    ASSERT_EQ(registry.Set("K", "New", {3, {2}}), "");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms(mode));
    Registry again;
    again.Load(path);
    EXPECT_TRUE(again.Get("K", "Old"));
    EXPECT_TRUE(again.Get("K", "New"));
  }

  // A new file gets what a plain create would, not mkstemp's private mode.
  Registry registry;
  const mode_t mask = umask(022);
  const std::string fresh = testing_support::TempPath("fresh.reg");
  registry.Load(fresh);
  const std::string error = registry.Set("K", "New", {3, {2}});
  umask(mask);
  ASSERT_EQ(error, "");
  EXPECT_EQ(fs::status(fresh).permissions(), fs::perms(0644));
}

// Eight processes read the same file, then all save a value of their own at
// once: every value, and the one already there, must be in the file.
TEST(RegistryFile, ConcurrentSavesKeepEveryValue)
{
  const std::string path = testing_support::TempPath("registry.reg");
  WriteText(path, GoodFile);
  const int Runs = 8;
  int loaded[2], go[2];
  ASSERT_EQ(pipe(loaded), 0);
  ASSERT_EQ(pipe(go), 0);
  std::vector<pid_t> children;
  for (int run = 0; run < Runs; ++run)
  {
    const pid_t child = fork();
    if (child == 0)
    {
      close(go[1]);
      Registry registry;
      registry.Load(path);
      char byte = 1;
      // Saves start only once every process holds the old file.
      if (write(loaded[1], &byte, 1) != 1 || read(go[0], &byte, 1) != 0)
        _exit(2);
      const std::string error = registry.Set("K", "Run" + std::to_string(run), {3, {static_cast<uint8_t>(run)}});
      _exit(error.empty() ? 0 : 1);
    }
    if (child > 0)
      children.push_back(child);
  }
  close(loaded[1]);
  char byte;
  for (size_t run = 0; run < children.size(); ++run)
    EXPECT_EQ(read(loaded[0], &byte, 1), 1);
  close(go[0]);
  close(go[1]);
  for (const pid_t child : children)
  {
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a save failed";
  }
  close(loaded[0]);
  ASSERT_EQ(children.size(), static_cast<size_t>(Runs)) << "cannot start the processes";

  Registry registry;
  registry.Load(path);
  EXPECT_TRUE(registry.Get("K", "Old"));
  for (int run = 0; run < Runs; ++run)
  {
    const auto value = registry.Get("K", "Run" + std::to_string(run));
    ASSERT_TRUE(value) << "lost: Run" << run << "\n" << registry.Format();
    EXPECT_EQ(value->bytes, std::vector<uint8_t>{static_cast<uint8_t>(run)});
  }
  EXPECT_EQ(FolderEntries(FolderOf(path)), (std::vector<std::string>{"registry.reg", "registry.reg.lock"}));
}

// A write that fails part way (a file size limit stands in for a full disk)
// keeps the old file whole, leaves no temporary and says why.
TEST(RegistryWrite, FailedWriteKeepsTheFileAndLeavesNoTemporary)
{
  const std::string path = testing_support::TempPath("registry.reg");
  WriteText(path, GoodFile);
  const std::string error = InChild(
    [] {
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit = {200, 200};
      return setrlimit(RLIMIT_FSIZE, &limit) == 0;
    },
    [&] {
      Registry registry;
      registry.Load(path);
      return registry.Set("K", "Big", {3, std::vector<uint8_t>(400, 0xab)});
    },
    "no child");
  EXPECT_EQ(error, "cannot write a temporary file beside " + path + ": File too large");
  EXPECT_EQ(FileText(path), GoodFile);
  ExpectNoTemporary(FolderOf(path));
}
