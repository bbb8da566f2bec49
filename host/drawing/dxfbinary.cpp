// Binary DXF into DXF text. Every length is checked against what remains,
// and the text is bounded, before anything is read or appended.
#include "dxfbinary.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "dxflimits.h"
#include "dxfscan.h"

namespace zulan
{

const char BinaryDxfSentinel[22] = {'A', 'u', 't', 'o', 'C', 'A', 'D', ' ',  'B',  'i',    'n',
                                    'a', 'r', 'y', ' ', 'D', 'X', 'F', '\r', '\n', '\x1a', '\0'};

namespace
{

enum class BinaryType
{
  Unknown,
  Text,   // NUL-terminated
  Chunk,  // a length byte, then that many bytes
  Real,   // 8 bytes
  Int16,
  Int32,
  Int64,
  Bool  // 1 byte
};

struct BinaryRange
{
  int first, last;
  BinaryType type;
};

// Handles (105, 320-369, 390-399, 480-481) are strings in binary files too.
constexpr BinaryRange BinaryCodes[] = {
  {0, 9, BinaryType::Text},        {10, 59, BinaryType::Real},     {60, 79, BinaryType::Int16},
  {90, 99, BinaryType::Int32},     {100, 102, BinaryType::Text},   {105, 105, BinaryType::Text},
  {110, 149, BinaryType::Real},    {160, 169, BinaryType::Int64},  {170, 179, BinaryType::Int16},
  {210, 239, BinaryType::Real},    {270, 289, BinaryType::Int16},  {290, 299, BinaryType::Bool},
  {300, 309, BinaryType::Text},    {310, 319, BinaryType::Chunk},  {320, 369, BinaryType::Text},
  {370, 389, BinaryType::Int16},   {390, 399, BinaryType::Text},   {400, 409, BinaryType::Int16},
  {410, 419, BinaryType::Text},    {420, 429, BinaryType::Int32},  {430, 439, BinaryType::Text},
  {440, 459, BinaryType::Int32},   {460, 469, BinaryType::Real},   {470, 481, BinaryType::Text},
  {999, 999, BinaryType::Text},    {1000, 1003, BinaryType::Text}, {1004, 1004, BinaryType::Chunk},
  {1005, 1009, BinaryType::Text},  {1010, 1059, BinaryType::Real}, {1060, 1070, BinaryType::Int16},
  {1071, 1071, BinaryType::Int32},
};

BinaryType BinaryTypeOf(int code)
{
  for (const BinaryRange &range : BinaryCodes)
  {
    if (code >= range.first && code <= range.last)
      return range.type;
  }
  return BinaryType::Unknown;
}

class BinaryReader
{
public:
  BinaryReader(const std::string &filePath, const std::string &fileBytes)
    : path(filePath), bytes(fileBytes), at(sizeof BinaryDxfSentinel), pairStart(at)
  {
    if (bytes.compare(0, at, std::string(BinaryDxfSentinel, at)) != 0)
    {
      pairStart = 0;
      Refuse("its first 22 bytes are not the binary DXF sentinel");
    }
    // R12 and before write 1-byte codes, later versions 2 bytes; both begin
    // with 0/SECTION.
    const std::string wide("\0\0SECTION", 9), narrow("\0SECTION", 8);
    const std::string first = bytes.substr(at, 9);
    if (first == wide)
      wideCodes = true;
    else if (first.compare(0, 8, narrow) != 0)
    {
      const bool cut =
        first.size() < 9 && (wide.compare(0, first.size(), first) == 0 || narrow.compare(0, first.size(), first) == 0);
      Refuse(cut ? "it is truncated (it ends before its first pair, 0/SECTION)" : "it does not begin with 0/SECTION");
    }
  }

  std::string Run()
  {
    std::string text;
    text.reserve(std::min(bytes.size() * 2, MaxDxfTextBytes));
    while (at < bytes.size())
    {
      pairStart = at;
      const int code = Code();
      const std::string value = Value(code);
      if (text.size() + value.size() + 8 > MaxDxfTextBytes)
      {
        Refuse("as text the drawing would exceed " + std::to_string(MaxDxfTextBytes >> 20) + " MiB");
      }
      text += std::to_string(code);
      text += '\n';
      text += value;
      text += '\n';
      if (code == 0 && value == "EOF")
        return text;  // what follows is not read, as in text files
    }
    pairStart = at;
    Refuse("it is truncated (it does not end with EOF)");
  }

private:
  [[noreturn]] void Refuse(const std::string &problem) const
  {
    ThrowLoadError(path, "malformed binary DXF at byte offset " + std::to_string(pairStart) + ": " + problem);
  }

  const unsigned char *Take(size_t count, const char *what)
  {
    if (bytes.size() - at < count)
    {
      Refuse(std::string("it is truncated (") + what + " needs " + std::to_string(count)
             + (count == 1 ? " byte, " : " bytes, ") + std::to_string(bytes.size() - at) + " remain)");
    }
    const auto *taken = reinterpret_cast<const unsigned char *>(bytes.data() + at);
    at += count;
    return taken;
  }

  uint64_t Little(size_t count, const char *what)
  {
    const unsigned char *b = Take(count, what);
    uint64_t value = 0;
    for (size_t i = count; i-- > 0;)
      value = value << 8 | b[i];
    return value;
  }

  int Code()
  {
    int code = int(Little(wideCodes ? 2 : 1, "a group code"));
    if (!wideCodes && code == 255)  // an extended code follows
      code = int(Little(2, "an extended group code"));
    if (BinaryTypeOf(code) == BinaryType::Unknown)
      Refuse(std::to_string(code) + " is not a group code of binary DXF");
    return code;
  }

  std::string Value(int code)
  {
    const std::string what = "the value of group code " + std::to_string(code);
    switch (BinaryTypeOf(code))
    {
    case BinaryType::Text:
    {
      const size_t end = bytes.find('\0', at);
      if (end == std::string::npos)
        Refuse("it is truncated (the string of group code " + std::to_string(code) + " has no end)");
      std::string value = bytes.substr(at, end - at);
      at = end + 1;
      // A line break would split the pair in the text form.
      if (value.find_first_of("\r\n") != std::string::npos)
        Refuse("the string of group code " + std::to_string(code) + " holds a line break");
      return value;
    }
    case BinaryType::Chunk:
    {
      const size_t length = Little(1, what.c_str());
      const unsigned char *data = Take(length, what.c_str());
      static const char Hex[] = "0123456789ABCDEF";
      std::string value;
      for (size_t i = 0; i < length; ++i)
      {
        value += Hex[data[i] >> 4];
        value += Hex[data[i] & 15];
      }
      return value;
    }
    case BinaryType::Real:
    {
      const uint64_t raw = Little(8, what.c_str());
      double real;
      std::memcpy(&real, &raw, sizeof real);
      if (!std::isfinite(real))
        Refuse("group code " + std::to_string(code) + " holds a number that is not finite");
      char digits[40];
      std::snprintf(digits, sizeof digits, "%.17g", real);  // round-trips
      return digits;
    }
    case BinaryType::Int16:
      return std::to_string(int16_t(Little(2, what.c_str())));
    case BinaryType::Int32:
      return std::to_string(int32_t(Little(4, what.c_str())));
    case BinaryType::Int64:
      return std::to_string(int64_t(Little(8, what.c_str())));
    case BinaryType::Bool:
      return std::to_string(Little(1, what.c_str()));
    case BinaryType::Unknown:
      break;
    }
    Refuse(std::to_string(code) + " is not a group code of binary DXF");
  }

  const std::string &path;
  const std::string &bytes;
  size_t at;         // the next byte to read
  size_t pairStart;  // where the current pair began
  bool wideCodes = false;
};

}  // namespace

// The sentinel's words mark the file as binary; the reader checks the rest.
bool IsBinaryDxf(const std::string &bytes)
{
  return bytes.compare(0, 18, BinaryDxfSentinel, 18) == 0;
}

std::string BinaryDxfToText(const std::string &path, const std::string &bytes)
{
  return BinaryReader(path, bytes).Run();
}

}  // namespace zulan
