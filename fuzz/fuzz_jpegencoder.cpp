// Every setter of the JPEG encoder with the values a caller might pass,
// then a write of a small image: a refused setting must throw one of the
// library's errors, and an accepted one must encode.
#include "fuzzinput.h"

#include "jpegencoder.h"
#include "jpeg/jpgoutputstream.h"

#include <memory>
#include <vector>

namespace
{

// Keeps the bytes in memory; the fuzzer only wants the write to finish.
class DiscardStream : public Vantorum::JpegOutputStream
{
public:
  DiscardStream() : buffer(new uint8_t[BufferSize])
  {
    current = buffer.get();
    bufferEnd = buffer.get() + BufferSize;
  }
  void Flush() override { current = buffer.get(); }

private:
  static const size_t BufferSize = 4096;
  std::unique_ptr<uint8_t[]> buffer;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  FuzzInput input(data, size);
  const uint32_t width = 1 + input.Below(48), height = 1 + input.Below(48);
  Vantorum::BitmapImage image(width, height, input.Word());
  uint32_t *pixels = image.GetPixels();
  for (uint32_t i = 0; i < width * height; ++i)
    pixels[i] = input.Word() ^ i * 2654435761u;

  Vantorum::JpegEncoder encoder;
  try
  {
    const uint8_t settings = input.Byte();
    encoder.SetQuality(input.Byte() % 2 ? input.Word() : input.Below(101));
    encoder.SetGreyscale(settings & 1);
    encoder.SetProgressive(settings & 2);
    if (settings & 4)
      encoder.SetRestartRows(input.Byte() % 2 ? input.Word() : input.Below(8));
    if (settings & 8)
      for (uint32_t component = 1; component <= 3; ++component)
        encoder.SetSamplingFrequency(input.Byte() % 8 == 0 ? input.Word() : component, input.Below(6), input.Below(6));
    if (settings & 16)
    {
      const uint32_t scans = input.Below(12);
      for (uint32_t scan = 0; scan < scans; ++scan)
        encoder.SetScan(input.Below(14), int32_t(input.Below(16)), int32_t(input.Below(70)) - 2,
                        int32_t(input.Below(16)) - 2);
    }
    if (settings & 32)
      encoder.SetComment(std::string(input.Below(300), 'c'));
    DiscardStream stream;
    encoder.WriteImage(stream, image);
  }
  catch (const Vantorum::GraphicsException &)
  {
  }
  catch (const AssertionFailure &)
  {
  }
  return 0;
}
