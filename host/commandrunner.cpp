#include "commandrunner.h"
#include "filenames.h"
#include "text.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace zulan
{

namespace
{

// A command asking on and on without end would otherwise hold the run.
const int MaxRequestsPerCommand = 100000;

}  // namespace

CommandRunner::CommandRunner(ModuleLoader &loader, InputWords &words, Console &out)
  : module(loader), inputs(words), console(out)
{
}

void CommandRunner::RunCommandLine(const std::string &line)
{
  RunCommandWords(SplitWords(line));
}

void CommandRunner::RunCommandWords(const std::vector<std::string> &words)
{
  if (words.empty())
    return;
  const std::string name = Text::UpperCase(words[0]);
  inputs.Assign(words.begin() + 1, words.end());
  if (name == "OPENDOC")
  {
    OpenDocument(inputs.Peek());
    inputs.Clear();
    return;
  }
  const XPHandler handler = module.FindCommand(name);
  if (handler == nullptr)
  {
    console.Refuse("unknown command " + words[0]);
    inputs.Clear();
    return;
  }
  commandRunning = true;
  pendingRequest = nullptr;
  handler();
  RunPendingRequests();
  if (commandRunning)
    console.Warn("command " + name + " returned without ending");
  commandRunning = false;
  if (!inputs.Empty())
  {
    console.Refuse("command " + name + " did not use: " + inputs.Joined());
    inputs.Clear();
  }
}

void CommandRunner::RunExport(const std::string &description, const std::string &fileName)
{
  const ExportFilter *filter = module.FindExport(description);
  if (filter == nullptr)
  {
    console.Refuse("no export filter \"" + description + "\"");
    return;
  }
  const XPHandler handler = filter->handler;
  exportFileName = fileName;
  inputs.Clear();
  handler();
  RunPendingRequests();
}

void CommandRunner::RunMenuItem(const std::string &text)
{
  const size_t colon = text.find(':');
  const std::string label = text.substr(0, colon);
  std::string problem;
  const MenuItem *item = FindMenuItem(module.GetMenus(), label, &problem);
  if (item == nullptr)
  {
    console.Refuse(problem);
    return;
  }
  RunCommandLine(item->command + (colon == std::string::npos ? "" : " " + text.substr(colon + 1)));
}

void CommandRunner::RequestData(DataRequest *request)
{
  if (pendingRequest != nullptr)
    console.Warn("a request replaced one not yet answered");
  pendingRequest = request;
}

void CommandRunner::RunPendingRequests()
{
  for (int count = 0; pendingRequest != nullptr; ++count)
  {
    DataRequest *request = pendingRequest;
    pendingRequest = nullptr;
    if (count == MaxRequestsPerCommand)
    {
      console.Warn("too many requests in one command; stopped");
      return;
    }
    const bool given = AnswerRequest(*request);
    if (request->continuation != nullptr)
      request->continuation(given ? 0 : 1, 0, 0);
  }
}

bool CommandRunner::AnswerRequest(const DataRequest &request)
{
  const char *prompt = request.prompts != nullptr && request.prompts[0] != nullptr ? request.prompts[0] : "Input:";
  const std::optional<std::string> word = inputs.Next(prompt);
  if (!word)
  {
    inputs.ReportNoInput(prompt);
    return false;
  }
  if (IsEsc(*word) || request.target == nullptr)
    return false;
  if (request.inputCode == DataInputFileName || request.targetType == 2)
    return CopyFileName(console, *word, static_cast<char *>(request.target), "; cancelled");
  const size_t comma = word->find(',');
  char *end = nullptr;
  float point[2];
  bool valid = comma != std::string::npos;
  if (valid)
  {
    const std::string x = word->substr(0, comma), y = word->substr(comma + 1);
    point[0] = std::strtof(x.c_str(), &end);
    valid = !x.empty() && *end == '\0';
    point[1] = std::strtof(y.c_str(), &end);
    valid = valid && !y.empty() && *end == '\0' && std::isfinite(point[0]) && std::isfinite(point[1]);
  }
  if (!valid)
  {
    console.Refuse("\"" + *word + "\" is not a point x,y; cancelled");
    return false;
  }
  std::memcpy(request.target, point, sizeof point);
  return true;
}

void CommandRunner::OpenDocument(const std::string &name)
{
  if (name.empty())
  {
    console.Warn("document \"\" not found");
    return;
  }
  // The name is typed input: what the file system refuses in it (too long,
  // a current folder that is gone) is refused input, not the end of the run.
  namespace fs = std::filesystem;
  std::error_code error, folderError;
  std::vector<fs::path> places;
  if (!module.GetPath().empty())
    places.push_back(fs::path(module.GetPath()).parent_path() / name);
  const fs::path current = fs::current_path(folderError);
  if (!folderError)
    places.push_back(current / name);
  for (const fs::path &place : places)
  {
    if (fs::exists(place, error))
    {
      console.Print(stdout, "Document: " + place.string() + "\n");
      return;
    }
    if (error)
      break;
  }
  if (!error)
    error = folderError;
  if (error)
  {
    console.Refuse("document \"" + name + "\" cannot be looked for: " + error.message());
    return;
  }
  console.Warn("document \"" + name + "\" not found");
}

}  // namespace zulan
