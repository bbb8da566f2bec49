// Binary DXF: the same drawing saved as text and as binary by ezdxf
// (binary/make_binary.py) loads to the same records; cut or damaged binary
// files are refused with the byte offset; each value type turns into the
// text the scan reads.
#include "drawing.h"
#include "dxfbinary.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace zulan
{
namespace
{

using test::LoadError;
using test::TempFile;

const std::string Folder = ZULAN_BINARY_DIR;

std::string ReadBytes(const std::string &path)
{
  std::ifstream file(path, std::ios::binary);
  std::ostringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

const std::string Sentinel(BinaryDxfSentinel, sizeof BinaryDxfSentinel);

// 2-byte little-endian group code, as R13 and later write them.
std::string Wide(int code)
{
  return {char(code & 255), char(code >> 8)};
}

TEST(BinaryDxfTest, LoadsAsItsTextTwin)
{
  for (const std::string name : {"r12", "r2000"})
  {
    SCOPED_TRACE(name);
    std::unique_ptr<Document> text, binary;
    ASSERT_NO_THROW(text = Document::Load(Folder + "/" + name + ".dxf"));
    ASSERT_NO_THROW(binary = Document::Load(Folder + "/" + name + "-bin.dxf"));
    const std::vector<Entity> &a = text->Entities(), &b = binary->Entities();
    ASSERT_GE(a.size(), 7u);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
    {
      EXPECT_EQ(std::memcmp(&a[i], &b[i], sizeof a[i]), 0) << "record " << i;
      EXPECT_EQ(text->Text(a[i]), binary->Text(b[i]));
    }
    ASSERT_EQ(text->Layers().size(), binary->Layers().size());
    for (size_t i = 0; i < text->Layers().size(); ++i)
      EXPECT_EQ(text->Layers()[i].name, binary->Layers()[i].name);
    EXPECT_EQ(binary->Header().extMaxX, text->Header().extMaxX);
  }
}

TEST(BinaryDxfTest, CutAnywhereIsRefusedWithTheOffset)
{
  for (const std::string name : {"r12-bin", "r2000-bin"})
  {
    const std::string bytes = ReadBytes(Folder + "/" + name + ".dxf");
    ASSERT_GT(bytes.size(), 1000u);
    for (size_t length = 22; length < bytes.size() - 1; length += bytes.size() / 41)
    {
      TempFile file(bytes.substr(0, length));
      const std::string message = LoadError(file.Path());
      EXPECT_NE(message.find("malformed binary DXF at byte offset "), std::string::npos) << message;
      EXPECT_NE(message.find("truncated"), std::string::npos) << length << ": " << message;
    }
  }
}

TEST(BinaryDxfTest, DamageIsRefusedWithTheOffset)
{
  const std::string start = Sentinel + Wide(0) + std::string("SECTION\0", 8) + Wide(2) + std::string("ENTITIES\0", 9);
  const size_t pair = start.size();  // where the damaged pair begins
  const std::string at = "at byte offset " + std::to_string(pair) + ": ";
  const struct
  {
    std::string bytes;
    std::string problem;
  } cases[] = {
    {Sentinel.substr(0, 21), "at byte offset 0: its first 22 bytes are not the binary DXF sentinel"},
    {Sentinel + "junk", "at byte offset 22: it does not begin with 0/SECTION"},
    {start + Wide(85) + "x", at + "85 is not a group code of binary DXF"},
    {start + Wide(2000), at + "2000 is not a group code of binary DXF"},
    {start + Wide(10) + "1234", at + "it is truncated (the value of group code 10 needs 8 bytes, 4 remain)"},
    {start + Wide(8) + "LAYER", at + "it is truncated (the string of group code 8 has no end)"},
    {start + Wide(310) + "\x05" + "ab", at + "it is truncated (the value of group code 310 needs 5 bytes"},
    {start + Wide(1) + std::string("a\nb\0", 4), at + "the string of group code 1 holds a line break"},
    {start + Wide(40) + std::string("\0\0\0\0\0\0\xf0\x7f", 8), at + "group code 40 holds a number that is not finite"},
    {start, "at byte offset " + std::to_string(start.size()) + ": it is truncated (it does not end with EOF)"},
    {Sentinel + std::string("\0\0SECT", 6), "at byte offset 22: it is truncated"},
  };
  for (const auto &c : cases)
  {
    TempFile file(c.bytes);
    const std::string message = LoadError(file.Path());
    EXPECT_EQ(message.rfind(file.Path() + ": malformed binary DXF ", 0), 0u) << message;
    EXPECT_NE(message.find(c.problem), std::string::npos) << message;
  }
}

TEST(BinaryDxfTest, DamagedBytesNeverCrash)
{
  // Any byte changed anywhere: a drawing or a refusal.
  const std::string bytes = ReadBytes(Folder + "/r2000-bin.dxf");
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round)
  {
    std::string damaged = bytes;
    for (int change = 0; change < 1 + round % 4; ++change)
      damaged[22 + random() % (damaged.size() - 22)] = char(random());
    TempFile file(damaged);
    const std::string message = LoadError(file.Path());
    EXPECT_FALSE(message.empty());
  }
}

TEST(BinaryDxfTest, ValuesTurnIntoTheirText)
{
  const std::string head = std::string("\0SECTION\0", 9);  // 1-byte codes
  const struct
  {
    std::string pair;
    std::string text;
  } cases[] = {
    {std::string("\x01"
                 "abc\0",
                 5),
     "1\nabc\n"},
    {std::string("\x0a\x9a\x99\x99\x99\x99\x99\xb9\x3f", 9), "10\n0.10000000000000001\n"},
    {std::string("\x3e\xff\xff", 3), "62\n-1\n"},
    {std::string("\x5a\x00\x00\x00\x80", 5), "90\n-2147483648\n"},
    {std::string("\xa0\x01\x00\x00\x00\x00\x00\x00\x01", 9), "160\n72057594037927937\n"},
    {std::string("\xff\x22\x01\x01", 4), "290\n1\n"},
    {std::string("\xff\x36\x01\x03\x00\xab\xff", 7), "310\n00ABFF\n"},
    {std::string("\xff\x2f\x04\x00\x00\x01\x00", 7), "1071\n65536\n"},
    {std::string("\xff\x2e\x04\x07\x00", 5), "1070\n7\n"},
  };
  for (const auto &c : cases)
  {
    try
    {
      const std::string text = BinaryDxfToText("x.dxf", Sentinel + head + c.pair + std::string("\0EOF\0tail", 9));
      EXPECT_EQ(text, "0\nSECTION\n" + c.text + "0\nEOF\n");
    }
    catch (const Document::LoadError &error)
    {
      ADD_FAILURE() << c.text << ": " << error.what();
    }
  }
  // Two-byte codes throughout from R13 on.
  EXPECT_EQ(BinaryDxfToText("x.dxf", Sentinel + Wide(0) + std::string("SECTION\0", 8) + Wide(1071)
                                       + std::string("\x02\0\0\0", 4) + Wide(0) + std::string("EOF\0", 4)),
            "0\nSECTION\n1071\n2\n0\nEOF\n");
}

}  // namespace
}  // namespace zulan
