#include "mtextlayouts.h"

#include <cstring>

namespace zulan
{
namespace
{

// Bounds on what is kept, so that a drawing of many different notes does
// not hold all their layouts twice.
constexpr size_t MaxKept = 4096;
constexpr size_t MaxKeptBytes = 4096;

void AppendBytes(std::string *key, const void *data, size_t size)
{
  key->append(static_cast<const char *>(data), size);
}

// The limit and every field of the format, byte for byte, then the
// contents.
std::string FormatKey(const std::string &utf8, const MTextFormat &format, size_t limit)
{
  std::string key;
  AppendBytes(&key, &limit, sizeof limit);
  const double numbers[] = {format.height, format.width, format.spacing, format.gutter};
  const int whole[] = {format.attachment, format.columnType, format.columnCount};
  const size_t heights = format.columnHeights.size();
  AppendBytes(&key, numbers, sizeof numbers);
  AppendBytes(&key, whole, sizeof whole);
  AppendBytes(&key, &heights, sizeof heights);
  AppendBytes(&key, format.columnHeights.data(), heights * sizeof(double));
  key += utf8;
  return key;
}

}  // namespace

const MTextLayout *MTextLayouts::Get(const std::string &utf8, const MTextFormat &format, size_t limit)
{
  const bool keep = utf8.size() <= MaxKeptBytes && kept.size() < MaxKept;
  std::string key;
  if (keep || !kept.empty())
  {
    key = FormatKey(utf8, format, limit);
    const auto found = kept.find(key);
    if (found != kept.end())
      return &found->second;
  }
  MTextLayout layout;
  if (!LayoutMText(utf8, format, limit, &layout.runs, &layout.frames))
    return nullptr;
  if (!keep)
  {
    fresh = std::move(layout);
    return &fresh;
  }
  return &kept.emplace(std::move(key), std::move(layout)).first->second;
}

}  // namespace zulan
