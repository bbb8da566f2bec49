// A small reader for rc DIALOG templates: one statement per line, numbers or
// #defined names for ids, style expressions with | and NOT. Each control
// statement starts from the default style rc gives it, as rc itself does.
#include "resourcescript.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace zulan
{

namespace
{

enum : uint32_t
{
  BsPushButton = 0,
  BsDefPushButton = 1,
  BsCheckBox = 2,
  BsAutoCheckBox = 3,
  BsRadioButton = 4,
  Bs3State = 5,
  BsAuto3State = 6,
  BsGroupBox = 7,
  BsAutoRadioButton = 9,
};

const std::map<std::string, int64_t> &KnownConstants()
{
  static const std::map<std::string, int64_t> constants = {{"WS_POPUP", WsPopup},
                                                           {"WS_CHILD", WsChild},
                                                           {"WS_VISIBLE", WsVisible},
                                                           {"WS_DISABLED", WsDisabled},
                                                           {"WS_CAPTION", WsCaption},
                                                           {"WS_BORDER", WsBorder},
                                                           {"WS_SYSMENU", WsSysMenu},
                                                           {"WS_GROUP", WsGroup},
                                                           {"WS_TABSTOP", WsTabStop},
                                                           {"WS_VSCROLL", 0x00200000},
                                                           {"WS_HSCROLL", 0x00100000},
                                                           {"DS_MODALFRAME", DsModalFrame},
                                                           {"DS_SETFONT", 0x40},
                                                           {"DS_CENTER", 0x800},
                                                           {"DS_3DLOOK", 0x4},
                                                           {"ES_LEFT", 0},
                                                           {"ES_AUTOHSCROLL", EsAutoHScroll},
                                                           {"ES_NUMBER", 0x2000},
                                                           {"SS_LEFT", 0},
                                                           {"BS_PUSHBUTTON", BsPushButton},
                                                           {"BS_DEFPUSHBUTTON", BsDefPushButton},
                                                           {"BS_CHECKBOX", BsCheckBox},
                                                           {"BS_AUTOCHECKBOX", BsAutoCheckBox},
                                                           {"BS_RADIOBUTTON", BsRadioButton},
                                                           {"BS_3STATE", Bs3State},
                                                           {"BS_AUTO3STATE", BsAuto3State},
                                                           {"BS_GROUPBOX", BsGroupBox},
                                                           {"BS_AUTORADIOBUTTON", BsAutoRadioButton},
                                                           {"IDOK", 1},
                                                           {"IDCANCEL", 2},
                                                           {"IDC_STATIC", -1}};
  return constants;
}

enum class TokenType
{
  Word,
  Number,
  String,
  Symbol
};

struct Token
{
  TokenType type;
  std::string text;
  int64_t number = 0;
};

std::vector<Token> Tokenize(const std::string &line)
{
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size())
  {
    const char c = line[i];
    if (std::isspace(static_cast<unsigned char>(c)))
      ++i;
    else if (c == '/' && i + 1 < line.size() && line[i + 1] == '/')
      break;
    else if (c == '"')
    {
      std::string text;
      ++i;
      for (;;)
      {
        if (i >= line.size())
          throw ResourceScriptError("string without its closing quote");
        if (line[i] == '"')
        {
          if (i + 1 < line.size() && line[i + 1] == '"')
          {
            text += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += line[i++];
      }
      tokens.push_back({TokenType::String, text});
    }
    else if (std::isdigit(static_cast<unsigned char>(c))
             || (c == '-' && i + 1 < line.size() && std::isdigit(static_cast<unsigned char>(line[i + 1]))))
    {
      size_t end = i + 1;
      while (end < line.size() && std::isalnum(static_cast<unsigned char>(line[end])))
        ++end;
      const std::string text = line.substr(i, end - i);
      size_t used = 0;
      int64_t value;
      try
      {
        value = std::stoll(text, &used, 0);
      }
      catch (const std::exception &)
      {
        throw ResourceScriptError("number not understood: " + text);
      }
      if (used != text.size())
        throw ResourceScriptError("number not understood: " + text);
      tokens.push_back({TokenType::Number, text, value});
      i = end;
    }
    else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '#')
    {
      size_t end = i + 1;
      while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_'))
        ++end;
      tokens.push_back({TokenType::Word, line.substr(i, end - i)});
      i = end;
    }
    else
    {
      tokens.push_back({TokenType::Symbol, std::string(1, c)});
      ++i;
    }
  }
  return tokens;
}

class StatementReader
{
public:
  StatementReader(const std::vector<Token> &statement, const std::map<std::string, int64_t> &defined, size_t start = 1)
    : tokens(statement), defines(defined), position(start)
  {
  }

  bool AtEnd() const { return position >= tokens.size(); }

  void SkipComma()
  {
    if (!AtEnd() && tokens[position].type == TokenType::Symbol && tokens[position].text == ",")
      ++position;
  }

  std::string String()
  {
    if (AtEnd() || tokens[position].type != TokenType::String)
      throw ResourceScriptError("text in quotes expected");
    std::string text = tokens[position++].text;
    SkipComma();
    return text;
  }

  int64_t Value()
  {
    if (AtEnd())
      throw ResourceScriptError("number expected");
    const Token &token = tokens[position++];
    if (token.type == TokenType::Number)
      return token.number;
    if (token.type == TokenType::Word)
    {
      const auto defined = defines.find(token.text);
      if (defined != defines.end())
        return defined->second;
      const auto known = KnownConstants().find(token.text);
      if (known != KnownConstants().end())
        return known->second;
      throw ResourceScriptError("unknown name " + token.text);
    }
    throw ResourceScriptError("number expected, found " + token.text);
  }

  int Integer()
  {
    const int64_t value = Value();
    SkipComma();
    return static_cast<int>(value);
  }

  // A style expression such as "BS_AUTOCHECKBOX | NOT WS_VISIBLE | WS_TABSTOP"
  // applied to a starting style.
  uint32_t Style(uint32_t style)
  {
    bool expectTerm = true;
    while (!AtEnd())
    {
      const Token &token = tokens[position];
      if (token.type == TokenType::Symbol && token.text == ",")
        break;
      if (token.type == TokenType::Symbol && token.text == "|" && !expectTerm)
      {
        ++position;
        expectTerm = true;
        continue;
      }
      if (!expectTerm)
        throw ResourceScriptError("| expected in style, found " + token.text);
      bool negate = false;
      if (token.type == TokenType::Word && token.text == "NOT")
      {
        negate = true;
        ++position;
      }
      const uint32_t term = static_cast<uint32_t>(Value());
      style = negate ? style & ~term : style | term;
      expectTerm = false;
    }
    if (expectTerm)
      throw ResourceScriptError("style expected");
    SkipComma();
    return style;
  }

private:
  const std::vector<Token> &tokens;
  const std::map<std::string, int64_t> &defines;
  size_t position;  // past the statement's keyword
};

void ReadPlace(StatementReader &reader, ControlTemplate &control)
{
  control.x = reader.Integer();
  control.y = reader.Integer();
  control.width = reader.Integer();
  control.height = reader.Integer();
}

ControlKind ButtonKind(uint32_t style)
{
  switch (style & BsTypeMask)
  {
  case BsPushButton:
    return ControlKind::PushButton;
  case BsDefPushButton:
    return ControlKind::DefaultButton;
  case BsCheckBox:
  case BsAutoCheckBox:
  case Bs3State:
  case BsAuto3State:
    return ControlKind::CheckBox;
  case BsRadioButton:
  case BsAutoRadioButton:
    return ControlKind::RadioButton;
  case BsGroupBox:
    return ControlKind::GroupBox;
  default:
    return ControlKind::Other;
  }
}

// A control of a predefined class by its class name and style.
ControlKind ClassKind(const std::string &className, uint32_t style)
{
  if (className == "Button" || className == "BUTTON")
    return ButtonKind(style);
  if (className == "Edit" || className == "EDIT")
    return ControlKind::Edit;
  if (className == "Static" || className == "STATIC")
    return ControlKind::Label;
  return ControlKind::Other;
}

// One control statement; the reader stands after the keyword.
ControlTemplate ReadControl(const std::string &keyword, StatementReader &reader)
{
  ControlTemplate control;
  const uint32_t child = WsChild | WsVisible;
  if (keyword == "LTEXT" || keyword == "RTEXT" || keyword == "CTEXT")
  {
    control.kind = ControlKind::Label;
    control.className = "Static";
    control.text = reader.String();
    control.id = reader.Integer();
    ReadPlace(reader, control);
    control.style = child | WsGroup;
  }
  else if (keyword == "EDITTEXT")
  {
    control.kind = ControlKind::Edit;
    control.className = "Edit";
    control.id = reader.Integer();
    ReadPlace(reader, control);
    control.style = child | WsBorder | WsTabStop;
  }
  else if (keyword == "GROUPBOX")
  {
    control.kind = ControlKind::GroupBox;
    control.className = "Button";
    control.text = reader.String();
    control.id = reader.Integer();
    ReadPlace(reader, control);
    control.style = child | BsGroupBox;
  }
  else if (keyword == "PUSHBUTTON" || keyword == "DEFPUSHBUTTON")
  {
    const bool isDefault = keyword == "DEFPUSHBUTTON";
    control.kind = isDefault ? ControlKind::DefaultButton : ControlKind::PushButton;
    control.className = "Button";
    control.text = reader.String();
    control.id = reader.Integer();
    ReadPlace(reader, control);
    control.style = child | WsTabStop | (isDefault ? BsDefPushButton : BsPushButton);
  }
  else if (keyword == "CONTROL")
  {
    control.text = reader.String();
    control.id = reader.Integer();
    control.className = reader.String();
    control.style = reader.Style(child);
    ReadPlace(reader, control);
    control.kind = ClassKind(control.className, control.style);
    return control;
  }
  else
    throw ResourceScriptError("unknown statement " + keyword);
  if (!reader.AtEnd())
    control.style = reader.Style(control.style);
  return control;
}

}  // namespace

const char *ControlKindName(ControlKind kind)
{
  switch (kind)
  {
  case ControlKind::Label:
    return "label";
  case ControlKind::Edit:
    return "edit";
  case ControlKind::GroupBox:
    return "group";
  case ControlKind::PushButton:
    return "button";
  case ControlKind::DefaultButton:
    return "default button";
  case ControlKind::CheckBox:
    return "check box";
  case ControlKind::RadioButton:
    return "radio";
  default:
    return "control";
  }
}

std::vector<DialogTemplate> ParseResourceScript(const std::string &script)
{
  std::vector<DialogTemplate> dialogs;
  std::map<std::string, int64_t> defines;
  DialogTemplate *current = nullptr;
  bool inBody = false;
  size_t start = 0;
  int lineNumber = 0;
  while (start <= script.size())
  {
    size_t end = script.find('\n', start);
    if (end == std::string::npos)
      end = script.size();
    const std::string line = script.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    try
    {
      const std::vector<Token> tokens = Tokenize(line);
      if (tokens.empty())
        continue;
      const std::string &keyword = tokens[0].text;
      StatementReader reader(tokens, defines);
      if (keyword == "#define")
      {
        if (tokens.size() == 3 && tokens[1].type == TokenType::Word && tokens[2].type == TokenType::Number)
          defines[tokens[1].text] = tokens[2].number;
        continue;
      }
      if (keyword[0] == '#')
        continue;  // include guards and includes: the ids come inline
      if (tokens.size() >= 2 && tokens[1].type == TokenType::Word
          && (tokens[1].text == "DIALOG" || tokens[1].text == "DIALOGEX"))
      {
        if (current != nullptr && inBody)
          throw ResourceScriptError("DIALOG inside another dialog");
        dialogs.push_back({});
        current = &dialogs.back();
        current->name = keyword;
        StatementReader place(tokens, defines, 2);
        current->x = place.Integer();
        current->y = place.Integer();
        current->width = place.Integer();
        current->height = place.Integer();
        continue;
      }
      if (current == nullptr)
        throw ResourceScriptError("statement outside a dialog: " + keyword);
      if (!inBody)
      {
        if (keyword == "STYLE")
          current->style = reader.Style(0);
        else if (keyword == "EXSTYLE")
          reader.Style(0);
        else if (keyword == "CAPTION")
          current->caption = reader.String();
        else if (keyword == "FONT")
        {
          current->fontSize = reader.Integer();
          current->fontName = reader.String();
        }
        else if (keyword == "BEGIN" || keyword == "{")
          inBody = true;
        else
          throw ResourceScriptError("unknown dialog statement " + keyword);
        continue;
      }
      if (keyword == "END" || keyword == "}")
      {
        inBody = false;
        current = nullptr;
        continue;
      }
      current->controls.push_back(ReadControl(keyword, reader));
    }
    catch (const ResourceScriptError &problem)
    {
      throw ResourceScriptError("resource script line " + std::to_string(lineNumber) + ": " + problem.what());
    }
  }
  if (current != nullptr)
    throw ResourceScriptError("resource script ends inside dialog " + current->name);
  return dialogs;
}

namespace
{

// Reads a compiled template's words, refusing any read past its end.
class ResourceReader
{
public:
  ResourceReader(const uint8_t *data, size_t length) : bytes(data), size(length) {}

  uint16_t Word()
  {
    Need(2);
    const uint16_t value = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
    at += 2;
    return value;
  }
  uint32_t DoubleWord()
  {
    const uint32_t low = Word();
    return low | static_cast<uint32_t>(Word()) << 16;
  }
  int Short() { return static_cast<int16_t>(Word()); }
  // A NUL-ended UTF-16 string; what is not ASCII shows as '?'.
  std::string Text()
  {
    std::string text;
    for (uint16_t unit = Word(); unit != 0; unit = Word())
      text += unit < 0x80 ? static_cast<char>(unit) : '?';
    return text;
  }
  // A name or an ordinal: none, 0xFFFF and a number, or a string.
  std::string NameOrOrdinal(uint16_t *ordinal)
  {
    *ordinal = 0;
    Need(2);
    const uint16_t first = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
    if (first == 0)
    {
      at += 2;
      return "";
    }
    if (first == 0xFFFF)
    {
      at += 2;
      *ordinal = Word();
      return "";
    }
    return Text();
  }
  void Skip(size_t count)
  {
    Need(count);
    at += count;
  }
  void AlignToDoubleWord() { at = std::min(size, (at + 3) & ~size_t(3)); }

private:
  void Need(size_t count) const
  {
    if (count > size - at)
      throw ResourceScriptError("the compiled dialog template ends early");
  }

  const uint8_t *bytes;
  size_t size;
  size_t at = 0;
};

const uint32_t DsSetFont = 0x40;
const uint32_t DsShellFont = 0x48;
const size_t MaxCompiledControls = 4096;

}  // namespace

DialogTemplate ParseDialogResource(const std::string &name, const uint8_t *bytes, size_t size)
{
  ResourceReader reader(bytes, size);
  DialogTemplate dialog;
  dialog.name = name;
  uint16_t ordinal = 0;
  const bool extended = size >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF;
  if (extended)
  {
    reader.Skip(8);       // version, signature, help id
    reader.DoubleWord();  // extended style
    dialog.style = reader.DoubleWord();
  }
  else
  {
    dialog.style = reader.DoubleWord();
    reader.DoubleWord();
  }
  const size_t count = reader.Word();
  if (count > MaxCompiledControls)
    throw ResourceScriptError("the compiled dialog template has too many controls");
  dialog.x = reader.Short();
  dialog.y = reader.Short();
  dialog.width = reader.Short();
  dialog.height = reader.Short();
  reader.NameOrOrdinal(&ordinal);  // menu
  reader.NameOrOrdinal(&ordinal);  // class
  dialog.caption = reader.Text();
  if ((dialog.style & DsSetFont) != 0 || (extended && (dialog.style & DsShellFont) == DsShellFont))
  {
    dialog.fontSize = reader.Word();
    if (extended)
      reader.Skip(4);  // weight, italic, character set
    dialog.fontName = reader.Text();
  }
  for (size_t index = 0; index < count; ++index)
  {
    reader.AlignToDoubleWord();
    ControlTemplate control;
    if (extended)
    {
      reader.Skip(8);  // help id, extended style
      control.style = reader.DoubleWord();
    }
    else
    {
      control.style = reader.DoubleWord();
      reader.DoubleWord();
    }
    control.x = reader.Short();
    control.y = reader.Short();
    control.width = reader.Short();
    control.height = reader.Short();
    control.id = extended ? static_cast<int32_t>(reader.DoubleWord()) : reader.Short();
    control.className = reader.NameOrOrdinal(&ordinal);
    // The predefined classes by their atoms.
    if (ordinal == 0x80)
      control.className = "Button";
    else if (ordinal == 0x81)
      control.className = "Edit";
    else if (ordinal == 0x82)
      control.className = "Static";
    control.text = reader.NameOrOrdinal(&ordinal);
    reader.Skip(reader.Word());  // creation data
    control.kind = ClassKind(control.className, control.style);
    dialog.controls.push_back(control);
  }
  return dialog;
}

}  // namespace zulan
