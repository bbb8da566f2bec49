// Stored settings come from a registry file anyone may edit: every record,
// with any section, is either refused with a message or gives a size the
// capture can draw.
#include "capture.h"
#include "exportoptions.h"
#include "fuzzinput.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FuzzInput input(data, size);
  ExportOptions options;
  uint8_t record[sizeof options];
  for (uint8_t &byte : record)
    byte = input.Byte();
  std::memcpy(&options, record, sizeof options);
  SectionRect section;
  float corners[4];
  for (float &corner : corners)
  {
    const uint32_t bits = input.Word();
    std::memcpy(&corner, &bits, sizeof corner);
  }
  section = {corners[0], corners[1], corners[2], corners[3]};
  for (ExportFormat format : {ExportFormat::Unknown, ExportFormat::Bmp, ExportFormat::Jpeg, ExportFormat::Png})
    for (bool fromClipboard : {false, true})
    {
      const bool usable = CheckExportOptions(options, format, fromClipboard).empty();
      if (!usable || CheckSection(section) != nullptr)
        continue;
      exportOptions = options;
      if (exportOptions.unusedArea == UnusedCrop)
        CropSizeToSection(section);
      // What Crop leaves must still be a size the capture takes.
      if (CheckBitmapSize(exportOptions.width, exportOptions.height) != nullptr)
        std::abort();
    }
  return 0;
}
