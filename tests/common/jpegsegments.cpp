#include "jpegsegments.h"

#include "testimages.h"

#include <gtest/gtest.h>

namespace testing_support
{

std::vector<Segment> ParseJpeg(const std::vector<uint8_t> &bytes)
{
  std::vector<Segment> segments;
  size_t at = 0;
  while (at + 1 < bytes.size())
  {
    if (bytes[at] != 0xFF)
    {
      ADD_FAILURE() << "expected a marker at " << at;
      break;
    }
    Segment segment{bytes[at + 1], at, {}, {}};
    at += 2;
    const bool standalone =
      segment.marker == 0xD8 || segment.marker == 0xD9 || (segment.marker >= 0xD0 && segment.marker <= 0xD7);
    if (!standalone)
    {
      const size_t length = static_cast<size_t>(bytes.at(at)) << 8 | bytes.at(at + 1);
      segment.payload.assign(bytes.begin() + at + 2, bytes.begin() + at + length);
      at += length;
    }
    if (segment.marker == 0xDA || (segment.marker >= 0xD0 && segment.marker <= 0xD7))
    {
      // Entropy data runs to the next 0xFF not followed by a stuffed 0x00.
      const size_t start = at;
      while (at + 1 < bytes.size() && !(bytes[at] == 0xFF && bytes[at + 1] != 0x00))
        at += bytes[at] == 0xFF ? 2 : 1;
      segment.entropy.assign(bytes.begin() + start, bytes.begin() + at);
    }
    segments.push_back(segment);
  }
  return segments;
}

std::vector<uint8_t> Markers(const std::vector<Segment> &segments)
{
  std::vector<uint8_t> markers;
  for (const Segment &segment : segments)
    markers.push_back(segment.marker);
  return markers;
}

size_t CountMarkers(const std::vector<Segment> &segments, uint8_t marker)
{
  size_t count = 0;
  for (const Segment &segment : segments)
    count += segment.marker == marker;
  return count;
}

const Segment *FindMarker(const std::vector<Segment> &segments, uint8_t marker)
{
  for (const Segment &segment : segments)
    if (segment.marker == marker)
      return &segment;
  return nullptr;
}

std::vector<uint8_t> EncodeJpeg(Vantorum::JpegEncoder &encoder, const Vantorum::BitmapImage &image)
{
  const std::string path = TempPath("encoded.jpg");
  encoder.WriteImageFile(path, image);
  return ReadFileBytes(path);
}

}  // namespace testing_support
