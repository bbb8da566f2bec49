// Times drawing 100,000 lines into a 4000 x 3000 bitmap: lines between
// random points of the whole bitmap (about 1,800 pixels long on average, the
// hard case), short ones of up to 100 pixels, more like a real drawing, and
// the long ones again dashed (a 10-pixel dash, a 5-pixel gap). Also reports
// how long loading them from DXF takes.
// Usage: zulandrawing_timing [scratch.dxf]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "drawing.h"

int main(int argc, char **argv)
{
  const char *path = argc > 1 ? argv[1] : "/tmp/zulan-timing.dxf";
  constexpr int Lines = 100000, Width = 4000, Height = 3000;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> x(0, 4000), y(0, 3000), step(-50, 50);
  std::FILE *file = std::fopen(path, "w");
  if (!file)
  {
    std::perror(path);
    return 1;
  }
  std::fprintf(file, "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nLTYPE\n70\n1\n0\nLTYPE\n2\nDASHED\n"
                     "70\n0\n3\nDashed\n72\n65\n73\n2\n40\n15\n49\n10\n74\n0\n49\n-5\n74\n0\n"
                     "0\nENDTAB\n0\nENDSEC\n");
  std::fprintf(file, "0\nSECTION\n2\nENTITIES\n");
  for (int i = 0; i < 3 * Lines; ++i)
  {
    const bool longLine = i < Lines || i >= 2 * Lines;
    const double x1 = x(random), y1 = y(random);
    const double x2 = longLine ? x(random) : x1 + step(random);
    const double y2 = longLine ? y(random) : y1 + step(random);
    std::fprintf(file, "0\nLINE\n8\n0\n62\n%d\n%s10\n%.3f\n20\n%.3f\n11\n%.3f\n21\n%.3f\n", 1 + i % 250,
                 i >= 2 * Lines ? "6\nDASHED\n" : "", x1, y1, x2, y2);
  }
  std::fprintf(file, "0\nENDSEC\n0\nEOF\n");
  std::fclose(file);

  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  std::unique_ptr<zulan::Document> document = zulan::Document::Load(path);
  const double loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::vector<uint8_t> pixels(size_t(Width) * Height * 4);
  zulan::Palette palette;
  zulan::SetDefaultPalette(palette);
  const zulan::ViewMapping view(0, 0, 4000, 3000, 0, 0, Width, Height);
  const std::vector<zulan::Entity> &all = document->Entities();
  const char *const kinds[3] = {"long (random end points)", "short (up to 100 px)", "long and dashed"};
  for (int half = 0; half < 3; ++half)
  {
    double best = 1e9;
    for (int run = 0; run < 3; ++run)
    {
      start = Clock::now();
      {
        zulan::Canvas canvas(pixels.data(), Width, Height);
        canvas.FillRect(0, 0, Width, Height, palette[zulan::WhiteIndex]);
        for (size_t i = half * Lines; i < size_t(half + 1) * Lines; ++i)
        {
          canvas.Draw(*document, all[i], view, palette);
        }
      }  // includes clearing the bitmap and the canvas' final flush
      best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::printf("%d %s lines into %d x %d, best of 3: %.3f s\n", Lines, kinds[half], Width, Height, best);
  }
  std::printf("loading %d lines from DXF: %.3f s\n", 3 * Lines, loadSeconds);
  std::remove(path);
  return 0;
}
