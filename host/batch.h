// Many drawings in one run: each exported into one folder under its own
// name, by a zulan process of its own (the module keeps its state in
// globals and runs on one thread, so one process holds one drawing), up to
// a number of them side by side. A drawing that fails is reported with its
// reason and the rest go on.
#ifndef ZULAN_BATCH_H
#define ZULAN_BATCH_H

#include <string>
#include <vector>

namespace zulan
{

struct Batch
{
  std::string self;                    // the zulan to run for each drawing
  std::vector<std::string> drawings;   // as given
  std::vector<std::string> outputs;    // one per drawing (BatchOutputs)
  std::vector<std::string> arguments;  // for every drawing's run, after the drawing
  std::string filter;                  // --export FILTER; empty: -c SAVEBMP
  std::string outputFolder;            // as given, for the summary
  int jobs = 1;                        // runs side by side
  bool live = false;                   // stderr is a terminal
};

// out/NAME.ending for each drawing; refuses (returns why) two drawings that
// would be written to the same file, or one whose name could not be passed
// on as a command's input.
std::string BatchOutputs(const std::vector<std::string> &drawings, const std::string &folder, const std::string &ending,
                         std::vector<std::string> &outputs);

// The runs of a drawing's own process: its whole command line.
std::vector<std::string> DrawingCommand(const Batch &batch, size_t index);

// Runs the batch; returns the exit status: 0 when every drawing was
// exported, else that of the first that failed in the order given, 130
// after Ctrl-C (the runs under way are ended, their temporaries removed).
int RunBatch(const Batch &batch);

// Processors this process may run on.
int AvailableProcessors();

}  // namespace zulan

#endif
