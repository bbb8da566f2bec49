// The registry file: what it reads, what it refuses, and that a bad file
// never leaves half its values behind.
#include "registry.h"
#include "testimages.h"

#include <gtest/gtest.h>

using zulan::Registry;
using zulan::RegistryValue;

TEST(RegistryFile, FormatThenParseKeepsEveryValue)
{
  Registry registry;
  registry.Load(testing_support::TempPath("registry.reg"));
  ASSERT_EQ(registry.Set("HKEY_CURRENT_USER\\Software\\A\\", "Options", {3, {0x20, 0x03, 0xff, 0x00}}), "");
  ASSERT_EQ(registry.Set("HKEY_CURRENT_USER\\Software\\B", "Count", {4, {1, 0, 0, 0}}), "");
  ASSERT_EQ(registry.Set("HKEY_CURRENT_USER\\Software\\B", "Empty", {3, {}}), "");
  EXPECT_NE(registry.Format().find("\"Options\"=hex:20,03,ff,00\n"), std::string::npos) << registry.Format();
  EXPECT_NE(registry.Format().find("\"Count\"=hex(4):01,00,00,00\n"), std::string::npos);

  Registry again;
  again.Load(registry.GetPath());
  EXPECT_EQ(again.GetLoadProblem(), "");
  EXPECT_EQ(again.Format(), registry.Format());
  // Keys and names are matched as Windows does: without regard to case.
  const auto value = again.Get("hkey_current_user\\software\\a", "OPTIONS");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->type, 3);
  EXPECT_EQ(value->bytes, (std::vector<uint8_t>{0x20, 0x03, 0xff, 0x00}));
  EXPECT_EQ(again.Get("HKEY_CURRENT_USER\\Software\\B", "Empty")->bytes.size(), 0u);
  EXPECT_FALSE(again.Get("HKEY_CURRENT_USER\\Software\\A", "Missing"));
  EXPECT_FALSE(again.Get("HKEY_CURRENT_USER\\Software\\C", "Options"));
}

TEST(RegistryFile, RefusesAnythingNotUnderstood)
{
  const struct
  {
    const char *text;
    const char *problem;
  } cases[] = {
      {"\"A\"=hex:01\n", "line 1: value before any [key] line"},
      {"[K]\n\"A\"=hex:01,0\n", "line 2: byte 1 is not two hex digits"},
      {"[K]\n\"A\"=hex:01;02\n", "line 2: bytes must be separated by commas"},
      {"[K]\n\"A\"=hex:01,\n", "line 2: byte 1 is not two hex digits"},
      {"[K]\n\"A\"=dword:00000001\n", "line 2: value is not hex: data"},
      {"[K]\n\"A\"=hex(x):01\n", "line 2: value type not understood"},
      {"[K\n", "line 1: key line without its closing ]"},
      {"[K]\n\"A\n", "line 2: value line without \"="},
      {"[K]\nA=hex:01\n", "line 2: neither a [key] nor a \"value\"=... line"},
      {"\x89PNG\r\n", "line 1: neither a [key] nor a \"value\"=... line"},
  };
  for (const auto &test : cases)
  {
    Registry registry;
    try
    {
      registry.Parse(test.text);
      ADD_FAILURE() << "accepted: " << test.text;
    }
    catch (const std::runtime_error &error)
    {
      EXPECT_EQ(std::string(error.what()), test.problem) << test.text;
    }
  }
}

TEST(RegistryFile, CorruptFileLoadsEmptyAndIsKeptWhenSaving)
{
  const std::string path = testing_support::TempPath("registry.reg");
  const std::string corrupt = "[K]\n\"Good\"=hex:01\n\"Bad\"=hex:0";
  testing_support::WriteFileBytes(path, std::vector<uint8_t>(corrupt.begin(), corrupt.end()));
  Registry registry;
  registry.Load(path);
  EXPECT_EQ(registry.GetLoadProblem(), "line 3: byte 0 is not two hex digits");
  EXPECT_FALSE(registry.Get("K", "Good")) << "a corrupt file gives none of its values";

  ASSERT_EQ(registry.Set("K", "New", {3, {7}}), "");
  const std::vector<uint8_t> kept = testing_support::ReadFileBytes(path + ".corrupt");
  EXPECT_EQ(std::string(kept.begin(), kept.end()), corrupt);
  Registry again;
  again.Load(path);
  EXPECT_EQ(again.GetLoadProblem(), "");
  EXPECT_EQ(again.Get("K", "New")->bytes, std::vector<uint8_t>{7});
}

TEST(RegistryFile, KeyNamesFromRootAndPath)
{
  EXPECT_EQ(zulan::RegistryKeyName(0x80000001u, "Software\\X\\"), "HKEY_CURRENT_USER\\Software\\X");
  EXPECT_EQ(zulan::RegistryKeyName(0x80000002u, "A"), "HKEY_LOCAL_MACHINE\\A");
  EXPECT_EQ(zulan::RegistryKeyName(0x80000001u, ""), "HKEY_CURRENT_USER");
}
