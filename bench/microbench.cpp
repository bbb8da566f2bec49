// Google Benchmark figures for the encoder's hot pieces, each reported per
// its natural item: pixel, block, data unit or bit.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "benchimages.h"
#include "jpegencoder.h"
#include "jpgencodercomponent.h"
#include "jpghuffmantable.h"
#include "jpgquantizationtable.h"
#include "jpeg/jpgoutputstream.h"
#include "jpgtransform.h"
#include "simd.h"

#include <string>

namespace
{

using Vantorum::JpegEncoderComponent;

// A bit sink that throws its bytes away, so only the packing is timed.
class DiscardingStream : public Vantorum::JpegOutputStream
{
public:
  DiscardingStream() : buffer(new uint8_t[Size])
  {
    current = buffer.get();
    bufferEnd = buffer.get() + Size;
  }
  void Flush() override { current = buffer.get(); }

private:
  static const size_t Size = 0x40000;
  std::unique_ptr<uint8_t[]> buffer;
};

const Vantorum::BitmapImage &Photo()
{
  static const Vantorum::BitmapImage image = Bench::PhotoLike(800, 600);
  return image;
}

void ColourConversion(benchmark::State &state)
{
  Vantorum::JpegEncoder encoder;
  JpegEncoderComponent y, cb, cr;
  Vantorum::UseInstructionSet(static_cast<Vantorum::InstructionSet>(state.range(0)));
  for (auto _ : state)
  {
    JpegEncoderComponent::ConvertRgb(encoder, Photo(), 1, 1, y, cb, cr);
    benchmark::DoNotOptimize(y.GetSamples());
  }
  state.SetItemsProcessed(state.iterations() * Photo().GetWidth() * Photo().GetHeight());
  state.SetLabel("items = pixels");
}
BENCHMARK(ColourConversion)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void ForwardDct(benchmark::State &state)
{
  Vantorum::QuantizationTable table;
  table.SetValues(Vantorum::JpegLuminanceTables[Vantorum::QualityToLevel(75, Vantorum::JpegLuminanceLevels)]);
  table.PrepareScaleFactors();
  // Real blocks, too many to memorise: the signs of the coefficients are as
  // unpredictable as in an encode.
  const uint32_t count = 4096;
  std::vector<uint8_t> blocks(count * 64);
  const Vantorum::BitmapImage &image = Photo();
  for (uint32_t b = 0; b < count; ++b)
  {
    const uint32_t x0 = (b % 100) * 8, y0 = (b / 100) * 8;
    for (uint32_t i = 0; i < 64; ++i)
      blocks[b * 64 + i] = static_cast<uint8_t>(*image.PixelAddress((y0 + i / 8) * image.GetWidth() + x0 + i % 8) >> 8);
  }
  Vantorum::UseInstructionSet(static_cast<Vantorum::InstructionSet>(state.range(0)));
  const Vantorum::BlockTransform transform(table);
  int16_t output[64];
  for (auto _ : state)
    for (uint32_t b = 0; b < count; ++b)
    {
      transform.ToZigZag(&blocks[b * 64], 8, output);
      benchmark::DoNotOptimize(output);
    }
  state.SetItemsProcessed(state.iterations() * count);
  state.SetLabel(std::string("items = 8x8 blocks, ") + Vantorum::InstructionSetName(Vantorum::CurrentInstructionSet()));
  Vantorum::UseInstructionSet(Vantorum::BestInstructionSet());
}
// 0: portable, then AVX2 where the processor has it.
BENCHMARK(ForwardDct)
  ->Unit(benchmark::kMicrosecond)
  ->DenseRange(0, static_cast<int>(Vantorum::AvailableInstructionSets().size()) - 1);

// Luminance of the photo, transformed once; the coders then re-read it.
struct CodedPlane
{
  Vantorum::JpegEncoder encoder;
  JpegEncoderComponent y, cb, cr;
  Vantorum::QuantizationTable table;
  Vantorum::JpegHuffmanTable dc, ac;

  CodedPlane()
  {
    table.SetValues(Vantorum::JpegLuminanceTables[Vantorum::QualityToLevel(75, Vantorum::JpegLuminanceLevels)]);
    table.PrepareScaleFactors();
    y.SetQuantizationTable(table);
    y.SetHuffmanTables(dc, ac);
    JpegEncoderComponent::ConvertRgb(encoder, Photo(), 1, 1, y, cb, cr);
    y.SampleAndTransform(encoder, 1, 1);
  }

  uint64_t Units() const { return static_cast<uint64_t>(y.GetDataUnitRows()) * y.GetDataUnitColumns(); }

  // The writer's two passes: counts straight into the tables, codes
  // through a 64-bit bit writer.
  void Count()
  {
    y.ResetDcPrediction();
    for (uint32_t r = 0; r < y.GetDataUnitRows(); ++r)
      for (uint32_t c = 0; c < y.GetDataUnitColumns(); ++c)
        y.CountSequential(r, c);
  }
  void Write(Vantorum::JpegBitWriter &writer)
  {
    y.ResetDcPrediction();
    for (uint32_t r = 0; r < y.GetDataUnitRows(); ++r)
      for (uint32_t c = 0; c < y.GetDataUnitColumns(); ++c)
        y.WriteSequential(r, c, writer);
  }
};

void HuffmanCounting(benchmark::State &state)
{
  CodedPlane plane;
  for (auto _ : state)
  {
    plane.dc.Reset();
    plane.ac.Reset();
    plane.Count();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * plane.Units()));
  state.SetLabel("items = data units");
}
BENCHMARK(HuffmanCounting)->Unit(benchmark::kMicrosecond);

void HuffmanWriting(benchmark::State &state)
{
  CodedPlane plane;
  plane.Count();
  plane.dc.Build();
  plane.ac.Build();
  DiscardingStream stream;
  stream.EnterBitMode(8);
  Vantorum::JpegBitWriter writer(stream);
  for (auto _ : state)
    plane.Write(writer);
  writer.Sync();
  stream.ExitBitMode();
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * plane.Units()));
  state.SetLabel("items = data units");
}
BENCHMARK(HuffmanWriting)->Unit(benchmark::kMicrosecond);

void PutBits(benchmark::State &state)
{
  DiscardingStream stream;
  stream.EnterBitMode(8);
  uint64_t bits = 0;
  for (auto _ : state)
  {
    uint32_t value = 0x9E3779B9u;
    for (uint32_t i = 0; i < 4096; ++i)
    {
      const uint32_t count = 1 + (i * 7) % 16;  // lengths 1..16, mixed
      stream.PutBits(static_cast<int32_t>(value), count);
      value = value * 1664525u + 1013904223u;
      bits += count;
    }
  }
  stream.ExitBitMode();
  state.SetItemsProcessed(static_cast<int64_t>(bits));
  state.SetLabel("items = bits");
}
BENCHMARK(PutBits);

}  // namespace

BENCHMARK_MAIN();
