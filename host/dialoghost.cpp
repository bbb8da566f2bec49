#include "dialoghost.h"
#include "text.h"

#include <winuser.h>

#include <algorithm>

namespace zulan
{

DialogHost::DialogHost(const std::vector<DialogTemplate> &dialogTemplates, InputWords &words, Console &out, bool show)
  : templates(dialogTemplates), inputs(words), console(out), showDialogs(show)
{
}

XPDIALOG DialogHost::Define(const char *templateName, XPDialogCallback callback)
{
  const std::string name = templateName != nullptr ? templateName : "";
  for (const DialogTemplate &dialogTemplate : templates)
    if (Text::UpperCase(dialogTemplate.name) == Text::UpperCase(name))
    {
      const std::string caption = dialogTemplate.caption;
      auto dialog = std::make_unique<Dialog>(dialogTemplate, callback, [this, caption](const std::string &line) {
        if (!quiet || showDialogs)
          console.Print(stdout, "dialog \"" + caption + "\": " + line + "\n");
      });
      auto handle = reinterpret_cast<XPDIALOG>(dialog.get());
      dialogs[handle] = std::move(dialog);
      return handle;
    }
  console.Warn("the module has no dialog template " + name);
  return nullptr;
}

Dialog *DialogHost::Find(XPDIALOG handle)
{
  const auto found = dialogs.find(handle);
  return found == dialogs.end() ? nullptr : found->second.get();
}

int32_t DialogHost::Run(XPDIALOG handle)
{
  Dialog *dialog = Find(handle);
  if (dialog == nullptr)
    return 0;
  const std::string caption = dialog->GetTemplate().caption;
  openDialogs.push_back(dialog);
  dialog->Open();
  // Someone about to answer at the terminal needs to see the controls.
  if (showDialogs || inputs.WillAsk())
    console.Print(stdout, dialog->Format());
  // A word refused from a script leaves the dialog able only to cancel, so
  // that a run stores all of its words or none; the words up to ok or
  // cancel are still checked, to report every mistake in one run. At the
  // terminal the user can type a refused word again, as after a dialog's
  // message box.
  bool scriptWordRefused = false;
  Dialog::Outcome outcome = Dialog::Outcome::Continue;
  while (outcome == Dialog::Outcome::Continue)
  {
    if (scriptWordRefused && inputs.WillAsk())
    {
      console.Refuse("dialog \"" + caption + "\" got no ok or cancel; closed with Cancel");
      outcome = Dialog::Outcome::Cancel;
      break;
    }
    const std::optional<std::string> word = inputs.Next(caption + ">");
    if (!word)
    {
      console.Refuse("dialog \"" + caption + "\" got no ok or cancel; closed with Cancel");
      outcome = Dialog::Outcome::Cancel;
      break;
    }
    if (word->empty())
      continue;
    // The Esc key cancels a dialog as its Cancel button does.
    if (IsEsc(*word))
    {
      outcome = Dialog::Outcome::Cancel;
      break;
    }
    std::string problem;
    outcome = dialog->Apply(*word, &problem);
    if (problem.empty())
      continue;
    if (inputs.Typed())
    {
      const std::string rest = inputs.Joined();
      inputs.Clear();
      console.Warn("dialog \"" + caption + "\": " + problem + "; \"" + *word + "\" ignored"
                   + (rest.empty() ? "" : ", and with it \"" + rest + "\""));
    }
    else
    {
      console.Refuse("dialog \"" + caption + "\": " + problem + "; \"" + *word + "\" refused");
      scriptWordRefused = true;
    }
  }
  if (outcome == Dialog::Outcome::Ok && scriptWordRefused)
  {
    console.Warn("dialog \"" + caption + "\": ok not taken after a refused word; nothing changed");
    outcome = Dialog::Outcome::Cancel;
  }
  const bool ok = outcome == Dialog::Outcome::Ok;
  if (showDialogs)
    console.Print(stdout, dialog->Format());
  dialog->Close(outcome);
  if (!quiet || showDialogs)
    console.Print(stdout, "dialog \"" + caption + "\": closed with " + (ok ? "OK" : "Cancel") + "\n");
  openDialogs.pop_back();
  return ok ? IDOK : IDCANCEL;
}

void DialogHost::Release(XPDIALOG handle)
{
  Dialog *dialog = Find(handle);
  if (dialog == nullptr)
    return;
  openDialogs.erase(std::remove(openDialogs.begin(), openDialogs.end(), dialog), openDialogs.end());
  dialogs.erase(handle);
}

HWND DialogHost::OpenWindow() const
{
  return openDialogs.empty() ? nullptr : openDialogs.back()->GetWindow();
}

void DialogHost::Clear()
{
  dialogs.clear();
  openDialogs.clear();
}

}  // namespace zulan
