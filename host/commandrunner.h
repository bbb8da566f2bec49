// Runs typed commands, export filters and menu items, and answers the
// requests a command makes from the input words. Requests are answered after
// the handler returns, in the order the module asks, which is how the CAD
// host runs its request-and-continuation commands.
#ifndef ZULAN_COMMANDRUNNER_H
#define ZULAN_COMMANDRUNNER_H

#include "console.h"
#include "hostapi.h"
#include "inputwords.h"
#include "moduleloader.h"

#include <string>
#include <vector>

namespace zulan
{

class CommandRunner
{
public:
  CommandRunner(ModuleLoader &module, InputWords &inputs, Console &console);

  // A command line: the command name, then the words that answer its
  // requests and dialogs. Host commands (OPENDOC) are run here too.
  void RunCommandLine(const std::string &line);
  // The same, already split: words[0] is the command's name.
  void RunCommandWords(const std::vector<std::string> &words);
  void RunExport(const std::string &description, const std::string &fileName);
  void RunMenuItem(const std::string &text);

  void RequestData(DataRequest *request);
  void EndCommand() { commandRunning = false; }
  // Host string 3307: the file name of the export running.
  const std::string &GetExportFileName() const { return exportFileName; }

private:
  void RunPendingRequests();
  bool AnswerRequest(const DataRequest &request);
  void OpenDocument(const std::string &name);

  ModuleLoader &module;
  InputWords &inputs;
  Console &console;
  DataRequest *pendingRequest = nullptr;
  bool commandRunning = false;
  std::string exportFileName;
};

}  // namespace zulan

#endif
