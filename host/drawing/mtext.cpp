// MTEXT contents laid out as runs of text: the inline codes are read into
// paragraphs of styled pieces, paragraphs are wrapped at the reference width,
// and the lines are placed round the insertion point as the attachment says.
// The input is UTF-8 (the drawing's encoding and \U+XXXX already decoded).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "drawinginternal.h"
#include "textmetrics.h"

namespace zulan
{
namespace
{

// CAD programs put baselines 5/3 of the text height apart at spacing 1.
constexpr double LineSpacing = 5.0 / 3.0;
// Heights beyond what the file's own numbers can hold are ignored, so that
// positions built from them stay finite.
constexpr double MaxHeight = std::numeric_limits<float>::max();
constexpr size_t MaxNumberLength = 40;

struct Style
{
  double height;
  int aci;
};

bool SameStyle(const Style &a, const Style &b)
{
  return a.height == b.height && a.aci == b.aci;
}

// Text of one style, either all ASCII spaces (where lines may break) or
// none.
struct Piece
{
  std::string text;
  Style style;
  bool space;
};

struct Paragraph
{
  std::vector<Piece> pieces;
  double height;  // the height in effect at its end, for an empty line
};

// The ACI whose default palette colour is nearest to a COLORREF 0x00BBGGRR
// (the byte order of \c values).
int NearestAci(uint32_t colorref)
{
  static const Palette &palette = []() -> const Palette & {
    static Palette p;
    SetDefaultPalette(p);
    return p;
  }();
  int best = 7;
  long bestDistance = std::numeric_limits<long>::max();
  for (int aci = 1; aci <= 255; ++aci)
  {
    const uint32_t entry = palette[PaletteIndexForAci(aci)];
    long distance = 0;
    for (int shift : {0, 8, 16})
    {
      const long d = long((entry >> shift) & 0xFF) - long((colorref >> shift) & 0xFF);
      distance += d * d;
    }
    if (distance < bestDistance)
    {
      bestDistance = distance;
      best = aci;
    }
  }
  return best;
}

class Parser
{
public:
  Parser(const std::string &text, double height, size_t countLimit)
    : s(text), style{height, MTextEntityColour}, limit(countLimit)
  {
  }

  // False when the text makes more paragraphs and pieces than the limit.
  bool Run(std::vector<Paragraph> *out)
  {
    paragraphs.push_back({{}, style.height});
    const size_t n = s.size();
    while (i < n && items <= limit)
    {
      const char ch = s[i];
      if (ch == '{')
      {
        saved.push_back(style);
        ++i;
      }
      else if (ch == '}')
      {
        if (!saved.empty())
        {
          style = saved.back();
          saved.pop_back();
        }
        ++i;
      }
      else if (ch == '\\' && i + 1 < n)
      {
        Code();
      }
      else
      {
        const size_t end = std::min(s.find_first_of("{}\\", i + 1), n);
        Add(s.substr(i, end - i));
        i = end;
      }
    }
    paragraphs.back().height = style.height;
    *out = std::move(paragraphs);
    return items <= limit;
  }

private:
  void Code()
  {
    const char code = s[i + 1];
    i += 2;
    switch (code)
    {
    case 'P':
    case 'X':  // the line between a dimension's upper and lower text
    case 'N':  // a column break: one column here
      paragraphs.back().height = style.height;
      paragraphs.push_back({{}, style.height});
      ++items;
      break;
    case '~':
      Add("\xC2\xA0");
      break;  // no break here
    case '\\':
    case '{':
    case '}':
      Add(std::string(1, code));
      break;
    case 'S':
      Stacked();
      break;
    case 'H':
    {
      const double value = Number();
      const bool relative = i < s.size() && (s[i] == 'x' || s[i] == 'X');
      if (relative)
        ++i;
      const double height = relative ? style.height * value : value;
      if (height > 0 && height <= MaxHeight)
        style.height = height;
      Terminator();
      break;
    }
    case 'C':
    {
      const double value = Number();
      if (value == 0 || value == 256)
        style.aci = MTextEntityColour;  // BYBLOCK, BYLAYER: the entity's
      else if (value >= 1 && value <= 255 && value == std::floor(value))
        style.aci = int(value);
      Terminator();
      break;
    }
    case 'c':
    {
      const double value = Number();
      if (value >= 0 && value <= 0xFFFFFF && value == std::floor(value))
        style.aci = NearestAci(uint32_t(value));
      Terminator();
      break;
    }
    case 'A':
    case 'Q':
    case 'T':
    case 'W':  // alignment, slant, tracking, width: drawn without them
      Number();
      Terminator();
      break;
    case 'f':
    case 'F':
    case 'p':  // fonts and paragraph settings run to the semicolon
      while (i < s.size() && s[i] != ';')
        ++i;
      Terminator();
      break;
    default:
      // Underline, overline and strike-through toggles and codes we do not
      // know are dropped; a non-ASCII byte is part of a character and stays.
      if (static_cast<unsigned char>(code) >= 0x80)
        --i;
      break;
    }
  }

  // \Stop^bottom; (also / and #) as "top/bottom"; \; and the like inside
  // are literal.
  void Stacked()
  {
    std::string top, bottom;
    bool lower = false;
    while (i < s.size() && s[i] != ';')
    {
      char ch = s[i++];
      if (ch == '\\' && i < s.size())
        ch = s[i++];
      else if (!lower && (ch == '^' || ch == '/' || ch == '#'))
      {
        lower = true;
        continue;
      }
      (lower ? bottom : top) += ch;
    }
    Terminator();
    Add(top.empty() ? bottom : bottom.empty() ? top : top + "/" + bottom);
  }

  // A decimal number at the cursor; NaN when there is none.
  double Number()
  {
    size_t end = i;
    while (end < s.size() && end - i < MaxNumberLength && s[end] != '\0' && std::strchr("+-.0123456789eE", s[end]))
      ++end;
    const std::string digits = s.substr(i, end - i);
    char *stop = nullptr;
    const double value = std::strtod(digits.c_str(), &stop);
    if (stop == digits.c_str())
      return NAN;
    i += size_t(stop - digits.c_str());
    return value;
  }

  void Terminator()
  {
    if (i < s.size() && s[i] == ';')
      ++i;
  }

  // Appends text in the current style, split where spaces start and end.
  void Add(const std::string &text)
  {
    std::vector<Piece> &pieces = paragraphs.back().pieces;
    for (char ch : text)
    {
      const bool space = ch == ' ';
      if (pieces.empty() || pieces.back().space != space || !SameStyle(pieces.back().style, style))
      {
        pieces.push_back({{}, style, space});
        ++items;
      }
      pieces.back().text += ch;
    }
  }

  const std::string &s;
  size_t i = 0;
  Style style;
  std::vector<Style> saved;  // of the open { } groups
  std::vector<Paragraph> paragraphs;
  size_t limit;
  size_t items = 0;
};

// Advance widths in ems, measured a character at a time: cairo's text API
// does not kern, so a string's advance is the sum of its characters'.
class Advances
{
public:
  double Ems(const std::string &text)
  {
    double sum = 0;
    for (size_t i = 0; i < text.size();)
    {
      const unsigned char lead = static_cast<unsigned char>(text[i]);
      size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      length = std::min(length, text.size() - i);
      const std::string character = text.substr(i, length);
      auto found = cache.find(character);
      if (found == cache.end())
        found = cache.emplace(character, TextAdvanceEms(character)).first;
      sum += found->second;
      i += length;
    }
    return sum;
  }

private:
  std::unordered_map<std::string, double> cache;
};

struct Line
{
  std::vector<MTextRun> runs;
  double width = 0;
  double height = 0;
};

class Layout
{
public:
  Layout(const MTextFormat &textFormat, size_t countLimit) : format(textFormat), limit(countLimit) {}

  bool Run(const std::vector<Paragraph> &paragraphs, std::vector<MTextRun> *out)
  {
    const bool wrap = format.width > 0 && std::isfinite(format.width);
    for (const Paragraph &paragraph : paragraphs)
    {
      const std::vector<Piece> &pieces = paragraph.pieces;
      lines.emplace_back();
      ++items;
      bool hasWord = false;
      for (size_t i = 0; i < pieces.size() && items <= limit;)
      {
        // Spaces, then the word after them: a line breaks before the word
        // that would take it past the width, and the spaces at the break
        // go. A word wider than the width stands on a line of its own.
        size_t word = i;
        double spaces = 0;
        for (; word < pieces.size() && pieces[word].space; ++word)
          spaces += Width(pieces[word]);
        size_t end = word;
        double wordWidth = 0;
        for (; end < pieces.size() && !pieces[end].space; ++end)
          wordWidth += Width(pieces[end]);
        if (word == end)
          break;  // spaces at the end of the paragraph
        if (wrap && hasWord && lines.back().width + spaces + wordWidth > format.width)
        {
          lines.emplace_back();
          ++items;
        }
        else
        {
          for (size_t k = i; k < word; ++k)
            Append(pieces[k]);
        }
        for (size_t k = word; k < end; ++k)
          Append(pieces[k]);
        hasWord = true;
        i = end;
      }
      if (lines.back().runs.empty())
        lines.back().height = paragraph.height;
      if (items > limit)
        return false;
    }
    Place(out);
    return true;
  }

private:
  double Width(const Piece &piece) { return advances.Ems(piece.text) * piece.style.height / CapHeightEms; }

  void Append(const Piece &piece)
  {
    Line &line = lines.back();
    const double ems = advances.Ems(piece.text);
    if (!line.runs.empty() && line.runs.back().height == piece.style.height && line.runs.back().aci == piece.style.aci)
    {
      line.runs.back().text += piece.text;
      line.runs.back().advanceEms += ems;
    }
    else
    {
      line.runs.push_back({piece.text, line.width, 0, piece.style.height, piece.style.aci, ems});
      ++items;
    }
    line.width += ems * piece.style.height / CapHeightEms;
    line.height = std::max(line.height, piece.style.height);
  }

  // Lines down from the first, whose capitals' top is at 0; then the block
  // moved by the attachment: hanging from the insertion point, centred on
  // it, or standing on the last baseline there; each line left, centred or
  // right of it.
  void Place(std::vector<MTextRun> *out)
  {
    const int attachment = format.attachment >= 1 && format.attachment <= 9 ? format.attachment : 1;
    const int row = (attachment - 1) / 3, column = (attachment - 1) % 3;
    double spacing = format.spacing;
    if (!(spacing > 0) || !std::isfinite(spacing))
      spacing = 1;
    spacing = std::clamp(spacing, 0.25, 4.0);  // the range CAD programs allow
    std::vector<double> baselines;
    double y = 0;
    for (size_t i = 0; i < lines.size(); ++i)
    {
      y -= i == 0 ? lines[i].height : spacing * LineSpacing * lines[i].height;
      baselines.push_back(y);
    }
    const double lift = row == 0 ? 0 : row == 1 ? -y / 2 : -y;
    for (size_t i = 0; i < lines.size(); ++i)
    {
      const double shift = -lines[i].width * column / 2;
      for (MTextRun &run : lines[i].runs)
      {
        run.x += shift;
        run.y = baselines[i] + lift;
        out->push_back(std::move(run));
      }
    }
  }

  const MTextFormat &format;
  size_t limit;
  size_t items = 0;
  std::vector<Line> lines;
  Advances advances;
};

}  // namespace

bool LayoutMText(const std::string &utf8, const MTextFormat &format, size_t limit, std::vector<MTextRun> *runs)
{
  runs->clear();
  if (!(format.height > 0 && format.height <= MaxHeight))
    return true;
  std::vector<Paragraph> paragraphs;
  if (!Parser(utf8, format.height, limit).Run(&paragraphs))
    return false;
  return Layout(format, limit).Run(paragraphs, runs);
}

}  // namespace zulan
