// The words that answer the module's requests and dialogs: those typed
// after a command, then, on a terminal, lines read there.
#ifndef ZULAN_INPUTWORDS_H
#define ZULAN_INPUTWORDS_H

#include "console.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace zulan
{

class InputWords
{
public:
  // interactive: stdin is a terminal, so ask there when the words run out.
  InputWords(Console &console, bool interactive);

  void Assign(std::vector<std::string>::const_iterator first, std::vector<std::string>::const_iterator last);
  void Clear() { words.clear(); }
  bool Empty() const { return words.empty(); }
  // The next word without taking it; empty when there is none.
  std::string Peek() const { return words.empty() ? "" : words.front(); }
  // The words not yet taken, blank-separated.
  std::string Joined() const;
  // True when the next word will be asked for at the terminal.
  bool WillAsk() const { return interactive && words.empty(); }

  // The next word, asking with the prompt when the queue is empty and that
  // is allowed; nullopt when there is none. An empty line gives one empty word.
  std::optional<std::string> Next(const std::string &prompt);

private:
  Console &console;
  bool interactive;
  std::deque<std::string> words;
};

// Splits a command line into words; quotes group words with blanks.
std::vector<std::string> SplitWords(const std::string &line);

// Answers such as esc match without regard to case.
bool IsEsc(const std::string &word);

} // namespace zulan

#endif
