// The options for one run and batches of drawings, through the real zulan
// on drawings made for each: the layer that must vanish, the background's
// colour, the size a scale or a sheet gives, settings that leave the stored
// registry as it was, and batches that go on past a broken drawing and give
// the same bytes at any number of jobs.
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>

using namespace testing_support;
namespace fs = std::filesystem;

namespace
{

struct Line
{
  double x1, y1, x2, y2;
  const char *layer;
  int colour;
};

// An ASCII DXF file of lines, with header variables ("$INSUNITS", "6")
// when given.
std::string WriteDrawing(const std::string &path, const std::vector<Line> &lines,
                         const std::vector<std::pair<std::string, std::string>> &header = {})
{
  std::string text;
  if (!header.empty())
  {
    text += "0\nSECTION\n2\nHEADER\n";
    for (const auto &[name, value] : header)
      text += "9\n" + name + "\n70\n" + value + "\n";
    text += "0\nENDSEC\n";
  }
  text += "0\nSECTION\n2\nENTITIES\n";
  for (const Line &line : lines)
    text += "0\nLINE\n8\n" + std::string(line.layer) + "\n62\n" + std::to_string(line.colour) + "\n10\n"
            + std::to_string(line.x1) + "\n20\n" + std::to_string(line.y1) + "\n11\n" + std::to_string(line.x2)
            + "\n21\n" + std::to_string(line.y2) + "\n";
  text += "0\nENDSEC\n0\nEOF\n";
  WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
  return path;
}

// A rectangle 0,0 to width,height in black (DXF colour 7) on layer WALLS,
// with a red diagonal on layer NOTES.
std::vector<Line> Frame(double width, double height)
{
  return {{0, 0, width, 0, "WALLS", 7},
          {width, 0, width, height, "WALLS", 7},
          {width, height, 0, height, "WALLS", 7},
          {0, height, 0, 0, "WALLS", 7},
          {0, 0, width, height, "NOTES", 1}};
}

struct Rgb
{
  uint8_t red, green, blue;
  bool operator==(const Rgb &other) const { return red == other.red && green == other.green && blue == other.blue; }
};

size_t Count(const DecodedImage &picture, const std::function<bool(Rgb)> &test)
{
  size_t count = 0;
  for (size_t at = 0; at + 3 < picture.rgba.size(); at += 4)
    count += test({picture.rgba[at], picture.rgba[at + 1], picture.rgba[at + 2]}) ? 1 : 0;
  return count;
}

bool Red(Rgb p)
{
  return p.red > 180 && p.green < 80 && p.blue < 80;
}

bool Black(Rgb p)
{
  return p == Rgb{0, 0, 0};
}

bool White(Rgb p)
{
  return p == Rgb{255, 255, 255};
}

DecodedImage ReadPng(const std::string &path)
{
  return DecodePng(ReadFileBytes(path));
}

// --- One run --------------------------------------------------------------

// How much of a colour a picture holds: none, a line's worth, or the
// background; Any is not looked at.
enum class Amount
{
  Any,
  None,
  Lines,
  Most,
};

struct Ink
{
  Amount red, black, white;
};

struct PictureCase
{
  const char *name;
  std::vector<Line> lines;
  std::vector<std::pair<std::string, std::string>> header;
  const char *options;
  uint32_t width, height;  // 0: the stored 800 x 600
  Ink ink;
  std::optional<Rgb> background;
};

void ExpectAmount(size_t count, size_t pixels, Amount amount, const char *colour)
{
  switch (amount)
  {
  case Amount::None:
    EXPECT_EQ(count, 0u) << colour;
    break;
  case Amount::Lines:
    EXPECT_TRUE(count > 500 && count < pixels / 4) << colour << ": " << count;
    break;
  case Amount::Most:
    EXPECT_GT(count, pixels / 4) << colour;
    break;
  case Amount::Any:
    break;
  }
}

TEST(RunOptions, PicturesShowWhatTheOptionsAsk)
{
  const Amount N = Amount::None, L = Amount::Lines, M = Amount::Most, A = Amount::Any;
  const std::vector<PictureCase> cases = {
    {"all layers by default", Frame(400, 300), {}, "", 0, 0, {L, L, M}, {}},
    {"hidden layer vanishes", Frame(400, 300), {}, "--hide-layers notes", 0, 0, {N, L, M}, {}},
    {"only the layers named", Frame(400, 300), {}, "--layers Walls", 0, 0, {N, L, M}, {}},
    {"the other layer alone", Frame(400, 300), {}, "--layers NOTES", 0, 0, {L, N, M}, {}},
    {"light background", Frame(400, 300), {}, "--background '#FFE0A0'", 0, 0, {L, L, N}, Rgb{0xff, 0xe0, 0xa0}},
    // Colour 7 turns white on a dark background, as in CAD programs.
    {"dark background", Frame(400, 300), {}, "--background '#3366cc'", 0, 0, {L, N, L}, Rgb{0x33, 0x66, 0xcc}},
    {"black background", Frame(400, 300), {}, "--background BLACK", 0, 0, {L, M, L}, Rgb{0, 0, 0}},
    // Millimetres when $INSUNITS is unset: 1000 mm at 1:10 is 100 mm, 1000
    // pixels at 254 dpi between the outer pixels' centres.
    {"scale, millimetres by default", Frame(1000, 500), {}, "--scale 1:10 --dpi 254", 1001, 501, {A, A, A}, {}},
    {"scale, metres", Frame(10, 5), {{"$INSUNITS", "6"}}, "--scale 1:100 --dpi 254", 1001, 501, {A, A, A}, {}},
    {"scale, inches", Frame(10, 5), {{"$INSUNITS", "1"}}, "--scale 1:1 --dpi 50", 501, 251, {A, A, A}, {}},
    {"scale, enlarged", Frame(10, 5), {{"$INSUNITS", "4"}}, "--scale 2:1 --dpi 254", 201, 101, {A, A, A}, {}},
    // Only the layers shown count for the size.
    {"scale of the layers shown",
     {{0, 0, 100, 50, "A", 7}, {0, 0, 1000, 500, "B", 1}},
     {},
     "--layers A --scale 1:1 --dpi 25.4",
     101,
     51,
     {N, A, A},
     {}},
    {"paper, landscape", Frame(400, 300), {}, "--paper A4 --dpi 100", 1169, 827, {A, A, A}, {}},
    {"paper, portrait", Frame(300, 400), {}, "--paper a4 --dpi 100", 827, 1169, {A, A, A}, {}},
    {"paper in millimetres", Frame(300, 400), {}, "--paper 100x200 --dpi 254", 1000, 2000, {A, A, A}, {}},
  };
  for (const PictureCase &item : cases)
  {
    SCOPED_TRACE(item.name);
    const std::string folder = FreshFolder("pictures");
    const std::string drawing = WriteDrawing(folder + "/plan.dxf", item.lines, item.header);
    const std::string picture = folder + "/plan.png";
    const CommandResult run = RunZulan(folder + "/registry.reg", ShellQuote(drawing) + " " + item.options
                                                                   + " --export 'PNG File' " + ShellQuote(picture));
    ASSERT_EQ(run.status, 0) << run.output;
    const DecodedImage decoded = ReadPng(picture);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, item.width != 0 ? item.width : 800u);
    EXPECT_EQ(decoded.height, item.height != 0 ? item.height : 600u);
    const size_t pixels = size_t(decoded.width) * decoded.height;
    ExpectAmount(Count(decoded, Red), pixels, item.ink.red, "red");
    ExpectAmount(Count(decoded, Black), pixels, item.ink.black, "black");
    ExpectAmount(Count(decoded, White), pixels, item.ink.white, "white");
    if (item.background)
    {
      EXPECT_GT(Count(decoded, [&](Rgb c) { return c == *item.background; }), pixels / 2);
    }
  }
}

struct RefusalCase
{
  const char *name;
  std::vector<std::pair<std::string, std::string>> header;
  const char *options;
  int status;
  std::vector<const char *> said;
};

TEST(RunOptions, RefusedWithTheReason)
{
  const std::vector<RefusalCase> cases = {
    {"unknown layer", {}, "--layers WALLS,ROOF", 2, {"no layer ROOF; the layers there are: ", "WALLS", "NOTES"}},
    {"unitless drawing", {{"$INSUNITS", "0"}}, "--scale 1:100 --dpi 300", 2, {"$INSUNITS is 0 (unitless)", "--paper"}},
    // 400 m at 1:1 and 300 dpi.
    {"beyond the limits",
     {{"$INSUNITS", "6"}},
     "--scale 1:1 --dpi 300",
     2,
     {"needs 4724410 x 3543308 pixels", "at most 65535 pixels a side"}},
    {"scale without resolution", {}, "--scale 1:100", 2, {"--scale needs a resolution, such as --dpi 300"}},
    {"scale and paper", {}, "--scale 1:100 --paper A4 --dpi 300", 2, {"--scale and --paper do not go together"}},
    {"size twice", {}, "--paper A4 --dpi 300 --set Width=100", 2, {"both give the picture's size"}},
    {"malformed scale", {}, "--scale 100 --dpi 300", 2, {"--scale wants paper:drawing, such as 1:100, not 100"}},
    {"unknown paper", {}, "--paper A9 --dpi 300", 2, {"--paper wants A0 to A6"}},
    {"malformed colour", {}, "--background '#12345'", 2, {"--background wants white, black or #rrggbb"}},
    {"unknown control", {}, "--set Colour=red", 2, {"Colour"}},
    {"not a setting", {}, "--set ok", 2, {"--set wants Control=value, such as --set Quality=90, not ok"}},
    // The dialog's own check, and its message.
    {"out of range", {}, "--set Quality=0", 1, {"ErrorBox: Quality: enter a whole number from 1 to 100"}},
    {"two drawings", {}, "other.dxf", 2, {"several drawings need --output-dir"}},
    {"jobs for one drawing", {}, "-j 2", 2, {"-j goes with --output-dir"}},
  };
  for (const RefusalCase &item : cases)
  {
    SCOPED_TRACE(item.name);
    const std::string folder = FreshFolder("refusals");
    WriteDrawing(folder + "/plan.dxf", Frame(400, 300), item.header);
    WriteDrawing(folder + "/other.dxf", Frame(4, 3));
    const CommandResult run =
      RunZulanIn(folder, folder + "/registry.reg", std::string("plan.dxf ") + item.options + " --export png plan.png");
    EXPECT_EQ(run.status, item.status) << run.output;
    for (const char *part : item.said)
      EXPECT_TRUE(Contains(run.output, part)) << part << "\n" << run.output;
    EXPECT_FALSE(fs::exists(folder + "/plan.png"));
  }
}

TEST(RunOptions, SettingsForTheRunLeaveTheRegistryAsItWas)
{
  const std::string folder = FreshFolder("settings");
  const std::string drawing = WriteDrawing(folder + "/plan.dxf", Frame(400, 300));
  const std::string stored = OptionsLine({640, 480, 8, 75, 2, 0, 9, 0});
  for (const bool existed : {true, false})
  {
    SCOPED_TRACE(existed ? "stored settings" : "no registry file");
    const std::string registry = folder + "/registry.reg";
    fs::remove(registry);
    if (existed)
      WriteRegistry(registry, stored);
    const std::vector<uint8_t> before = existed ? ReadFileBytes(registry) : std::vector<uint8_t>();
    const CommandResult run = RunZulan(registry, ShellQuote(drawing)
                                                   + " --set Width=320 --set Height=200 --set Quality=90"
                                                     " --set Progressive=on --export 'JPEG File' "
                                                   + ShellQuote(folder + "/plan.jpg"));
    ASSERT_EQ(run.status, 0) << run.output;
    const DecodedImage picture = DecodeJpeg(ReadFileBytes(folder + "/plan.jpg"));
    EXPECT_EQ(picture.width, 320u);
    EXPECT_EQ(picture.height, 200u);
    EXPECT_EQ(fs::exists(registry), existed);
    if (existed)
    {
      EXPECT_EQ(ReadFileBytes(registry), before);
    }
  }
}

// --- Batches --------------------------------------------------------------

// Three drawings of different shapes in their own folder, and a registry.
struct BatchFolder
{
  std::string folder = FreshFolder("batch");
  std::string registry = folder + "/registry.reg";
  BatchFolder()
  {
    WriteDrawing(folder + "/a.dxf", Frame(400, 300));
    WriteDrawing(folder + "/b.dxf", Frame(100, 300));
    WriteDrawing(folder + "/c.dxf", Frame(300, 100));
  }
  CommandResult Run(const std::string &arguments) const { return RunZulanIn(folder, registry, arguments); }
};

TEST(Batch, EachDrawingUnderItsOwnName)
{
  struct Case
  {
    const char *action;
    const char *ending;
  };
  for (const Case &item :
       {Case{"--export 'PNG File'", ".png"}, Case{"--export 'JPEG File'", ".jpg"}, Case{"-c SAVEBMP", ".bmp"}})
  {
    SCOPED_TRACE(item.action);
    const BatchFolder batch;
    const CommandResult run = batch.Run(std::string(item.action) + " --output-dir 'out put' -j 2 a.dxf b.dxf c.dxf");
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char *name : {"a", "b", "c"})
      EXPECT_GT(fs::file_size(batch.folder + "/out put/" + name + item.ending), 0u) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(batch.folder + "/out put"), fs::directory_iterator()), 3);
    EXPECT_TRUE(Contains(run.output, "zulan: 3 drawings exported to out put")) << run.output;
  }
}

TEST(Batch, ABrokenDrawingIsNamedAndTheOthersAreExported)
{
  const BatchFolder batch;
  WriteFileBytes(batch.folder + "/broken.dxf", {'n', 'o', 't', ' ', 'a', ' ', 'd', 'x', 'f', '\n'});
  const CommandResult run = batch.Run("--export 'PNG File' --output-dir out -j 1 a.dxf broken.dxf c.dxf");
  EXPECT_EQ(run.status, 4) << run.output;
  EXPECT_TRUE(fs::exists(batch.folder + "/out/a.png"));
  EXPECT_TRUE(fs::exists(batch.folder + "/out/c.png"));
  EXPECT_FALSE(fs::exists(batch.folder + "/out/broken.png"));
  EXPECT_TRUE(Contains(run.output, "[2/3] broken.dxf: not a DXF file")) << run.output;
  EXPECT_TRUE(Contains(run.output, "zulan: [2/3] broken.dxf failed: not a DXF file")) << run.output;
  EXPECT_TRUE(Contains(run.output, "zulan: 1 of 3 drawings failed:\n  broken.dxf: ")) << run.output;
  EXPECT_TRUE(Contains(run.output, "zulan: [3/3] c.dxf -> out/c.png")) << run.output;
}

TEST(Batch, OptionsReachEveryDrawing)
{
  const BatchFolder batch;
  const CommandResult run = batch.Run("--export png --output-dir out --set Width=90 --set Height=70 "
                                      "--hide-layers NOTES --background '#00ff00' a.dxf b.dxf");
  ASSERT_EQ(run.status, 0) << run.output;
  for (const char *name : {"a", "b"})
  {
    const DecodedImage picture = ReadPng(batch.folder + "/out/" + name + ".png");
    EXPECT_EQ(picture.width, 90u);
    EXPECT_EQ(picture.height, 70u);
    EXPECT_EQ(Count(picture, Red), 0u);
    EXPECT_GT(Count(picture, [](Rgb c) { return c == Rgb{0, 255, 0}; }), 1000u);
  }
  EXPECT_FALSE(fs::exists(batch.registry));
}

TEST(Batch, SideBySideGivesTheSameBytes)
{
  const BatchFolder batch;
  const std::string drawings = " a.dxf b.dxf c.dxf " + std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf "
                               + std::string(RASTELLO_EXAMPLES) + "/bracket.dxf";
  for (const char *jobs : {"1", "2", "3"})
  {
    const CommandResult run =
      batch.Run("--export 'JPEG File' --output-dir j" + std::string(jobs) + " -j " + jobs + drawings);
    ASSERT_EQ(run.status, 0) << run.output;
  }
  for (const char *name : {"a", "b", "c", "floorplan", "bracket"})
    for (const char *jobs : {"2", "3"})
      EXPECT_EQ(ReadFileBytes(batch.folder + "/j1/" + name + ".jpg"),
                ReadFileBytes(batch.folder + "/j" + jobs + "/" + name + ".jpg"))
        << name << " at -j " << jobs;
}

TEST(Batch, RefusedBeforeAnyDrawingIsRun)
{
  struct Case
  {
    const char *arguments;
    const char *said;
  };
  const Case cases[] = {
    {"--export png --output-dir out a.dxf sub/a.dxf",
     "a.dxf and sub/a.dxf would both be written as out/a.png; rename one"},
    {"--export png --output-dir out a.dxf A.DXF", "would both be written"},
    {"--output-dir out a.dxf", "give one --export FILTER or -c SAVEBMP"},
    {"--export png -c SAVEBMP --output-dir out a.dxf", "give one --export FILTER or -c SAVEBMP"},
    {"-c 'WBSM x.png 0,0 1,1' --output-dir out a.dxf", "give one --export FILTER or -c SAVEBMP"},
    {"--export png --output-dir out", "--output-dir wants drawings to export"},
    {"--export TIFF --output-dir out a.dxf", "no export filter \"TIFF\""},
    {"--export png --output-dir out --set Quality=500 a.dxf", "ErrorBox: Quality: enter a whole number"},
  };
  for (const Case &item : cases)
  {
    SCOPED_TRACE(item.arguments);
    const BatchFolder batch;
    fs::create_directory(batch.folder + "/sub");
    WriteDrawing(batch.folder + "/sub/a.dxf", Frame(1, 1));
    WriteDrawing(batch.folder + "/A.DXF", Frame(1, 1));
    const CommandResult run = batch.Run(item.arguments);
    EXPECT_NE(run.status, 0);
    EXPECT_TRUE(Contains(run.output, item.said)) << run.output;
    EXPECT_FALSE(fs::exists(batch.folder + "/out/a.png"));
  }
}

// On a terminal: the drawing k of n, the module's status line under it,
// both redrawn in place; the failure and the summary stay.
TEST(Batch, ProgressOnATerminal)
{
  const BatchFolder batch;
  const CommandResult run =
    RunOnTerminal(batch.folder, batch.registry, "--export png --output-dir out -j 1 a.dxf missing.dxf", "");
  EXPECT_EQ(run.status, 4) << run.output;
  EXPECT_TRUE(Contains(run.output, "drawing 1 of 2: a.dxf (0 done)\r\nSaving PNG file...")) << run.output;
  EXPECT_TRUE(Contains(run.output, "\033[A\r")) << run.output;
  EXPECT_TRUE(Contains(run.output, "zulan: [2/2] missing.dxf failed: ")) << run.output;
  EXPECT_TRUE(Contains(run.output, "zulan: 1 of 2 drawings failed:")) << run.output;
  EXPECT_FALSE(Contains(run.output, "status: ")) << run.output;
  EXPECT_FALSE(Contains(run.output, "-> out/")) << run.output;
}

// Ctrl-C reaches the batch and its runs: nothing half written stays.
TEST(Batch, InterruptedLeavesNoTemporaries)
{
  const BatchFolder batch;
  std::string drawings;
  for (int i = 0; i < 6; ++i)
  {
    fs::copy_file(std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf",
                  batch.folder + "/plan" + std::to_string(i) + ".dxf");
    drawings += " plan" + std::to_string(i) + ".dxf";
  }
  // Once the first drawing is written, the next two are under way.
  const std::string script =
    "set -m\n"
    + ZulanCommandLine(batch.registry, "--export 'PNG File' --output-dir out -j 2 --set Width=4000 "
                                       "--set Height=3000"
                                         + drawings)
    + " </dev/null 2>batch.log & pid=$!\n"
      "for i in $(seq 1200); do grep -q -- '-> out/' batch.log 2>/dev/null && break; sleep 0.05; done\n"
      "kill -INT -$pid; wait $pid; echo \"status $?\"\n";
  const CommandResult run = RunCommand("cd " + ShellQuote(batch.folder) + " && bash -c " + ShellQuote(script));
  EXPECT_TRUE(Contains(run.output, "status 130")) << run.output;
  for (const auto &entry : fs::directory_iterator(batch.folder + "/out"))
    EXPECT_EQ(entry.path().extension(), ".png") << entry.path();
  const std::vector<uint8_t> log = ReadFileBytes(batch.folder + "/batch.log");
  EXPECT_TRUE(Contains(std::string(log.begin(), log.end()), "zulan: interrupted;"));
}

}  // namespace
