// The loader's shared pieces: the kind of each entity name, the rule that a
// block's entity is made once, and that both polyline kinds walk their ring
// alike.
#include "dxfbuild.h"
#include "dxftestfiles.h"

#include <gtest/gtest.h>

namespace zulan
{
namespace
{

using test::DxfFile;
using test::Groups;
using test::LayerEntry;
using test::LoadText;

TEST(EntityKindTest, NamesToKinds)
{
  // The names that share a kind, and what draws nothing: names are matched
  // as libdime gives them, upper case.
  const std::pair<const char *, EntityKind> cases[] = {
    {"SOLID", EntityKind::Face},    {"TRACE", EntityKind::Face},     {"LWPOLYLINE", EntityKind::LwPolyline},
    {"3DFACE", EntityKind::Face3D}, {"VIEWPORT", EntityKind::Other}, {"line", EntityKind::Other},
    {"", EntityKind::Other},        {nullptr, EntityKind::Other}};
  for (const auto &[name, kind] : cases)
    EXPECT_EQ(KindOf(name), kind) << (name ? name : "(null)");
}

TEST(BlockCacheTest, KeptInsideBlocksMadeAfreshOutside)
{
  BlockCache<int> cache;
  int made = 0;
  auto make = [&](bool kept) { return ++made * (kept ? 100 : 1); };
  const int key = 0, other = 0;
  EXPECT_EQ(cache.Get(&key, false, make), 1);
  EXPECT_EQ(cache.Get(&key, false, make), 2);
  EXPECT_EQ(cache.Get(&key, true, make), 300);
  EXPECT_EQ(cache.Get(&key, true, make), 300);
  EXPECT_EQ(cache.Get(&other, true, make), 400);
  EXPECT_EQ(made, 4);
}

// The points of every path record, in order.
std::vector<std::vector<Point>> PathPoints(const Document &document)
{
  std::vector<std::vector<Point>> paths;
  for (const Entity &entity : document.Entities())
  {
    uint32_t count;
    const Point *points = document.Points(entity, &count);
    if (count > 0)
      paths.emplace_back(points, points + count);
  }
  return paths;
}

bool SamePoints(const std::vector<Point> &a, const std::vector<Point> &b)
{
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i)
  {
    if (!(a[i].x == b[i].x && a[i].y == b[i].y) && !(std::isnan(a[i].x) && std::isnan(b[i].x)))
      return false;
  }
  return true;
}

TEST(PolylineRingTest, BothKindsMakeTheSameRing)
{
  // A closed triangle whose last side bulges back to the start, 2 wide;
  // drawn at the top level and inside a block placed at the origin.
  const std::string lw = Groups({{0, "LWPOLYLINE"},
                                 {8, "0"},
                                 {90, "3"},
                                 {70, "1"},
                                 {43, "2"},
                                 {10, "0"},
                                 {20, "0"},
                                 {10, "40"},
                                 {20, "0"},
                                 {10, "40"},
                                 {20, "30"},
                                 {42, "0.5"}});
  const std::string vertex = "VERTEX";
  const std::string heavy =
    Groups({{0, "POLYLINE"}, {8, "0"}, {66, "1"}, {70, "1"}, {40, "2"}, {41, "2"}, {10, "0"}, {20, "0"}})
    + Groups({{0, vertex}, {8, "0"}, {10, "0"}, {20, "0"}}) + Groups({{0, vertex}, {8, "0"}, {10, "40"}, {20, "0"}})
    + Groups({{0, vertex}, {8, "0"}, {10, "40"}, {20, "30"}, {42, "0.5"}}) + Groups({{0, "SEQEND"}, {8, "0"}});
  const std::string insert = Groups({{0, "INSERT"}, {8, "0"}, {2, "B"}, {10, "0"}, {20, "0"}});
  auto block = [](const std::string &contents) {
    return Groups({{0, "BLOCK"}, {8, "0"}, {2, "B"}, {70, "0"}, {10, "0"}, {20, "0"}}) + contents
           + Groups({{0, "ENDBLK"}, {8, "0"}});
  };
  const auto light = PathPoints(*LoadText(DxfFile(LayerEntry("0", 7), block(lw), lw + insert)));
  const auto full = PathPoints(*LoadText(DxfFile(LayerEntry("0", 7), block(heavy), heavy + insert)));
  // The centre line and the band, once at the top and once placed.
  ASSERT_EQ(light.size(), 4u);
  ASSERT_EQ(full.size(), 4u);
  for (size_t i = 0; i < light.size(); ++i)
    EXPECT_TRUE(SamePoints(light[i], full[i])) << "record " << i;
  EXPECT_TRUE(SamePoints(light[0], light[2]));
  EXPECT_TRUE(SamePoints(light[1], light[3]));
  // Three corners and the bulge's arc, the start not repeated.
  EXPECT_GT(light[0].size(), 4u);
  EXPECT_EQ(light[0].front().x, 0);
  EXPECT_NE(light[0].back().x, 0);
}

}  // namespace
}  // namespace zulan
