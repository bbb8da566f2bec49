// DXF strings to UTF-8 for cairo: the drawing's own encoding, and the
// escapes the format puts in strings.
#include "drawinginternal.h"
#include "text.h"

#include <iconv.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace zulan
{

namespace
{

const uint32_t Replacement = 0xFFFD;

void AppendUtf8(uint32_t code, std::string *out)
{
  if (code < 0x80)
  {
    *out += char(code);
  }
  else if (code < 0x800)
  {
    *out += char(0xC0 | (code >> 6));
    *out += char(0x80 | (code & 0x3F));
  }
  else if (code < 0x10000)
  {
    *out += char(0xE0 | (code >> 12));
    *out += char(0x80 | ((code >> 6) & 0x3F));
    *out += char(0x80 | (code & 0x3F));
  }
  else
  {
    *out += char(0xF0 | (code >> 18));
    *out += char(0x80 | ((code >> 12) & 0x3F));
    *out += char(0x80 | ((code >> 6) & 0x3F));
    *out += char(0x80 | (code & 0x3F));
  }
}

// Length of a valid UTF-8 sequence at s (up to four bytes), or 0.
size_t Utf8Length(const unsigned char *s, size_t left)
{
  auto continuation = [&](size_t i) { return i < left && (s[i] & 0xC0) == 0x80; };
  if (s[0] >= 0xC2 && s[0] <= 0xDF && continuation(1))
    return 2;
  if (s[0] >= 0xE0 && s[0] <= 0xEF && continuation(1) && continuation(2))
  {
    const uint32_t code = ((s[0] & 0x0Fu) << 12) | ((s[1] & 0x3Fu) << 6) | (s[2] & 0x3Fu);
    return code >= 0x800 && (code < 0xD800 || code > 0xDFFF) ? 3 : 0;
  }
  if (s[0] >= 0xF0 && s[0] <= 0xF4 && continuation(1) && continuation(2) && continuation(3))
  {
    const uint32_t code = ((s[0] & 0x07u) << 18) | ((s[1] & 0x3Fu) << 12) | ((s[2] & 0x3Fu) << 6) | (s[3] & 0x3Fu);
    return code >= 0x10000 && code <= 0x10FFFF ? 4 : 0;
  }
  return 0;
}

// "ANSI_1251" and the like to the name iconv knows; 0 for a code page we
// do not know, which reads as 1252.
int CodePageNumber(const std::string &name)
{
  const std::string upper = Text::UpperCase(name);
  const std::string prefix = "ANSI_";
  if (upper.compare(0, prefix.size(), prefix) != 0)
    return 0;
  const int number = std::atoi(upper.c_str() + prefix.size());
  switch (number)
  {
  case 874:
  case 932:
  case 936:
  case 949:
  case 950:
  case 1250:
  case 1251:
  case 1252:
  case 1253:
  case 1254:
  case 1255:
  case 1256:
  case 1257:
  case 1258:
    return number;
  default:
    return 0;
  }
}

// Whether byte starts a two-byte character in a double-byte code page.
bool IsLeadByte(int codePage, unsigned char byte)
{
  if (codePage == 932)
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  if (codePage == 936 || codePage == 949 || codePage == 950)
    return byte >= 0x81 && byte <= 0xFE;
  return false;
}

}  // namespace

DxfTextDecoder::DxfTextDecoder(const std::string &version, const std::string &pageName)
{
  // $ACADVER AC1021 is AutoCAD 2007, the first release to write UTF-8.
  if (version.size() == 6 && version.compare(0, 2, "AC") == 0 && std::atoi(version.c_str() + 2) >= 1021)
    mode = Mode::Utf8;
  else
    mode = version.empty() ? Mode::Guess : Mode::CodePage;
  codePage = CodePageNumber(pageName);
  if (codePage == 0)
    codePage = 1252;
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t opened = iconv_open("UTF-8", name.c_str());
  if (opened != iconv_t(-1))
    converter = opened;
}

DxfTextDecoder::~DxfTextDecoder()
{
  if (converter != nullptr)
    iconv_close(iconv_t(converter));
}

// One character of the code page (one or two bytes) to UTF-8.
void DxfTextDecoder::AppendCodePage(const unsigned char *bytes, size_t count, std::string *out) const
{
  char result[16];
  if (converter != nullptr)
  {
    iconv(iconv_t(converter), nullptr, nullptr, nullptr, nullptr);
    char *in = const_cast<char *>(reinterpret_cast<const char *>(bytes));
    size_t inLeft = count;
    char *outPointer = result;
    size_t outLeft = sizeof result;
    if (iconv(iconv_t(converter), &in, &inLeft, &outPointer, &outLeft) != size_t(-1) && inLeft == 0)
    {
      out->append(result, size_t(outPointer - result));
      return;
    }
  }
  AppendUtf8(Replacement, out);
}

std::string DxfTextDecoder::ToUtf8(const std::string &text) const
{
  std::string out;
  const auto *s = reinterpret_cast<const unsigned char *>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;)
  {
    if (s[i] >= 0x80)
    {
      // Non-ASCII first, so that a double-byte character's second byte is
      // never read as an escape.
      const size_t length = mode == Mode::CodePage ? 0 : Utf8Length(s + i, n - i);
      if (length > 0)
      {
        out.append(text, i, length);
        i += length;
      }
      else if (mode == Mode::Utf8)
      {
        AppendUtf8(Replacement, &out);
        ++i;
      }
      else
      {
        const size_t count = IsLeadByte(codePage, s[i]) && i + 1 < n ? 2 : 1;
        AppendCodePage(s + i, count, &out);
        i += count;
      }
    }
    else if (s[i] == '%' && i + 2 < n && s[i + 1] == '%')
    {
      const char code = Text::LowerCase(s[i + 2]);
      if (code == 'd')
        AppendUtf8(0xB0, &out);
      else if (code == 'p')
        AppendUtf8(0xB1, &out);
      else if (code == 'c')
        AppendUtf8(0x2300, &out);
      else if (code == '%')
        out += '%';
      i += 3;  // %%u, %%o and %%k toggle underline and the like: dropped
    }
    else if (s[i] == '\\' && i + 6 < n && s[i + 1] == 'U' && s[i + 2] == '+')
    {
      char hex[5] = {char(s[i + 3]), char(s[i + 4]), char(s[i + 5]), char(s[i + 6]), 0};
      char *end = nullptr;
      const unsigned long code = std::strtoul(hex, &end, 16);
      if (end == hex + 4 && code != 0 && (code < 0xD800 || code > 0xDFFF))
      {
        AppendUtf8(uint32_t(code), &out);
        i += 7;
      }
      else
      {
        out += char(s[i++]);
      }
    }
    else if (s[i] < 0x20)
    {
      ++i;
    }
    else
    {
      out += char(s[i++]);
    }
  }
  return out;
}

std::string DxfTextToUtf8(const std::string &text)
{
  static const DxfTextDecoder guess("", "");
  return guess.ToUtf8(text);
}

}  // namespace zulan
