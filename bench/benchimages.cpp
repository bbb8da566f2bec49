#include "benchimages.h"

#include <cmath>
#include <cstdlib>

namespace Bench
{

namespace
{

// A small LCG is enough and keeps the images identical everywhere.
class Random
{
public:
  explicit Random(uint32_t seed) : state(seed * 2654435761u + 12345u) {}
  uint32_t Next()
  {
    state = state * 1664525u + 1013904223u;
    return state ^ (state >> 16);
  }
  int32_t Below(int32_t limit) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(limit)); }

private:
  uint32_t state;
};

uint32_t Word(uint8_t red, uint8_t green, uint8_t blue)
{
  return static_cast<uint32_t>(blue) | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(red) << 16;
}

// The colours a CAD host draws layers in, black weighted most.
const uint32_t LayerColours[] = {Word(0, 0, 0),       Word(0, 0, 0),    Word(0, 0, 0),     Word(255, 0, 0),
                                 Word(0, 160, 0),     Word(0, 0, 255),  Word(0, 170, 170), Word(200, 0, 200),
                                 Word(128, 128, 128), Word(200, 120, 0)};

class Canvas
{
public:
  explicit Canvas(Vantorum::BitmapImage &target) : image(target) {}

  void Dot(int32_t x, int32_t y, uint32_t colour)
  {
    if (x >= 0 && y >= 0 && x < static_cast<int32_t>(image.GetWidth()) && y < static_cast<int32_t>(image.GetHeight()))
      *image.PixelAddress(static_cast<uint32_t>(y) * image.GetWidth() + static_cast<uint32_t>(x)) = colour;
  }

  // Bresenham; a width of 2 doubles the line beside itself.
  void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour, int32_t width)
  {
    const int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int32_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int32_t error = dx + dy;
    for (;;)
    {
      Dot(x0, y0, colour);
      if (width > 1)
        dx > -dy ? Dot(x0, y0 + 1, colour) : Dot(x0 + 1, y0, colour);
      if (x0 == x1 && y0 == y1)
        break;
      const int32_t twice = 2 * error;
      if (twice >= dy)
      {
        error += dy;
        x0 += sx;
      }
      if (twice <= dx)
      {
        error += dx;
        y0 += sy;
      }
    }
  }

  void Circle(int32_t cx, int32_t cy, int32_t radius, uint32_t colour)
  {
    int32_t x = radius, y = 0, error = 1 - radius;
    while (x >= y)
    {
      const int32_t points[8][2] = {{x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y}, {-y, -x}, {y, -x}, {x, -y}};
      for (const auto &point : points)
        Dot(cx + point[0], cy + point[1], colour);
      ++y;
      if (error < 0)
        error += 2 * y + 1;
      else
      {
        --x;
        error += 2 * (y - x) + 1;
      }
    }
  }

private:
  Vantorum::BitmapImage &image;
};

// A glyph is a few strokes between points of a 4 x 6 grid.
void Glyph(Canvas &canvas, Random &random, int32_t x, int32_t y, uint32_t colour)
{
  const int32_t strokes = 2 + random.Below(3);
  for (int32_t s = 0; s < strokes; ++s)
  {
    const int32_t x0 = random.Below(2) * 4, y0 = random.Below(3) * 3;
    const int32_t x1 = random.Below(2) * 4, y1 = random.Below(3) * 3;
    canvas.Line(x + x0, y + y0, x + x1, y + y1, colour, 1);
  }
}

}  // namespace

Vantorum::BitmapImage CadDrawing(uint32_t width, uint32_t height, uint32_t seed)
{
  Vantorum::BitmapImage image(width, height, Word(255, 255, 255));
  Canvas canvas(image);
  Random random(seed);
  const int32_t w = static_cast<int32_t>(width), h = static_cast<int32_t>(height);
  const uint64_t area = static_cast<uint64_t>(width) * height;
  const int32_t colours = sizeof LayerColours / sizeof LayerColours[0];

  // Mostly axis-parallel lines, as drawings are; every fifth one slanted.
  const int32_t lines = static_cast<int32_t>(1000 + area / 5000);
  for (int32_t i = 0; i < lines; ++i)
  {
    const int32_t x = random.Below(w), y = random.Below(h);
    const int32_t length = 8 + random.Below(std::max(9, w / 5));
    const uint32_t colour = LayerColours[random.Below(colours)];
    const int32_t lineWidth = random.Below(6) == 0 ? 2 : 1;
    switch (random.Below(5))
    {
    case 0:
    case 1:
      canvas.Line(x, y, x + length, y, colour, lineWidth);
      break;
    case 2:
    case 3:
      canvas.Line(x, y, x, y + length, colour, lineWidth);
      break;
    default:
      canvas.Line(x, y, x + random.Below(length) - length / 2, y + random.Below(length) - length / 2, colour,
                  lineWidth);
    }
  }
  const int32_t circles = static_cast<int32_t>(150 + area / 40000);
  for (int32_t i = 0; i < circles; ++i)
    canvas.Circle(random.Below(w), random.Below(h), 3 + random.Below(std::max(4, std::min(w, h) / 12)),
                  LayerColours[random.Below(colours)]);
  // Labels: rows of 3 to 14 glyph cells, 6 pixels apart.
  const int32_t labels = static_cast<int32_t>(200 + area / 20000);
  for (int32_t i = 0; i < labels; ++i)
  {
    const int32_t x = random.Below(w), y = random.Below(h), count = 3 + random.Below(12);
    const uint32_t colour = random.Below(3) == 0 ? LayerColours[random.Below(colours)] : Word(0, 0, 0);
    for (int32_t g = 0; g < count; ++g)
      Glyph(canvas, random, x + 6 * g, y, colour);
  }
  return image;
}

Vantorum::BitmapImage PhotoLike(uint32_t width, uint32_t height)
{
  Vantorum::BitmapImage image(width, height, 0);
  Random random(99);
  const double scale = 4000.0 / width;  // the same picture at every size
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
    {
      const double u = x * scale, v = y * scale;
      const double grain = static_cast<double>(random.Below(9)) - 4;
      const double texture = 9 * std::sin(u / 7.0) * std::sin(v / 5.0);
      const double red = 120 + 70 * std::sin(u / 900.0 + v / 1300.0) + 25 * std::sin((u + v) / 170.0) + texture + grain;
      const double green = 110 + 60 * std::cos(v / 800.0 - u / 2100.0) + 20 * std::sin(u / 230.0) + texture + grain;
      const double blue = 100 + 70 * std::sin(v / 600.0 + 1) + 15 * std::cos((u - v) / 140.0) + grain;
      auto clamp = [](double value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); };
      *image.PixelAddress(y * width + x) = Word(clamp(red), clamp(green), clamp(blue));
    }
  return image;
}

Vantorum::BitmapImage Noise(uint32_t width, uint32_t height, uint32_t seed)
{
  Vantorum::BitmapImage image(width, height, 0);
  Random random(seed);
  for (uint32_t i = 0; i < width * height; ++i)
    *image.PixelAddress(i) = random.Next() & 0xFFFFFF;
  return image;
}

}  // namespace Bench
