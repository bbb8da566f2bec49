// The value types of DXF group codes and the strict number readers the scan
// checks values with (dxfscan.cpp).
#ifndef ZULAN_DRAWING_DXFVALUES_H
#define ZULAN_DRAWING_DXFVALUES_H

#include <string_view>

namespace zulan
{

constexpr int MaxGroupCode = 1071;

enum class ValueType
{
  Text,
  Real,
  Int8,
  Int16,
  Int32,
  Int64,
  Hex
};

// The type of group code 0..MaxGroupCode's values.
ValueType TypeOf(int code);

// "a real number", "a 16-bit integer"...
const char *TypeName(ValueType type);

// Decimal integers with an optional sign, and nothing else. A value beyond
// 64 bits sets *tooLarge.
bool ParseInteger(std::string_view text, long long *value, bool *tooLarge);

// Decimal reals: digits with an optional point and exponent, no "inf", "nan"
// or hexadecimal. False for malformed text; an overflow gives an infinity.
bool ParseReal(std::string_view text, double *value);

}  // namespace zulan

#endif
