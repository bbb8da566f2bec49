// What the command line sets for one run only, on top of the stored
// settings: JPEGOPT control values (--set), a picture size from a scale or a
// sheet of paper at a resolution, the background, and the layers shown.
// Parsing is kept apart from the drawing so that a batch checks every option
// once before it starts; mainlinux.cpp applies them to zulan's drawing.
#ifndef ZULAN_RUNSETTINGS_H
#define ZULAN_RUNSETTINGS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zulan
{

struct PaperSize
{
  std::string name;  // as the user wrote it, for messages
  double shortMillimetres = 0;
  double longMillimetres = 0;
};

// The options as given; empty or unset when not.
struct RunSettings
{
  std::vector<std::string> controlWords;  // --set, each Name=value
  std::string scale;                      // --scale, "1:100"
  double dpi = 0;                         // --dpi, 0 when not given
  std::string paper;                      // --paper, "A3" or "420x297"
  std::string background;                 // --background
  std::string layers;                     // --layers, comma-separated
  std::string hiddenLayers;               // --hide-layers

  bool SizesPicture() const { return !scale.empty() || !paper.empty(); }
  bool Empty() const
  {
    return controlWords.empty() && !SizesPicture() && dpi == 0 && background.empty() && layers.empty()
           && hiddenLayers.empty();
  }
};

// A picture size worked out for one drawing, and what to tell the user
// about how (empty when there is nothing to say).
struct PictureSize
{
  int64_t width = 0;
  int64_t height = 0;
  std::string note;
};

// Checks what can be checked without a drawing; returns the problem, or ""
// when the options go together and each is well formed.
std::string CheckRunSettings(const RunSettings &settings);

// "1:100" -> 100 drawing millimetres to one on paper; nullopt when malformed.
std::optional<double> ParseScale(const std::string &text);
// A0 to A6, B4, B5, Letter, Legal, Tabloid (any case), or WIDTHxHEIGHT in mm.
std::optional<PaperSize> ParsePaper(const std::string &text);
// white, black or #rrggbb, as a COLORREF 0x00BBGGRR.
std::optional<uint32_t> ParseColour(const std::string &text);
// "A,B" -> {"A", "B"}, blanks around names dropped.
std::vector<std::string> SplitNames(const std::string &list);

// The settings dialog's words for the --set words: "Use clipboard
// resolution" turned off first when a side is set without it.
std::vector<std::string> DialogWords(const RunSettings &settings);

// The picture size for a drawing whose shown extents measure
// widthMillimetres x heightMillimetres: at the scale, the extents' edges on
// the outer pixels' centres; on paper, the whole sheet turned to the
// drawing's shape. Sides beyond the module's limits are refused with the
// size that would have been needed.
std::string SizeFromScale(double widthMillimetres, double heightMillimetres, double drawingPerPaper, double dpi,
                          PictureSize &size);
std::string SizeFromPaper(double widthMillimetres, double heightMillimetres, const PaperSize &paper, double dpi,
                          PictureSize &size);

}  // namespace zulan

#endif
