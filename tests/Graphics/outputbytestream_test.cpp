#include "graphicsexception.h"
#include "memorystream.h"
#include "outputbytestream.h"
#include "testimages.h"
#include "expecterror.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <type_traits>
#include <vector>

using Vantorum::GraphicsException;
using Vantorum::OutputByteStream;
using Vantorum::OutputFileStream;
using namespace testing_support;

TEST(OutputByteStream, WordsAreBigEndianAndFlushWhenLessThanThreeBytesAreFree)
{
  MemoryStream stream(4);
  stream.PutWord(0xFFD8);
  EXPECT_TRUE(stream.flushes.empty());
  EXPECT_EQ(stream.buffer[0], 0xFF);
  EXPECT_EQ(stream.buffer[1], 0xD8);
  stream.PutWord(0x1234);  // exactly two bytes free: flushes first
  EXPECT_EQ(stream.flushes, std::vector<size_t>{2});
  EXPECT_EQ(stream.Bytes(), (std::vector<uint8_t>{0xFF, 0xD8, 0x12, 0x34}));
}

TEST(OutputByteStream, BlocksArriveCompleteAndInOrder)
{
  MemoryStream stream(7);
  std::vector<uint8_t> data(30);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i);
  stream.PutByte(0xAA);
  stream.PutBytes(data.data(), static_cast<int32_t>(data.size()));
  stream.PutBytes(data.data(), 0);
  stream.PutBytes(data.data(), -5);
  stream.Flush();
  for (size_t piece : stream.flushes)
    EXPECT_LE(piece, 7u);
  const std::vector<uint8_t> all = stream.Bytes();
  ASSERT_EQ(all.size(), 31u);
  EXPECT_EQ(all[0], 0xAA);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), all.begin() + 1));
}

TEST(OutputByteStream, BitModeBytesAreClearedInPlace)
{
  MemoryStream stream(2);
  std::fill(stream.buffer.begin(), stream.buffer.end(), 0x55);
  stream.EnterBitMode(8);
  EXPECT_EQ(stream.Pending(), 0u);
  EXPECT_EQ(stream.buffer[0], 0);
  stream.NextByte();
  EXPECT_EQ(stream.buffer[1], 0);
  stream.NextByte();  // past the end: flushes at once to clear the new byte
  EXPECT_EQ(stream.flushes, std::vector<size_t>{2});
  EXPECT_EQ(stream.Pending(), 0u);
}

TEST(OutputFileStream, FullBufferIsWrittenOnlyWhenTheNextByteNeedsRoom)
{
  const std::string path = TempPath("bytes.bin");
  {
    OutputFileStream stream;
    stream.Open(path);
    ASSERT_TRUE(stream.IsGood());
    for (int i = 0; i < 262144; ++i)
      stream.PutByte(static_cast<uint8_t>(i));
    EXPECT_EQ(std::filesystem::file_size(path), 0u);
    stream.PutByte(0x42);
    EXPECT_EQ(std::filesystem::file_size(path), 262144u);
  }
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 262145u);
  EXPECT_EQ(bytes[262143], 0xFF);
  EXPECT_EQ(bytes[262144], 0x42);
}

TEST(OutputFileStream, LargeBlockIsWrittenWithOneFlushBetween)
{
  const std::string path = TempPath("block.bin");
  std::vector<uint8_t> data(300000);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 7 + (i >> 11));
  {
    OutputFileStream stream;
    stream.Open(path);
    stream.PutBytes(data.data(), static_cast<int32_t>(data.size()));
    EXPECT_EQ(std::filesystem::file_size(path), 262144u);
  }
  EXPECT_EQ(ReadFileBytes(path), data);
}

TEST(OutputFileStream, OpenFailuresAndSecondOpens)
{
  {
    OutputFileStream stream;
    stream.Open(TempPath("no-such-folder") + "/x.bin");
    EXPECT_FALSE(stream.IsGood());
  }  // destroying a stream that never opened writes nothing and does not crash

  const std::string first = TempPath("first.bin");
  OutputFileStream stream;
  stream.Open(first);
  stream.PutByte(1);
  // Callers that catch GraphicsException must not take a stream error for one.
  EXPECT_FALSE((std::is_base_of_v<GraphicsException, OutputByteStream::StreamError>));
  ExpectError<OutputByteStream::StreamError>([&] { stream.Open(TempPath("second.bin")); }, "Already Open");
  EXPECT_FALSE(std::filesystem::exists(TempPath("second.bin")));
  stream.Close();
  EXPECT_EQ(ReadFileBytes(first), std::vector<uint8_t>{1});
}

TEST(OutputFileStream, WriteErrorsAreReportedNotSwallowed)
{
  // Small: the error shows only when the file is closed.
  {
    OutputFileStream stream;
    stream.Open("/dev/full");
    ASSERT_TRUE(stream.IsGood());
    stream.PutBytes("abc", 3);
    ExpectError<OutputByteStream::StreamError>([&] { stream.Close(); },
                                               "Cannot write to file /dev/full: No space left on device");
  }
  // Large: the error shows at the first full buffer.
  OutputFileStream stream;
  stream.Open("/dev/full");
  std::vector<uint8_t> data(300000, 7);
  ExpectError<OutputByteStream::StreamError>([&] { stream.PutBytes(data.data(), static_cast<int32_t>(data.size())); },
                                             "Cannot write to file /dev/full: No space left on device");
}
