// The scan's number readers: short decimals and bare digits are read by a
// path of their own, which must give what the general one gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "dxfvalues.h"

namespace zulan
{
namespace
{

// The same double, bit for bit (a negative zero is not zero here).
bool SameBits(double a, double b)
{
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(DxfValuesTest, RealsReadAsStrtodReadsThem)
{
  const char *const texts[] = {"0",
                               "-0",
                               "-0.0",
                               "+0.5",
                               ".5",
                               "-.25",
                               "5.",
                               "0.1",
                               "0.3",
                               "45.0",
                               "-123.456",
                               "1e3",
                               "2.5E-3",
                               "123456789012345",
                               "12345678901234.5",
                               "0.123456789012345",
                               "1234567890123456",
                               "9007199254740993",
                               "0.1234567890123456789",
                               "000000000000000012.5",
                               "3.14159265358979",
                               "-999999999999999",
                               "1.7976931348623157e308"};
  for (const char *text : texts)
  {
    double value = 0;
    ASSERT_TRUE(ParseReal(text, &value)) << text;
    EXPECT_TRUE(SameBits(value, std::strtod(text, nullptr))) << text << " read as " << value;
  }
  // Random decimals of up to 17 digits, the point anywhere among them.
  std::mt19937_64 random(26);
  for (int i = 0; i < 20000; ++i)
  {
    std::string text = random() % 2 ? "-" : "";
    const int digits = 1 + int(random() % 17), point = int(random() % (digits + 1));
    for (int d = 0; d < digits; ++d)
    {
      if (d == point)
        text += '.';
      text += char('0' + random() % 10);
    }
    double value = 0;
    ASSERT_TRUE(ParseReal(text, &value)) << text;
    ASSERT_TRUE(SameBits(value, std::strtod(text.c_str(), nullptr))) << text << " read as " << value;
  }
}

TEST(DxfValuesTest, IntegersAndWhatIsNone)
{
  struct Case
  {
    const char *text;
    bool valid;
    long long value;
    bool tooLarge;
  };
  const Case cases[] = {
    {"0", true, 0, false},
    {"007", true, 7, false},
    {"999999999", true, 999999999, false},
    {"1234567890", true, 1234567890, false},
    {"+5", true, 5, false},
    {"-32768", true, -32768, false},
    {"99999999999999999999", true, 0, true},
    {"", false, 0, false},
    {"-", false, 0, false},
    {"1O", false, 0, false},
    {"5.0", false, 0, false},
    {"1 2", false, 0, false},
  };
  for (const Case &c : cases)
  {
    long long value = -1;
    bool tooLarge = true;
    ASSERT_EQ(ParseInteger(c.text, &value, &tooLarge), c.valid) << '"' << c.text << '"';
    if (!c.valid)
      continue;
    EXPECT_EQ(tooLarge, c.tooLarge) << c.text;
    if (!c.tooLarge)
    {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace zulan
