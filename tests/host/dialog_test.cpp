// Headless dialogs on a small template: bindings, radio groups, callbacks,
// and Cancel undoing what the open dialog wrote.
#include "dialog.h"
#include "dialoghost.h"

#include <winuser.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace zulan;

namespace
{

const char Script[] = R"(
#define IDC_SIZE 10
T DIALOG 0, 0, 100, 100
CAPTION "Test"
BEGIN
    LTEXT "&Size:",-1,1,1,10,10
    EDITTEXT IDC_SIZE,1,1,10,10
    CONTROL "Lock size",11,"Button",BS_AUTOCHECKBOX | WS_TABSTOP,1,1,10,10
    CONTROL "Red",20,"Button",BS_AUTORADIOBUTTON | WS_GROUP,1,1,10,10
    CONTROL "Green",21,"Button",BS_AUTORADIOBUTTON,1,1,10,10
    CONTROL "Small",30,"Button",BS_AUTORADIOBUTTON | WS_GROUP,1,1,10,10
    CONTROL "Large",31,"Button",BS_AUTORADIOBUTTON,1,1,10,10
    CONTROL "Secret",40,"Button",BS_AUTOCHECKBOX | NOT WS_VISIBLE,1,1,10,10
    DEFPUSHBUTTON "OK",IDOK,1,1,10,10
END
)";

struct Record
{
  int32_t size = 50;
  int32_t flags = 4;
  int32_t colour = 0;
  int32_t scale = 7;
};

Record record;
int callbackCalls = 0;

int32_t LockCallback()
{
  ++callbackCalls;
  return 0;
}

class DialogTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    record = Record();
    callbackCalls = 0;
    dialog = std::make_unique<Dialog>(ParseResourceScript(Script).at(0), LockCallback,
                                      [this](const std::string &line) { reports.push_back(line); });
    dialog->BindEdit(10, &record.size, 3, nullptr);
    dialog->BindCheck(11, &record.flags, 8, LockCallback);
    dialog->BindRadio(20, &record.colour, 0, nullptr);
    dialog->BindRadio(21, &record.colour, 1, nullptr);
    dialog->BindRadio(30, &record.scale, 5, nullptr);
    dialog->BindRadio(31, &record.scale, 7, nullptr);
    dialog->Open();
  }

  std::string Apply(const std::string &word)
  {
    std::string problem;
    dialog->Apply(word, &problem);
    return problem;
  }

  std::unique_ptr<Dialog> dialog;
  std::vector<std::string> reports;
};

}  // namespace

TEST_F(DialogTest, OpenShowsBoundValuesAndRunsTheInitCallback)
{
  EXPECT_EQ(callbackCalls, 1);
  const std::string shown = dialog->Format();
  EXPECT_NE(shown.find("[50]"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Large                                         (*)"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Red                                           (*)"), std::string::npos) << shown;
}

TEST_F(DialogTest, ControlsWriteTheirIntegersAtOnce)
{
  EXPECT_EQ(Apply("size=123"), "");
  EXPECT_EQ(record.size, 123);
  EXPECT_EQ(Apply("10=-5"), "");
  EXPECT_EQ(record.size, -5);
  EXPECT_EQ(Apply("Lock=on"), "");
  EXPECT_EQ(record.flags, 12) << "the mask is set, other bits kept";
  EXPECT_EQ(callbackCalls, 2);
  EXPECT_EQ(Apply("Lock size=on"), "");
  EXPECT_EQ(callbackCalls, 2) << "no change, no callback";
  EXPECT_EQ(Apply("lock size=off"), "");
  EXPECT_EQ(record.flags, 4);
  EXPECT_EQ(callbackCalls, 3);
}

TEST_F(DialogTest, RadioButtonsChooseOneOfTheirGroup)
{
  EXPECT_EQ(Apply("Small"), "");
  EXPECT_EQ(record.scale, 5);
  EXPECT_EQ(record.colour, 0) << "the other group is left alone";
  EXPECT_EQ(Apply("Green=on"), "");
  EXPECT_EQ(record.colour, 1);
  const std::string shown = dialog->Format();
  EXPECT_NE(shown.find("Red                                           ( )"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Small                                         (*)"), std::string::npos) << shown;
  EXPECT_EQ(Apply("Green=off"), "\"Green\" (21) is turned off by choosing another button of its group");
}

TEST_F(DialogTest, RefusedWordsChangeNothing)
{
  EXPECT_EQ(Apply("Size=1000"), "\"Size\" (10) takes at most 3 characters");
  EXPECT_EQ(Apply("Size=1x"), "\"Size\" (10) takes a whole number, not \"1x\"");
  EXPECT_EQ(Apply("Size="), "\"Size\" (10) takes a whole number, not \"\"");
  EXPECT_EQ(Apply("Lock=maybe"), "\"Lock size\" (11) takes on or off, not \"maybe\"");
  EXPECT_EQ(Apply("Secret=on"), "\"Secret\" (40) is hidden");
  EXPECT_EQ(Apply("Lock"), "\"Lock size\" (11) needs a value: Lock=...");
  EXPECT_EQ(Apply("99=1"), "no control with id 99");
  EXPECT_EQ(Apply("OK=on"), "\"OK\" (1) is a button: give its name alone");
  EXPECT_EQ(record.size, 50);
  EXPECT_EQ(record.flags, 4);
}

TEST_F(DialogTest, DisabledControlsRefuseInputAndChangesAreReported)
{
  EnableWindow(GetDlgItem(dialog->GetWindow(), 10), FALSE);
  EXPECT_EQ(Apply("Size=1"), "\"Size\" (10) is disabled");
  ShowWindow(GetDlgItem(dialog->GetWindow(), 40), SW_SHOW);
  EXPECT_EQ(Apply("Secret=on"), "");
  EXPECT_EQ(reports, (std::vector<std::string>{"\"Size\" (10) disabled", "\"Secret\" (40) shown"}));
}

TEST_F(DialogTest, CancelPutsBackWhatTheDialogWrote)
{
  Apply("Size=9");
  Apply("Lock=on");
  Apply("Small");
  std::string problem;
  EXPECT_EQ(dialog->Apply("cancel", &problem), Dialog::Outcome::Cancel);
  dialog->Close(Dialog::Outcome::Cancel);
  EXPECT_EQ(record.size, 50);
  EXPECT_EQ(record.flags, 4);
  EXPECT_EQ(record.scale, 7);
}

TEST_F(DialogTest, OkKeepsTheNewValues)
{
  Apply("Size=9");
  std::string problem;
  EXPECT_EQ(dialog->Apply("OK", &problem), Dialog::Outcome::Ok);
  dialog->Close(Dialog::Outcome::Ok);
  EXPECT_EQ(record.size, 9);
}

// A run of words stores all of them or none: one refused word from the
// command line turns ok into cancel. Words typed at the terminal may be
// typed again after a refusal, and the Esc key cancels.
TEST(DialogRun, AllOrNothing)
{
  struct Case
  {
    const char *name;
    bool interactive;
    std::vector<std::string> given;
    const char *typed;
    int32_t result;
    int32_t size;
    bool refused;
  };
  const Case cases[] = {
    {"all valid", false, {"Size=5", "Lock=on", "ok"}, "", IDOK, 5, false},
    {"a bad value first", false, {"Size=abc", "Size=5", "ok"}, "", IDCANCEL, 50, true},
    {"a bad value after a good one", false, {"Size=5", "Lock=maybe", "ok"}, "", IDCANCEL, 50, true},
    {"an unknown control", false, {"Size=5", "Colour=on", "ok"}, "", IDCANCEL, 50, true},
    {"no ok", false, {"Size=5"}, "", IDCANCEL, 50, true},
    {"esc", false, {"Size=5", "esc"}, "", IDCANCEL, 50, false},
    {"refused script word, then the terminal", true, {"Size=abc"}, "Size=5 ok\n", IDCANCEL, 50, true},
    {"typed again after a refusal", true, {}, "Size=abc Size=9 ok\nSize=7 ok\n", IDOK, 7, false},
    {"Esc key", true, {"Size=5"}, "\x1b\n", IDCANCEL, 50, false},
  };
  const std::vector<DialogTemplate> templates = ParseResourceScript(Script);
  for (const Case &c : cases)
  {
    SCOPED_TRACE(c.name);
    record = Record();
    Console console(false);
    std::istringstream terminal(c.typed);
    InputWords inputs(console, c.interactive, terminal);
    inputs.Assign(c.given.begin(), c.given.end());
    DialogHost dialogs(templates, inputs, console, false);
    const XPDIALOG handle = dialogs.Define("T", nullptr);
    ASSERT_NE(handle, nullptr);
    dialogs.Find(handle)->BindEdit(10, &record.size, 3, nullptr);
    dialogs.Find(handle)->BindCheck(11, &record.flags, 8, nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int32_t result = dialogs.Run(handle);
    const std::string printed = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, c.result) << printed;
    EXPECT_EQ(record.size, c.size) << printed;
    EXPECT_EQ(record.flags, c.result == IDOK && c.size == 5 ? 12 : 4) << printed;
    EXPECT_EQ(console.InputRefused(), c.refused) << printed;
    if (c.interactive && c.refused)
    {
      EXPECT_EQ(terminal.tellg(), 0) << "a dialog that can only cancel asked at the terminal";
    }
  }
}
