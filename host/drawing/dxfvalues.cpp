// Value types by group code range, from the DXF reference; where libdime
// keeps a code in fewer bits than the reference gives (270-275 as 8 bits),
// its width counts.
#include "dxfvalues.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <vector>

#include "dxflimits.h"

namespace zulan
{
namespace
{

struct CodeRange
{
  int first, last;
  ValueType type;
};

// Codes not listed here hold text.
constexpr CodeRange TypedCodes[] = {
  {10, 59, ValueType::Real},     {60, 79, ValueType::Int16},     {90, 99, ValueType::Int32},
  {110, 149, ValueType::Real},   {160, 169, ValueType::Int64},   {170, 179, ValueType::Int16},
  {210, 239, ValueType::Real},   {270, 275, ValueType::Int8},    {276, 279, ValueType::Int16},
  {280, 299, ValueType::Int8},   {310, 369, ValueType::Hex},     {370, 389, ValueType::Int16},
  {390, 399, ValueType::Hex},    {400, 409, ValueType::Int16},   {420, 429, ValueType::Int32},
  {440, 459, ValueType::Int32},  {460, 469, ValueType::Real},    {480, 481, ValueType::Hex},
  {1010, 1059, ValueType::Real}, {1060, 1070, ValueType::Int16}, {1071, 1071, ValueType::Int32},
};

bool IsDigit(char ch)
{
  return ch >= '0' && ch <= '9';
}

size_t Digits(std::string_view text, size_t at)
{
  size_t end = at;
  while (end < text.size() && IsDigit(text[end]))
    ++end;
  return end - at;
}

// Most coordinates have few digits and no exponent: their digits as an
// integer below 2^53 and a power of ten up to 10^15 are both exact doubles,
// so one division rounds as correctly as from_chars does, at a fraction of
// its cost. text is a checked number: sign, whole digits, '.', fraction.
bool ExactDecimal(std::string_view text, size_t whole, size_t fraction, double *value)
{
  static constexpr double PowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                           1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const size_t sign = IsDigit(text[0]) || text[0] == '.' ? 0 : 1;
  if (whole + fraction > 15 || sign + whole + (fraction > 0 ? 1 + fraction : 0) != text.size())
    return false;
  long long digits = 0;
  for (size_t i = sign; i < text.size(); ++i)
  {
    if (text[i] != '.')
      digits = digits * 10 + (text[i] - '0');
  }
  const double magnitude = double(digits) / PowersOfTen[fraction];
  *value = text[0] == '-' ? -magnitude : magnitude;
  return true;
}

}  // namespace

ValueType TypeOf(int code)
{
  static const std::vector<ValueType> types = [] {
    std::vector<ValueType> all(MaxGroupCode + 1, ValueType::Text);
    for (const CodeRange &range : TypedCodes)
      std::fill(all.begin() + range.first, all.begin() + range.last + 1, range.type);
    return all;
  }();
  return types[code];
}

bool ParseInteger(std::string_view text, long long *value, bool *tooLarge)
{
  // Group codes and most integers are a few bare digits: read here, they
  // spare a large file's scan two passes over each and a from_chars.
  if (!text.empty() && text.size() <= 9)
  {
    long long n = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
      n = n * 10 + (text[i] - '0');
    if (i == text.size())
    {
      *value = n;
      *tooLarge = false;
      return true;
    }
  }
  const size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (Digits(text, sign) == 0 || Digits(text, sign) + sign != text.size())
    return false;
  const char *begin = text.data() + (text[0] == '+' ? 1 : 0);
  *tooLarge = std::from_chars(begin, text.data() + text.size(), *value).ec == std::errc::result_out_of_range;
  return true;
}

bool ParseReal(std::string_view text, double *value)
{
  size_t at = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  const size_t whole = Digits(text, at);
  at += whole;
  size_t fraction = 0;
  if (at < text.size() && text[at] == '.')
  {
    fraction = Digits(text, at + 1);
    at += 1 + fraction;
  }
  if (whole + fraction == 0)
    return false;
  bool tinyExponent = false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E'))
  {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
      tinyExponent = text[at++] == '-';
    const size_t exponent = Digits(text, at);
    if (exponent == 0)
      return false;
    at += exponent;
  }
  if (at != text.size())
    return false;
  if (ExactDecimal(text, whole, fraction, value))
    return true;
  const char *begin = text.data() + (text[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), *value);
  if (error == std::errc::result_out_of_range)
  {
    // Out of range with at most MaxNumberLength digits: a negative exponent
    // means too small, which is as good as 0, anything else too large.
    *value = tinyExponent ? 0.0 : std::numeric_limits<double>::infinity();
    if (text[0] == '-')
      *value = -*value;
  }
  return end == text.data() + text.size() || error == std::errc::result_out_of_range;
}

const char *TypeName(ValueType type)
{
  switch (type)
  {
  case ValueType::Real:
    return "a real number";
  case ValueType::Int8:
    return "an 8-bit integer";
  case ValueType::Int16:
    return "a 16-bit integer";
  case ValueType::Int32:
    return "a 32-bit integer";
  case ValueType::Int64:
    return "a 64-bit integer";
  case ValueType::Hex:
    return "a hexadecimal handle or data";
  case ValueType::Text:
    break;
  }
  return "text";
}

}  // namespace zulan
