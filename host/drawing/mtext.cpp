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

// Paragraph alignment (\pq): left, centred, right, justified; Attached
// follows the attachment point's column.
enum Align
{
  Attached = -1,
  AlignLeft,
  AlignCentre,
  AlignRight,
  AlignJustified
};

struct Paragraph
{
  std::vector<Piece> pieces;
  double height;  // the height in effect at its end, for an empty line
  int align;
  bool newColumn;  // begun by a column break
};

}  // namespace

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

namespace
{

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
    paragraphs.push_back({{}, style.height, align, false});
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
    case 'N':  // a column break
      paragraphs.back().height = style.height;
      paragraphs.push_back({{}, style.height, align, code == 'N'});
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
    case 'p':
      ParagraphSettings();
      break;
    case 'f':
    case 'F':  // fonts run to the semicolon
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

  // Paragraph settings, comma-separated to the semicolon (\pxqc;,
  // \pxi-3,l3,qr;): only the alignment q is drawn. It holds for this
  // paragraph and those after it until another says otherwise.
  void ParagraphSettings()
  {
    const size_t end = std::min(s.find(';', i), s.size());
    for (size_t at = i; at < end; ++at)
    {
      const bool itemStart = at == i || s[at - 1] == ',' || (at == i + 1 && s[i] == 'x');
      if (!itemStart || s[at] != 'q' || at + 1 >= end)
        continue;
      const char kind = s[at + 1];
      align = kind == 'l'                  ? AlignLeft
              : kind == 'c'                ? AlignCentre
              : kind == 'r'                ? AlignRight
              : kind == 'j' || kind == 'd' ? AlignJustified
                                           : Attached;
      paragraphs.back().align = align;
    }
    i = end;
    Terminator();
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
  int align = Attached;
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
  std::vector<int> gaps;  // by run: the spaces before it on a justified line
  double width = 0;
  double height = 0;
  int align = Attached;
  int spaces = 0;
  bool apart = false;  // the next run starts afresh, after a justified line's space
  bool last = false;   // of its paragraph: not stretched when justified
  bool newColumn = false;
};

class Layout
{
public:
  Layout(const MTextFormat &textFormat, size_t countLimit) : format(textFormat), limit(countLimit) {}

  bool Run(const std::vector<Paragraph> &paragraphs, std::vector<MTextRun> *out, std::vector<Rect> *frames)
  {
    const bool wrap = Wraps();
    for (const Paragraph &paragraph : paragraphs)
    {
      const std::vector<Piece> &pieces = paragraph.pieces;
      NewLine(paragraph);
      lines.back().newColumn = paragraph.newColumn;
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
          NewLine(paragraph);
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
      lines.back().last = true;
      if (lines.back().runs.empty())
        lines.back().height = paragraph.height;
      if (items > limit)
        return false;
    }
    Place(out, frames);
    return true;
  }

private:
  bool Wraps() const { return format.width > 0 && std::isfinite(format.width); }

  double Width(const Piece &piece) { return advances.Ems(piece.text) * piece.style.height / CapHeightEms; }

  void NewLine(const Paragraph &paragraph)
  {
    lines.emplace_back();
    lines.back().align = paragraph.align;
    ++items;
  }

  void Append(const Piece &piece)
  {
    Line &line = lines.back();
    const double ems = advances.Ems(piece.text);
    if (line.align == AlignJustified && piece.space)
    {
      // Justified lines keep their words apart, to stretch the spaces.
      ++line.spaces;
      line.apart = true;
    }
    else if (!line.apart && !line.runs.empty() && line.runs.back().height == piece.style.height
             && line.runs.back().aci == piece.style.aci)
    {
      line.runs.back().text += piece.text;
      line.runs.back().advanceEms += ems;
    }
    else
    {
      line.runs.push_back({piece.text, line.width, 0, piece.style.height, piece.style.aci, ems});
      line.gaps.push_back(line.spaces);
      line.apart = false;
      ++items;
    }
    line.width += ems * piece.style.height / CapHeightEms;
    line.height = std::max(line.height, piece.style.height);
  }

  // How far down a column reaches; the last height stands for the columns
  // after it.
  double ColumnHeight(size_t column) const
  {
    const std::vector<double> &heights = format.columnHeights;
    return heights[std::min(column, heights.size() - 1)];
  }

  // Lines down from the first, whose capitals' top is at 0, flowing into
  // the next column where one ends; then the block moved by the attachment:
  // hanging from the insertion point, centred on it, or standing on the
  // last baseline there. Each line stands in the box of the reference width
  // (the widest line's without one) as its paragraph's alignment says, or
  // as the attachment does: left, centred or right of the insertion point.
  void Place(std::vector<MTextRun> *out, std::vector<Rect> *frames)
  {
    const int attachment = format.attachment >= 1 && format.attachment <= 9 ? format.attachment : 1;
    const int row = (attachment - 1) / 3, column = (attachment - 1) % 3;
    double spacing = format.spacing;
    if (!(spacing > 0) || !std::isfinite(spacing))
      spacing = 1;
    spacing = std::clamp(spacing, 0.25, 4.0);  // the range CAD programs allow
    const bool columns = format.columnType != 0 && !format.columnHeights.empty();
    const size_t lastColumn = format.columnCount > 0 ? size_t(format.columnCount) - 1 : lines.size();
    std::vector<double> baselines;
    std::vector<size_t> columnOf;
    std::vector<double> bottoms(1, 0);  // of each column
    size_t at = 0;
    double y = 0;
    bool fresh = true;
    for (const Line &line : lines)
    {
      const double step = fresh ? line.height : spacing * LineSpacing * line.height;
      if (columns && !fresh && at < lastColumn && (line.newColumn || y - step < -ColumnHeight(at)))
      {
        ++at;
        bottoms.push_back(0);
        y = 0;
        fresh = true;
      }
      y -= fresh ? line.height : step;
      fresh = false;
      baselines.push_back(y);
      columnOf.push_back(at);
      bottoms.back() = std::min(bottoms.back(), y);
    }
    const double depth = *std::min_element(bottoms.begin(), bottoms.end());
    const double lift = row == 0 ? 0 : row == 1 ? -depth / 2 : -depth;
    double boxWidth = Wraps() ? format.width : 0;
    if (!Wraps())
    {
      for (const Line &line : lines)
        boxWidth = std::max(boxWidth, line.width);
    }
    const double gutter = std::isfinite(format.gutter) ? std::max(format.gutter, 0.0) : 0;
    const double boxLeft = -boxWidth * column / 2;
    const double pitch = (format.reversed ? -1 : 1) * (boxWidth + gutter);  // reversed: right to left
    for (size_t i = 0; i < lines.size(); ++i)
    {
      Line &line = lines[i];
      const int align = line.align == Attached ? column : line.align;
      const double x0 = boxLeft + double(columnOf[i]) * pitch;
      const bool stretch = align == AlignJustified && Wraps() && !line.last && line.spaces > 0;
      const double extra = stretch ? (boxWidth - line.width) / line.spaces : 0;
      const double shift = align == AlignJustified ? x0 : x0 + (boxWidth - line.width) * align / 2;
      for (size_t k = 0; k < line.runs.size(); ++k)
      {
        MTextRun &run = line.runs[k];
        run.x += shift + extra * line.gaps[k];
        run.y = baselines[i] + lift;
        out->push_back(std::move(run));
      }
    }
    if (frames && boxWidth > 0)
    {
      for (size_t c = 0; c < bottoms.size(); ++c)
      {
        const double x0 = boxLeft + double(c) * pitch;
        frames->push_back({x0, bottoms[c] + lift, x0 + boxWidth, lift});
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

bool LayoutMText(const std::string &utf8, const MTextFormat &format, size_t limit, std::vector<MTextRun> *runs,
                 std::vector<Rect> *frames)
{
  runs->clear();
  if (frames)
    frames->clear();
  if (!(format.height > 0 && format.height <= MaxHeight))
    return true;
  std::vector<Paragraph> paragraphs;
  if (!Parser(utf8, format.height, limit).Run(&paragraphs))
    return false;
  return Layout(format, limit).Run(paragraphs, runs, frames);
}

}  // namespace zulan
