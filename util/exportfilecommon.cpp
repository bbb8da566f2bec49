// The parts of ExportFile that are the same on every system.
#include "exportfile.h"

void ExportFile::Fail(const std::string &reason) const
{
  throw CannotWrite(target, reason);
}

std::string ExportFile::ShowingTarget(const std::string &message) const
{
  std::string shown = message;
  if (!temporary)
    return shown;
  for (size_t at = shown.find(writePath); at != std::string::npos; at = shown.find(writePath, at + target.size()))
    shown.replace(at, writePath.size(), target);
  return shown;
}
