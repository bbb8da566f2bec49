// The platform layer's Windows calls: entries by decorated name, formatted
// text, the current directory and window records.
#include "testimages.h"
#include "zulanplatform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <filesystem>

namespace
{

intptr_t WINAPI Answer()
{
  return 42;
}

}  // namespace

TEST(PlatformProcedures, HostEntriesByDecoratedName)
{
  zulan::RegisterHostEntry("_Answer@0", Answer);
  const FARPROC entry = GetProcAddress(zulan::HostModuleHandle(), "_Answer@0");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry(), 42);
  EXPECT_EQ(GetProcAddress(zulan::HostModuleHandle(), "_Answer@4"), nullptr);
  zulan::UnregisterHostEntry("_Answer@0");
  EXPECT_EQ(GetProcAddress(zulan::HostModuleHandle(), "_Answer@0"), nullptr);
  EXPECT_EQ(GetProcAddress(nullptr, "_Answer@0"), nullptr);

  // Other handles are dlopen handles.
  void *self = dlopen(nullptr, RTLD_NOW);
  EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(self), "no_such_symbol_here"), nullptr);
  EXPECT_NE(GetProcAddress(reinterpret_cast<HMODULE>(self), "malloc"), nullptr);
  dlclose(self);
}

TEST(PlatformText, WsprintfFormatsLikeWindows)
{
  char buffer[1100];
  EXPECT_EQ(wsprintfA(buffer, "%s\\XP\\%s\\", "Software", "Rastello (Tamblin)"), 31);
  EXPECT_STREQ(buffer, "Software\\XP\\Rastello (Tamblin)\\");
  // Never more than 1024 bytes, as on Windows.
  const std::string longText(2000, 'a');
  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(wsprintfA(buffer, "%s", longText.c_str()), 1023);
  EXPECT_EQ(std::strlen(buffer), 1023u);
  EXPECT_EQ(buffer[1024], 'z');
}

TEST(PlatformDirectory, CurrentDirectoryRoundTrip)
{
  char saved[MAX_PATH];
  const DWORD length = GetCurrentDirectoryA(sizeof saved, saved);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(std::strlen(saved), length);
  char tiny[2];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof tiny, tiny), length + 1) << "too small: the size needed";

  const std::string folder = std::filesystem::path(testing_support::TempPath("x")).parent_path().string();
  ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::canonical(folder));
  EXPECT_FALSE(SetCurrentDirectoryA("/no/such/folder"));
  EXPECT_TRUE(SetCurrentDirectoryA(saved));
}

TEST(PlatformWindows, ChildrenStatesAndStaleHandles)
{
  HWND dialog = zulan::CreateWindowRecord(nullptr, 0, true, true);
  HWND edit = zulan::CreateWindowRecord(dialog, 1000, true, true);
  std::vector<std::pair<int, zulan::WindowChange>> changes;
  zulan::SetWindowObserver(
    dialog, [&](HWND window, zulan::WindowChange change) { changes.emplace_back(zulan::GetWindowId(window), change); });
  EXPECT_EQ(GetDlgItem(dialog, 1000), edit);
  EXPECT_EQ(GetDlgItem(dialog, 1001), nullptr);
  EXPECT_FALSE(EnableWindow(edit, FALSE));
  EXPECT_TRUE(EnableWindow(edit, FALSE)) << "was disabled";
  EXPECT_TRUE(ShowWindow(edit, SW_HIDE)) << "was visible";
  EXPECT_FALSE(IsWindowVisible(edit));
  EXPECT_FALSE(IsWindowEnabled(edit));
  EXPECT_EQ(changes.size(), 2u) << "only actual changes are reported";

  zulan::DestroyWindowRecord(dialog);
  EXPECT_EQ(GetDlgItem(dialog, 1000), nullptr);
  EXPECT_FALSE(ShowWindow(edit, SW_SHOW));
  EXPECT_FALSE(ShowWindow(nullptr, SW_SHOW));
  EXPECT_FALSE(EnableWindow(nullptr, TRUE));
}
