// Requests and continuations through the host's exported operations: input
// words in order, esc, and inputs the module's buffers could not take.
#include "host.h"
#include "statusline.h"
#include "testimages.h"
#include "zulanplatform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

namespace
{

char nameBuffer[XP_NAME_BYTES];
float corner[2];
const char *const namePrompts[] = {"Filename: "};
const char *const cornerPrompts[] = {"Pick first corner:"};
std::vector<std::string> answers;

void CornerGiven(int32_t status, int32_t, int32_t)
{
  answers.push_back(status != 0 ? "corner cancelled"
                                : "corner " + std::to_string(corner[0]) + " " + std::to_string(corner[1]));
  CmdEnd();
}

DataRequest cornerRequest = {49, 0, 0, 2, corner, cornerPrompts, DataInputFirstCorner, CornerGiven, {}};

void NameGiven(int32_t status, int32_t, int32_t)
{
  answers.push_back(status != 0 ? "name cancelled" : std::string("name ") + nameBuffer);
  if (status != 0)
    CmdEnd();
  else
    ReqData(&cornerRequest);
}

DataRequest nameRequest = {49, 2, 0x80000, 2, nameBuffer, namePrompts, DataInputFileName, NameGiven, {}};

void AskName()
{
  ReqData(&nameRequest);
}

void Initialise() {}

const XPHandler handlers[] = {Initialise, AskName};
CommandTable table = {0, "ASK\0", handlers, 0, nullptr, 0,  0xF000, nullptr, 603, 0,
                      0, 603,     0,        0, nullptr, {}, "",     "\0",    0};

std::vector<std::string> RunLine(zulan::Host &host, const std::string &line)
{
  answers.clear();
  host.RunCommandLine(line);
  return answers;
}

}  // namespace

TEST(HostRequests, InputsAnswerRequestsInOrder)
{
  zulan::HostSettings settings;
  settings.registryPath = testing_support::TempPath("registry.reg");
  zulan::Host host(settings);
  host.RegisterCommands(&table);
  EXPECT_EQ(table.hostModule, zulan::HostModuleHandle());

  EXPECT_EQ(RunLine(host, "ask plan.png 10.5,-20"),
            (std::vector<std::string>{"name plan.png", "corner 10.500000 -20.000000"}));
  EXPECT_EQ(RunLine(host, "ASK 'my plan.png' ESC"), (std::vector<std::string>{"name my plan.png", "corner cancelled"}));
  EXPECT_FALSE(host.InputRefused());
  EXPECT_EQ(RunLine(host, "ASK"), std::vector<std::string>{"name cancelled"}) << "inputs ran out";
}

TEST(HostRequests, RefusedInputsCancelAndLeaveTargetsAlone)
{
  zulan::HostSettings settings;
  settings.registryPath = testing_support::TempPath("registry.reg");
  zulan::Host host(settings);
  host.RegisterCommands(&table);
  std::strcpy(nameBuffer, "old.png");
  // 255 characters fit with the NUL; 256 would not.
  const std::string fits(XP_NAME_BYTES - 1, 'a');
  EXPECT_EQ(RunLine(host, "ASK " + fits + " esc")[0], "name " + fits);
  EXPECT_FALSE(host.InputRefused());
  std::strcpy(nameBuffer, "old.png");
  EXPECT_EQ(RunLine(host, "ASK " + fits + "b"), std::vector<std::string>{"name cancelled"});
  EXPECT_STREQ(nameBuffer, "old.png");
  EXPECT_TRUE(host.InputRefused());

  corner[0] = corner[1] = 7;
  for (const char *point : {"10;20", "10,", ",5", "1,2,3", "x,1", "1e99,1", "nan,1"})
    EXPECT_EQ(RunLine(host, std::string("ASK a.png ") + point)[1], "corner cancelled") << point;
  EXPECT_EQ(corner[0], 7);
  EXPECT_EQ(corner[1], 7);
}

// Who ends a request decides the exit status: esc, the Esc key or end of
// input at the terminal are the user's cancel; words that run out in a
// script are refused input.
TEST(HostRequests, CancelledOrLeftWithoutInput)
{
  struct Case
  {
    const char *name;
    bool interactive;
    const char *line;
    const char *typed;
    std::vector<std::string> answers;
    bool refused;
  };
  const Case cases[] = {
    {"script runs out at the corner", false, "ASK plan.png", "", {"name plan.png", "corner cancelled"}, true},
    {"script runs out at the name", false, "ASK", "", {"name cancelled"}, true},
    {"script cancels with esc", false, "ASK plan.png esc", "", {"name plan.png", "corner cancelled"}, false},
    {"Esc key at the name", true, "ASK", "\x1b\n", {"name cancelled"}, false},
    {"Esc key after a name typed", true, "ASK", "a.png\x1b\n", {"name cancelled"}, false},
    {"arrow key at the corner", true, "ASK", "a.png\n\x1b[A\n", {"name a.png", "corner cancelled"}, false},
    {"Esc key after given words", true, "ASK a.png", "\x1b\n9,9\n", {"name a.png", "corner cancelled"}, false},
    {"esc typed", true, "ASK", "a.png\nesc\n", {"name a.png", "corner cancelled"}, false},
    {"end of input at the terminal", true, "ASK a.png", "", {"name a.png", "corner cancelled"}, false},
    {"point typed", true, "ASK", "a.png\n1,2\n", {"name a.png", "corner 1.000000 2.000000"}, false},
  };
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    std::istringstream terminal(c.typed);
    zulan::HostSettings settings;
    settings.registryPath = testing_support::TempPath("registry.reg");
    settings.interactive = c.interactive;
    settings.terminal = &terminal;
    zulan::Host host(settings);
    host.RegisterCommands(&table);
    std::strcpy(nameBuffer, "old.png");
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const std::vector<std::string> given = RunLine(host, c.line);
    const std::string printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_EQ(given, c.answers);
    EXPECT_EQ(host.InputRefused(), c.refused) << printed;
    EXPECT_EQ(printed.find('\x1b'), std::string::npos) << "the Esc key was printed back: " << printed;
    if (c.answers[0] == "name cancelled")
    {
      EXPECT_STREQ(nameBuffer, "old.png");
    }
    if (c.refused)
    {
      EXPECT_NE(printed.find("; cancelled"), std::string::npos) << printed;
    }
  }
}

TEST(HostRequests, FullFileNameMayWriteOverItsInput)
{
  zulan::HostSettings settings;
  settings.registryPath = testing_support::TempPath("registry.reg");
  zulan::Host host(settings);
  char buffer[XP_PATH_BYTES] = "sub/../out.bmp";
  FullFileName(buffer, buffer);
  EXPECT_EQ(std::string(buffer), (std::filesystem::current_path() / "out.bmp").string());
  const std::string tooLong(XP_PATH_BYTES, 'n');
  FullFileName(tooLong.c_str(), buffer);
  EXPECT_STREQ(buffer, "") << "never a cut-off name";
}

TEST(HostStatusLine, LoggedLinesAreThinnedOut)
{
  std::FILE *stream = std::tmpfile();
  ASSERT_NE(stream, nullptr);
  {
    zulan::StatusLine status(stream, false);
    status.Show("Preparing image...");
    status.Show("Preparing image...");
    for (int32_t percent : {0, 4, 9, 10, 55, 58, 100, 100})
      status.Progress("Saving PNG file... !01%", percent);
    status.Clear();
  }
  std::rewind(stream);
  char text[512] = {};
  const size_t length = std::fread(text, 1, sizeof text - 1, stream);
  std::fclose(stream);
  EXPECT_EQ(std::string(text, length), "status: Preparing image...\nstatus: Saving PNG file... 0%\n"
                                       "status: Saving PNG file... 10%\nstatus: Saving PNG file... 55%\n"
                                       "status: Saving PNG file... 100%\n");
}
