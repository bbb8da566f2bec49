// What only the Windows build can get wrong: the C runtime's text mode,
// which would turn every LF byte of a file into CR LF and stop reading at
// the first ^Z, and the system's SHA-256 that the golden digests go through
// here.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bmpencoder.h"
#include "decoders.h"
#include "jpegencoder.h"
#include "memorystream.h"
#include "testimages.h"

namespace
{

using Vantorum::BitmapImage;
using namespace testing_support;
using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string &text)
{
  return Bytes(text.begin(), text.end());
}

TEST(WindowsSha256, KnownAnswers)
{
  EXPECT_EQ(Sha256({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256(Text("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // Two blocks, the padding in the second.
  EXPECT_EQ(Sha256(Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256(Bytes(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

struct FileCase
{
  const char *name;
  std::function<Bytes(const BitmapImage &)> inMemory;
  std::function<void(const std::string &, const BitmapImage &)> toFile;
};

std::ostream &operator<<(std::ostream &stream, const FileCase &file)
{
  return stream << file.name;
}

FileCase BmpCase(const char *name, int bits)
{
  return {name,
          [bits](const BitmapImage &image) {
            Vantorum::BmpEncoder encoder;
            encoder.SetBitDepth(bits);
            std::ostringstream stream;
            encoder.WriteImage(stream, image);
            return Text(stream.str());
          },
          [bits](const std::string &path, const BitmapImage &image) {
            Vantorum::BmpEncoder encoder;
            encoder.SetBitDepth(bits);
            encoder.WriteImageFile(path, image);
          }};
}

FileCase JpegCase(const char *name, bool progressive)
{
  return {name,
          [progressive](const BitmapImage &image) {
            Vantorum::JpegEncoder encoder;
            encoder.SetProgressive(progressive);
            MemoryStream stream(0x10000);
            encoder.WriteImage(stream, image);
            return stream.Bytes();
          },
          [progressive](const std::string &path, const BitmapImage &image) {
            Vantorum::JpegEncoder encoder;
            encoder.SetProgressive(progressive);
            encoder.WriteImageFile(path, image);
          }};
}

class WindowsFiles : public testing::TestWithParam<FileCase>
{
};

TEST_P(WindowsFiles, HoldTheEncodersBytesUnchanged)
{
  // Noise: every byte value, LF, CR and ^Z among them, in headers and data.
  const BitmapImage image = NoiseImage(301, 203, 7);
  const Bytes expected = GetParam().inMemory(image);
  for (const uint8_t byte : {0x0A, 0x0D, 0x1A})
    ASSERT_NE(std::find(expected.begin(), expected.end(), byte), expected.end()) << "no byte " << int(byte);
  const std::string path = TempPath(std::string(GetParam().name) + ".out");
  GetParam().toFile(path, image);
  const Bytes written = ReadFileBytes(path);
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

INSTANTIATE_TEST_SUITE_P(Encoders, WindowsFiles,
                         testing::Values(BmpCase("bmp16", 16), BmpCase("bmp24", 24), BmpCase("bmp32", 32),
                                         JpegCase("baseline", false), JpegCase("progressive", true)),
                         [](const testing::TestParamInfo<FileCase> &cell) { return std::string(cell.param.name); });

}  // namespace
