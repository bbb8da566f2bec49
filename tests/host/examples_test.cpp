// Every zulan and rastello-encode command line shown in the READMEs, the
// man pages and zulan --help runs as written on default settings: each in a folder of its own
// with a fresh registry, the drawings and pictures it names made there first,
// and every picture it names as output written.
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

using namespace testing_support;
namespace fs = std::filesystem;

namespace
{

const std::string Source = RASTELLO_SOURCE_DIR;

struct Example
{
  std::string file;
  std::string line;
};

std::string ReadText(const std::string &path)
{
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Words(const std::string &text)
{
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;)
    words.push_back(word);
  return words;
}

bool RunsAProgram(const std::string &line)
{
  const std::vector<std::string> words = Words(line);
  if (words.size() < 2 || line.find('[') != std::string::npos)
    return false;
  const std::string program = fs::path(words[0]).filename().string();
  return program == "zulan" || program == "rastello-encode";
}

// "cmd args   # what it does": the comment is not part of the command.
std::string WithoutComment(const std::string &line)
{
  const size_t hash = line.find(" #");
  std::string command = line.substr(0, hash);
  while (!command.empty() && command.back() == ' ')
    command.pop_back();
  return command.substr(command.find_first_not_of(' '));
}

// Indented and fenced code blocks, and inline code spans (which may run over
// a line break).
std::vector<Example> MarkdownExamples(const std::string &name)
{
  const std::string text = ReadText(Source + "/" + name);
  std::vector<Example> examples;
  std::istringstream lines(text);
  bool fenced = false;
  for (std::string line; std::getline(lines, line);)
  {
    if (line.rfind("```", 0) == 0)
      fenced = !fenced;
    else if ((fenced || line.rfind("    ", 0) == 0) && RunsAProgram(WithoutComment(line)))
      examples.push_back({name, WithoutComment(line)});
  }
  std::string flat = text;
  std::replace(flat.begin(), flat.end(), '\n', ' ');
  const std::regex span("`([^`]+)`");
  for (auto match = std::sregex_iterator(flat.begin(), flat.end(), span); match != std::sregex_iterator(); ++match)
    if (RunsAProgram((*match)[1]))
      examples.push_back({name, (*match)[1]});
  return examples;
}

// The .nf blocks, and the command texts quoted in the prose ('JPEGOPT ...'),
// which run on a drawing as zulan plan.dxf -c '...'.
std::vector<Example> ManExamples(const std::string &name)
{
  std::vector<Example> examples;
  std::istringstream lines(ReadText(Source + "/man/" + name));
  const std::regex quoted("\"('(?:WBSM|WBS|SAVEBMP|JPEGOPT|JPEGMENUON|JPEGMENUOFF)\\b[^']*')\"");
  bool block = false;
  for (std::string line; std::getline(lines, line);)
  {
    for (size_t at; (at = line.find("\\-")) != std::string::npos;)
      line.replace(at, 2, "-");
    if (line == ".nf")
      block = true;
    else if (line == ".fi")
      block = false;
    else if (block && RunsAProgram(line))
      examples.push_back({name, line});
    std::smatch match;
    if (!block && std::regex_search(line, match, quoted))
      examples.push_back({name, "zulan plan.dxf -c " + match[1].str()});
  }
  return examples;
}

// The example lines of zulan --help: "  zulan ARGS   what it does".
std::vector<Example> HelpExamples()
{
  std::vector<Example> examples;
  std::istringstream lines(RunCommand(ShellQuote(ZULAN_PATH) + " --help").output);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  zulan ", 0) == 0)
      examples.push_back({"zulan --help", line.substr(2, line.find("   ", 2) - 2)});
  return examples;
}

std::vector<Example> AllExamples()
{
  std::vector<Example> all;
  for (const auto &list : {MarkdownExamples("README.md"), MarkdownExamples("host/README.md"), ManExamples("zulan.1.in"),
                           ManExamples("rastello-encode.1.in"), HelpExamples()})
    all.insert(all.end(), list.begin(), list.end());
  return all;
}

std::string Extension(const std::string &word)
{
  std::string extension = fs::path(word).extension().string();
  for (char &c : extension)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

// Makes the inputs the example names; returns the pictures it should write.
std::vector<std::string> PrepareFolder(const std::string &folder, const std::vector<std::string> &words)
{
  const bool encoder = fs::path(words[0]).filename() == "rastello-encode";
  std::vector<std::string> outputs;
  bool inputSeen = false;
  for (size_t index = 1; index < words.size(); ++index)
  {
    // A -c text is one shell word; its own words name files too.
    std::string word = words[index];
    word.erase(std::remove(word.begin(), word.end(), '\''), word.end());
    const std::string extension = Extension(word);
    const bool picture = extension == ".jpg" || extension == ".jpeg" || extension == ".png" || extension == ".bmp"
                         || extension == ".ppm" || extension == ".pgm" || extension == ".ent";
    if (extension == ".dxf" && fs::path(word).is_relative())
      fs::copy_file(std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf", folder + "/" + word);
    else if (encoder && !inputSeen && picture)
    {
      inputSeen = true;
      if (extension == ".png")
        fs::copy_file(std::string(RASTELLO_EXAMPLES) + "/drawing.png", folder + "/" + word);
      else
      {
        std::ofstream image(folder + "/" + word, std::ios::binary);
        const bool grey = extension == ".pgm";
        image << (grey ? "P5" : "P6") << "\n4 3\n255\n" << std::string(grey ? 12 : 36, '\x5a');
      }
    }
    else if (picture)
      outputs.push_back(word);
  }
  return outputs;
}

}  // namespace

TEST(DocumentedExamples, RunAsWrittenOnDefaultSettings)
{
  const std::vector<Example> examples = AllExamples();
  // The extraction itself: each file still shows its examples.
  for (const auto &[file, least] : std::vector<std::pair<std::string, size_t>>{
         {"README.md", 10}, {"host/README.md", 7}, {"zulan.1.in", 6}, {"rastello-encode.1.in", 2}, {"zulan --help", 8}})
  {
    const std::string &name = file;  // a lambda cannot capture a structured binding before C++20
    EXPECT_GE(std::count_if(examples.begin(), examples.end(), [&](const Example &e) { return e.file == name; }),
              static_cast<std::ptrdiff_t>(least))
      << file;
  }

  int index = 0;
  for (const Example &example : examples)
  {
    SCOPED_TRACE(example.file + ": " + example.line);
    const std::string folder = FreshFolder("example" + std::to_string(index++));
    std::string line = example.line;
    const std::vector<std::string> outputs = PrepareFolder(folder, Words(line));
    const std::string installed = "/usr/share/rastello/examples/";
    if (line.find(installed) != std::string::npos)
      line.replace(line.find(installed), installed.size(), std::string(RASTELLO_EXAMPLES) + "/");
    const std::string program = Words(line)[0];
    const bool encoder = fs::path(program).filename() == "rastello-encode";
    const std::string built = encoder ? RASTELLO_ENCODE_PATH : ZULAN_PATH;
    // build/bin/zulan: the program is where the build puts it.
    if (program.find('/') != std::string::npos && program[0] != '/')
    {
      const std::string inTree = program.substr(program.find('/'));
      const bool there =
        built.size() > inTree.size() && built.compare(built.size() - inTree.size(), inTree.size(), inTree) == 0;
      EXPECT_TRUE(there) << "built as " << built;
    }
    line = ShellQuote(built) + line.substr(program.size());
    const CommandResult run =
      RunCommand("cd " + ShellQuote(folder) + " && HOME=" + ShellQuote(folder)
                 + " XDG_CONFIG_HOME=" + ShellQuote(folder + "/config") + " " + line + " </dev/null");
    EXPECT_EQ(run.status, 0) << run.output;
    for (const std::string &output : outputs)
      EXPECT_TRUE(fs::is_regular_file(folder + "/" + output) && fs::file_size(folder + "/" + output) > 0)
        << output << " not written\n"
        << run.output;
  }
}
