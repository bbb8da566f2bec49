// TEXT, MTEXT and ATTRIB as lines of text in object coordinates. A block's
// labels are laid out once and their strings stored once, however often
// the block is placed.
#include <dime/entities/Text.h>
#include <dime/records/Record.h>

#include <cmath>

#include "dxfbuild.h"
#include "textmetrics.h"

namespace zulan
{

// A line of TEXT or an ATTRIB as the file gives it, in object coordinates.
struct LabelMaker::TextLine
{
  Point at{0, 0};      // 10/20: first alignment point
  Point second{0, 0};  // 11/21
  bool hasSecond = false;
  double height = 0;       // 40: capital height
  double widthFactor = 1;  // 41
  double degrees = 0;      // 50
  int h = 0;               // 72
  int v = 0;               // 73 (74 for ATTRIB)
  int mirror = 0;          // 71: 2 backward, 4 upside down
  std::string raw;         // 1, as in the file
};

// A text line from UTF-8: anchor, em size and direction in object
// coordinates; alongShare (of the advance) and upEms move the baseline
// origin off the anchor.
void LabelMaker::MakeLabel(Point anchor, double emSize, double widthFactor, double radians, const std::string &text,
                           double advance, double alongShare, double upEms, int aci, std::vector<LocalLabel> *out)
{
  if (text.empty() || !(emSize > 0) || !std::isfinite(emSize) || !std::isfinite(widthFactor))
    return;
  const Point dir{std::cos(radians), std::sin(radians)};
  const Point up{-dir.y, dir.x};
  const double along = -alongShare * advance * emSize * widthFactor;
  const Point origin{anchor.x + dir.x * along + up.x * upEms * emSize,
                     anchor.y + dir.y * along + up.y * upEms * emSize};
  if (!std::isfinite(origin.x) || !std::isfinite(origin.y))
    return;
  out->push_back({origin,
                  {dir.x * emSize * widthFactor, dir.y * emSize * widthFactor},
                  {up.x * emSize, up.y * emSize},
                  advance,
                  uint32_t(texts.size()),
                  aci});
  texts.push_back(text);
}

namespace
{

// Mirrors the labels from `first` on about their anchor: backward text
// (71 bit 2) across the text's up direction, upside-down text (bit 4)
// across its baseline.
void MirrorLabels(std::vector<LocalLabel> *out, size_t first, Point anchor, int mirror)
{
  for (size_t i = first; i < out->size(); ++i)
  {
    LocalLabel &label = (*out)[i];
    for (const int bit : {2, 4})
    {
      if (!(mirror & bit))
        continue;
      Point &axis = bit == 2 ? label.along : label.up;
      const double length = std::hypot(axis.x, axis.y);
      if (!(length > 0))
        continue;
      const Point unit{axis.x / length, axis.y / length};
      const Point w{label.origin.x - anchor.x, label.origin.y - anchor.y};
      const double across = w.x * unit.x + w.y * unit.y;
      label.origin = {label.origin.x - 2 * across * unit.x, label.origin.y - 2 * across * unit.y};
      axis = {-axis.x, -axis.y};
    }
  }
}

}  // namespace

// Places a line as the format's justification says: 72 = 0, 1, 2 left,
// centre, right and 4 middle; 73 = 0-3 baseline, bottom, middle, top, at
// the second point when either is not 0. 72 = 3 (aligned) and 5 (fit)
// fill the line from the first point to the second, aligned scaling the
// height with the width, fit stretching the width alone.
void LabelMaker::LineLabel(const TextLine &t, std::vector<LocalLabel> *out)
{
  const std::string text = decoder.ToUtf8(t.raw);
  if (text.empty())
    return;
  const double advance = TextAdvanceEms(text);
  double em = t.height / CapHeightEms;
  double widthFactor = t.widthFactor > 0 && std::isfinite(t.widthFactor) ? t.widthFactor : 1;
  const double dx = t.second.x - t.at.x, dy = t.second.y - t.at.y;
  const double span = std::hypot(dx, dy);
  if ((t.h == 3 || t.h == 5) && t.hasSecond && span > 0 && advance > 0)
  {
    if (t.h == 3)
      em = span / (advance * widthFactor);
    else
      widthFactor = span / (advance * em);
    const size_t first = out->size();
    MakeLabel(t.at, em, widthFactor, std::atan2(dy, dx), text, advance, 0, 0, MTextEntityColour, out);
    MirrorLabels(out, first, t.at, t.mirror);
    return;
  }
  const bool justified = (t.h != 0 || t.v != 0) && t.h != 3 && t.h != 5;
  const Point anchor = justified && t.hasSecond ? t.second : t.at;
  const double along = (t.h == 1 || t.h == 4) ? 0.5 : t.h == 2 ? 1 : 0;
  double upEms = 0;
  if (t.v == 1)
    upEms = LabelDescentEms;
  if (t.v == 2 || t.h == 4)
    upEms = -CapHeightEms / 2;
  if (t.v == 3)
    upEms = -CapHeightEms;
  const size_t first = out->size();
  MakeLabel(anchor, em, widthFactor, t.degrees * Degrees, text, advance, along, upEms, MTextEntityColour, out);
  MirrorLabels(out, first, anchor, t.mirror);
}

const std::vector<LocalLabel> &LabelMaker::Text(dimeText *text, bool withinBlock)
{
  return labels.Get(text, withinBlock, [&](bool) {
    std::vector<LocalLabel> out;
    if (!text->getTextString())
      return out;
    TextLine t;
    dimeVec3f p;
    text->getOrigin(p);
    t.at = {p.x, p.y};
    t.hasSecond = text->getSecond(p);
    if (t.hasSecond)
      t.second = {p.x, p.y};
    t.height = text->getHeight();
    dimeParam width;
    if (text->getRecord(41, width))
      t.widthFactor = width.double_data;
    t.degrees = text->getRotation();
    // libdime keeps 72 and 73 as 16 bits in 32-bit members whose upper half
    // it never sets, so getHJust and getVJust are not to be trusted.
    dimeParam justification;
    t.h = text->getRecord(72, justification) ? justification.int16_data : 0;
    t.v = text->getRecord(73, justification) ? justification.int16_data : 0;
    t.mirror = text->getRecord(71, justification) ? justification.int16_data : 0;
    t.raw = text->getTextString();
    LineLabel(t, &out);
    return out;
  });
}

// An attribute's line is drawn like TEXT.
const std::vector<LocalLabel> &LabelMaker::Attribute(const zulan::Attribute &attribute, bool withinBlock)
{
  return labels.Get(&attribute, withinBlock, [&](bool) {
    std::vector<LocalLabel> out;
    TextLine t;
    t.at = {attribute.x, attribute.y};
    t.second = {attribute.secondX, attribute.secondY};
    t.hasSecond = attribute.hasSecond;
    t.height = attribute.height;
    t.widthFactor = attribute.widthFactor;
    t.degrees = attribute.rotation;
    t.h = attribute.hJust;
    t.v = attribute.vJust;
    t.raw = attribute.value;
    LineLabel(t, &out);
    return out;
  });
}

const std::vector<LocalLabel> &LabelMaker::AttDefTag(dimeEntity *entity)
{
  return labels.Get(entity, false, [&](bool) {
    TextLine t;
    for (const RawRecord &r : RawRecords(entity))
    {
      if (r.code == 101)
        break;  // an embedded object's groups follow
      switch (r.code)
      {
      case 2:
        t.raw = r.text;
        break;
      case 10:
        t.at.x = r.number;
        break;
      case 20:
        t.at.y = r.number;
        break;
      case 11:
        t.second.x = r.number;
        t.hasSecond = true;
        break;
      case 21:
        t.second.y = r.number;
        break;
      case 40:
        t.height = r.number;
        break;
      case 41:
        t.widthFactor = r.number;
        break;
      case 50:
        t.degrees = r.number;
        break;
      case 71:
        t.mirror = int(r.number);
        break;
      case 72:
        t.h = int(r.number);
        break;
      case 74:
        t.v = int(r.number);
        break;
      default:
        break;
      }
    }
    std::vector<LocalLabel> out;
    LineLabel(t, &out);
    return out;
  });
}

// The text override (group 1) stands instead of the measurement, "<>" in it
// for the measurement.
std::vector<LocalLabel> LabelMaker::Note(const AnnotationNote &note)
{
  std::string text = note.measured;
  if (!note.raw.empty())
  {
    text = decoder.ToUtf8(note.raw);
    const size_t at = text.find("<>");
    if (at != std::string::npos)
      text.replace(at, 2, note.measured);
  }
  std::vector<LocalLabel> out;
  const int attachment = note.attachment >= 1 && note.attachment <= 9 ? note.attachment - 1 : 4;
  const double alongShare = (attachment % 3) / 2.0, upEms = -CapHeightEms * (2 - attachment / 3) / 2;
  MakeLabel(note.at, note.height / CapHeightEms, 1, note.radians, text, TextAdvanceEms(text), alongShare, upEms,
            MTextEntityColour, &out);
  return out;
}

}  // namespace zulan
