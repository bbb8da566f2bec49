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

namespace zulan
{
namespace
{

// CAD programs put baselines 5/3 of the text height apart at spacing 1.
constexpr double kLineSpacing = 5.0 / 3.0;
// Heights beyond what the file's own numbers can hold are ignored, so that
// positions built from them stay finite.
constexpr double kMaxHeight = std::numeric_limits<float>::max();
constexpr size_t kMaxNumberLength = 40;

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
  double height; // the height in effect at its end, for an empty line
};

// The ACI whose default palette colour is nearest to a COLORREF 0x00BBGGRR
// (the byte order of \c values).
int NearestAci(uint32_t colorref)
{
  static const Palette &palette = []() -> const Palette &
  {
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
  Parser(const std::string &text, double height, size_t limit)
      : s_(text), style_{height, kMTextEntityColour}, limit_(limit)
  {
  }

  // False when the text makes more paragraphs and pieces than the limit.
  bool Run(std::vector<Paragraph> *out)
  {
    paragraphs_.push_back({{}, style_.height});
    const size_t n = s_.size();
    while (i_ < n && items_ <= limit_)
    {
      const char ch = s_[i_];
      if (ch == '{')
      {
        saved_.push_back(style_);
        ++i_;
      }
      else if (ch == '}')
      {
        if (!saved_.empty())
        {
          style_ = saved_.back();
          saved_.pop_back();
        }
        ++i_;
      }
      else if (ch == '\\' && i_ + 1 < n)
      {
        Code();
      }
      else
      {
        const size_t end = std::min(s_.find_first_of("{}\\", i_ + 1), n);
        Add(s_.substr(i_, end - i_));
        i_ = end;
      }
    }
    paragraphs_.back().height = style_.height;
    *out = std::move(paragraphs_);
    return items_ <= limit_;
  }

private:
  void Code()
  {
    const char code = s_[i_ + 1];
    i_ += 2;
    switch (code)
    {
    case 'P':
    case 'X': // the line between a dimension's upper and lower text
    case 'N': // a column break: one column here
      paragraphs_.back().height = style_.height;
      paragraphs_.push_back({{}, style_.height});
      ++items_;
      break;
    case '~': Add("\xC2\xA0"); break; // no break here
    case '\\':
    case '{':
    case '}': Add(std::string(1, code)); break;
    case 'S': Stacked(); break;
    case 'H':
    {
      const double value = Number();
      const bool relative = i_ < s_.size() && (s_[i_] == 'x' || s_[i_] == 'X');
      if (relative)
        ++i_;
      const double height = relative ? style_.height * value : value;
      if (height > 0 && height <= kMaxHeight)
        style_.height = height;
      Terminator();
      break;
    }
    case 'C':
    {
      const double value = Number();
      if (value == 0 || value == 256)
        style_.aci = kMTextEntityColour; // BYBLOCK, BYLAYER: the entity's
      else if (value >= 1 && value <= 255 && value == std::floor(value))
        style_.aci = int(value);
      Terminator();
      break;
    }
    case 'c':
    {
      const double value = Number();
      if (value >= 0 && value <= 0xFFFFFF && value == std::floor(value))
        style_.aci = NearestAci(uint32_t(value));
      Terminator();
      break;
    }
    case 'A':
    case 'Q':
    case 'T':
    case 'W': // alignment, slant, tracking, width: drawn without them
      Number();
      Terminator();
      break;
    case 'f':
    case 'F':
    case 'p': // fonts and paragraph settings run to the semicolon
      while (i_ < s_.size() && s_[i_] != ';')
        ++i_;
      Terminator();
      break;
    default:
      // Underline, overline and strike-through toggles and codes we do not
      // know are dropped; a non-ASCII byte is part of a character and stays.
      if (static_cast<unsigned char>(code) >= 0x80)
        --i_;
      break;
    }
  }

  // \Stop^bottom; (also / and #) as "top/bottom"; \; and the like inside
  // are literal.
  void Stacked()
  {
    std::string top, bottom;
    bool lower = false;
    while (i_ < s_.size() && s_[i_] != ';')
    {
      char ch = s_[i_++];
      if (ch == '\\' && i_ < s_.size())
        ch = s_[i_++];
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
    size_t end = i_;
    while (end < s_.size() && end - i_ < kMaxNumberLength && s_[end] != '\0'
           && std::strchr("+-.0123456789eE", s_[end]))
      ++end;
    const std::string digits = s_.substr(i_, end - i_);
    char *stop = nullptr;
    const double value = std::strtod(digits.c_str(), &stop);
    if (stop == digits.c_str())
      return NAN;
    i_ += size_t(stop - digits.c_str());
    return value;
  }

  void Terminator()
  {
    if (i_ < s_.size() && s_[i_] == ';')
      ++i_;
  }

  // Appends text in the current style, split where spaces start and end.
  void Add(const std::string &text)
  {
    std::vector<Piece> &pieces = paragraphs_.back().pieces;
    for (char ch : text)
    {
      const bool space = ch == ' ';
      if (pieces.empty() || pieces.back().space != space || !SameStyle(pieces.back().style, style_))
      {
        pieces.push_back({{}, style_, space});
        ++items_;
      }
      pieces.back().text += ch;
    }
  }

  const std::string &s_;
  size_t i_ = 0;
  Style style_;
  std::vector<Style> saved_; // of the open { } groups
  std::vector<Paragraph> paragraphs_;
  size_t limit_;
  size_t items_ = 0;
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
      auto found = cache_.find(character);
      if (found == cache_.end())
        found = cache_.emplace(character, TextAdvanceEms(character)).first;
      sum += found->second;
      i += length;
    }
    return sum;
  }

private:
  std::unordered_map<std::string, double> cache_;
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
  Layout(const MTextFormat &format, size_t limit) : format_(format), limit_(limit) {}

  bool Run(const std::vector<Paragraph> &paragraphs, std::vector<MTextRun> *out)
  {
    const bool wrap = format_.width > 0 && std::isfinite(format_.width);
    for (const Paragraph &paragraph : paragraphs)
    {
      const std::vector<Piece> &pieces = paragraph.pieces;
      lines_.emplace_back();
      ++items_;
      bool hasWord = false;
      for (size_t i = 0; i < pieces.size() && items_ <= limit_;)
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
          break; // spaces at the end of the paragraph
        if (wrap && hasWord && lines_.back().width + spaces + wordWidth > format_.width)
        {
          lines_.emplace_back();
          ++items_;
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
      if (lines_.back().runs.empty())
        lines_.back().height = paragraph.height;
      if (items_ > limit_)
        return false;
    }
    Place(out);
    return true;
  }

private:
  double Width(const Piece &piece) { return advances_.Ems(piece.text) * piece.style.height / kCapHeightEms; }

  void Append(const Piece &piece)
  {
    Line &line = lines_.back();
    const double ems = advances_.Ems(piece.text);
    if (!line.runs.empty() && line.runs.back().height == piece.style.height
        && line.runs.back().aci == piece.style.aci)
    {
      line.runs.back().text += piece.text;
      line.runs.back().advanceEms += ems;
    }
    else
    {
      line.runs.push_back({piece.text, line.width, 0, piece.style.height, piece.style.aci, ems});
      ++items_;
    }
    line.width += ems * piece.style.height / kCapHeightEms;
    line.height = std::max(line.height, piece.style.height);
  }

  // Lines down from the first, whose capitals' top is at 0; then the block
  // moved by the attachment: hanging from the insertion point, centred on
  // it, or standing on the last baseline there; each line left, centred or
  // right of it.
  void Place(std::vector<MTextRun> *out)
  {
    const int attachment = format_.attachment >= 1 && format_.attachment <= 9 ? format_.attachment : 1;
    const int row = (attachment - 1) / 3, column = (attachment - 1) % 3;
    double spacing = format_.spacing;
    if (!(spacing > 0) || !std::isfinite(spacing))
      spacing = 1;
    spacing = std::clamp(spacing, 0.25, 4.0); // the range CAD programs allow
    std::vector<double> baselines;
    double y = 0;
    for (size_t i = 0; i < lines_.size(); ++i)
    {
      y -= i == 0 ? lines_[i].height : spacing * kLineSpacing * lines_[i].height;
      baselines.push_back(y);
    }
    const double lift = row == 0 ? 0 : row == 1 ? -y / 2 : -y;
    for (size_t i = 0; i < lines_.size(); ++i)
    {
      const double shift = -lines_[i].width * column / 2;
      for (MTextRun &run : lines_[i].runs)
      {
        run.x += shift;
        run.y = baselines[i] + lift;
        out->push_back(std::move(run));
      }
    }
  }

  const MTextFormat &format_;
  size_t limit_;
  size_t items_ = 0;
  std::vector<Line> lines_;
  Advances advances_;
};

} // namespace

bool LayoutMText(const std::string &utf8, const MTextFormat &format, size_t limit,
                 std::vector<MTextRun> *runs)
{
  runs->clear();
  if (!(format.height > 0 && format.height <= kMaxHeight))
    return true;
  std::vector<Paragraph> paragraphs;
  if (!Parser(utf8, format.height, limit).Run(&paragraphs))
    return false;
  return Layout(format, limit).Run(paragraphs, runs);
}

} // namespace zulan
