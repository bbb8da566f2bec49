#include "filenames.h"
#include "text.h"

#include <cstring>
#include <filesystem>

namespace zulan
{

namespace
{

// The 1-based index of the save dialog's filter ("*.EXT") that matches the
// extension, or 1. Filters are pairs of NUL-ended texts, an empty one last.
int32_t FilterIndexFor(const char *filters, const std::string &extension)
{
  const size_t MaxFilters = 64;
  if (filters == nullptr)
    return 1;
  const char *text = filters;
  for (size_t index = 1; index <= MaxFilters && text[0] != '\0'; ++index)
  {
    const char *pattern = text + std::strlen(text) + 1;
    if (pattern[0] == '\0')
      break;
    if (Text::UpperCase(std::string("*") + extension) == Text::UpperCase(pattern))
      return static_cast<int32_t>(index);
    text = pattern + std::strlen(pattern) + 1;
  }
  return 1;
}

}  // namespace

bool CopyFileName(Console &console, const std::string &name, char *target, const std::string &tail)
{
  if (name.size() >= XP_NAME_BYTES)
  {
    console.Refuse("file name longer than " + std::to_string(XP_NAME_BYTES - 1) + " characters refused" + tail);
    return false;
  }
  std::memcpy(target, name.c_str(), name.size() + 1);
  return true;
}

int32_t AskSaveFileName(InputWords &inputs, Console &console, const char *title, SaveFileRecord *record)
{
  if (record == nullptr || record->name == nullptr)
    return 0;
  const std::string shownTitle = title != nullptr ? title : "Save";
  const std::optional<std::string> word = inputs.Next(shownTitle + ":");
  if (!word)
    inputs.ReportNoInput(shownTitle + ":");
  if (!word || IsEsc(*word))
    return 0;
  // As a save dialog would: the name is taken in the folder the dialog
  // opened in (the current one), given the default extension when it has
  // none, and handed back as a full path.
  namespace fs = std::filesystem;
  fs::path chosen(*word);
  if (!chosen.empty() && !chosen.has_extension() && record->defaultExtension != nullptr
      && record->defaultExtension[0] != '\0')
    chosen += std::string(".") + record->defaultExtension;
  std::error_code error;
  const std::string full = word->empty() ? "" : fs::absolute(chosen, error).lexically_normal().string();
  if (full.empty() || error)
  {
    console.Refuse("no file name chosen in \"" + shownTitle + "\"; cancelled");
    return 0;
  }
  if (!CopyFileName(console, full, record->name, ""))
    return 0;
  if (record->filterIndex != nullptr)
    *record->filterIndex = FilterIndexFor(record->filters, chosen.extension().string());
  return 1;
}

void MakeFullFileName(Console &console, const char *name, char *output)
{
  if (output == nullptr)
    return;
  // No name has no full name either; the module says what is missing.
  if (name == nullptr || name[0] == '\0')
  {
    output[0] = '\0';
    return;
  }
  namespace fs = std::filesystem;
  std::error_code error;
  // Built apart from output: the module passes the same buffer for both.
  const std::string full = fs::absolute(fs::path(name != nullptr ? name : ""), error).lexically_normal().string();
  if (error || full.size() >= XP_PATH_BYTES)
  {
    console.Warn("full file name of \"" + std::string(name != nullptr ? name : "") + "\" is longer than "
                 + std::to_string(XP_PATH_BYTES - 1) + " characters");
    output[0] = '\0';
    return;
  }
  std::memcpy(output, full.c_str(), full.size() + 1);
}

}  // namespace zulan
