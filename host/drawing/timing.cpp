// Times drawing 100,000 random lines into a 4000 x 3000 bitmap (and, for
// information, loading them from DXF). Usage: zulandrawing_timing [scratch.dxf]
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "drawing.h"

int main(int argc, char **argv)
{
  const char *path = argc > 1 ? argv[1] : "/tmp/zulan-timing.dxf";
  constexpr int kLines = 100000, kWidth = 4000, kHeight = 3000;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> x(0, 4000), y(0, 3000);
  std::FILE *file = std::fopen(path, "w");
  if (!file)
  {
    std::perror(path);
    return 1;
  }
  std::fprintf(file, "0\nSECTION\n2\nENTITIES\n");
  for (int i = 0; i < kLines; ++i)
  {
    std::fprintf(file, "0\nLINE\n8\n0\n62\n%d\n10\n%.3f\n20\n%.3f\n11\n%.3f\n21\n%.3f\n",
                 1 + i % 250, x(random), y(random), x(random), y(random));
  }
  std::fprintf(file, "0\nENDSEC\n0\nEOF\n");
  std::fclose(file);

  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  std::unique_ptr<zulan::Document> document = zulan::Document::Load(path);
  const double loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();

  std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 4);
  zulan::Palette palette;
  zulan::SetDefaultPalette(palette);
  const zulan::ViewMapping view(0, 0, 4000, 3000, 0, 0, kWidth, kHeight);
  double best = 1e9;
  for (int run = 0; run < 3; ++run)
  {
    start = Clock::now();
    {
      zulan::Canvas canvas(pixels.data(), kWidth, kHeight);
      canvas.FillRect(0, 0, kWidth, kHeight, palette[zulan::kWhiteIndex]);
      for (const zulan::Entity &entity : document->Entities())
      {
        canvas.Draw(*document, entity, view, palette);
      }
    } // the destructor clears the fourth bytes: part of the cost
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::printf("%d lines: load %.3f s, draw into %d x %d best of 3: %.3f s\n", kLines, loadSeconds,
              kWidth, kHeight, best);
  std::remove(path);
  return 0;
}
