// Headless dialogs. Bound integers are written as soon as a control changes,
// because a control's callback reads the module's record (the clipboard
// check box greys out the size edits that way); Cancel undoes the writes.
#include "dialog.h"
#include "zulanplatform.h"
#include "text.h"

#include <winuser.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <set>

namespace zulan
{

namespace
{

std::string Normalise(const std::string &text)
{
  std::string result;
  for (char c : text)
    if (c != '&')
      result += Text::LowerCase(c);
  while (!result.empty() && (result.back() == ':' || result.back() == ' '))
    result.pop_back();
  return result;
}

// "&Size" shows as "Size"; "&&" stands for a real ampersand.
std::string WithoutMnemonic(const std::string &text)
{
  std::string result;
  for (size_t i = 0; i < text.size(); ++i)
  {
    if (text[i] == '&' && i + 1 < text.size() && text[i + 1] == '&')
      ++i;
    else if (text[i] == '&')
      continue;
    result += text[i];
  }
  return result;
}

bool IsInput(const ControlTemplate &control)
{
  return control.kind == ControlKind::Edit || control.kind == ControlKind::CheckBox
         || control.kind == ControlKind::RadioButton || control.kind == ControlKind::PushButton
         || control.kind == ControlKind::DefaultButton;
}

// "on"/"off" and their usual spellings; -1 when neither.
int Switch(const std::string &value)
{
  const std::string word = Normalise(value);
  if (word == "on" || word == "1" || word == "yes" || word == "true" || word == "checked")
    return 1;
  if (word == "off" || word == "0" || word == "no" || word == "false" || word == "unchecked")
    return 0;
  return -1;
}

const char *ChangeName(WindowChange change)
{
  switch (change)
  {
  case WindowChange::Shown:
    return "shown";
  case WindowChange::Hidden:
    return "hidden";
  case WindowChange::Enabled:
    return "enabled";
  default:
    return "disabled";
  }
}

}  // namespace

Dialog::Dialog(const DialogTemplate &fromTemplate, XPDialogCallback onOpen, Reporter report)
  : dialogTemplate(fromTemplate), initCallback(onOpen), reporter(std::move(report))
{
  window = CreateWindowRecord(nullptr, 0, true, true);
  std::string pendingLabel;
  for (const ControlTemplate &source : this->dialogTemplate.controls)
  {
    const bool visible = (source.style & WsVisible) != 0;
    const bool enabled = (source.style & WsDisabled) == 0;
    Control control{&source, CreateWindowRecord(window, source.id, visible, enabled), "", "", false, {}};
    // A label names the edit that follows it, as its mnemonic would.
    if (source.kind == ControlKind::Label)
      pendingLabel = source.text;
    else if (source.kind == ControlKind::Edit)
    {
      control.name = pendingLabel;
      pendingLabel.clear();
    }
    else
    {
      control.name = source.text;
      pendingLabel.clear();
    }
    control.name = WithoutMnemonic(control.name);
    while (!control.name.empty() && (control.name.back() == ':' || control.name.back() == ' '))
      control.name.pop_back();
    controls.push_back(control);
  }
  SetWindowObserver(window, [this](HWND changed, WindowChange change) {
    if (!reporting)
      return;
    for (const Control &control : controls)
      if (control.window == changed)
        this->reporter(Describe(control) + " " + ChangeName(change));
  });
}

Dialog::~Dialog()
{
  DestroyWindowRecord(window);
}

std::string Dialog::Describe(const Control &control) const
{
  const std::string id = "(" + std::to_string(control.source->id) + ")";
  return control.name.empty() ? id : "\"" + control.name + "\" " + id;
}

Dialog::Control *Dialog::FindById(int controlId)
{
  for (Control &control : controls)
    if (control.source->id == controlId && IsInput(*control.source))
      return &control;
  return nullptr;
}

void Dialog::Bind(int controlId, const Binding &binding)
{
  if (binding.value == nullptr)
    return;
  if (Control *control = FindById(controlId))
    control->bindings.push_back(binding);
}

void Dialog::BindEdit(int controlId, int32_t *value, int32_t length, XPDialogCallback callback)
{
  Bind(controlId, {BindingKind::Edit, value, length, callback});
}

void Dialog::BindCheck(int controlId, int32_t *value, int32_t mask, XPDialogCallback callback)
{
  Bind(controlId, {BindingKind::Check, value, mask, callback});
}

void Dialog::BindRadio(int controlId, int32_t *value, int32_t buttonValue, XPDialogCallback callback)
{
  Bind(controlId, {BindingKind::Radio, value, buttonValue, callback});
}

void Dialog::Open()
{
  valuesAtOpen.clear();
  std::set<int32_t *> seen;
  for (Control &control : controls)
    for (const Binding &binding : control.bindings)
    {
      if (seen.insert(binding.value).second)
        valuesAtOpen.emplace_back(binding.value, *binding.value);
      switch (binding.kind)
      {
      case BindingKind::Edit:
        control.text = std::to_string(*binding.value);
        break;
      case BindingKind::Check:
        control.checked = (*binding.value & binding.parameter) != 0;
        break;
      case BindingKind::Radio:
        control.checked = *binding.value == binding.parameter;
        break;
      }
    }
  reporting = true;
  if (initCallback != nullptr)
    initCallback();
}

void Dialog::Close(Outcome outcome)
{
  reporting = false;
  if (outcome == Outcome::Cancel)
    for (const auto &[value, saved] : valuesAtOpen)
      *value = saved;
}

Dialog::Control *Dialog::FindControl(const std::string &name, std::string *problem)
{
  if (!name.empty() && name.find_first_not_of("-0123456789") == std::string::npos)
  {
    if (Control *control = FindById(std::atoi(name.c_str())))
      return control;
    *problem = "no control with id " + name;
    return nullptr;
  }
  const std::string wanted = Normalise(name);
  Control *exact = nullptr;
  std::vector<Control *> prefixed;
  for (Control &control : controls)
  {
    if (!IsInput(*control.source) || control.name.empty())
      continue;
    const std::string candidate = Normalise(control.name);
    if (candidate == wanted)
      exact = &control;
    // "Quality" answers for "Quality (1-100)".
    else if (!wanted.empty() && candidate.rfind(wanted, 0) == 0
             && !std::isalnum(static_cast<unsigned char>(candidate[wanted.size()])))
      prefixed.push_back(&control);
  }
  if (exact != nullptr)
    return exact;
  if (prefixed.size() == 1)
    return prefixed[0];
  *problem = prefixed.empty() ? "no control \"" + name + "\"" : "more than one control answers to \"" + name + "\"";
  return nullptr;
}

void Dialog::WriteBindings(Control &control)
{
  std::vector<XPDialogCallback> callbacks;
  for (const Binding &binding : control.bindings)
  {
    switch (binding.kind)
    {
    case BindingKind::Edit:
      *binding.value = static_cast<int32_t>(std::strtol(control.text.c_str(), nullptr, 10));
      break;
    case BindingKind::Check:
      *binding.value = control.checked ? *binding.value | binding.parameter : *binding.value & ~binding.parameter;
      break;
    case BindingKind::Radio:
      if (control.checked)
        *binding.value = binding.parameter;
      break;
    }
    if (binding.callback != nullptr)
      callbacks.push_back(binding.callback);
  }
  for (XPDialogCallback callback : callbacks)
    callback();
}

bool Dialog::SetEdit(Control &control, const std::string &value, std::string *problem)
{
  for (const Binding &binding : control.bindings)
  {
    if (binding.kind != BindingKind::Edit)
      continue;
    if (static_cast<int32_t>(value.size()) > binding.parameter)
    {
      *problem = Describe(control) + " takes at most " + std::to_string(binding.parameter) + " characters";
      return false;
    }
    char *end = nullptr;
    errno = 0;
    const long number = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != '\0' || errno != 0 || number != static_cast<int32_t>(number))
    {
      *problem = Describe(control) + " takes a whole number, not \"" + value + "\"";
      return false;
    }
  }
  control.text = value;
  WriteBindings(control);
  return true;
}

bool Dialog::SetCheck(Control &control, bool checked)
{
  if (control.checked == checked)
    return true;
  control.checked = checked;
  WriteBindings(control);
  return true;
}

void Dialog::ChooseRadio(Control &chosen)
{
  // The group runs from the nearest WS_GROUP control at or before the
  // button to the next WS_GROUP control.
  size_t index = static_cast<size_t>(&chosen - controls.data());
  size_t first = index;
  while (first > 0 && (controls[first].source->style & WsGroup) == 0)
    --first;
  size_t last = index + 1;
  while (last < controls.size() && (controls[last].source->style & WsGroup) == 0)
    ++last;
  for (size_t i = first; i < last; ++i)
    if (controls[i].source->kind == ControlKind::RadioButton && i != index)
      controls[i].checked = false;
  chosen.checked = true;
  WriteBindings(chosen);
}

Dialog::Outcome Dialog::Apply(const std::string &word, std::string *problem)
{
  const size_t equals = word.find('=');
  const std::string name = word.substr(0, equals);
  const std::string lowered = Normalise(name);
  if (equals == std::string::npos && (lowered == "ok" || lowered == "cancel"))
    return lowered == "ok" ? Outcome::Ok : Outcome::Cancel;
  Control *control = FindControl(name, problem);
  if (control == nullptr)
    return Outcome::Continue;
  if (!IsWindowVisible(control->window))
  {
    *problem = Describe(*control) + " is hidden";
    return Outcome::Continue;
  }
  if (!IsWindowEnabled(control->window))
  {
    *problem = Describe(*control) + " is disabled";
    return Outcome::Continue;
  }
  const ControlKind kind = control->source->kind;
  if (equals == std::string::npos)
  {
    if (control->source->id == IDOK)
      return Outcome::Ok;
    if (control->source->id == IDCANCEL)
      return Outcome::Cancel;
    if (kind == ControlKind::RadioButton)
    {
      ChooseRadio(*control);
      return Outcome::Continue;
    }
    *problem = Describe(*control) + " needs a value: " + name + "=...";
    return Outcome::Continue;
  }
  const std::string value = word.substr(equals + 1);
  if (kind == ControlKind::Edit)
    SetEdit(*control, value, problem);
  else if (kind == ControlKind::CheckBox || kind == ControlKind::RadioButton)
  {
    const int state = Switch(value);
    if (state < 0)
      *problem = Describe(*control) + " takes on or off, not \"" + value + "\"";
    else if (kind == ControlKind::CheckBox)
      SetCheck(*control, state == 1);
    else if (state == 1)
      ChooseRadio(*control);
    else if (!control->checked)
      ;
    else
      *problem = Describe(*control) + " is turned off by choosing another button of its group";
  }
  else
    *problem = Describe(*control) + " is a button: give its name alone";
  return Outcome::Continue;
}

std::string Dialog::Format() const
{
  std::string text = "Dialog " + dialogTemplate.name + " \"" + dialogTemplate.caption + "\"\n";
  for (const Control &control : controls)
  {
    const ControlTemplate &source = *control.source;
    if (source.kind == ControlKind::Label)
      continue;
    if (source.kind == ControlKind::GroupBox)
    {
      text += "  -- " + source.text + " --\n";
      continue;
    }
    std::string state;
    if (source.kind == ControlKind::Edit)
      state = "[" + control.text + "]";
    else if (source.kind == ControlKind::CheckBox)
      state = control.checked ? "[x]" : "[ ]";
    else if (source.kind == ControlKind::RadioButton)
      state = control.checked ? "(*)" : "( )";
    std::string line = "  " + std::to_string(source.id);
    line += std::string(line.size() < 8 ? 8 - line.size() : 1, ' ');
    line += std::string(ControlKindName(source.kind));
    line += std::string(line.size() < 24 ? 24 - line.size() : 1, ' ');
    line += control.name;
    line += std::string(line.size() < 70 ? 70 - line.size() : 1, ' ');
    line += state;
    if (!IsWindowVisible(control.window))
      line += "  hidden";
    else if (!IsWindowEnabled(control.window))
      line += "  disabled";
    while (!line.empty() && line.back() == ' ')
      line.pop_back();
    text += line + "\n";
  }
  return text;
}

}  // namespace zulan
