// Menu text parsing. A malformed line rejects the whole menu, so a host
// never shows half of one.
#include "menus.h"
#include "text.h"

#include <algorithm>
#include <cctype>

namespace zulan
{

namespace
{

std::vector<std::string> SplitLines(const std::string &text)
{
  std::vector<std::string> lines;
  std::string line;
  for (char c : text)
  {
    if (c == '\n')
    {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      lines.push_back(line);
      line.clear();
    }
    else
      line += c;
  }
  if (!line.empty())
    lines.push_back(line);
  return lines;
}

}  // namespace

Menu ParseMenuText(const std::string &text)
{
  Menu menu;
  const std::vector<std::string> lines = SplitLines(text);
  if (lines.empty() || lines[0].size() < 2 || lines[0].back() != ':')
    throw MenuTextError("menu text must start with a title ended by ':'");
  menu.title = lines[0].substr(0, lines[0].size() - 1);
  for (size_t i = 1; i < lines.size(); ++i)
  {
    const std::string &line = lines[i];
    if (line.empty())
      continue;
    MenuItem item;
    if (line.find_first_not_of('-') == line.size() - 1 && line.back() == ':' && line.size() > 1)
      item.separator = true;
    else
    {
      const size_t bar = line.find(":|");
      if (bar == std::string::npos || bar == 0 || line.back() != ';' || bar + 2 >= line.size() - 1)
        throw MenuTextError("menu line " + std::to_string(i + 1) + " is neither \"Label:|command;\" nor \"------:\"");
      item.label = line.substr(0, bar);
      item.command = line.substr(bar + 2, line.size() - bar - 3);
    }
    menu.items.push_back(item);
  }
  return menu;
}

const MenuItem *FindMenuItem(const std::vector<Menu> &menus, const std::string &name, std::string *problem)
{
  const MenuItem *found = nullptr;
  int matches = 0;
  for (const Menu &menu : menus)
    for (const MenuItem &item : menu.items)
    {
      if (item.separator)
        continue;
      const std::string wanted = Text::LowerCase(name);
      if (wanted == Text::LowerCase(item.label) || wanted == Text::LowerCase(menu.title + "/" + item.label))
      {
        found = &item;
        ++matches;
      }
    }
  if (matches == 1)
    return found;
  if (problem != nullptr)
    *problem = matches == 0 ? "no menu item \"" + name + "\"" : "more than one menu item \"" + name + "\"";
  return nullptr;
}

std::string FormatMenus(const std::vector<Menu> &menus)
{
  if (menus.empty())
    return "No menus.\n";
  std::string text;
  for (const Menu &menu : menus)
  {
    text += menu.title + "\n";
    size_t width = 0;
    for (const MenuItem &item : menu.items)
      width = std::max(width, item.label.size());
    for (const MenuItem &item : menu.items)
    {
      if (item.separator)
        text += "  ------\n";
      else
        text += "  " + item.label + std::string(width - item.label.size() + 3, ' ') + item.command + "\n";
    }
  }
  return text;
}

}  // namespace zulan
