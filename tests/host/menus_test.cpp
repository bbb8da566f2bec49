// Menu texts as modules give them to AddMenu.
#include "menus.h"

#include <gtest/gtest.h>

using zulan::Menu;
using zulan::ParseMenuText;

TEST(MenuText, ItemsAndSeparatorsInOrder)
{
  const Menu menu = ParseMenuText("JPEG:\r\nWrite bitmap section:|WBS;\r\n------:\r\nSettings:|JPEGOPT;\r\n"
                                  "------:\r\nHelp:|OPENDOC Rastello.HTML;\r\n");
  EXPECT_EQ(menu.title, "JPEG");
  ASSERT_EQ(menu.items.size(), 5u);
  EXPECT_EQ(menu.items[0].label, "Write bitmap section");
  EXPECT_EQ(menu.items[0].command, "WBS");
  EXPECT_TRUE(menu.items[1].separator);
  EXPECT_EQ(menu.items[4].command, "OPENDOC Rastello.HTML");
}

TEST(MenuText, MalformedTextsAreRefusedWhole)
{
  for (const char *text : {"", "JPEG\r\nA:|B;\r\n", "JPEG:\r\nA|B;\r\n", "JPEG:\r\nA:|B\r\n", "JPEG:\r\n:|B;\r\n",
                           "JPEG:\r\nA:|;\r\n", "JPEG:\r\n---\r\n"})
    EXPECT_THROW(ParseMenuText(text), zulan::MenuTextError) << text;
}

TEST(MenuText, ItemsFoundByLabelOrTitleAndLabel)
{
  const std::vector<Menu> menus = {ParseMenuText("JPEG:\r\nSettings:|JPEGOPT;\r\nHelp:|OPENDOC A;\r\n"),
                                   ParseMenuText("Other:\r\nHelp:|OPENDOC B;\r\n")};
  std::string problem;
  ASSERT_NE(zulan::FindMenuItem(menus, "settings", &problem), nullptr);
  EXPECT_EQ(zulan::FindMenuItem(menus, "Other/Help", &problem)->command, "OPENDOC B");
  EXPECT_EQ(zulan::FindMenuItem(menus, "Help", &problem), nullptr);
  EXPECT_EQ(problem, "more than one menu item \"Help\"");
  EXPECT_EQ(zulan::FindMenuItem(menus, "Print", &problem), nullptr);
  EXPECT_EQ(problem, "no menu item \"Print\"");
}
