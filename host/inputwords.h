// The words that answer the module's requests and dialogs: those typed
// after a command, then, on a terminal, lines read there.
#ifndef ZULAN_INPUTWORDS_H
#define ZULAN_INPUTWORDS_H

#include "console.h"

#include <deque>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace zulan
{

class InputWords
{
public:
  // interactive: stdin is a terminal, so ask there (on `terminal`) when the
  // words run out.
  InputWords(Console &console, bool interactive, std::istream &terminal = std::cin);

  void Assign(std::vector<std::string>::const_iterator first, std::vector<std::string>::const_iterator last);
  void Clear() { words.clear(); }
  bool Empty() const { return words.empty(); }
  // The next word without taking it; empty when there is none.
  std::string Peek() const { return words.empty() ? "" : words.front(); }
  // The words not yet taken, blank-separated.
  std::string Joined() const;
  // True when the next word will be asked for at the terminal.
  bool WillAsk() const { return interactive && words.empty(); }
  // Off: a request the words do not answer is cancelled, even at a terminal.
  void SetInteractive(bool ask) { interactive = ask; }
  // True when the words now queued were typed at the terminal rather than
  // given on the command line.
  bool Typed() const { return typed; }

  // The next word, asking with the prompt when the queue is empty and that
  // is allowed; nullopt when there is none. An empty line gives one empty
  // word; a line holding the Esc key gives the one word esc.
  std::optional<std::string> Next(const std::string &prompt);
  // Says that the request asked with the prompt got no word and is cancelled.
  // Left without input, a script is refused; at the terminal, end of input is
  // the user's own doing.
  void ReportNoInput(const std::string &prompt);

private:
  Console &console;
  bool interactive;
  std::istream &terminal;
  std::deque<std::string> words;
  bool typed = false;
};

// Splits a command line into words; quotes group words with blanks.
std::vector<std::string> SplitWords(const std::string &line);

// The Esc key as a byte on a terminal line.
const char EscKey = '\x1b';

// Answers such as esc match without regard to case.
bool IsEsc(const std::string &word);

}  // namespace zulan

#endif
