// What a drawing shows beyond bare geometry: inserts on hidden layers, line
// weights and point symbols, each checked by the pixels of a small drawing.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace zulan
{
namespace
{

using test::DxfFile;
using test::Groups;
using test::LayerEntry;
using test::TempFile;

constexpr int kSize = 100;

std::unique_ptr<Document> LoadText(const std::string &dxf)
{
  TempFile file(dxf);
  return Document::Load(file.Path());
}

// A white bitmap with what the module would draw: visible layers and frames.
class Picture
{
public:
  Picture(int width = kSize, int height = kSize) : width_(width), height_(height),
    pixels_(size_t(width) * size_t(height) * 4, 0)
  {
    SetDefaultPalette(palette_);
  }

  void Draw(const Document &document, const ViewMapping &view)
  {
    Canvas canvas(pixels_.data(), width_, height_);
    canvas.FillRect(0, 0, width_, height_, palette_[kWhiteIndex]);
    for (const Entity &entity : document.Entities())
    {
      if (!document.IsLayerHidden(entity.layer) || entity.type == kFrame)
        canvas.Draw(document, entity, view, palette_);
    }
  }

  bool Ink(int x, int y) const
  {
    uint32_t value;
    std::memcpy(&value, &pixels_[(size_t(y) * size_t(width_) + size_t(x)) * 4], 4);
    return (value & 0xFFFFFF) != 0xFFFFFF;
  }

  // Inked pixels in the rectangle [x0, x1) x [y0, y1).
  int InkIn(int x0, int y0, int x1, int y1) const
  {
    int count = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        count += Ink(x, y);
    return count;
  }

  int InkRow(int y) const { return InkIn(0, y, width_, y + 1); }
  int InkColumn(int x) const { return InkIn(x, 0, x + 1, height_); }
  const std::vector<uint8_t> &Pixels() const { return pixels_; }

private:
  int width_, height_;
  std::vector<uint8_t> pixels_;
  Palette palette_;
};

// World (0,0)-(100,100) one unit per pixel: world y is row 100 - y.
const ViewMapping kUnitView(0, 0, 100, 100, 0, 0, 100, 100);

std::string Block(const std::string &name, const std::string &contents)
{
  return Groups({{0, "BLOCK"}, {8, "0"}, {2, name}, {70, "0"}, {10, "0"}, {20, "0"}, {3, name}})
         + contents + Groups({{0, "ENDBLK"}, {8, "0"}});
}

std::string Insert(const std::string &block, const std::string &layer, double x, double y)
{
  return Groups({{0, "INSERT"}, {8, layer}, {2, block}, {10, std::to_string(x)},
                 {20, std::to_string(y)}});
}

std::string Line(const std::string &layer, double x1, double y1, double x2, double y2,
                 const std::vector<std::pair<int, std::string>> &more = {})
{
  std::vector<std::pair<int, std::string>> groups = {
      {0, "LINE"}, {8, layer}, {10, std::to_string(x1)}, {20, std::to_string(y1)},
      {11, std::to_string(x2)}, {21, std::to_string(y2)}};
  groups.insert(groups.end(), more.begin(), more.end());
  return Groups(groups);
}

TEST(HiddenInsertTest, OffOrFrozenInsertLayerHidesAllItBrings)
{
  // B: a line on its own visible layer KEEP and one on layer 0, 5 apart.
  // N: B on layer 0 and B on the off layer, 10 higher.
  const std::string blocks =
      Block("B", Line("KEEP", 0, 0, 20, 0) + Line("0", 0, 5, 20, 5))
      + Block("N", Insert("B", "0", 0, 0) + Insert("B", "OFF", 0, 10));
  const std::string entities = Insert("B", "0", 10, 10) + Insert("B", "OFF", 10, 30)
                               + Insert("N", "ICE", 10, 50) + Insert("N", "0", 10, 70);
  auto document = LoadText(DxfFile(LayerEntry("0", 7) + LayerEntry("KEEP", 1)
                                       + LayerEntry("OFF", -3) + LayerEntry("ICE", 5, 1),
                                   blocks, entities));
  Picture picture;
  picture.Draw(*document, kUnitView);
  // Visible inserts: both lines, also through a visible nested insert.
  for (int row : {90, 85, 30, 25})
    EXPECT_EQ(picture.InkRow(row), 20) << "row " << row;
  // The off insert, the frozen one with its nested inserts, and the nested
  // insert on the off layer inside a visible one show nothing.
  for (int row : {70, 65, 50, 45, 40, 35, 20, 15})
    EXPECT_EQ(picture.InkRow(row), 0) << "row " << row;
  EXPECT_EQ(picture.InkIn(0, 0, kSize, kSize), 80);
  // Layer-0 contents of a visible insert still take its layer.
  int onZero = 0;
  for (const Entity &entity : document->Entities())
    onZero += document->Layers()[entity.layer].name == "0";
  EXPECT_EQ(onZero, 2);
}

} // namespace
} // namespace zulan
