// The host palette and how DXF colours (ACI) land in it. ACI colours are
// generated from the usual rule (9 named colours, 24 hues of 10 shades,
// 6 greys) rather than kept as a table. Entry 15 is the white background and
// entry 0 the black of ACI 7, so black-and-white output only has to zero
// every entry but 15.
#include "drawing.h"

namespace zulan
{
namespace
{

// Entries are Windows COLORREFs: 0x00BBGGRR.
uint32_t Rgb(int r, int g, int b)
{
  return uint32_t(r) | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

// Colours 10..249: hue in 15 degree steps, five brightness levels, and every
// odd index a paler variant half-way between it and the grey (v, v, v).
uint32_t HueShade(int aci)
{
  static const int Levels[5] = {255, 204, 153, 127, 76};
  const int hue = (aci / 10 - 1) * 15;  // degrees
  const int shade = aci % 10;
  const double v = Levels[shade / 2];
  const int sector = hue / 60;
  const double f = (hue % 60) / 60.0;
  double r = 0, g = 0, b = 0;
  switch (sector)
  {
  case 0:
    r = v;
    g = v * f;
    break;
  case 1:
    r = v * (1 - f);
    g = v;
    break;
  case 2:
    g = v;
    b = v * f;
    break;
  case 3:
    g = v * (1 - f);
    b = v;
    break;
  case 4:
    b = v;
    r = v * f;
    break;
  default:
    b = v * (1 - f);
    r = v;
    break;
  }
  if (shade % 2 == 1)
  {
    r = v / 2 + r / 2;
    g = v / 2 + g / 2;
    b = v / 2 + b / 2;
  }
  return Rgb(int(r), int(g), int(b));
}

uint32_t AciColor(int aci)
{
  static const uint32_t Named[10] = {Rgb(0, 0, 0),       Rgb(255, 0, 0),    Rgb(255, 255, 0), Rgb(0, 255, 0),
                                     Rgb(0, 255, 255),   Rgb(0, 0, 255),    Rgb(255, 0, 255), Rgb(255, 255, 255),
                                     Rgb(128, 128, 128), Rgb(192, 192, 192)};
  if (aci >= 0 && aci < 10)
    return Named[aci];
  if (aci >= 250 && aci <= 255)
  {
    const int grey = 51 + (aci - 250) * 204 / 5;
    return Rgb(grey, grey, grey);
  }
  return HueShade(aci);
}

}  // namespace

uint8_t PaletteIndexForAci(int aci)
{
  if (aci == 7 || aci <= 0 || aci > 255)
    return BlackIndex;
  if (aci == 15)
    return 7;
  return uint8_t(aci);
}

void SetDefaultPalette(Palette &palette)
{
  for (int aci = 1; aci < 256; ++aci)
  {
    if (aci != 7)
      palette[PaletteIndexForAci(aci)] = AciColor(aci);
  }
  palette[BlackIndex] = 0x000000;
  palette[WhiteIndex] = 0xFFFFFF;
}

}  // namespace zulan
