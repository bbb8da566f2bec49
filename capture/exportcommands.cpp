// WBS, WBSM and SAVEBMP, their continuations, and the two export filters.
// Commands run in the host's request-and-continuation model: a step asks
// for one input with ReqData and returns; the host calls the continuation
// with the answer. Every path ends with CmdEnd and, where the palette was
// switched, puts it back first. Nothing the libraries throw leaves the
// module: each entry shows it in an error box instead.
#include "exportcommands.h"
#include "capture.h"
#include "commandtable.h"
#include "exportoptions.h"
#include "writers.h"

#include "bitmapimage.h"
#include "text.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <exception>
#include <optional>

namespace
{

const int32_t RequestKind = 49;
const int32_t TargetFileName = 2;
const int32_t TargetFlagsFileName = 0x80000;
const uint8_t RequestMarker = 2;
const DWORD SavedFolderBytes = 255;
// The host makes no full name of one that would not fit its buffers.
const char NoFileName[] = "Error: No file written: the file name is empty or too long";

void FileNameStep(int32_t status, int32_t, int32_t);
void WbsmNameStep(int32_t status, int32_t, int32_t);
void FirstCornerStep(int32_t status, int32_t, int32_t);
void OppositeCornerStep(int32_t status, int32_t, int32_t);

// Module-wide: the last section name survives between commands, and the
// two corners together form the section rectangle x1, y1, x2, y2.
char sectionName[XP_NAME_BYTES];
char saveBmpName[XP_PATH_BYTES];
float corners[4];
int32_t typedName = 0;
// Whether the export's size came from the host's clipboard resolution.
bool sizeFromClipboard = false;
int32_t chosenFilter = 0;  // written by the save dialog, never read

const char *const FileNamePrompt[] = {"Filename: "};
const char *const FirstCornerPrompt[] = {"Pick first corner:"};
const char *const OppositeCornerPrompt[] = {"Opposite corner:"};

DataRequest FileNameRequest(char *target, XPContinuation continuation)
{
  return {RequestKind,       TargetFileName, TargetFlagsFileName,
          RequestMarker,     target,         FileNamePrompt,
          DataInputFileName, continuation,   {}};
}

DataRequest PointRequest(float *target, const char *const *prompt, int32_t inputCode, XPContinuation continuation)
{
  return {RequestKind, 0, 0, RequestMarker, target, prompt, inputCode, continuation, {}};
}

DataRequest saveBmpRequest = FileNameRequest(saveBmpName, FileNameStep);
DataRequest wbsmNameRequest = FileNameRequest(sectionName, WbsmNameStep);
DataRequest firstCornerRequest = PointRequest(&corners[0], FirstCornerPrompt, DataInputFirstCorner, FirstCornerStep);
DataRequest oppositeCornerRequest =
  PointRequest(&corners[2], OppositeCornerPrompt, DataInputOppositeCorner, OppositeCornerStep);

SaveFileRecord saveFileRecord = {
  sectionName, &chosenFilter, "PNG", "PNG file\0*.PNG\0JPEG file\0*.JPG\0BMP Bitmap file\0*.BMP\0\0",
  4096,        2048,          1,     "SAVE"};

typedef void (*Writer)(const Vantorum::BitmapImage &image, const char *name);

// The writer for a name's last three letters, without regard to case; null
// when they name no format the module writes.
Writer WriterFor(const char *name)
{
  const size_t length = std::strlen(name);
  if (length < 3)
    return nullptr;
  const std::string ending = Text::UpperCase(name + length - 3);
  if (ending == "BMP")
    return SaveBmp;
  if (ending == "JPG")
    return SaveJpeg;
  if (ending == "PNG")
    return SavePng;
  return nullptr;
}

// Shows a failure: the status line cleared, the text in an error box.
void ShowError(const char *text)
{
  StatusMsg(nullptr);
  ErrorBox(text);
}

// Runs one entry's work; whatever it throws is shown, the palette put back
// and, for a command, the command ended.
enum class Ending
{
  None,
  EndCommand
};

template <class Step> void Guarded(Ending ending, Step step)
{
  const char *failure = nullptr;
  std::string message;
  try
  {
    step();
    return;
  }
  catch (const std::bad_alloc &)
  {
    failure = "Error: Out of memory!";
  }
  catch (const std::exception &error)
  {
    message = error.what();
    failure = message.c_str();
  }
  catch (...)
  {
    failure = "Error: the export stopped unexpectedly";
  }
  ShowError(failure);
  LeaveMonochromePalette();
  if (ending == Ending::EndCommand)
    CmdEnd();
}

ExportFormat FormatOf(Writer writer)
{
  return writer == SaveJpeg  ? ExportFormat::Jpeg
         : writer == SavePng ? ExportFormat::Png
         : writer == SaveBmp ? ExportFormat::Bmp
                             : ExportFormat::Unknown;
}

// Shows why the settings cannot make this export; false then. writer is
// null while the format is not known yet.
bool ExportOptionsUsable(Writer writer)
{
  const std::string problem = CheckExportOptions(exportOptions, FormatOf(writer), sizeFromClipboard);
  if (problem.empty())
    return true;
  ShowError(problem.c_str());
  return false;
}

// The settings for an export, checked as far as the format is known, so
// that nothing is asked for or drawn in vain.
bool LoadExportOptions(Writer writer)
{
  sizeFromClipboard = LoadOptions(1);
  return ExportOptionsUsable(writer);
}

// Captures the section at the settings' size and writes it; errors shown.
void CaptureAndWrite(SectionRect section, Writer writer, const char *name)
{
  if (!ExportOptionsUsable(writer))
    return;
  if (const char *problem = CheckSection(section))
  {
    ShowError(problem);
    return;
  }
  if (exportOptions.unusedArea == UnusedCrop)
    CropSizeToSection(section);
  const std::string memory = CheckExportMemory(exportOptions.width, exportOptions.height, FormatOf(writer),
                                               (exportOptions.flags & FlagGreyscale) != 0);
  if (!memory.empty())
  {
    ShowError(memory.c_str());
    return;
  }
  Vantorum::BitmapImage image;
  // After the picture: its helpers stop before the picture goes. The
  // picture is written once, so the encoder gives back the memory of the
  // rows it has converted: a large export needs the picture and the
  // coefficients together only for a few rows.
  std::optional<JpegFileWrite> jpeg;
  if (writer == SaveJpeg)
    jpeg.emplace(true);
  const char *problem = nullptr;
  if (CaptureSection(image, exportOptions.width, exportOptions.height, section, &problem, jpeg ? &*jpeg : nullptr) == 0)
  {
    ErrorBox(problem != nullptr ? problem : ErrorCouldNotCreateBitmap);
    return;
  }
  if (jpeg)
    jpeg->Save(image, name);
  else
    writer(image, name);
}

// The first step of a picked section, once the name is known (WBSM) or
// will be asked for (WBS).
void StartSection()
{
  sectionName[sizeof sectionName - 1] = '\0';
  if (!LoadExportOptions(typedName != 0 ? WriterFor(sectionName) : nullptr))
  {
    CmdEnd();
    return;
  }
  EnterMonochromePalette();
  ReqData(&firstCornerRequest);
}

void WbsmNameStep(int32_t status, int32_t, int32_t)
{
  Guarded(Ending::EndCommand, [status] {
    if (status != 0)
    {
      CmdEnd();
      return;
    }
    StartSection();
  });
}

void FirstCornerStep(int32_t status, int32_t, int32_t)
{
  Guarded(Ending::EndCommand, [status] {
    if (status != 0)
    {
      LeaveMonochromePalette();
      CmdEnd();
      return;
    }
    NewCsrOrg(corners[0], corners[1]);
    ReqData(&oppositeCornerRequest);
  });
}

// Makes the folder of the last file current, so that the save dialog opens
// there. A backslash or slash in the first three characters is kept, so
// that "C:\" and "/" stay roots.
void EnterFolderOfLastFile()
{
  char folder[XP_NAME_BYTES];
  std::memcpy(folder, sectionName, sizeof folder);
  folder[sizeof folder - 1] = '\0';
  char *separator = nullptr;
  for (char *at = folder; *at != '\0'; ++at)
    if (*at == '\\' || *at == '/')
      separator = at;
  if (separator == nullptr)
    return;
  if (separator - folder >= 3)
    *separator = '\0';
  else
    separator[1] = '\0';
  SetCurrentDirectoryA(folder);
}

// Asks for the file name in the save dialog, in the folder of the last
// file; the current folder is the same afterwards. False when cancelled.
bool ChooseFileName()
{
  char savedFolder[SavedFolderBytes];
  const DWORD length = GetCurrentDirectoryA(SavedFolderBytes, savedFolder);
  // A current folder too long to keep is never left, so it is never lost.
  const bool canReturn = length > 0 && length < SavedFolderBytes;
  if (canReturn)
    EnterFolderOfLastFile();
  const int32_t chosen = typedName != 0 ? 1 : GetSaveFN("Save bitmap section", &saveFileRecord);
  if (canReturn)
    SetCurrentDirectoryA(savedFolder);
  return chosen != 0;
}

void OppositeCornerStep(int32_t status, int32_t, int32_t)
{
  Guarded(Ending::EndCommand, [status] {
    if (status != 0 || !ChooseFileName())
    {
      LeaveMonochromePalette();
      CmdEnd();
      return;
    }
    SectionRect section = {corners[0], corners[1], corners[2], corners[3]};
    if (section.x2 < section.x1)
      std::swap(section.x1, section.x2);
    if (section.y2 < section.y1)
      std::swap(section.y1, section.y2);
    // The format is known before anything is drawn.
    if (Writer writer = WriterFor(sectionName))
      CaptureAndWrite(section, writer, sectionName);
    else
    {
      // The box keeps its well-known text; the status line says what works.
      StatusMsg("Unknown file format: a picture's name ends in .jpg, .png or .bmp");
      ErrorBox("Unknown file format");
    }
    LeaveMonochromePalette();
    CmdEnd();
  });
}

// The whole drawing at the settings' size, for the export filters and
// SAVEBMP.
void ExportDrawing(Writer writer, const char *name)
{
  if (!LoadExportOptions(writer))
    return;
  CaptureAndWrite(WholeDrawingSection(), writer, name);
}

void ExportFilter(Writer writer)
{
  Guarded(Ending::None, [writer] {
    char name[XP_PATH_BYTES];
    name[0] = '\0';
    FullFileName(RscAdr(StringExportFileName), name);
    name[sizeof name - 1] = '\0';
    if (name[0] == '\0')
      ShowError(NoFileName);
    else
      ExportDrawing(writer, name);
  });
}

void FileNameStep(int32_t status, int32_t, int32_t)
{
  Guarded(Ending::EndCommand, [status] {
    if (status == 0)
    {
      saveBmpName[sizeof saveBmpName - 1] = '\0';
      FullFileName(saveBmpName, saveBmpName);
      if (saveBmpName[0] == '\0')
        ShowError(NoFileName);
      else
        ExportDrawing(SaveBmp, saveBmpName);
    }
    CmdEnd();
  });
}

}  // namespace

void WBS()
{
  Guarded(Ending::EndCommand, [] {
    typedName = 0;
    StartSection();
  });
}

void WBSM()
{
  Guarded(Ending::EndCommand, [] {
    typedName = 1;
    ReqData(&wbsmNameRequest);
  });
}

void SAVEBMP()
{
  Guarded(Ending::EndCommand, [] { ReqData(&saveBmpRequest); });
}

void JpegExport()
{
  ExportFilter(SaveJpeg);
}

void PngExport()
{
  ExportFilter(SavePng);
}
