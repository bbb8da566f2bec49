// The real zulan at a terminal (a pseudo-terminal): what is typed at its
// prompts, the Esc key above all.
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testing_support;

// The Esc key is a cancel wherever zulan asks: never a file name, a point or
// a dialog word, never printed back; and a dialog word refused at the
// terminal can be typed again.
TEST(Terminal, EscKeyCancelsAtEveryPrompt)
{
  struct Case
  {
    const char *arguments;
    const char *typed;
    std::vector<int32_t> stored;  // the options stored after the run; none when empty
  };
  const Case cases[] = {
    {"plan.dxf -c 'WBS 0,0 100,100'", "\x1b\n", {}},
    {"plan.dxf -c 'WBS 0,0 100,100'", "plan\x1b\n", {}},
    {"plan.dxf -c WBSM", "\x1b\n", {}},
    {"plan.dxf -c 'WBSM out.png'", "\x1b\n", {}},
    {"plan.dxf -c 'WBSM out.png 0,0'", "\x1b[A\n", {}},
    {"-c JPEGOPT", "1010=off Width=1600\x1b\n", {}},
    {"-c JPEGOPT", "Width=1600 ok\n1010=off Width=1600 ok\n", {1600, 600, 0, 75, 2, 0, 9, 0}},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(std::string(c.arguments) + " typed " + testing::PrintToString(std::string(c.typed)));
    const std::string folder = FreshFolder("terminal");
    std::filesystem::copy_file(std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf", folder + "/plan.dxf");
    const std::string registry = TempPath("terminal.reg");
    std::filesystem::remove(registry);
    const CommandResult run = RunOnTerminal(folder, registry, c.arguments, c.typed);
    EXPECT_EQ(run.status, 0) << run.output;
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
      files += entry.path().filename() != "plan.dxf";
    EXPECT_EQ(files, 0u) << "a picture was written\n" << run.output;
    EXPECT_EQ(run.output.find("\"\x1b"), std::string::npos) << "the Esc key was printed back\n" << run.output;
    EXPECT_EQ(StoredValue(registry, "Options"), c.stored.empty() ? std::vector<uint8_t>() : OptionsBytes(c.stored))
      << run.output;
  }
}
