// The PNG the host exports read by other projects' programs: Pillow and
// ImageMagick must see exactly the pixels libpng does. The other host tests
// decode PNG with libpng in process only.
#include "decoders.h"
#include "testimages.h"
#include "zulanrun.h"

#include <gtest/gtest.h>

using namespace testing_support;

TEST(ExportedPng, PillowAndImageMagickAgreeWithLibpng)
{
  const std::string folder = FreshFolder("out");
  const std::string registry = TempPath("registry.reg");
  for (const char *drawing : {"floorplan.dxf", "bracket.dxf"})
  {
    SCOPED_TRACE(drawing);
    const std::string path = folder + "/" + drawing + ".png";
    const CommandResult run = RunZulan(registry, ShellQuote(std::string(RASTELLO_EXAMPLES) + "/" + drawing)
                                                   + " --export 'PNG File' " + ShellQuote(path));
    ASSERT_EQ(run.status, 0) << run.output;
    const DecodedImage libpng = DecodePng(ReadFileBytes(path));
    ASSERT_TRUE(libpng.ok && !libpng.warned) << libpng.messages;
    for (const char *decoder : {"pillow", "magick"})
    {
      const DecodedImage other = DecodeImage(decoder, path);
      EXPECT_TRUE(other.ok && !other.warned) << decoder << ": " << other.messages;
      EXPECT_EQ(other.width, libpng.width) << decoder;
      EXPECT_EQ(other.height, libpng.height) << decoder;
      EXPECT_TRUE(other.rgba == libpng.rgba) << decoder << " and libpng disagree";
    }
  }
}
