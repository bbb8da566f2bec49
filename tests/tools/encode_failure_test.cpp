// Every failure of rastello-encode ends with status 1, exactly one line on
// stderr naming the cause, and no output file (not even a temporary one);
// a bad command line ends with status 2 and the usage line.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "sanitizers.h"
#include "testimages.h"
#include "toolharness.h"

namespace
{

using namespace tool_testing;
using testing_support::ReadFileBytes;
using testing_support::ShellQuote;
using testing_support::TempPath;

void WriteText(const std::string &path, const std::string &bytes)
{
  std::ofstream(path, std::ios::binary) << bytes;
}

class EncodeFailure : public testing::Test
{
protected:
  void SetUp() override
  {
    good = TempPath("good.ppm");
    WriteNetpbm(good, testing_support::GradientImage(20, 12));
    folder = FolderOf(good);
  }

  // Runs, then checks status 1, one error line holding `cause`, and that the
  // folder holds no more than it did before.
  void ExpectFailure(const std::vector<std::string> &arguments, const std::string &cause,
                     const std::string &shellPrefix = "", const std::string &launcher = "")
  {
    const std::vector<std::string> before = FolderEntries(folder);
    const testing_support::CommandResult run = RunEncoder(arguments, shellPrefix, launcher);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(run.output.rfind("rastello-encode: error: ", 0), 0u) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    EXPECT_NE(run.output.find(cause), std::string::npos) << "expected '" << cause << "' in: " << run.output;
    EXPECT_EQ(run.output.find(".rastello-"), std::string::npos) << "temporary name leaked: " << run.output;
    EXPECT_EQ(FolderEntries(folder), before);
  }

  std::string good, folder;
};

TEST_F(EncodeFailure, UnreadableOrMalformedInput)
{
  const std::string png = TempPath("valid.png");
  RunPython("from PIL import Image\nImage.new('RGB', (30, 20), (9, 99, 199)).save(argv[0])", {png});
  const std::vector<uint8_t> pngBytes = ReadFileBytes(png);
  ASSERT_GT(pngBytes.size(), 60u);

  struct Case
  {
    const char *name;
    std::string bytes;
    const char *cause;
  };
  std::string badCrc(pngBytes.begin(), pngBytes.end());
  badCrc[29] ^= 0x55;  // inside the IHDR CRC
  const std::vector<Case> cases = {
    {"empty.png", "", "file is empty"},
    {"text.jpg", "this is not an image\n", "unrecognised image format"},
    {"cut.png", std::string(pngBytes.begin(), pngBytes.begin() + 60), "bad PNG"},
    {"crc.png", badCrc, "bad PNG"},
    {"deep.ppm", "P6 2 1 65535\n" + std::string(12, 'x'), "maxval 65535 is not supported"},
    {"short.ppm", "P6 4 4 255\n" + std::string(47, 'x'), "truncated"},
    {"words.pgm", "P5\nwide high\n255\n", "malformed PGM header"},
    {"nothing.pgm", "P5 0 3 255\n", "empty image"},
    {"plain.ppm", "P3 1 1 255\n1 2 3\n", "unrecognised image format"},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    const std::string input = TempPath(c.name);
    WriteText(input, c.bytes);
    ExpectFailure({input, folder + "/out.jpg"}, c.cause);
  }
  ExpectFailure({folder + "/missing.png", folder + "/out.jpg"}, "No such file or directory");
  ExpectFailure({folder, folder + "/out.bmp"}, "Is a directory");
}

// The encoders' own rules, in their words after the option that broke one.
TEST_F(EncodeFailure, OptionsTheEncoderRefuses)
{
  const std::string out = folder + "/out.jpg", bmp = folder + "/out.bmp";
  ExpectFailure({good, out, "--quality", "0"}, "bad option --quality 0: Value Out of Range");
  ExpectFailure({good, out, "--quality", "101"}, "bad option --quality 101: Value Out of Range");
  ExpectFailure({good, out, "--sampling", "1:5:1"},
                "bad option --sampling 1:5:1: Invalid Horizontal Sampling Frequency");
  ExpectFailure({good, out, "--sampling", "1:1:0"}, "bad option --sampling 1:1:0: Invalid Vertical Sampling Frequency");
  ExpectFailure({good, out, "--threads", "0"}, "bad option --threads 0: Thread count out of range: 0 (1 to 16)");
  ExpectFailure({good, out, "--threads", "17"}, "bad option --threads 17: Thread count out of range: 17 (1 to 16)");
  ExpectFailure({good, out, "--scan", "256:2:0:0"}, "bad option --scan 256:2:0:0: Scan Index Out of Range");
  ExpectFailure({good, out, "--comment", std::string(65533, 'c')},
                "bad option --comment: Comment too long: 65533 bytes (limit 65532)");
  ExpectFailure({good, bmp, "--bits", "8"}, "bad option --bits 8: Invalid Bit Depth");
  // The plan is judged as a whole when the write starts.
  ExpectFailure({good, out, "--progressive", "--scan", "1:2:63:14"}, "Successive Approximation too large");

  // Numbers the setters' 32-bit parameters cannot hold are refused too, not
  // wrapped or cut to a value that could pass, and quoted as typed.
  ExpectFailure({good, out, "--quality", "-5"}, "bad option --quality -5: Value Out of Range");
  ExpectFailure({good, out, "--quality", "99999999999999999999"},
                "bad option --quality 99999999999999999999: Value Out of Range");
  ExpectFailure({good, out, "--threads", "4294967297"}, "bad option --threads 4294967297: Thread count out of range");
  ExpectFailure({good, out, "--scan", "-1:2:0:0"}, "bad option --scan -1:2:0:0: Scan Index Out of Range");
  ExpectFailure({good, out, "--sampling", "1:-99999999999999999999:1"},
                "bad option --sampling 1:-99999999999999999999:1: Invalid Horizontal Sampling Frequency");
  ExpectFailure({good, bmp, "--bits", "18446744073709551640"},
                "bad option --bits 18446744073709551640: Invalid Bit Depth");
}

// Limits of the command line itself.
TEST_F(EncodeFailure, OptionsOutOfRange)
{
  const std::string out = folder + "/out.jpg";
  ExpectFailure({good, out, "--sampling", "4:1:1"}, "--sampling component id must be 1..3, got 4");
  ExpectFailure({good, out, "--sampling", "0:1:1"}, "--sampling component id must be 1..3, got 0");
  ExpectFailure({good, out, "--restart-rows", "65536"}, "--restart-rows must be 0..65535, got 65536");
  ExpectFailure({good, out, "--restart-rows", "99999999999999999999"},
                "--restart-rows must be 0..65535, got 99999999999999999999");
  ExpectFailure({good, out, "--progressive", "--scan", "1:16:63:0"}, "--scan component mask must be 0..14, got 16");
  ExpectFailure({good, out, "--progressive", "--scan", "1:2:64:0"}, "--scan spectral end must be 0..63, got 64");
}

TEST_F(EncodeFailure, EncoderRejectsThePlanOrTheImage)
{
  const std::string out = folder + "/out.jpg";
  ExpectFailure({good, out, "--progressive", "--scan", "0:2:63:0"}, "AC Scan specified before DC scan for Y Component");
  ExpectFailure({good, out, "--scan", "0:6:0:0", "--scan", "1:12:0:0"}, "Component in more than one scan");
  ExpectFailure({good, out, "--sampling", "1:3:1", "--sampling", "2:2:1"}, "Fractional Horizontal Sampling");
  ExpectFailure({good, out, "--sampling", "1:4:2", "--sampling", "2:2:1"}, "Data units in MCU exceeds 10");

  const std::string wide = TempPath("wide.pgm");
  WriteText(wide, "P5 70000 1 255\n" + std::string(70000, '\x80'));
  ExpectFailure({wide, out}, "70000 x 1 pixels is too large for JPEG (limit 65535 on a side)");

  // Eight rows of 8192 MCUs make an interval of 65536, and the image has
  // more rows: the DRI field cannot say it.
  const std::string broad = TempPath("broad.pgm");
  WriteText(broad, "P5 65535 72 255\n" + std::string(65535 * 72, '\x80'));
  ExpectFailure({broad, out, "--greyscale", "--restart-rows", "8"},
                "Restart interval too large: 65536 data units (limit 65535)");
}

TEST_F(EncodeFailure, PngHeaderClaimsMoreThanTheFileHolds)
{
  RunPython(R"(
import struct, zlib
def chunk(kind, data): return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
def png(name, width, height, interlace=0, padding=0):
    header = chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, interlace))
    text = chunk(b'tEXt', b'Comment\0' + bytes(padding)) if padding else b''
    rows = zlib.compress(bytes([0, 1, 2, 3]) * 1000)
    open(argv[0] + name, 'wb').write(b'\x89PNG\r\n\x1a\n' + header + text + chunk(b'IDAT', rows) + chunk(b'IEND', b''))
png('tall.png', 1, 500000000)
png('huge.png', 1, 2147483647)
# Enough bytes that the size could be true, but the rows stop early.
png('padded.png', 1, 400000000, padding=1300000)
png('padded-interlaced.png', 1, 400000000, interlace=1, padding=1300000)
)",
            {folder + "/"});
  const std::string bmp = folder + "/out.bmp";
  ExpectFailure({folder + "/tall.png", bmp}, "cannot hold the 1 x 500000000 pixels its header claims");
  ExpectFailure({folder + "/huge.png", bmp}, "cannot hold the 1 x 2147483647 pixels its header claims");
  ExpectFailure({folder + "/tall.png", folder + "/out.jpg"}, "1 x 500000000 pixels is too large for JPEG");
  // Memory follows the rows decoded, not the header: 1.6 GB claimed, a few
  // kilobytes there (address-space limits do not mix with the sanitizers).
#if defined(RASTELLO_SANITIZED)
  const std::string memoryLimit;
#else
  const std::string memoryLimit = "ulimit -v 300000";
#endif
  for (const char *name : {"/padded.png", "/padded-interlaced.png"})
  {
    SCOPED_TRACE(name);
    ExpectFailure({folder + name, bmp}, "bad PNG: Not enough image data", memoryLimit);
  }
}

TEST_F(EncodeFailure, OutOfMemorySaysWhatWasNeeded)
{
#if defined(RASTELLO_SANITIZED)
  GTEST_SKIP() << "address-space limits do not mix with the sanitizers";
#endif
  // 6000 x 6000 pixels of zeros: 100 kB of file, 144 MB as an image.
  RunPython(R"(
import struct, zlib
def chunk(kind, data): return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
packer = zlib.compressobj(9)
rows = b''.join(packer.compress(bytes(1 + 3 * 6000)) for _ in range(6000)) + packer.flush()
open(argv[0], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', 6000, 6000, 8, 2, 0, 0, 0))
                        + chunk(b'IDAT', rows) + chunk(b'IEND', b''))
)",
            {folder + "/zeros.png"});
  ExpectFailure({folder + "/zeros.png", folder + "/out.jpg"},
                "out of memory: the image of 6000 x 6000 pixels needs 144000000 bytes", "ulimit -v 100000");
}

TEST_F(EncodeFailure, OutputThatCannotBeWritten)
{
  ExpectFailure({good, folder + "/no-such-folder/out.jpg"}, "No such file or directory");
  const std::string sub = TempPath("folder.jpg");
  std::filesystem::create_directories(sub);
  ExpectFailure({good, sub}, "it is a folder");

  // A file-size limit makes the writes fail part way (SIGXFSZ ignored, so
  // write returns EFBIG as on a full disk).
  const std::string noise = TempPath("noise.ppm");
  WriteNetpbm(noise, testing_support::NoiseImage(200, 150, 7));
  for (const char *name : {"/big.jpg", "/big.bmp"})
  {
    SCOPED_TRACE(name);
    ExpectFailure({noise, folder + name}, std::string("'") + folder + name + "'", "trap '' XFSZ; ulimit -f 8");
  }
}

// Each refusal leaves the file as it was.
TEST_F(EncodeFailure, OutputThatMustNotBeReplaced)
{
  const std::string fifo = TempPath("pipe.jpg");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  ExpectFailure({good, fifo}, "it is not a regular file");
  struct stat info;
  ASSERT_EQ(lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));

  const std::string first = TempPath("first.jpg"), second = TempPath("second.jpg");
  WriteText(first, "shared");
  ASSERT_EQ(link(first.c_str(), second.c_str()), 0);
  ExpectFailure({good, second}, "it has 2 hard links");
  const std::vector<uint8_t> bytes = ReadFileBytes(first);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "shared");

  // A file the user may not write, in a folder where the rename would work.
  // root may write anything, so root runs the encoder as nobody.
  const std::string open = folder + "/open";
  std::filesystem::remove_all(open);
  std::filesystem::create_directory(open);
  std::filesystem::permissions(open, std::filesystem::perms::all);
  const std::string locked = open + "/locked.jpg";
  WriteText(locked, "read only");
  std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::group_read
                                         | std::filesystem::perms::others_read);
  std::filesystem::permissions(good, std::filesystem::perms::others_read, std::filesystem::perm_options::add);
  const std::string launcher = geteuid() == 0 ? "setpriv --reuid=nobody --regid=nogroup --clear-groups" : "";
  // A build folder inside one closed to others (root's home) is out of
  // nobody's reach, and so is this case.
  if (!launcher.empty()
      && testing_support::RunCommand(launcher + " test -r " + ShellQuote(good) + " -a -w " + ShellQuote(open)).status
           != 0)
    GTEST_SKIP() << "nobody cannot reach " << open;
  const std::vector<std::string> before = FolderEntries(open);
  ExpectFailure({good, locked}, "locked.jpg: Permission denied", "", launcher);
  EXPECT_EQ(FolderEntries(open), before);
  EXPECT_EQ(ReadFileBytes(locked).size(), 9u);
}

TEST_F(EncodeFailure, FailedWriteKeepsTheOldOutput)
{
  const std::string out = folder + "/kept.jpg";
  WriteText(out, "previous contents");
  ExpectFailure({good, out, "--progressive", "--scan", "0:2:63:0"}, "AC Scan");
  const std::vector<uint8_t> bytes = ReadFileBytes(out);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "previous contents");

  // And a successful one replaces it whole.
  ASSERT_EQ(RunEncoder({good, out}).status, 0);
  EXPECT_EQ(ReadFileBytes(out).at(0), 0xFF);
}

TEST_F(EncodeFailure, BadCommandLinesGiveUsageAndStatusTwo)
{
  const std::string jpg = folder + "/out.jpg", bmp = folder + "/out.bmp";
  const std::vector<std::vector<std::string>> lines = {
    {},
    {good},
    {good, jpg, "extra"},
    {good, jpg, "--bogus"},
    {good, jpg, "--quality", "high"},
    {good, jpg, "--quality"},
    {good, jpg, "--sampling", "1:2"},
    {good, jpg, "--sampling", "1:2:x"},
    {good, jpg, "--scan", "0:14:0"},
    {good, jpg, "--format", "gif"},
    {good, folder + "/out.png"},
    {good, jpg, "--bits", "16"},
    {good, bmp, "--quality", "50"},
    {good, bmp, "--progressive"},
    {good, jpg, "--progress", "--quiet"},
    {good, jpg, "--progressive", "--restart-rows", "65535"},
  };
  for (const std::vector<std::string> &line : lines)
  {
    std::string shown;
    for (const std::string &word : line)
      shown += " " + word;
    SCOPED_TRACE(shown);
    const std::vector<std::string> before = FolderEntries(folder);
    const testing_support::CommandResult run = RunEncoder(line);
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("usage: rastello-encode INPUT OUTPUT"), std::string::npos) << run.output;
    EXPECT_EQ(FolderEntries(folder), before);
  }
}

}  // namespace
