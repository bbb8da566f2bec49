// Checks a DXF file pair by pair before libdime reads it (see dxfscan.h).
// Value types follow the DXF group code ranges; where libdime keeps a code in
// fewer bits than the reference gives (270-275 as 8 bits), its width counts.
#include "dxfscan.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string_view>

#include "drawing.h"
#include "dxflimits.h"

namespace zulan
{
namespace
{

constexpr int kMaxGroupCode = 1071;
const char kBinarySentinel[] = "AutoCAD Binary DXF";

enum class ValueType
{
  kText,
  kReal,
  kInt8,
  kInt16,
  kInt32,
  kInt64,
  kHex
};

struct CodeRange
{
  int first, last;
  ValueType type;
};

// Codes not listed here hold text.
constexpr CodeRange kTypedCodes[] = {
    {10, 59, ValueType::kReal},      {60, 79, ValueType::kInt16},     {90, 99, ValueType::kInt32},
    {110, 149, ValueType::kReal},    {160, 169, ValueType::kInt64},   {170, 179, ValueType::kInt16},
    {210, 239, ValueType::kReal},    {270, 275, ValueType::kInt8},    {276, 279, ValueType::kInt16},
    {280, 299, ValueType::kInt8},    {310, 369, ValueType::kHex},     {370, 389, ValueType::kInt16},
    {390, 399, ValueType::kHex},     {400, 409, ValueType::kInt16},   {420, 429, ValueType::kInt32},
    {440, 459, ValueType::kInt32},   {460, 469, ValueType::kReal},    {480, 481, ValueType::kHex},
    {1010, 1059, ValueType::kReal},  {1060, 1070, ValueType::kInt16}, {1071, 1071, ValueType::kInt32},
};

// Counts libdime sizes arrays by: a negative one makes it throw from new[].
struct CountCode
{
  const char *object;
  int code;
};
constexpr CountCode kCountCodes[] = {{"TABLE", 70}, {"SPLINE", 72}, {"SPLINE", 73}, {"SPLINE", 74}};

ValueType TypeOf(int code)
{
  static const std::vector<ValueType> types = []
  {
    std::vector<ValueType> all(kMaxGroupCode + 1, ValueType::kText);
    for (const CodeRange &range : kTypedCodes)
      std::fill(all.begin() + range.first, all.begin() + range.last + 1, range.type);
    return all;
  }();
  return types[code];
}

std::string_view Trim(std::string_view text)
{
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos)
    return {};
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// A value as it may appear in a message: quoted, and cut short.
std::string Quoted(std::string_view text)
{
  return "\"" + std::string(text.substr(0, 40)) + (text.size() > 40 ? "...\"" : "\"");
}

bool IsDigit(char ch)
{
  return ch >= '0' && ch <= '9';
}

size_t Digits(std::string_view text, size_t at)
{
  size_t end = at;
  while (end < text.size() && IsDigit(text[end]))
    ++end;
  return end - at;
}

// Decimal integers with an optional sign, and nothing else. A value beyond
// 64 bits sets *tooLarge.
bool ParseInteger(std::string_view text, long long *value, bool *tooLarge)
{
  const size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  if (Digits(text, sign) == 0 || Digits(text, sign) + sign != text.size())
    return false;
  const char *begin = text.data() + (text[0] == '+' ? 1 : 0);
  *tooLarge = std::from_chars(begin, text.data() + text.size(), *value).ec
              == std::errc::result_out_of_range;
  return true;
}

// Decimal reals: digits with an optional point and exponent, no "inf", "nan"
// or hexadecimal. False for malformed text; an overflow gives an infinity.
bool ParseReal(std::string_view text, double *value)
{
  size_t at = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  const size_t whole = Digits(text, at);
  at += whole;
  size_t fraction = 0;
  if (at < text.size() && text[at] == '.')
  {
    fraction = Digits(text, at + 1);
    at += 1 + fraction;
  }
  if (whole + fraction == 0)
    return false;
  bool tinyExponent = false;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E'))
  {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
      tinyExponent = text[at++] == '-';
    const size_t exponent = Digits(text, at);
    if (exponent == 0)
      return false;
    at += exponent;
  }
  if (at != text.size())
    return false;
  const char *begin = text.data() + (text[0] == '+' ? 1 : 0);
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), *value);
  if (error == std::errc::result_out_of_range)
  {
    // Out of range with at most kMaxNumberLength digits: a negative exponent
    // means too small, which is as good as 0, anything else too large.
    *value = tinyExponent ? 0.0 : std::numeric_limits<double>::infinity();
    if (text[0] == '-')
      *value = -*value;
  }
  return end == text.data() + text.size() || error == std::errc::result_out_of_range;
}

const char *TypeName(ValueType type)
{
  switch (type)
  {
  case ValueType::kReal: return "a real number";
  case ValueType::kInt8: return "an 8-bit integer";
  case ValueType::kInt16: return "a 16-bit integer";
  case ValueType::kInt32: return "a 32-bit integer";
  case ValueType::kInt64: return "a 64-bit integer";
  case ValueType::kHex: return "a hexadecimal handle or data";
  case ValueType::kText: break;
  }
  return "text";
}

// One line after another, with the line number; '\r' before '\n' dropped.
class Lines
{
public:
  explicit Lines(const std::string &bytes) : bytes_(bytes) {}
  bool Next(std::string_view *line)
  {
    if (at_ >= bytes_.size())
      return false;
    size_t end = bytes_.find('\n', at_);
    if (end == std::string::npos)
      end = bytes_.size();
    *line = std::string_view(bytes_).substr(at_, end - at_);
    if (!line->empty() && line->back() == '\r')
      line->remove_suffix(1);
    at_ = end + 1;
    ++number_;
    return true;
  }
  size_t Number() const { return number_; }

private:
  const std::string &bytes_;
  size_t at_ = 0;
  size_t number_ = 0;
};

std::string ReadDrawingFile(const std::string &path)
{
  // Folders, FIFOs and devices would fail or block while being read.
  std::error_code status;
  if (std::filesystem::exists(path, status) && !std::filesystem::is_regular_file(path, status))
    ThrowLoadError(path, "not a drawing file (a folder or a special file)");
  std::ifstream file(path, std::ios::binary);
  if (!file)
    ThrowLoadError(path, std::string("cannot open the drawing: ") + std::strerror(errno));
  std::ostringstream contents;
  contents << file.rdbuf();
  std::string bytes = std::move(contents).str();
  if (file.bad())
    ThrowLoadError(path, "cannot read the drawing");
  if (bytes.empty())
    ThrowLoadError(path, "the drawing file is empty (0 bytes)");
  if (bytes.compare(0, sizeof kBinarySentinel - 1, kBinarySentinel) == 0)
    ThrowLoadError(path, "binary DXF is not supported; save the drawing as ASCII DXF");
  if (bytes.find('\0') != std::string::npos)
    ThrowLoadError(path, "not a DXF file (it contains binary data)");
  return bytes;
}

class Scanner
{
public:
  Scanner(const std::string &path, const std::string &bytes) : path_(path), lines_(bytes)
  {
    scan_.text.reserve(bytes.size());
  }

  DxfScan Run()
  {
    int code;
    std::string_view value;
    while (NextPair(&code, &value))
    {
      if (code == 0)
        EndPolyline();
      else
        CheckCount(code);
      if (inPolyline_ && TakeVertexGroup(code))
        continue;
      if (code == 0 ? TakeAttributeStart(Trim(value)) : TakeInsertGroup(code, value))
        continue;
      if (KeepsLeadingSpace(code, value))
        Emit(code, "\\U+0020" + std::string(value.substr(1)), codeLine_);
      else
        Emit(code, value, codeLine_);
      const std::string_view word = Trim(value);
      if (code == 0)
        object_ = word;
      if (code == 0 && word == "LWPOLYLINE")
        BeginPolyline();
      else if (code == 0 && word == "EOF")
        return Finish();
      else if (code == 0)
        sectionStart_ = word == "SECTION" ? codeLine_ : 0;
      else if (code == 2 && sectionStart_ != 0)
        NoteSection(std::string(word));
      if (code == 0 && word == "INSERT")
        BeginInsert();
    }
    if (!sawPair_)
      ThrowLoadError(path_, "the drawing file is empty (only blank lines)");
    ThrowLoadError(path_, "the DXF file is truncated (it does not end with EOF)");
  }

private:
  [[noreturn]] void Refuse(size_t line, const std::string &problem)
  {
    ThrowLoadError(path_, "malformed DXF at line " + std::to_string(line) + ": " + problem);
  }

  // Reads one pair and checks its value by the code's type; false at the end
  // of the file before a whole pair.
  bool NextPair(int *code, std::string_view *value)
  {
    std::string_view line;
    do
    {
      if (!lines_.Next(&line))
        return false;
    } while (Trim(line).empty());
    codeLine_ = lines_.Number();
    long long number;
    bool tooLarge = false;
    if (!ParseInteger(Trim(line), &number, &tooLarge))
    {
      if (!sawPair_)
        ThrowLoadError(path_, "not a DXF file (it does not start with a group code)");
      Refuse(codeLine_, Quoted(Trim(line)) + " is not a group code");
    }
    if (tooLarge || number < 0 || number > kMaxGroupCode)
      Refuse(codeLine_, Quoted(Trim(line)) + " is not a DXF group code");
    sawPair_ = true;
    *code = int(number);
    if (!lines_.Next(value))
      return false;
    const ValueType type = TypeOf(*code);
    if (type != ValueType::kText)
      CheckValue(*code, type, Trim(*value));
    return true;
  }

  void CheckValue(int code, ValueType type, std::string_view text)
  {
    const size_t line = lines_.Number();
    auto what = [&] { return " (group code " + std::to_string(code) + " takes " + TypeName(type); };
    // Handles and binary data are kept as strings and never read as numbers,
    // and writers differ: LibreCAD puts style names ("Standard") and empty
    // values where handles belong. Refusing them would refuse its drawings.
    if (type == ValueType::kHex)
      return;
    if (text.size() > kMaxNumberLength)
    {
      Refuse(line, "a number of " + std::to_string(text.size()) + " characters" + what()
                       + ", at most " + std::to_string(kMaxNumberLength) + ")");
    }
    if (type == ValueType::kReal)
    {
      if (!ParseReal(text, &real_))
        Refuse(line, Quoted(text) + " is not a number" + what() + ")");
      // libdime keeps reals in single precision.
      if (!(std::fabs(real_) <= std::numeric_limits<float>::max()))
        Refuse(line, std::string(text) + " is out of range" + what() + " up to ±3.4e38)");
      return;
    }
    bool tooLarge = false;
    if (!ParseInteger(text, &integer_, &tooLarge))
      Refuse(line, Quoted(text) + " is not an integer" + what() + ")");
    const int bits = type == ValueType::kInt8    ? 8
                     : type == ValueType::kInt16 ? 16
                     : type == ValueType::kInt32 ? 32
                                                 : 64;
    const long long most = bits == 64 ? std::numeric_limits<long long>::max()
                                      : (1LL << (bits - 1)) - 1;
    if (tooLarge || integer_ > most || integer_ < -most - 1)
    {
      Refuse(line, std::string(text) + " is out of range" + what() + ", " + std::to_string(-most - 1)
                       + " to " + std::to_string(most) + ")");
    }
  }

  void CheckCount(int code)
  {
    for (const CountCode &count : kCountCodes)
    {
      if (code == count.code && object_ == count.object && integer_ < 0)
      {
        Refuse(lines_.Number(), "a " + object_ + " gives " + std::to_string(integer_)
                                    + " as a count (group code " + std::to_string(code) + ")");
      }
    }
  }

  void Emit(int code, std::string_view value, size_t fileLine)
  {
    const size_t pair = emitted_++;
    const std::vector<std::pair<size_t, size_t>> &jumps = scan_.lineJumps;
    if (jumps.empty() || jumps.back().second + 2 * (pair - jumps.back().first) != fileLine)
      scan_.lineJumps.emplace_back(pair, fileLine);
    char digits[8];
    scan_.text.append(digits, std::to_chars(digits, digits + sizeof digits, code).ptr);
    scan_.text += '\n';
    scan_.text.append(TypeOf(code) == ValueType::kText ? value : Trim(value));
    scan_.text += '\n';
  }

  void NoteSection(const std::string &name)
  {
    const auto [first, added] = sections_.emplace(name, sectionStart_);
    if (!added)
    {
      Refuse(sectionStart_, "a second " + name + " section (the first starts at line "
                                + std::to_string(first->second) + ")");
    }
    sectionStart_ = 0;
  }

  void BeginPolyline()
  {
    inPolyline_ = true;
    polylineLine_ = codeLine_;
    counts_.clear();
    scan_.polylineStarts.push_back(scan_.vertices.size());
    const std::string index = std::to_string(scan_.polylineStarts.size() - 1);
    Emit(90, index, codeLine_);
  }

  // The groups of one LWPOLYLINE vertex: 10 starts it.
  bool TakeVertexGroup(int code)
  {
    std::vector<LwVertex> &all = scan_.vertices;
    const size_t count = all.size() - scan_.polylineStarts.back();
    switch (code)
    {
    case 10:
      CheckLastVertex();
      if (all.size() >= kMaxPoints)
      {
        Refuse(codeLine_, "the drawing's LWPOLYLINEs have more than " + std::to_string(kMaxPoints)
                              + " vertices");
      }
      all.push_back({real_, NAN, 0, 0, 0});
      vertexLine_ = codeLine_;
      return true;
    case 20:
      if (count == 0 || !std::isnan(all.back().y))
        Refuse(codeLine_, "an LWPOLYLINE y coordinate (group code 20) without its x (10)");
      all.back().y = real_;
      return true;
    case 42:
      if (count == 0)
        Refuse(codeLine_, "an LWPOLYLINE bulge (group code 42) before the first vertex");
      all.back().bulge = real_;
      return true;
    case 40:
    case 41:
      if (count == 0)
        Refuse(codeLine_, "an LWPOLYLINE width (group code " + std::to_string(code)
                              + ") before the first vertex");
      (code == 40 ? all.back().startWidth : all.back().endWidth) = real_;
      return true;
    case 90: counts_.emplace_back(integer_, codeLine_); return true;
    case 30: // not part of an LWPOLYLINE, and vertex ids are not drawn
    case 91: return true;
    default: return false;
    }
  }

  void CheckLastVertex()
  {
    const size_t count = scan_.vertices.size() - scan_.polylineStarts.back();
    if (count > 0 && std::isnan(scan_.vertices.back().y))
      Refuse(vertexLine_, "an LWPOLYLINE vertex without its y coordinate (group code 20)");
  }

  void EndPolyline()
  {
    if (!inPolyline_)
      return;
    inPolyline_ = false;
    CheckLastVertex();
    const size_t count = scan_.vertices.size() - scan_.polylineStarts.back();
    for (const auto &[claimed, line] : counts_)
    {
      if (claimed != (long long)count)
      {
        Refuse(line, "the LWPOLYLINE starting at line " + std::to_string(polylineLine_) + " gives "
                         + std::to_string(claimed) + " as its vertex count but has "
                         + std::to_string(count) + (count == 1 ? " vertex" : " vertices"));
      }
    }
  }

  // libdime drops the spaces a string starts with. MTEXT contents come in
  // pieces cut anywhere, so a word would run into the one before it; the
  // first space goes to libdime as an escape the text decoder expands.
  bool KeepsLeadingSpace(int code, std::string_view value) const
  {
    return (code == 1 || (code == 3 && object_ == "MTEXT")) && !value.empty() && value[0] == ' '
           && (object_ == "MTEXT" || object_ == "TEXT");
  }

  void BeginInsert()
  {
    inInsert_ = afterInsert_ = true;
    scan_.insertStarts.push_back(scan_.attributes.size());
    Emit(90, std::to_string(scan_.insertStarts.size() - 1), codeLine_);
  }

  // ATTRIBs follow an INSERT up to a SEQEND; both stay out of the text, as
  // libdime would keep them out of reach.
  bool TakeAttributeStart(std::string_view word)
  {
    inInsert_ = inAttribute_ = false;
    if (!afterInsert_)
      return false;
    if (word == "ATTRIB")
    {
      if (scan_.attributes.size() >= kMaxEntities)
      {
        Refuse(codeLine_, "the drawing has more than " + std::to_string(kMaxEntities)
                              + " attributes");
      }
      scan_.attributes.emplace_back();
      inAttribute_ = true;
      embedded_ = false;
      return true;
    }
    afterInsert_ = false;
    return word == "SEQEND";
  }

  // The INSERT's own 66 (attributes follow) and 90 (its number here) are
  // the scan's; an ATTRIB's groups are read into its record.
  bool TakeInsertGroup(int code, std::string_view value)
  {
    if (inInsert_)
      return code == 66 || code == 90;
    if (!inAttribute_)
      return false;
    Attribute &a = scan_.attributes.back();
    if (embedded_)
      return true; // the multi-line text of an ATTRIB: its group 1 stands in
    switch (code)
    {
    case 1: a.value = std::string(value); break;
    case 8: a.layer = std::string(value); break;
    case 10: a.x = real_; break;
    case 20: a.y = real_; break;
    case 11:
      a.secondX = real_;
      a.hasSecond = true;
      break;
    case 21: a.secondY = real_; break;
    case 40: a.height = real_; break;
    case 41: a.widthFactor = real_; break;
    case 50: a.rotation = real_; break;
    case 62: a.color = int(integer_); break;
    case 70: a.flags = int(integer_); break;
    case 72: a.hJust = int(integer_); break;
    case 74: a.vJust = int(integer_); break;
    case 230: a.extrusionZ = real_; break;
    case 370: a.weight = int(integer_); break;
    case 101: embedded_ = true; break;
    default: break;
    }
    return true;
  }

  DxfScan Finish()
  {
    std::string_view line;
    while (lines_.Next(&line))
    {
      if (!Trim(line).empty())
        Refuse(lines_.Number(), "text after the end of the file (0, EOF)");
    }
    return std::move(scan_);
  }

  const std::string &path_;
  Lines lines_;
  DxfScan scan_;
  size_t emitted_ = 0;  // pairs in scan_.text
  size_t codeLine_ = 0; // line of the current pair's group code
  bool sawPair_ = false;
  double real_ = 0;       // the current value, when it is a real number
  long long integer_ = 0; // the current value, when it is an integer
  std::string object_;       // the value of the last group 0: what the pairs describe
  size_t sectionStart_ = 0; // line of a 0/SECTION waiting for its name
  std::map<std::string, size_t> sections_;
  bool inPolyline_ = false;
  size_t polylineLine_ = 0;
  size_t vertexLine_ = 0;
  std::vector<std::pair<long long, size_t>> counts_; // group 90s of this LWPOLYLINE, with lines
  bool inInsert_ = false;    // in an INSERT's own groups
  bool afterInsert_ = false; // ATTRIBs may follow
  bool inAttribute_ = false;
  bool embedded_ = false; // in the embedded MTEXT of an ATTRIB (after group 101)
};

} // namespace

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
  const size_t end = size_t(index) + 1 < polylineStarts.size() ? polylineStarts[index + 1]
                                                               : vertices.size();
  return std::vector<LwVertex>(vertices.begin() + first, vertices.begin() + end);
}

const Attribute *DxfScan::Attributes(long index, size_t *count) const
{
  *count = 0;
  if (index < 0 || size_t(index) >= insertStarts.size())
    return attributes.data();
  const size_t first = insertStarts[index];
  const size_t end = size_t(index) + 1 < insertStarts.size() ? insertStarts[index + 1]
                                                             : attributes.size();
  *count = end - first;
  return attributes.data() + first;
}

DxfScan ScanDxf(const std::string &path)
{
  const std::string bytes = ReadDrawingFile(path);
  return Scanner(path, bytes).Run();
}

} // namespace zulan
