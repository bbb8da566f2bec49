#include "entityfile.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace zulan
{

namespace
{

const char Signature[] = "zulan-entities 1";
const char *const KindNames[] = {"none", "segment", "path", "closed", "polygon", "nonzero", "dot"};

std::string Number(double value)
{
  if (std::isnan(value))
    return "nan";
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

class LineReader
{
public:
  LineReader(const std::string &line, size_t lineNumber) : words(line), number(lineNumber) {}

  std::string Word()
  {
    std::string word;
    if (!(words >> word))
      Fail("ends early");
    return word;
  }
  long long Integer(long long lowest, long long highest)
  {
    const std::string word = Word();
    char *end = nullptr;
    const long long value = std::strtoll(word.c_str(), &end, 10);
    if (*end != '\0' || end == word.c_str() || value < lowest || value > highest)
      Fail("has " + word + " where a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest)
           + " belongs");
    return value;
  }
  // A finite number, or NaN where allowNan says so.
  double Real(bool allowNan)
  {
    const std::string word = Word();
    if (allowNan && word == "nan")
      return std::nan("");
    std::istringstream parse(word);
    parse.imbue(std::locale::classic());
    double value;
    if (!(parse >> value) || !parse.eof() || !std::isfinite(value))
      Fail("has " + word + " where a number belongs");
    return value;
  }
  void End()
  {
    std::string extra;
    if (words >> extra)
      Fail("has more than it should");
  }
  [[noreturn]] void Fail(const std::string &what) const
  {
    throw EntityFileError("line " + std::to_string(number) + " " + what);
  }

private:
  std::istringstream words;
  size_t number;
};

}  // namespace

void WriteEntityFile(std::ostream &out, const FlatDrawing &drawing)
{
  out << Signature << '\n';
  if (!drawing.header.empty())
  {
    out << "header ";
    char hex[3];
    for (uint8_t byte : drawing.header)
    {
      std::snprintf(hex, sizeof hex, "%02x", byte);
      out << hex;
    }
    out << '\n';
  }
  out << "palette";
  for (uint32_t entry : drawing.palette)
    out << ' ' << entry;
  out << '\n';
  for (bool hidden : drawing.hiddenLayers)
    out << "layer " << (hidden ? 1 : 0) << '\n';
  for (const FlatEntity &entity : drawing.entities)
  {
    out << "entity " << int(entity.type) << ' ' << entity.layer << ' ' << int(entity.colour) << ' '
        << int(entity.flags);
    for (double edge : entity.box)
      out << ' ' << Number(edge);
    out << ' ' << KindNames[static_cast<int>(entity.kind)] << ' ' << entity.points.size() / 2;
    for (double coordinate : entity.points)
      out << ' ' << Number(coordinate);
    out << '\n';
  }
}

FlatDrawing ReadEntityFile(std::istream &in)
{
  FlatDrawing drawing;
  std::string line;
  size_t number = 0, points = 0;
  if (!std::getline(in, line) || line != Signature)
    throw EntityFileError("not an entity file (its first line is not \"" + std::string(Signature) + "\")");
  bool paletteSeen = false;
  while (std::getline(in, line))
  {
    LineReader reader(line, ++number + 1);
    const std::string what = reader.Word();
    if (what == "header")
    {
      const std::string hex = reader.Word();
      if (hex.size() % 2 != 0 || hex.size() / 2 > MaxFlatHeaderBytes)
        reader.Fail("has a header of the wrong size");
      drawing.header.clear();
      for (size_t at = 0; at < hex.size(); at += 2)
      {
        char *end = nullptr;
        const std::string pair = hex.substr(at, 2);
        const long byte = std::strtol(pair.c_str(), &end, 16);
        if (*end != '\0')
          reader.Fail("has a header that is not hexadecimal");
        drawing.header.push_back(static_cast<uint8_t>(byte));
      }
    }
    else if (what == "palette")
    {
      for (uint32_t &entry : drawing.palette)
        entry = static_cast<uint32_t>(reader.Integer(0, 0xFFFFFF));
      paletteSeen = true;
    }
    else if (what == "layer")
    {
      if (drawing.hiddenLayers.size() >= 32767)
        reader.Fail("is a layer beyond the 32767th");
      drawing.hiddenLayers.push_back(reader.Integer(0, 1) != 0);
    }
    else if (what == "entity")
    {
      if (drawing.entities.size() >= MaxFlatEntities)
        reader.Fail("is an entity beyond the limit of " + std::to_string(MaxFlatEntities));
      FlatEntity entity;
      entity.type = static_cast<uint8_t>(reader.Integer(0, 255));
      entity.layer = static_cast<int16_t>(reader.Integer(-32768, 32767));
      entity.colour = static_cast<uint8_t>(reader.Integer(0, 255));
      entity.flags = static_cast<uint8_t>(reader.Integer(0, 255));
      for (double &edge : entity.box)
        edge = reader.Real(false);
      const std::string kind = reader.Word();
      size_t index = 0;
      while (index < 7 && kind != KindNames[index])
        ++index;
      if (index == 7)
        reader.Fail("has an unknown kind " + kind);
      entity.kind = static_cast<FlatEntity::Kind>(index);
      const size_t count = static_cast<size_t>(reader.Integer(0, static_cast<long long>(MaxFlatPoints - points)));
      points += count;
      entity.points.reserve(std::min<size_t>(count, 1 << 16) * 2);
      const bool rings = entity.kind == FlatEntity::Kind::Polygon || entity.kind == FlatEntity::Kind::Nonzero;
      for (size_t i = 0; i < count * 2; ++i)
        entity.points.push_back(reader.Real(rings));
      drawing.entities.push_back(std::move(entity));
    }
    else
      reader.Fail("starts with an unknown word " + what);
    reader.End();
  }
  if (!paletteSeen)
    throw EntityFileError("the entity file has no palette");
  return drawing;
}

}  // namespace zulan
