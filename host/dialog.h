// A modal dialog run without a screen: controls made from a template, bound
// to the module's integers, and driven by words such as "Width=1024",
// "Progressive=on", "Crop" and "ok".
#ifndef ZULAN_DIALOG_H
#define ZULAN_DIALOG_H

#include "hostapi.h"
#include "resourcescript.h"

#include <functional>
#include <string>
#include <vector>

namespace zulan
{

class Dialog
{
public:
  enum class Outcome
  {
    Continue,
    Ok,
    Cancel
  };
  // Receives one line per reported change ("Width (1000) disabled").
  typedef std::function<void(const std::string &line)> Reporter;

  Dialog(const DialogTemplate &dialogTemplate, XPDialogCallback initCallback, Reporter reporter);
  ~Dialog();
  Dialog(const Dialog &) = delete;
  Dialog &operator=(const Dialog &) = delete;

  HWND GetWindow() const { return window; }
  const DialogTemplate &GetTemplate() const { return dialogTemplate; }

  // An edit shows *value and accepts whole numbers of at most `length` characters.
  void BindEdit(int controlId, int32_t *value, int32_t length, XPDialogCallback callback);
  // A check box sets or clears `mask` in *value.
  void BindCheck(int controlId, int32_t *value, int32_t mask, XPDialogCallback callback);
  // A radio button stores `buttonValue` in *value when chosen.
  void BindRadio(int controlId, int32_t *value, int32_t buttonValue, XPDialogCallback callback);

  // Shows the bound values and runs the init callback.
  void Open();
  // One word of input. Refused words leave everything as it was and say why
  // in *problem.
  Outcome Apply(const std::string &word, std::string *problem);
  // Cancel puts the bound integers back as they were at Open, since the
  // host writes them while the dialog is open.
  void Close(Outcome outcome);

  std::string Format() const;

private:
  enum class BindingKind
  {
    Edit,
    Check,
    Radio
  };
  struct Binding
  {
    BindingKind kind;
    int32_t *value;
    int32_t parameter;  // length, mask or button value
    XPDialogCallback callback;
  };
  struct Control
  {
    const ControlTemplate *source;
    HWND window;
    std::string name;  // own text, or the label in front of an edit
    std::string text;  // an edit's contents
    bool checked = false;
    std::vector<Binding> bindings;
  };

  Control *FindControl(const std::string &name, std::string *problem);
  Control *FindById(int controlId);
  std::string Describe(const Control &control) const;
  bool SetEdit(Control &control, const std::string &value, std::string *problem);
  bool SetCheck(Control &control, bool checked);
  void ChooseRadio(Control &control);
  void WriteBindings(Control &control);
  void Bind(int controlId, const Binding &binding);

  DialogTemplate dialogTemplate;
  XPDialogCallback initCallback;
  Reporter reporter;
  HWND window;
  std::vector<Control> controls;
  std::vector<std::pair<int32_t *, int32_t>> valuesAtOpen;
  bool reporting = false;
};

}  // namespace zulan

#endif
