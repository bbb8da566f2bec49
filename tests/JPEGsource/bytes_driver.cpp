// Prints a digest of each of a fixed set of JPEG and BMP writes, for the
// comparison of a 32-bit x86 build (the module's home platform: SSE2, no
// x87) with the native one. Every write also runs on each instruction set
// the processor has and on one and two threads, and must give the same
// bytes there; a difference is printed as a failure.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bmpencoder.h"
#include "jpeg/jpgoutputstream.h"
#include "jpegencoder.h"
#include "paralleltasks.h"
#include "simd.h"

namespace
{

using Vantorum::BitmapImage;
using Vantorum::JpegEncoder;

class MemoryStream : public Vantorum::JpegOutputStream
{
public:
  MemoryStream() : buffer(4096)
  {
    current = buffer.data();
    bufferEnd = buffer.data() + buffer.size();
  }
  void Flush() override
  {
    bytes.insert(bytes.end(), buffer.data(), current);
    current = buffer.data();
  }
  std::vector<uint8_t> bytes;

private:
  std::vector<uint8_t> buffer;
};

uint64_t Digest(const std::vector<uint8_t> &bytes)
{
  uint64_t value = 0xCBF29CE484222325ull;
  for (uint8_t byte : bytes)
    value = (value ^ byte) * 0x100000001B3ull;
  return value;
}

BitmapImage Picture(int kind, uint32_t width, uint32_t height)
{
  BitmapImage image(width, height, 0xFFFFFF);
  uint32_t seed = 12345;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
    {
      seed = seed * 1664525u + 1013904223u;
      uint32_t &pixel = image.GetPixels()[static_cast<size_t>(y) * width + x];
      if (kind == 0)
        pixel = seed;
      else if (kind == 1)
        pixel = (x * 255 / width) | ((y * 255 / height) << 8) | (((x + y) * 3 + (seed >> 29)) & 255) << 16;
      else if (x % 37 == 0 || y % 23 == 0 || x == y)
        pixel = 0x102030 * (1 + (x / 37 + y / 23) % 5);
    }
  return image;
}

const std::vector<std::pair<const char *, std::function<void(JpegEncoder &)>>> Modes = {
  {"baseline", [](JpegEncoder &) {}},
  {"q100", [](JpegEncoder &e) { e.SetQuality(100); }},
  {"grey", [](JpegEncoder &e) { e.SetGreyscale(true); }},
  {"420-restarts",
   [](JpegEncoder &e) {
     e.SetSamplingFrequency(1, 2, 2);
     e.SetRestartRows(2);
   }},
  {"progressive", [](JpegEncoder &e) { e.SetProgressive(true); }},
  {"approximation",
   [](JpegEncoder &e) {
     e.SetProgressive(true);
     e.SetScan(0, JpegEncoder::MaskAll, 0, 1);
     e.SetScan(1, JpegEncoder::MaskY, 5, 2);
     e.SetScan(2, JpegEncoder::MaskCb, 63, 1);
     e.SetScan(3, JpegEncoder::MaskCr, 63, 1);
     e.SetScan(4, JpegEncoder::MaskY, 63, 1);
   }},
};

}  // namespace

int main()
{
  Vantorum::SetMinimumShareUnits(16);
  int failures = 0;
  const uint32_t sizes[][2] = {{1, 1}, {67, 45}, {301, 203}, {640, 480}};
  for (int kind = 0; kind < 3; ++kind)
    for (const auto &size : sizes)
    {
      const BitmapImage image = Picture(kind, size[0], size[1]);
      std::vector<std::pair<std::string, std::function<std::vector<uint8_t>()>>> writes;
      for (const auto &mode : Modes)
        writes.push_back({mode.first, [&] {
                            std::vector<uint8_t> first;
                            bool same = true;
                            for (const Vantorum::InstructionSet set : Vantorum::AvailableInstructionSets())
                              for (uint32_t threads = 1; threads <= 2; ++threads)
                              {
                                Vantorum::UseInstructionSet(set);
                                JpegEncoder encoder;
                                mode.second(encoder);
                                encoder.SetThreadCount(threads);
                                MemoryStream stream;
                                encoder.WriteImage(stream, image);
                                stream.Flush();
                                if (first.empty())
                                  first = stream.bytes;
                                same = same && stream.bytes == first;
                              }
                            if (!same)
                              first.clear();
                            return first;
                          }});
      for (const int bits : {16, 24, 32})
        writes.push_back({"bmp" + std::to_string(bits), [&, bits] {
                            std::vector<uint8_t> first;
                            bool same = true;
                            for (const Vantorum::InstructionSet set : Vantorum::AvailableInstructionSets())
                            {
                              Vantorum::UseInstructionSet(set);
                              Vantorum::BmpEncoder encoder;
                              encoder.SetBitDepth(bits);
                              std::ostringstream stream;
                              encoder.WriteImage(stream, image);
                              const std::string text = stream.str();
                              const std::vector<uint8_t> bytes(text.begin(), text.end());
                              if (first.empty())
                                first = bytes;
                              same = same && bytes == first;
                            }
                            if (!same)
                              first.clear();
                            return first;
                          }});
      for (const auto &write : writes)
      {
        const std::vector<uint8_t> bytes = write.second();
        if (bytes.empty())
        {
          std::printf("FAILED: %s differs between instruction sets or thread counts\n", write.first.c_str());
          ++failures;
        }
        std::printf("picture %d %ux%u %s %016llx\n", kind, size[0], size[1], write.first.c_str(),
                    static_cast<unsigned long long>(Digest(bytes)));
      }
    }
  return failures == 0 ? 0 : 1;
}
