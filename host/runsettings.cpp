#include "runsettings.h"
#include "text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <utility>

namespace zulan
{

namespace
{

// What the module's capture takes: a side JPEG can state, and a pixel count
// its 32-bit strip arithmetic holds. It refuses more with its own message;
// the host says first what the scale would have needed.
const int64_t MaxPictureSide = 65535;
const int64_t MaxPicturePixels = 2147483647;
const double MillimetresPerInch = 25.4;

struct NamedPaper
{
  const char *name;
  double shortSide;  // mm
  double longSide;
};

const NamedPaper Papers[] = {
  {"A0", 841, 1189}, {"A1", 594, 841},         {"A2", 420, 594},        {"A3", 297, 420},
  {"A4", 210, 297},  {"A5", 148, 210},         {"A6", 105, 148},        {"B4", 250, 353},
  {"B5", 176, 250},  {"LETTER", 215.9, 279.4}, {"LEGAL", 215.9, 355.6}, {"TABLOID", 279.4, 431.8},
};

// A positive finite number written whole (no trailing text).
std::optional<double> PositiveNumber(const std::string &text)
{
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
    return std::nullopt;
  char *end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value) || value <= 0)
    return std::nullopt;
  return value;
}

std::string ControlName(const std::string &word)
{
  return Text::UpperCase(word.substr(0, word.find('=')));
}

// The size's controls: the two edits, and the box that greys them out.
bool NamesSide(const std::string &word)
{
  const std::string name = ControlName(word);
  return name.rfind("WIDTH", 0) == 0 || name.rfind("HEIGHT", 0) == 0 || name == "1000" || name == "1001";
}

bool NamesClipboardBox(const std::string &word)
{
  const std::string name = ControlName(word);
  return name.rfind("USE CLIPBOARD", 0) == 0 || name == "1010";
}

std::string Pixels(int64_t width, int64_t height)
{
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

std::string CheckLimits(const PictureSize &size, const std::string &how)
{
  if (size.width <= MaxPictureSide && size.height <= MaxPictureSide && size.width * size.height <= MaxPicturePixels)
    return "";
  return how + " needs " + Pixels(size.width, size.height) + "; a picture can have at most "
         + std::to_string(MaxPictureSide) + " pixels a side and " + std::to_string(MaxPicturePixels)
         + " in all: choose a smaller scale or resolution";
}

// Pixels across a length of paper; saturated far above any limit, so that
// huge requests are still refused with a readable figure.
int64_t PaperPixels(double millimetres, double dpi)
{
  const double pixels = std::round(millimetres / MillimetresPerInch * dpi);
  return pixels > 1e15 ? int64_t(1e15) : int64_t(pixels);
}

std::string FormatNumber(double value)
{
  std::string text = std::to_string(value);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.')
    text.pop_back();
  return text;
}

// The positive numbers before and after the separator at position at.
std::optional<std::pair<double, double>> PositivePair(const std::string &text, size_t at)
{
  if (at == std::string::npos)
    return std::nullopt;
  const std::optional<double> first = PositiveNumber(text.substr(0, at));
  const std::optional<double> second = PositiveNumber(text.substr(at + 1));
  if (!first || !second)
    return std::nullopt;
  return std::make_pair(*first, *second);
}

}  // namespace

std::optional<double> ParseScale(const std::string &text)
{
  const auto pair = PositivePair(text, text.find(':'));
  if (!pair)
    return std::nullopt;
  return pair->second / pair->first;
}

std::optional<PaperSize> ParsePaper(const std::string &text)
{
  const std::string upper = Text::UpperCase(text);
  for (const NamedPaper &paper : Papers)
    if (upper == paper.name)
      return PaperSize{text, paper.shortSide, paper.longSide};
  const auto pair = PositivePair(text, upper.find('X'));
  if (!pair)
    return std::nullopt;
  return PaperSize{text, std::min(pair->first, pair->second), std::max(pair->first, pair->second)};
}

std::optional<uint32_t> ParseColour(const std::string &text)
{
  const std::string lower = Text::LowerCase(text);
  if (lower == "white")
    return 0x00FFFFFFu;
  if (lower == "black")
    return 0u;
  if (lower.size() != 7 || lower[0] != '#' || lower.find_first_not_of("0123456789abcdef", 1) != std::string::npos)
    return std::nullopt;
  const uint32_t rgb = uint32_t(std::strtoul(lower.c_str() + 1, nullptr, 16));
  return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
}

std::vector<std::string> SplitNames(const std::string &list)
{
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size() && !list.empty())
  {
    size_t end = list.find(',', start);
    if (end == std::string::npos)
      end = list.size();
    const std::string_view name = Text::Trim(std::string_view(list).substr(start, end - start), " \t");
    if (!name.empty())
      names.emplace_back(name);
    start = end + 1;
  }
  return names;
}

std::string CheckRunSettings(const RunSettings &settings)
{
  for (const std::string &word : settings.controlWords)
    if (word.find('=') == std::string::npos || word.find('=') == 0)
      return "--set wants Control=value, such as --set Quality=90, not " + word;
  if (!settings.scale.empty() && !ParseScale(settings.scale))
    return "--scale wants paper:drawing, such as 1:100, not " + settings.scale;
  if (!settings.paper.empty() && !ParsePaper(settings.paper))
    return "--paper wants A0 to A6, B4, B5, Letter, Legal, Tabloid or WIDTHxHEIGHT in millimetres, not "
           + settings.paper;
  if (!settings.scale.empty() && !settings.paper.empty())
    return "--scale and --paper do not go together: the scale gives the picture the drawing's size, "
           "the paper fits the drawing to the sheet";
  if (settings.SizesPicture() && settings.dpi == 0)
    return std::string(settings.scale.empty() ? "--paper" : "--scale") + " needs a resolution, such as --dpi 300";
  if (!settings.SizesPicture() && settings.dpi != 0)
    return "--dpi needs --scale or --paper";
  if (settings.dpi < 0 || !std::isfinite(settings.dpi))
    return "--dpi wants a positive number of dots per inch";
  if (settings.SizesPicture())
    for (const std::string &word : settings.controlWords)
      if (NamesSide(word) || NamesClipboardBox(word))
        return "--set " + word + " and --" + (settings.scale.empty() ? "paper" : "scale")
               + " both give the picture's size; leave one out";
  if (!settings.background.empty() && !ParseColour(settings.background))
    return "--background wants white, black or #rrggbb, not " + settings.background;
  for (const std::string *list : {&settings.layers, &settings.hiddenLayers})
    if (!list->empty() && SplitNames(*list).empty())
      return std::string(list == &settings.layers ? "--layers" : "--hide-layers") + " wants layer names, such as A,B";
  return "";
}

std::vector<std::string> DialogWords(const RunSettings &settings)
{
  const std::vector<std::string> &words = settings.controlWords;
  const bool side = std::any_of(words.begin(), words.end(), NamesSide);
  const bool box = std::any_of(words.begin(), words.end(), NamesClipboardBox);
  std::vector<std::string> dialog;
  // A size given means that size, whatever the stored box says; the box
  // would otherwise grey the edits out and refuse it.
  if (side && !box)
    dialog.push_back("1010=off");
  dialog.insert(dialog.end(), words.begin(), words.end());
  return dialog;
}

std::string SizeFromScale(double widthMillimetres, double heightMillimetres, double drawingPerPaper, double dpi,
                          PictureSize &size)
{
  size.width = PaperPixels(widthMillimetres / drawingPerPaper, dpi) + 1;
  size.height = PaperPixels(heightMillimetres / drawingPerPaper, dpi) + 1;
  size.note.clear();
  return CheckLimits(size, "at that scale and resolution the drawing");
}

std::string SizeFromPaper(double widthMillimetres, double heightMillimetres, const PaperSize &paper, double dpi,
                          PictureSize &size)
{
  const bool landscape = widthMillimetres >= heightMillimetres;
  const int64_t longSide = PaperPixels(paper.longMillimetres, dpi);
  const int64_t shortSide = PaperPixels(paper.shortMillimetres, dpi);
  size.width = std::max<int64_t>(1, landscape ? longSide : shortSide);
  size.height = std::max<int64_t>(1, landscape ? shortSide : longSide);
  size.note = paper.name + (landscape ? " landscape" : " portrait") + " at " + FormatNumber(dpi)
              + " dpi: " + Pixels(size.width, size.height);
  return CheckLimits(size, paper.name + " at " + FormatNumber(dpi) + " dpi");
}

}  // namespace zulan
