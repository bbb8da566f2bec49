// The small text rules every part of this code base shares: ASCII case
// folding (file endings, menu names, registry keys and DXF names are all
// ASCII, and the locale must not change how they compare), trimming,
// quoting for messages and trailing separators.
#ifndef RASTELLO_UTIL_TEXT_H
#define RASTELLO_UTIL_TEXT_H

#include <string>
#include <string_view>

namespace Text
{

inline char LowerCase(char c)
{
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char UpperCase(char c)
{
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string LowerCase(std::string_view text)
{
  std::string result(text);
  for (char &c : result)
    c = LowerCase(c);
  return result;
}

inline std::string UpperCase(std::string_view text)
{
  std::string result(text);
  for (char &c : result)
    c = UpperCase(c);
  return result;
}

inline bool EqualNoCase(std::string_view a, std::string_view b)
{
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerCase(a[i]) != LowerCase(b[i]))
      return false;
  return true;
}

// text without the characters of blanks at either end.
inline std::string_view Trim(std::string_view text, std::string_view blanks = " \t\r")
{
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// text without any run of separator at its end: "A\B\\" is "A\B".
inline std::string WithoutTrailing(std::string_view text, char separator)
{
  while (!text.empty() && text.back() == separator)
    text.remove_suffix(1);
  return std::string(text);
}

// text as a message shows it: in quote marks, cut to at most longest
// characters with "..." where it was cut.
inline std::string Quoted(std::string_view text, char mark = '"', size_t longest = std::string_view::npos)
{
  const bool cut = text.size() > longest;
  return mark + std::string(text.substr(0, cut ? longest : text.size())) + (cut ? "..." : "") + mark;
}

}  // namespace Text

#endif
