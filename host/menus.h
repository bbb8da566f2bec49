// Menus that modules add with AddMenu: "Title:" on the first line, then
// "Label:|command line;" items and "------:" separators, lines ended by CR LF.
#ifndef ZULAN_MENUS_H
#define ZULAN_MENUS_H

#include <stdexcept>
#include <string>
#include <vector>

namespace zulan
{

struct MenuItem
{
  bool separator = false;
  std::string label;
  std::string command;  // the command line the host runs
};

struct Menu
{
  std::string title;
  std::vector<MenuItem> items;
};

class MenuTextError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

Menu ParseMenuText(const std::string &text);
// "Title/Label" or "Label", without regard to case; null when none or more
// than one item answers to it.
const MenuItem *FindMenuItem(const std::vector<Menu> &menus, const std::string &name, std::string *problem);
std::string FormatMenus(const std::vector<Menu> &menus);

}  // namespace zulan

#endif
