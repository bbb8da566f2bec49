// A drawing file read into the text the scan checks: in one read where the
// size is known, binary DXF converted to text, padding after 0/EOF cut off.
#include "dxfscan.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "dxfbinary.h"
#include "dxflimits.h"

namespace zulan
{

namespace
{

std::string_view TrimBlanks(std::string_view text)
{
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Whether a 0/EOF pair starts before byte `end`.
bool EndsBefore(const std::string &bytes, size_t end)
{
  std::string_view previous = "x";
  for (size_t at = 0; at < bytes.size();)
  {
    const size_t newline = std::min(bytes.find('\n', at), bytes.size());
    if (newline > end)
      break;
    const std::string_view line(bytes.data() + at, newline - at);
    if (TrimBlanks(line) == "EOF" && TrimBlanks(previous) == "0")
      return true;
    previous = line;
    at = newline + 1;
  }
  return false;
}

}  // namespace

std::string ReadDrawingFile(const std::string &path)
{
  // Folders, FIFOs and devices would fail or block while being read.
  std::error_code status;
  if (std::filesystem::exists(path, status) && !std::filesystem::is_regular_file(path, status))
    ThrowLoadError(path, "not a drawing file (a folder or a special file)");
  std::ifstream file(path, std::ios::binary);
  if (!file)
    ThrowLoadError(path, std::string("cannot open the drawing: ") + std::strerror(errno));
  // In one read when the size is known (a stream into a growing string
  // copies a large drawing three times over), then whatever is beyond it.
  std::string bytes;
  const uintmax_t size = std::filesystem::file_size(path, status);
  if (!status && size > 0 && size <= MaxDxfTextBytes)
  {
    bytes.resize(size_t(size));
    file.read(bytes.data(), std::streamsize(size));
    bytes.resize(size_t(file.gcount()));
  }
  if (file)
  {
    std::ostringstream rest;
    rest << file.rdbuf();
    bytes += std::move(rest).str();
  }
  if (file.bad())
    ThrowLoadError(path, "cannot read the drawing");
  if (bytes.empty())
    ThrowLoadError(path, "the drawing file is empty (0 bytes)");
  if (IsBinaryDxf(bytes))
    return BinaryDxfToText(path, bytes);
  // Padding or junk after 0/EOF is not read; binary data before it is no DXF.
  const size_t nul = bytes.find('\0');
  if (nul != std::string::npos)
  {
    if (!EndsBefore(bytes, nul))
      ThrowLoadError(path, "not a DXF file (it contains binary data)");
    bytes.resize(nul);
  }
  return bytes;
}

}  // namespace zulan
