// One check for "this call throws this type with this text", reported at the
// caller's line.
#ifndef RASTELLO_TESTS_EXPECTERROR_H
#define RASTELLO_TESTS_EXPECTERROR_H

#include <gtest/gtest.h>

#include <string>

namespace testing_support
{

// Another exception type propagates, and GoogleTest reports it as such.
template <class Error, class Call>
void ExpectError(Call &&call, const std::string &text, const char *file = __builtin_FILE(), int line = __builtin_LINE())
{
  const testing::ScopedTrace trace(file, line, "ExpectError");
  try
  {
    call();
    ADD_FAILURE() << "nothing was thrown; expected \"" << text << "\"";
  }
  catch (const Error &error)
  {
    EXPECT_EQ(std::string(error.what()), text);
  }
}

}  // namespace testing_support

#endif
