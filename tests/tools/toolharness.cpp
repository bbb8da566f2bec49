#include "toolharness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "testimages.h"

namespace tool_testing
{

using testing_support::CommandResult;
using testing_support::RunCommand;
using testing_support::ShellQuote;

CommandResult RunEncoder(const std::vector<std::string> &arguments, const std::string &shellPrefix,
                         const std::string &launcher)
{
  std::string command = (launcher.empty() ? "" : launcher + " ") + ShellQuote(RASTELLO_ENCODE);
  for (const std::string &argument : arguments)
    command += " " + ShellQuote(argument);
  if (!shellPrefix.empty())
    command = "(" + shellPrefix + "; exec " + command + ")";
  return RunCommand(command);
}

void RunPython(const std::string &code, const std::vector<std::string> &arguments)
{
  const std::string script = testing_support::TempPath("snippet.py");
  std::ofstream(script) << "import sys\nargv = sys.argv[1:]\n" << code << "\n";
  std::string command = ShellQuote(RASTELLO_PYTHON) + " " + ShellQuote(script);
  for (const std::string &argument : arguments)
    command += " " + ShellQuote(argument);
  const CommandResult result = RunCommand(command);
  ASSERT_EQ(result.status, 0) << result.output;
}

std::string FolderOf(const std::string &path)
{
  return std::filesystem::path(path).parent_path().string();
}

}  // namespace tool_testing
