// What a batch shows while it runs, on stderr: on a terminal two lines
// redrawn in place (the drawing k of n, and the module's status line under
// it), otherwise one plain line per drawing; the messages of each drawing's
// run, named by its drawing; and a summary of the failures at the end.
#ifndef ZULAN_BATCHPROGRESS_H
#define ZULAN_BATCHPROGRESS_H

#include <cstdio>
#include <string>
#include <vector>

namespace zulan
{

class BatchProgress
{
public:
  BatchProgress(std::FILE *stream, bool live, const std::vector<std::string> &drawings);

  // A "status: text" line of drawing index's run.
  void Status(size_t index, const std::string &text);
  // Any other line of its run: shown at once after the drawing's name (and
  // without its own), and kept as its last word.
  void Message(size_t index, const std::string &line);
  // status 0: the picture is written to output.
  void Finished(size_t index, int status, const std::string &output, const std::string &cause);
  // The failures with their reasons; returns the batch's exit status: that
  // of the first drawing that failed, in the order given, or 0.
  int Summary(const std::string &outputFolder);
  // After Ctrl-C: what was done, on a clean line.
  void Interrupted();

  // The last message of a drawing's run, as a reason: without "zulan: "
  // and the drawing's own name in front.
  static std::string Reason(const std::string &message, const std::string &drawing);

private:
  void Print(const std::string &text);
  void Redraw();
  void Erase();
  std::string Tag(size_t index) const;

  std::FILE *stream;
  bool live;
  const std::vector<std::string> &drawings;
  std::vector<std::string> lastMessages;
  std::vector<int> statuses;  // -1 while not finished
  size_t shown = 0;           // the drawing whose status the live lines show
  std::string statusText;
  size_t finished = 0;
  size_t failed = 0;
  bool drawn = false;
};

}  // namespace zulan

#endif
