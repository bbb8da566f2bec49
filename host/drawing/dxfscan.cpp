// Checks a DXF file pair by pair before libdime reads it (see dxfscan.h),
// each value by its group code's type (dxfvalues.h).
#include "dxfscan.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string_view>

#include "drawing.h"
#include "dxflimits.h"
#include "dxfvalues.h"
#include "text.h"

namespace zulan
{
namespace
{

// Counts libdime sizes arrays by: a negative one makes it throw from new[].
struct CountCode
{
  const char *object;
  int code;
};
constexpr CountCode CountCodes[] = {{"TABLE", 70}, {"SPLINE", 72}, {"SPLINE", 73}, {"SPLINE", 74}};

// Blanks around a group code or number, as DXF writers leave them. Two
// character tests a byte: the library's set search calls memchr for each
// one, a sizeable share of scanning a large file.
std::string_view Trim(std::string_view text)
{
  auto blank = [](char c) { return c == ' ' || c == '\t'; };
  size_t first = 0, end = text.size();
  while (first < end && blank(text[first]))
    ++first;
  while (end > first && blank(text[end - 1]))
    --end;
  return text.substr(first, end - first);
}

// A checked real number without the zeros that end its fraction, and the
// point when nothing is left after it ("5.000" is "5"): the same number to
// libdime, which reads its text a character at a time.
std::string_view WithoutTrailingZeros(std::string_view number)
{
  const size_t dot = number.find('.');
  if (dot == std::string_view::npos || number.find_first_of("eE", dot) != std::string_view::npos)
    return number;
  size_t end = number.size();
  while (end > dot + 1 && number[end - 1] == '0')
    --end;
  if (end == dot + 1)
  {
    const bool digitBefore = dot > 0 && number[dot - 1] >= '0' && number[dot - 1] <= '9';
    end = digitBefore ? dot : dot + 2;  // ".0" keeps a digit
  }
  return number.substr(0, end);
}

// A value as it may appear in a message: quoted, and cut short.
std::string Quoted(std::string_view text)
{
  return Text::Quoted(text, '"', 40);
}

// One line after another, with the line number; '\r' before '\n' dropped.
class Lines
{
public:
  explicit Lines(const std::string &text) : bytes(text) {}
  bool Next(std::string_view *line)
  {
    if (at >= bytes.size())
      return false;
    // memchr itself: string::find costs a call of its own round it, on
    // every line of a large file.
    const void *newline = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
    const size_t end = newline ? size_t(static_cast<const char *>(newline) - bytes.data()) : bytes.size();
    *line = std::string_view(bytes).substr(at, end - at);
    if (!line->empty() && line->back() == '\r')
      line->remove_suffix(1);
    at = end + 1;
    ++number;
    return true;
  }
  size_t Number() const { return number; }

private:
  const std::string &bytes;
  size_t at = 0;
  size_t number = 0;
};

class Scanner
{
public:
  Scanner(const std::string &filePath, const std::string &bytes) : path(filePath), lines(bytes)
  {
    scan.text.reserve(bytes.size());
  }

  DxfScan Run()
  {
    int code;
    std::string_view value, word;  // word: the value without its blanks
    ValueType type;
    while (NextPair(&code, &value, &word, &type))
    {
      if (skipping && (code != 0 || StillSkipping(word)))
        continue;
      if (code == 0)
      {
        EndPolyline();
        EndSpline();
        Mark();
        object = word;
        splineCounts = {};
        splineValues = {};
      }
      else
      {
        CheckCount(code);
        if (object == "SPLINE")
          CountSplineGroup(code);
      }
      if (section == "OBJECTS" && object == "TABLESTYLE" && scan.tableStyles.size() < MaxTableStyleGroups)
        scan.tableStyles.emplace_back(code, std::string(Trim(value)));
      if (inPolyline && TakeVertexGroup(code))
        continue;
      if (code == 0 ? TakeAttributeStart(word) : TakeInsertGroup(code, value))
        continue;
      if (code == 0)
      {
        plainEntity = IsPlainEntity(word);
        flatEntity = plainEntity && (word == "LINE" || word == "POINT");
      }
      else if (plainEntity && (code == 5 || code == 330 || code == 100))
        continue;
      else if (flatEntity && (code == 30 || code == 31 || code == 39 || code == 210 || code == 220 || code == 230))
        continue;
      if (KeepsLeadingSpace(code, value))
        Emit(code, "\\U+0020" + std::string(value.substr(1)), codeLine);
      else
        Emit(code,
             type == ValueType::Text   ? value
             : type == ValueType::Real ? WithoutTrailingZeros(word)
                                       : word,
             codeLine);
      if (code == 0 && word == "LWPOLYLINE")
        BeginPolyline();
      else if (code == 0 && word == "EOF")
        return Finish();
      else if (code == 0)
        sectionStart = word == "SECTION" ? codeLine : 0;
      else if (code == 2 && sectionStart != 0)
        NoteSection(std::string(word));
      if (code == 0 && word == "INSERT")
        BeginInsert();
    }
    if (!sawPair)
      ThrowLoadError(path, "the drawing file is empty (only blank lines)");
    ThrowLoadError(path, "the DXF file is truncated (it does not end with EOF)");
  }

private:
  [[noreturn]] void Refuse(size_t line, const std::string &problem)
  {
    ThrowLoadError(path, "malformed DXF at line " + std::to_string(line) + ": " + problem);
  }

  // Reads one pair and checks its value by the code's type; false at the end
  // of the file before a whole pair. Each line is trimmed once: on a large
  // file the trimming was a sizeable share of the scan.
  bool NextPair(int *code, std::string_view *value, std::string_view *word, ValueType *type)
  {
    std::string_view line, codeText;
    do
    {
      if (!lines.Next(&line))
        return false;
      codeText = Trim(line);
    } while (codeText.empty());
    codeLine = lines.Number();
    long long number;
    bool tooLarge = false;
    if (!ParseInteger(codeText, &number, &tooLarge))
    {
      if (!sawPair)
        ThrowLoadError(path, "not a DXF file (it does not start with a group code)");
      Refuse(codeLine, Quoted(codeText) + " is not a group code");
    }
    if (tooLarge || number < 0 || number > MaxGroupCode)
      Refuse(codeLine, Quoted(codeText) + " is not a DXF group code");
    sawPair = true;
    *code = int(number);
    if (!lines.Next(value))
      return false;
    *word = Trim(*value);
    *type = TypeOf(*code);
    if (*type != ValueType::Text)
      CheckValue(*code, *type, *word);
    return true;
  }

  void CheckValue(int code, ValueType type, std::string_view text)
  {
    const size_t line = lines.Number();
    auto what = [&] { return " (group code " + std::to_string(code) + " takes " + TypeName(type); };
    // Handles and binary data are kept as strings and never read as numbers,
    // and writers differ: LibreCAD puts style names ("Standard") and empty
    // values where handles belong. Refusing them would refuse its drawings.
    if (type == ValueType::Hex)
      return;
    if (text.size() > MaxNumberLength)
    {
      Refuse(line, "a number of " + std::to_string(text.size()) + " characters" + what() + ", at most "
                     + std::to_string(MaxNumberLength) + ")");
    }
    if (type == ValueType::Real)
    {
      if (!ParseReal(text, &real))
        Refuse(line, Quoted(text) + " is not a number" + what() + ")");
      // libdime keeps reals in single precision.
      if (!(std::fabs(real) <= std::numeric_limits<float>::max()))
        OutOfRange(line, std::string(text) + " is out of range" + what() + " up to ±3.4e38)");
      return;
    }
    bool tooLarge = false;
    if (!ParseInteger(text, &integer, &tooLarge))
      Refuse(line, Quoted(text) + " is not an integer" + what() + ")");
    const int bits = type == ValueType::Int8 ? 8 : type == ValueType::Int16 ? 16 : type == ValueType::Int32 ? 32 : 64;
    const long long most = bits == 64 ? std::numeric_limits<long long>::max() : (1LL << (bits - 1)) - 1;
    if (tooLarge || integer > most || integer < -most - 1)
    {
      OutOfRange(line, std::string(text) + " is out of range" + what() + ", " + std::to_string(-most - 1) + " to "
                         + std::to_string(most) + ")");
    }
  }

  // Where the current object began, to go back to when it is left out.
  struct Checkpoint
  {
    size_t line = 0, text = 0, emitted = 0, jumps = 0;
    size_t vertices = 0, polylines = 0, attributes = 0, inserts = 0;
  };

  void Mark()
  {
    mark = {codeLine,
            scan.text.size(),
            emitted,
            scan.lineJumps.size(),
            scan.vertices.size(),
            scan.polylineStarts.size(),
            scan.attributes.size(),
            scan.insertStarts.size()};
  }

  // A value libdime cannot keep: an entity holding one is left out, as
  // peers leave out what they cannot read; elsewhere the file is refused.
  void OutOfRange(size_t line, const std::string &problem)
  {
    static const char *const NotEntities[] = {"SECTION", "ENDSEC", "BLOCK", "ENDBLK", "SEQEND", "EOF"};
    const bool entity = (section == "ENTITIES" || section == "BLOCKS") && mark.line != 0
                        && std::find(std::begin(NotEntities), std::end(NotEntities), object) == std::end(NotEntities);
    if (!entity)
      Refuse(line, problem);
    if (skipping)
      return;
    splineCounts = {};  // a left-out SPLINE is not checked again at its end
    splineValues = {};
    if (scan.skippedEntities++ == 0)
      scan.firstSkipped = "a " + object + " at line " + std::to_string(mark.line) + ": " + problem;
    scan.text.resize(mark.text);
    emitted = mark.emitted;
    scan.lineJumps.resize(mark.jumps);
    scan.vertices.resize(mark.vertices);
    scan.polylineStarts.resize(mark.polylines);
    scan.attributes.resize(mark.attributes);
    scan.insertStarts.resize(mark.inserts);
    inPolyline = inInsert = inAttribute = false;
    afterInsert = object == "ATTRIB";  // more of the insert's attributes may follow
    skipping = true;
    skippingOwner = object == "POLYLINE" || object == "INSERT";
  }

  // A left-out POLYLINE or INSERT takes its vertices or attributes and
  // their SEQEND along.
  bool StillSkipping(std::string_view word)
  {
    if (skippingOwner && (word == "VERTEX" || word == "ATTRIB"))
      return true;
    if (skippingOwner && word == "SEQEND")
    {
      skippingOwner = false;
      return true;
    }
    skipping = skippingOwner = false;
    return false;
  }

  // libdime keeps a SPLINE's knots, control points, weights and fit points
  // in arrays of the sizes 72, 73 and 74 give, made at their first value:
  // a count without its values leaves an array it then reads unmade, and
  // more values than the count run past its end. Such a spline is left out.
  void CountSplineGroup(int code)
  {
    switch (code)
    {
    case 72:
    case 73:
    case 74:
      splineCounts[size_t(code - 72)] = integer;
      break;
    case 40:
      ++splineValues[0];
      break;
    case 10:
      ++splineValues[1];
      break;
    case 11:
      ++splineValues[2];
      break;
    case 41:
      ++splineValues[3];
      break;
    default:
      break;
    }
  }

  void EndSpline()
  {
    if (object != "SPLINE" || skipping)
      return;
    static const char *const Names[] = {"knots (group code 72)", "control points (group code 73)",
                                        "fit points (group code 74)"};
    std::string problem;
    for (size_t i = 0; i < 3 && problem.empty(); ++i)
      if (splineValues[i] != uint64_t(splineCounts[i]))
        problem = "it gives " + std::to_string(splineCounts[i]) + " " + Names[i] + " and has "
                  + std::to_string(splineValues[i]);
    if (problem.empty() && splineValues[3] != 0 && splineValues[3] != uint64_t(splineCounts[1]))
      problem = "it has " + std::to_string(splineValues[3]) + " weights for " + std::to_string(splineCounts[1])
                + " control points";
    if (problem.empty())
      return;
    OutOfRange(codeLine, problem);
    skipping = skippingOwner = false;  // the pair at hand starts the next object
  }

  void CheckCount(int code)
  {
    for (const CountCode &count : CountCodes)
    {
      if (code == count.code && object == count.object && integer < 0)
      {
        Refuse(lines.Number(), "a " + object + " gives " + std::to_string(integer) + " as a count (group code "
                                 + std::to_string(code) + ")");
      }
    }
  }

  // value goes to libdime as it is: the caller trims numbers, not text.
  void Emit(int code, std::string_view value, size_t fileLine)
  {
    const size_t pair = emitted++;
    const std::vector<std::pair<size_t, size_t>> &jumps = scan.lineJumps;
    if (jumps.empty() || jumps.back().second + 2 * (pair - jumps.back().first) != fileLine)
      scan.lineJumps.emplace_back(pair, fileLine);
    char digits[8];
    scan.text.append(digits, std::to_chars(digits, digits + sizeof digits, code).ptr);
    scan.text += '\n';
    scan.text.append(value);
    scan.text += '\n';
  }

  void NoteSection(const std::string &name)
  {
    section = name;
    const auto [first, added] = sections.emplace(name, sectionStart);
    if (!added)
    {
      Refuse(sectionStart,
             "a second " + name + " section (the first starts at line " + std::to_string(first->second) + ")");
    }
    sectionStart = 0;
  }

  void BeginPolyline()
  {
    inPolyline = true;
    polylineLine = codeLine;
    counts.clear();
    scan.polylineStarts.push_back(scan.vertices.size());
    const std::string index = std::to_string(scan.polylineStarts.size() - 1);
    Emit(90, index, codeLine);
  }

  // The groups of one LWPOLYLINE vertex: 10 starts it.
  bool TakeVertexGroup(int code)
  {
    std::vector<LwVertex> &all = scan.vertices;
    const size_t count = all.size() - scan.polylineStarts.back();
    switch (code)
    {
    case 10:
      CheckLastVertex();
      if (all.size() >= MaxPoints)
      {
        Refuse(codeLine, "the drawing's LWPOLYLINEs have more than " + std::to_string(MaxPoints) + " vertices");
      }
      all.push_back({real, NAN, 0, 0, 0});
      vertexLine = codeLine;
      return true;
    case 20:
      if (count == 0 || !std::isnan(all.back().y))
        Refuse(codeLine, "an LWPOLYLINE y coordinate (group code 20) without its x (10)");
      all.back().y = real;
      return true;
    case 42:
      if (count == 0)
        Refuse(codeLine, "an LWPOLYLINE bulge (group code 42) before the first vertex");
      all.back().bulge = real;
      return true;
    case 40:
    case 41:
      if (count == 0)
        Refuse(codeLine, "an LWPOLYLINE width (group code " + std::to_string(code) + ") before the first vertex");
      (code == 40 ? all.back().startWidth : all.back().endWidth) = real;
      return true;
    case 90:
      counts.emplace_back(integer, codeLine);
      return true;
    case 30:  // not part of an LWPOLYLINE, and vertex ids are not drawn
    case 91:
      return true;
    default:
      return false;
    }
  }

  void CheckLastVertex()
  {
    const size_t count = scan.vertices.size() - scan.polylineStarts.back();
    if (count > 0 && std::isnan(scan.vertices.back().y))
      Refuse(vertexLine, "an LWPOLYLINE vertex without its y coordinate (group code 20)");
  }

  void EndPolyline()
  {
    if (!inPolyline)
      return;
    inPolyline = false;
    CheckLastVertex();
    const size_t count = scan.vertices.size() - scan.polylineStarts.back();
    for (const auto &[claimed, line] : counts)
    {
      if (claimed != (long long)count)
      {
        Refuse(line, "the LWPOLYLINE starting at line " + std::to_string(polylineLine) + " gives "
                       + std::to_string(claimed) + " as its vertex count but has " + std::to_string(count)
                       + (count == 1 ? " vertex" : " vertices"));
      }
    }
  }

  // Entities whose handle (5), owner (330) and subclass markers (100) are
  // read by nobody: in a large drawing they are a third of the bytes libdime
  // would read character by character and keep as records, so they stay out
  // of its text. Entities that are read group by group (hatches, MTEXT,
  // tables, dimensions) keep them.
  bool IsPlainEntity(std::string_view word) const
  {
    static constexpr std::string_view Plain[] = {"LINE", "CIRCLE", "ARC", "LWPOLYLINE", "TEXT", "INSERT", "POINT"};
    return (section == "ENTITIES" || section == "BLOCKS")
           && std::find(std::begin(Plain), std::end(Plain), word) != std::end(Plain);
  }

  // libdime drops the spaces a string starts with. MTEXT contents come in
  // pieces cut anywhere, so a word would run into the one before it; the
  // first space goes to libdime as an escape the text decoder expands.
  bool KeepsLeadingSpace(int code, std::string_view value) const
  {
    return (code == 1 || (code == 3 && object == "MTEXT")) && !value.empty() && value[0] == ' '
           && (object == "MTEXT" || object == "TEXT");
  }

  void BeginInsert()
  {
    inInsert = afterInsert = true;
    scan.insertStarts.push_back(scan.attributes.size());
    Emit(90, std::to_string(scan.insertStarts.size() - 1), codeLine);
  }

  // ATTRIBs follow an INSERT up to a SEQEND; both stay out of the text, as
  // libdime would keep them out of reach.
  bool TakeAttributeStart(std::string_view word)
  {
    inInsert = inAttribute = inSeqend = false;
    if (!afterInsert)
      return false;
    if (word == "ATTRIB")
    {
      if (scan.attributes.size() >= MaxAttributes)
      {
        Refuse(codeLine, "the drawing has more than " + std::to_string(MaxAttributes) + " attributes");
      }
      scan.attributes.emplace_back();
      inAttribute = true;
      embedded = false;
      return true;
    }
    afterInsert = false;
    inSeqend = word == "SEQEND";
    return inSeqend;
  }

  // The INSERT's own 66 (attributes follow) and 90 (its number here) are
  // the scan's; an ATTRIB's groups are read into its record.
  bool TakeInsertGroup(int code, std::string_view value)
  {
    if (inInsert)
      return code == 66 || code == 90;
    if (inSeqend)
      return true;  // libdime would give its layer and handle to the INSERT
    if (!inAttribute)
      return false;
    Attribute &a = scan.attributes.back();
    if (embedded)
      return true;  // the multi-line text of an ATTRIB: its group 1 stands in
    switch (code)
    {
    case 1:
      a.value = std::string(value);
      break;
    case 8:
      a.layer = std::string(value);
      break;
    case 10:
      a.x = real;
      break;
    case 20:
      a.y = real;
      break;
    case 11:
      a.secondX = real;
      a.hasSecond = true;
      break;
    case 21:
      a.secondY = real;
      break;
    case 40:
      a.height = real;
      break;
    case 41:
      a.widthFactor = real;
      break;
    case 50:
      a.rotation = real;
      break;
    case 62:
      a.color = int(integer);
      break;
    case 420:
      a.trueColour = int(integer & 0xFFFFFF);
      break;
    case 70:
      a.flags = int(integer);
      break;
    case 72:
      a.hJust = int(integer);
      break;
    case 74:
      a.vJust = int(integer);
      break;
    case 230:
      a.extrusionZ = real;
      break;
    case 370:
      a.weight = int(integer);
      break;
    case 101:
      embedded = true;
      break;
    default:
      break;
    }
    return true;
  }

  // Whatever follows 0/EOF is not read, as AutoCAD reads it.
  DxfScan Finish() { return std::move(scan); }

  const std::string &path;
  Lines lines;
  DxfScan scan;
  size_t emitted = 0;   // pairs in scan.text
  size_t codeLine = 0;  // line of the current pair's group code
  bool sawPair = false;
  double real = 0;                         // the current value, when it is a real number
  long long integer = 0;                   // the current value, when it is an integer
  std::string object;                      // the value of the last group 0: what the pairs describe
  std::array<int64_t, 3> splineCounts{};   // a SPLINE's 72, 73 and 74
  std::array<uint64_t, 4> splineValues{};  // and its 40, 10, 11 and 41 groups
  size_t sectionStart = 0;                 // line of a 0/SECTION waiting for its name
  std::map<std::string, size_t> sections;
  bool inPolyline = false;
  size_t polylineLine = 0;
  size_t vertexLine = 0;
  std::vector<std::pair<long long, size_t>> counts;  // group 90s of this LWPOLYLINE, with lines
  bool inInsert = false;                             // in an INSERT's own groups
  bool afterInsert = false;                          // ATTRIBs may follow
  bool inAttribute = false;
  bool inSeqend = false;  // in the groups of the SEQEND that ends an INSERT's ATTRIBs
  bool embedded = false;  // in the embedded MTEXT of an ATTRIB (after group 101)
  std::string section;    // the name of the last section begun
  Checkpoint mark;
  bool plainEntity = false;  // in one of IsPlainEntity's entities
  // In a LINE or POINT, which stand where their x and y say whatever their
  // heights, thickness and extrusion: those are left out of libdime's text.
  bool flatEntity = false;
  bool skipping = false;       // leaving out the current object
  bool skippingOwner = false;  // and what belongs to it up to its SEQEND
};

}  // namespace

void ThrowLoadError(const std::string &path, const std::string &problem)
{
  throw Document::LoadError(path + ": " + problem);
}

size_t DxfScan::FileLine(size_t textLine) const
{
  if (textLine == 0 || lineJumps.empty())
    return textLine;
  const size_t pair = (textLine - 1) / 2;
  auto jump = std::upper_bound(lineJumps.begin(), lineJumps.end(), pair,
                               [](size_t p, const std::pair<size_t, size_t> &j) { return p < j.first; });
  if (jump == lineJumps.begin())
    return textLine;
  --jump;
  return jump->second + 2 * (pair - jump->first) + (textLine - 1) % 2;
}

std::vector<LwVertex> DxfScan::Polyline(long index) const
{
  if (index < 0 || size_t(index) >= polylineStarts.size())
    return {};
  const size_t first = polylineStarts[index];
  const size_t end = size_t(index) + 1 < polylineStarts.size() ? polylineStarts[index + 1] : vertices.size();
  return std::vector<LwVertex>(vertices.begin() + first, vertices.begin() + end);
}

const Attribute *DxfScan::Attributes(long index, size_t *count) const
{
  *count = 0;
  if (index < 0 || size_t(index) >= insertStarts.size())
    return attributes.data();
  const size_t first = insertStarts[index];
  const size_t end = size_t(index) + 1 < insertStarts.size() ? insertStarts[index + 1] : attributes.size();
  *count = end - first;
  return attributes.data() + first;
}

DxfScan ScanDxf(const std::string &path)
{
  const std::string bytes = ReadDrawingFile(path);
  return Scanner(path, bytes).Run();
}

}  // namespace zulan
