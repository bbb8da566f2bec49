// The export commands call by call against the recording host: the
// requests they make, the palette they switch and put back, the writer the
// name chooses, and that every path ends the command.
#include "capture.h"
#include "commandtable.h"
#include "exportcommands.h"
#include "exportoptions.h"
#include "fakehost.h"
#include "testimages.h"
#include "zulanplatform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <unistd.h>

using fakehost::state;
using namespace testing_support;

namespace
{

const ExportOptions Defaults = {800, 600, FlagClipboardSize, 75, 2, UnusedNormal, 9, 0};
const int16_t UserBackground = 7;
const float WideExtents[6] = {0, 0, 0, 400, 200, 0};

class CommandsTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    fakehost::Reset();
    exportOptions = Defaults;
    commandTable.hostModule = zulan::HostModuleHandle();
    zulan::RegisterHostEntry(XP_GETPALADR_NAME, EntryCast<FARPROC>(fakehost::PaletteEntry));
    for (int i = 0; i < 256; ++i)
      state.palette[i] = 0x010101u * uint32_t(i);
    std::memcpy(state.header + 28, &UserBackground, sizeof UserBackground);
  }
  void TearDown() override { zulan::UnregisterHostEntry(XP_GETPALADR_NAME); }

  void Store(const ExportOptions &options)
  {
    const auto *bytes = reinterpret_cast<const uint8_t *>(&options);
    state.registry[fakehost::RegistryKey("Options")].assign(bytes, bytes + sizeof options);
  }

  size_t Count(const std::string &call) const
  {
    return size_t(std::count(state.calls.begin(), state.calls.end(), call));
  }

  bool Called(const std::string &prefix) const
  {
    return std::any_of(state.calls.begin(), state.calls.end(),
                       [&](const std::string &call) { return call.rfind(prefix, 0) == 0; });
  }

  int16_t Background() const
  {
    int16_t index;
    std::memcpy(&index, state.header + 28, sizeof index);
    return index;
  }

  bool PaletteIsTheUsers() const
  {
    for (int i = 0; i < 256; ++i)
      if (state.palette[i] != 0x010101u * uint32_t(i))
        return false;
    return Background() == UserBackground;
  }
};

TEST_F(CommandsTest, WbsAsksCornersThenTheSaveDialogInTheLastFilesFolder)
{
  const std::string folder = std::filesystem::path(TempPath("a.png")).parent_path().string();
  const std::string name = folder + "/section.bmp";
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  state.saveName = name;

  WBS();
  ASSERT_NE(state.request, nullptr);
  EXPECT_EQ(state.calls.back(), "ReqData(Pick first corner:,7)");
  const auto *bytes = reinterpret_cast<const uint8_t *>(state.request);
  EXPECT_EQ(state.request->kind, 49);
  EXPECT_EQ(state.request->targetType, 0);
  EXPECT_EQ(bytes[12], 2);
  EXPECT_TRUE(
    std::all_of(bytes + offsetof(DataRequest, zero), bytes + sizeof(DataRequest), [](uint8_t b) { return b == 0; }));
  EXPECT_FALSE(Called("CmdEnd"));

  fakehost::AnswerPoint(300, 150);
  EXPECT_TRUE(Called("NewCsrOrg(300,150)"));
  EXPECT_EQ(state.calls.back(), "ReqData(Opposite corner:,5)");

  // Corners in any order make the same section; the dialog shows the last
  // name and is asked in its folder.
  fakehost::AnswerPoint(100, 50);
  EXPECT_TRUE(Called("GetSaveFN(Save bitmap section,,PNG,4096,2048,1,SAVE)")) << state.calls[0];
  EXPECT_EQ(Count("SetBMView(800x603)"), 1u);
  EXPECT_EQ(state.calls.back(), "CmdEnd");
  EXPECT_EQ(Count("CmdEnd"), 1u);
  const std::vector<uint8_t> file = ReadFileBytes(name);
  ASSERT_EQ(file.size(), 54u + 800 * 600 * 3);
  EXPECT_EQ(ReadLittle32(file, 18), 800u);

  // The BMP's progress: 100 first, then rising, 0 at the last report.
  std::vector<std::string> progress;
  for (const std::string &call : state.calls)
    if (call.rfind("FormSt(Saving BMP file... ", 0) == 0)
      progress.push_back(call);
  ASSERT_GE(progress.size(), 3u);
  EXPECT_EQ(progress.front(), "FormSt(Saving BMP file... 100%)");
  EXPECT_EQ(progress[1], "FormSt(Saving BMP file... 1%)");
  EXPECT_EQ(progress.back(), "FormSt(Saving BMP file... 0%)");

  // The next WBS opens the dialog where the last file went; the current
  // folder is the same afterwards.
  state.calls.clear();
  state.saveResult = 0;
  WBS();
  fakehost::AnswerPoint(0, 0);
  fakehost::AnswerPoint(1, 1);
  EXPECT_TRUE(Called("GetSaveFN(Save bitmap section," + name + ",")) << state.calls.back();
  EXPECT_EQ(state.folderAtSave, folder);
  char after[4096];
  ASSERT_NE(getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(after, before);
  EXPECT_EQ(state.calls.back(), "CmdEnd");
  EXPECT_FALSE(Called("SetBMView"));
}

TEST_F(CommandsTest, BlackAndWhiteIsPutBackOnEveryPath)
{
  ExportOptions options = Defaults;
  options.blackAndWhite = 1;
  Store(options);

  // While the corners are picked, everything but colour 15 draws black.
  WBS();
  EXPECT_EQ(Background(), 15);
  EXPECT_EQ(state.palette[15], 0x0F0F0Fu);
  EXPECT_EQ(state.palette[1], 0u);
  EXPECT_EQ(Count("Redraw"), 1u);
  fakehost::Cancel();
  EXPECT_TRUE(PaletteIsTheUsers());
  EXPECT_EQ(state.calls.back(), "CmdEnd");

  WBS();
  fakehost::AnswerPoint(0, 0);
  fakehost::Cancel();
  EXPECT_TRUE(PaletteIsTheUsers());

  state.saveResult = 0;
  WBS();
  fakehost::AnswerPoint(0, 0);
  fakehost::AnswerPoint(10, 10);
  EXPECT_TRUE(PaletteIsTheUsers());

  // A failed write and an unknown format put it back too.
  state.saveResult = 1;
  state.saveName = TempPath("missing-folder") + "/x.png";
  WBS();
  fakehost::AnswerPoint(0, 0);
  fakehost::AnswerPoint(10, 10);
  EXPECT_TRUE(PaletteIsTheUsers());
  EXPECT_TRUE(Called("ErrorBox(Cannot write to file " + state.saveName)) << state.calls.back();
  state.saveName = TempPath("x.gif");
  WBS();
  fakehost::AnswerPoint(0, 0);
  fakehost::AnswerPoint(10, 10);
  EXPECT_TRUE(PaletteIsTheUsers());
  EXPECT_TRUE(Called("ErrorBox(Unknown file format)"));
  EXPECT_EQ(state.calls.back(), "CmdEnd");
  EXPECT_EQ(Count("Redraw"), 10u);

  // Cancelling WBSM's name ends it before the palette is touched; the
  // export filters never touch it.
  state.calls.clear();
  WBSM();
  fakehost::Cancel();
  EXPECT_EQ(state.calls.back(), "CmdEnd");
  state.exportName = TempPath("whole.png");
  PngExport();
  EXPECT_EQ(Count("Redraw"), 0u);
  EXPECT_EQ(Count("CmdEnd"), 1u);
  EXPECT_TRUE(Called("DevUseColor(15)"));
  EXPECT_EQ(ReadFileBytes(state.exportName).size() > 8, true);
}

TEST_F(CommandsTest, TheNameChoosesTheWriter)
{
  struct Case
  {
    const char *name;
    const char *signature;  // first bytes of the file, null: refused
  };
  const Case cases[] = {{"a.JpG", "\xFF\xD8\xFF"}, {"b.png", "\x89PNG"}, {"c.Bmp", "BM"},
                        {"d.jpeg", nullptr},       {"pg", nullptr},      {"e.gif", nullptr}};
  for (const Case &test : cases)
  {
    state.calls.clear();
    const std::string name = TempPath(test.name);
    WBSM();
    EXPECT_EQ(state.calls.back(), "ReqData(Filename: ,1)");
    EXPECT_EQ(state.request->targetType, 2);
    EXPECT_EQ(state.request->targetFlags, 0x80000);
    fakehost::AnswerName(name);
    fakehost::AnswerPoint(0, 0);
    fakehost::AnswerPoint(40, 30);
    EXPECT_FALSE(Called("GetSaveFN"));
    EXPECT_EQ(state.calls.back(), "CmdEnd");
    const std::vector<uint8_t> file = ReadFileBytes(name);
    if (test.signature == nullptr)
    {
      EXPECT_TRUE(Called("ErrorBox(Unknown file format)")) << test.name;
      EXPECT_FALSE(Called("SetBMView")) << "nothing is drawn for a name no writer takes";
      EXPECT_TRUE(file.empty()) << test.name;
      continue;
    }
    const size_t length = std::strlen(test.signature);
    ASSERT_GE(file.size(), length) << test.name;
    EXPECT_EQ(std::string(file.begin(), file.begin() + long(length)), test.signature) << test.name;
  }
}

TEST_F(CommandsTest, BadSettingsAndSectionsEndInAnErrorBox)
{
  // Sizes the settings cannot draw are refused before any corner is asked.
  for (const auto &size : {std::pair<int32_t, int32_t>{0, 600}, {800, -1}, {70000, 10}, {50000, 50000}})
  {
    ExportOptions options = Defaults;
    options.width = size.first;
    options.height = size.second;
    Store(options);
    state.calls.clear();
    WBS();
    EXPECT_TRUE(Called("ErrorBox(Error: The bitmap size in the settings is out of range")) << size.first;
    EXPECT_FALSE(Called("ReqData"));
    EXPECT_EQ(state.calls.back(), "CmdEnd");
    state.calls.clear();
    state.exportName = TempPath("refused.jpg");
    JpegExport();
    EXPECT_TRUE(Called("ErrorBox(Error: The bitmap size")) << size.first;
    EXPECT_TRUE(ReadFileBytes(state.exportName).empty());
  }

  // A stored quality of 0: refused before the file is made.
  ExportOptions options = Defaults;
  options.quality = 0;
  Store(options);
  state.calls.clear();
  state.exportName = TempPath("quality.jpg");
  JpegExport();
  EXPECT_TRUE(
    Called("ErrorBox(Error: The JPEG quality in the settings is out of range (1 to 100); set it with JPEGOPT)"))
    << state.calls.back();
  EXPECT_FALSE(std::filesystem::exists(state.exportName));

  // A section without width or height, picked or as the drawing's extents.
  Store(Defaults);
  state.calls.clear();
  const std::string name = TempPath("line.png");
  WBSM();
  fakehost::AnswerName(name);
  fakehost::AnswerPoint(5, 5);
  fakehost::AnswerPoint(5, 100);
  EXPECT_TRUE(Called("ErrorBox(Error: The section has no width or no height)"));
  EXPECT_EQ(state.calls.back(), "CmdEnd");
  EXPECT_FALSE(std::filesystem::exists(name));
  EXPECT_EQ(Count("ErrorBox(Error: The section has no width or no height)"), 1u);

  // The whole drawing of one point or of lines along one axis is the square
  // around it.
  const float flat[][6] = {{3, 4, 0, 3, 4, 0}, {3, 4, 0, 90, 4, 0}, {1e9f, 4, 0, 1e9f, 4, 0}};
  for (const auto &extents : flat)
  {
    std::memcpy(state.extents, extents, sizeof extents);
    state.exportName = TempPath("flat.png");
    state.calls.clear();
    PngExport();
    EXPECT_TRUE(std::filesystem::exists(state.exportName)) << extents[0] << " " << extents[3];
    EXPECT_FALSE(Called("ErrorBox")) << extents[0] << " " << extents[3];
    std::filesystem::remove(state.exportName);
  }
}

TEST_F(CommandsTest, SaveBmpAndTheFiltersTakeTheWholeDrawing)
{
  // Crop at 800 x 600: extents half as wide as high give 300 x 600, not one
  // column more from float rounding; twice as wide as high, 800 x 400.
  ExportOptions options = Defaults;
  options.unusedArea = UnusedCrop;
  Store(options);
  const std::string name = TempPath("whole.bmp");
  const float tall[6] = {0, 0, 0, 1, 2, 0};
  const struct
  {
    const float *extents;
    uint32_t width, height;
  } crops[] = {{tall, 300, 600}, {WideExtents, 800, 400}};
  for (const auto &crop : crops)
  {
    std::memcpy(state.extents, crop.extents, sizeof tall);
    SAVEBMP();
    EXPECT_EQ(state.calls.back(), "ReqData(Filename: ,1)");
    fakehost::AnswerName(name);
    EXPECT_EQ(state.calls.back(), "CmdEnd");
    const std::vector<uint8_t> file = ReadFileBytes(name);
    ASSERT_GE(file.size(), 54u);
    EXPECT_EQ(ReadLittle32(file, 18), crop.width);
    EXPECT_EQ(ReadLittle32(file, 22), crop.height);
  }

  // Blank: the margins of a 400 x 200 section in 800 x 600 rows are filled
  // in the background colour, top and bottom, never over the section's edge
  // rows (99.75 and 499.25).
  options.unusedArea = UnusedBlank;
  Store(options);
  state.calls.clear();
  state.exportName = TempPath("blank.png");
  PngExport();
  EXPECT_EQ(Count("DevSRect(0,0,800,99)"), 1u);
  EXPECT_EQ(Count("DevSRect(0,501,800,600)"), 1u);
  EXPECT_EQ(Count("DevUseColor(7)"), 2u) << "the drawing's own background";
  const std::vector<uint8_t> file = ReadFileBytes(state.exportName);
  ASSERT_GE(file.size(), 24u);
  EXPECT_EQ(file[19], 0x20);  // width 800
  EXPECT_EQ(file[23], 0x58);  // height 600
}

TEST_F(CommandsTest, LargeSizesAreDrawnInStripsThatCoverEveryRow)
{
  // 4000 x 1001: two strip bitmaps of 4000 x 503 (rectangle s + 3 rows),
  // the file exactly as high as asked.
  ExportOptions options = Defaults;
  options.width = 4000;
  options.height = 1001;
  options.flags = 0;
  options.unusedArea = UnusedBlank;
  Store(options);
  state.exportName = TempPath("strips.png");
  PngExport();
  EXPECT_EQ(Count("SetBMView(4000x504)"), 2u);
  std::vector<uint8_t> file = ReadFileBytes(state.exportName);
  ASSERT_GE(file.size(), 24u);
  EXPECT_EQ(ReadLittle32(file, 16), 0xA00F0000u);  // big-endian 4000
  EXPECT_EQ(ReadLittle32(file, 20), 0xE9030000u);  // big-endian 1001

  // Side margins on each strip; the last strip is the shorter one.
  EXPECT_EQ(Count("DevSRect(0,0,999,503)"), 2u);
  EXPECT_EQ(Count("DevSRect(3001,0,4000,503)"), 2u);
}

}  // namespace
