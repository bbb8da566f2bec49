#include "inputwords.h"
#include "text.h"

#include <algorithm>
#include <cctype>
#include <iostream>

namespace zulan
{

InputWords::InputWords(Console &out, bool ask, std::istream &in) : console(out), interactive(ask), terminal(in) {}

void InputWords::Assign(std::vector<std::string>::const_iterator first, std::vector<std::string>::const_iterator last)
{
  words.assign(first, last);
  typed = false;
}

std::string InputWords::Joined() const
{
  std::string text;
  for (const std::string &word : words)
    text += (text.empty() ? "" : " ") + word;
  return text;
}

std::optional<std::string> InputWords::Next(const std::string &prompt)
{
  if (words.empty() && interactive)
  {
    console.Print(stdout, prompt + (prompt.empty() || prompt.back() == ' ' ? "" : " "));
    std::string line;
    if (!std::getline(terminal, line))
      return std::nullopt;
    typed = true;
    // Esc cancels at a prompt, as in the CAD program; the byte itself is
    // never a name or a point, nor printed back.
    if (line.find(EscKey) != std::string::npos)
      words.push_back("esc");
    else
      for (const std::string &word : SplitWords(line))
        words.push_back(word);
    if (words.empty())
      words.push_back("");
  }
  if (words.empty())
    return std::nullopt;
  std::string word = words.front();
  words.pop_front();
  return word;
}

void InputWords::ReportNoInput(const std::string &prompt)
{
  const std::string text = "no input for \"" + prompt + "\"; cancelled";
  if (interactive)
    console.Warn(text);
  else
    console.Refuse(text);
}

std::vector<std::string> SplitWords(const std::string &line)
{
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (char c : line)
  {
    if (quote != 0)
    {
      if (c == quote)
        quote = 0;
      else
        word += c;
    }
    else if (c == '"' || c == '\'')
    {
      quote = c;
      inWord = true;
    }
    else if (std::isspace(static_cast<unsigned char>(c)))
    {
      if (inWord)
        words.push_back(word);
      word.clear();
      inWord = false;
    }
    else
    {
      word += c;
      inWord = true;
    }
  }
  if (inWord)
    words.push_back(word);
  return words;
}

bool IsEsc(const std::string &word)
{
  return Text::UpperCase(word) == "ESC";
}

}  // namespace zulan
