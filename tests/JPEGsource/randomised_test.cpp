// Old against new over a wide randomised set: sizes from 1 x 1 to
// 4000 x 3000, greyscale and colour, every sampling the format allows,
// restarts, separate scans and progressive plans with successive
// approximation, small stream buffers and cancels. Each case's digest
// covers the output bytes, where the stream was flushed, every progress
// report and the outcome; the table was printed by the encoder before its
// speed work, so any change to what a caller can observe fails here. Every
// case runs on each instruction-set path the machine has, with one to three
// threads.
// To print fresh digests (only after a deliberate format change):
//   RASTELLO_PRINT_RANDOMISED=1 jpeg_randomised_tests
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "jpegencoder.h"
#include "memorystream.h"
#include "paralleltasks.h"
#include "sanitizers.h"
#include "simd.h"

namespace
{

using Vantorum::BitmapImage;
using Vantorum::JpegEncoder;

// splitmix64: fixed sequence on every platform.
class Random
{
public:
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t Next()
  {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [low, high].
  uint32_t Between(uint32_t low, uint32_t high)
  {
    return low + static_cast<uint32_t>(Next() % (static_cast<uint64_t>(high) - low + 1));
  }
  bool Chance(uint32_t percent) { return Between(1, 100) <= percent; }

private:
  uint64_t state;
};

class Digest
{
public:
  void Add(const void *data, size_t count)
  {
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    for (size_t i = 0; i < count; ++i)
      value = (value ^ bytes[i]) * 0x100000001B3ull;
  }
  void Add(uint64_t number) { Add(&number, sizeof number); }
  void Add(const std::string &text) { Add(text.data(), text.size()); }
  uint64_t Value() const { return value; }

private:
  uint64_t value = 0xCBF29CE484222325ull;
};

struct ProgressLog
{
  Digest digest;
  uint64_t calls = 0;
  uint64_t cancelAt = 0;  // 0: never cancel
};

void LogProgress(Vantorum::ImageEncoder &, void *data, uint32_t pass, uint32_t passCount, uint32_t percent,
                 bool &cancel)
{
  ProgressLog &log = *static_cast<ProgressLog *>(data);
  log.digest.Add((static_cast<uint64_t>(pass) << 40) | (static_cast<uint64_t>(passCount) << 20) | percent);
  cancel = ++log.calls == log.cancelAt;
}

uint32_t Rgb(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha = 0)
{
  return blue | green << 8 | red << 16 | alpha << 24;
}

// Pictures of the kinds users export: noise, photographs, line drawings,
// flat fields and extremes.
BitmapImage MakeImage(Random &random, uint32_t width, uint32_t height)
{
  BitmapImage image(width, height, 0);
  uint32_t *pixels = image.GetPixels();
  const size_t count = static_cast<size_t>(width) * height;
  const uint32_t kind = random.Between(0, 5);
  switch (kind)
  {
  case 0:  // noise, alpha too
    for (size_t i = 0; i < count; ++i)
      pixels[i] = static_cast<uint32_t>(random.Next());
    break;
  case 1:  // gradient with grain
  {
    const uint32_t grain = random.Between(0, 24);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
      {
        const uint32_t noise = grain == 0 ? 0 : static_cast<uint32_t>(random.Next() % grain);
        pixels[static_cast<size_t>(y) * width + x] =
          Rgb((x * 255 / width + noise) & 255, (y * 255 / height + noise) & 255, ((x + y) * 97 / 3 + noise) & 255);
      }
    break;
  }
  case 2:  // paper with lines and boxes
  {
    for (size_t i = 0; i < count; ++i)
      pixels[i] = Rgb(255, 255, 255);
    const uint32_t strokes = random.Between(1, 40);
    for (uint32_t s = 0; s < strokes; ++s)
    {
      const uint32_t colour = random.Chance(50) ? 0 : static_cast<uint32_t>(random.Next()) & 0xFFFFFF;
      const uint32_t x0 = random.Between(0, width - 1), y0 = random.Between(0, height - 1);
      const uint32_t x1 = random.Between(x0, width - 1), y1 = random.Between(y0, height - 1);
      const bool filled = random.Chance(20);
      for (uint32_t y = y0; y <= y1; ++y)
        for (uint32_t x = x0; x <= x1; ++x)
          if (filled || y == y0 || y == y1 || x == x0 || x == x1)
            pixels[static_cast<size_t>(y) * width + x] = colour;
    }
    break;
  }
  case 3:  // flat fields in 8 x 8 and odd tiles
  {
    const uint32_t tile = random.Between(1, 24);
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
      {
        const uint32_t seed = (x / tile) * 7919 + (y / tile) * 104729;
        pixels[static_cast<size_t>(y) * width + x] = (seed * 2654435761u) >> 8;
      }
    break;
  }
  case 4:  // a single colour, often an extreme
  {
    const uint32_t choice = random.Between(0, 3);
    const uint32_t colour = choice == 0   ? 0
                            : choice == 1 ? 0xFFFFFF
                            : choice == 2 ? Rgb(128, 128, 128)
                                          : static_cast<uint32_t>(random.Next());
    for (size_t i = 0; i < count; ++i)
      pixels[i] = colour;
    break;
  }
  default:  // alternating extremes: the largest coefficients
    for (uint32_t y = 0; y < height; ++y)
      for (uint32_t x = 0; x < width; ++x)
        pixels[static_cast<size_t>(y) * width + x] = ((x ^ y) & 1) != 0 ? 0xFFFFFF : 0;
    break;
  }
  return image;
}

// Frequencies the format allows together, mostly; now and then any values,
// so that the checks run too.
void ChooseSampling(Random &random, JpegEncoder &encoder)
{
  if (random.Chance(40))
    return;  // 4:4:4
  if (random.Chance(10))
  {
    for (uint32_t id = 1; id <= 3; ++id)
    {
      // Drawn in this order (vertical first), as the table was printed.
      const uint32_t vertical = random.Between(1, 4);
      const uint32_t horizontal = random.Between(1, 4);
      encoder.SetSamplingFrequency(id, horizontal, vertical);
    }
    return;
  }
  static const uint32_t luma[][2] = {{1, 1}, {2, 1}, {1, 2}, {2, 2}, {4, 1}, {4, 2}, {2, 4}, {3, 1}, {1, 3}, {3, 3}};
  const uint32_t *y = luma[random.Between(0, 9)];
  encoder.SetSamplingFrequency(1, y[0], y[1]);
  for (uint32_t id = 2; id <= 3; ++id)
  {
    const bool fullH = y[0] == 2 && random.Chance(30), fullV = y[1] == 2 && random.Chance(30);
    encoder.SetSamplingFrequency(id, fullH ? 2 : 1, fullV ? 2 : 1);
  }
}

// A plan that covers each component: DC scans first (interleaved or not),
// then each component's AC range in one to three bands, shuffled, each with
// its own approximation depth.
void ChooseProgressivePlan(Random &random, JpegEncoder &encoder, bool greyscale)
{
  struct Entry
  {
    int32_t mask, end, bits;
  };
  std::vector<Entry> dc, ac;
  const int32_t masks[3] = {JpegEncoder::MaskY, JpegEncoder::MaskCb, JpegEncoder::MaskCr};
  const int32_t dcBits = static_cast<int32_t>(random.Between(0, 3));
  if (greyscale || random.Chance(60))
    dc.push_back({greyscale ? JpegEncoder::MaskY : JpegEncoder::MaskAll, 0, dcBits});
  else
    for (int32_t mask : masks)
      dc.push_back({mask, 0, dcBits});
  for (int c = 0; c < (greyscale ? 1 : 3); ++c)
  {
    const uint32_t bands = random.Between(1, 3);
    int32_t start = 1;
    for (uint32_t b = 0; b < bands; ++b)
    {
      const int32_t end = b + 1 == bands ? 63 : static_cast<int32_t>(random.Between(start, 62 - (bands - b - 2)));
      ac.push_back({masks[c], end, static_cast<int32_t>(random.Chance(50) ? random.Between(1, 4) : 0)});
      start = end + 1;
      if (start > 63)
        break;
    }
  }
  // Shuffle the AC scans while each component's bands keep their order.
  std::vector<Entry> plan = dc;
  std::vector<size_t> next(3, 0);
  std::vector<std::vector<Entry>> byComponent(3);
  for (const Entry &entry : ac)
    byComponent[entry.mask == JpegEncoder::MaskY ? 0 : entry.mask == JpegEncoder::MaskCb ? 1 : 2].push_back(entry);
  for (size_t left = ac.size(); left > 0; --left)
  {
    uint32_t c;
    do
      c = random.Between(0, 2);
    while (next[c] == byComponent[c].size());
    plan.push_back(byComponent[c][next[c]++]);
  }
  for (uint32_t i = 0; i < plan.size(); ++i)
    encoder.SetScan(i, plan[i].mask, plan[i].end, plan[i].bits);
}

void ChooseSequentialScans(Random &random, JpegEncoder &encoder)
{
  static const int32_t splits[][3] = {{14, 0, 0}, {2, 12, 0}, {2, 4, 8}, {6, 8, 0}, {10, 4, 0}, {8, 2, 4}, {12, 2, 0}};
  const int32_t *split = splits[random.Between(0, 6)];
  for (uint32_t i = 0; i < 3; ++i)
    encoder.SetScan(i, split[i], 0, 0);
}

struct Case
{
  uint32_t width, height;
  std::string description;
};

// Case n of the table: its picture, options, stream and outcome, digested.
uint64_t RunCase(uint32_t index, uint32_t threads, std::string &description)
{
  Random random(0x5EED0000ull + index);
  uint32_t width, height;
  if (index == 0)
    width = height = 1;
  else if (index == 1)
    width = 4000, height = 3000;
  else if (index == 2)
    width = 3999, height = 2999;
  else if (random.Chance(85))
    width = random.Between(1, 140), height = random.Between(1, 140);
  else
    width = random.Between(100, 900), height = random.Between(100, 700);
  const BitmapImage image = MakeImage(random, width, height);

  JpegEncoder encoder;
  encoder.SetQuality(random.Chance(20) ? (random.Chance(50) ? 1 : 100) : random.Between(1, 100));
  const bool greyscale = index > 2 && random.Chance(20);
  encoder.SetGreyscale(greyscale);
  const bool progressive = index == 2 || (index != 1 && random.Chance(50));
  encoder.SetProgressive(progressive);
  if (index != 1)
    ChooseSampling(random, encoder);
  if (random.Chance(35))
    encoder.SetRestartRows(random.Between(1, 3));
  if (progressive && (index == 2 || random.Chance(70)))
    ChooseProgressivePlan(random, encoder, greyscale);
  else if (!progressive && random.Chance(30))
    ChooseSequentialScans(random, encoder);
  if (random.Chance(10))
    encoder.SetComment(std::string(random.Between(0, 300), 'c'));

  encoder.SetThreadCount(threads);

  ProgressLog log;
  if (index > 2 && random.Chance(10))
    log.cancelAt = random.Between(1, 60);
  encoder.SetProgressCallback(LogProgress, &log);
  testing_support::MemoryStream stream(random.Chance(50) ? random.Between(16, 600) : 0x40000);

  std::string outcome = "written";
  try
  {
    encoder.WriteImage(stream, image);
  }
  catch (const Vantorum::GraphicsAbort &)
  {
    outcome = "cancelled";
  }
  catch (const std::exception &error)
  {
    outcome = error.what();
  }
  description = std::to_string(width) + "x" + std::to_string(height) + (greyscale ? " grey" : " colour")
                + (progressive ? " progressive" : " baseline") + ": " + outcome;

  Digest digest;
  const std::vector<uint8_t> bytes = stream.Bytes();
  digest.Add(bytes.data(), bytes.size());
  for (uint64_t size : stream.flushes)
    digest.Add(size);
  digest.Add(log.digest.Value());
  digest.Add(outcome);
  return digest.Value();
}

const uint64_t Expected[] = {
#include "randomised_digests.inc"
};
const uint32_t CaseCount = 400;

// Printing the table runs the cases once, on one thread.
TEST(JpegRandomised, PrintDigests)
{
  if (std::getenv("RASTELLO_PRINT_RANDOMISED") == nullptr)
    GTEST_SKIP() << "set RASTELLO_PRINT_RANDOMISED=1 to print the table";
  for (uint32_t i = 0; i < CaseCount; ++i)
  {
    std::string description;
    const uint64_t value = RunCase(i, 1, description);
    std::printf("  0x%016" PRIx64 "ull,  // %u %s\n", value, i, description.c_str());
  }
}

// Under the sanitizers, ten times slower, the cases at one thread take the
// instruction sets in turn, so that every case and every set runs there,
// and more threads take the best set: the bytes of each set are proven by
// the plain build, which runs the whole cross product, and the split into
// shares does not depend on the set.
std::vector<Vantorum::InstructionSet> InstructionSetsFor(uint32_t threads)
{
#if defined(RASTELLO_SANITIZED)
  if (threads > 1)
    return {Vantorum::BestInstructionSet()};
#else
  (void)threads;
#endif
  return Vantorum::AvailableInstructionSets();
}

bool RunsCase(uint32_t index, size_t set, size_t sets)
{
#if defined(RASTELLO_SANITIZED)
  return index % sets == set;
#else
  (void)index, (void)set, (void)sets;
  return true;
#endif
}

class JpegRandomisedOnThreads : public testing::TestWithParam<uint32_t>
{
};

TEST_P(JpegRandomisedOnThreads, EveryCaseMatchesTheEncoderBeforeTheSpeedWork)
{
  ASSERT_EQ(sizeof Expected / sizeof Expected[0], CaseCount);
  const uint32_t threads = GetParam();
  // Shares of a few data units, so that small pictures are split too.
  Vantorum::SetMinimumShareUnits(8);
  const std::vector<Vantorum::InstructionSet> sets = InstructionSetsFor(threads);
  for (size_t s = 0; s < sets.size(); ++s)
  {
    const Vantorum::InstructionSet set = sets[s];
    Vantorum::UseInstructionSet(set);
    for (uint32_t i = 0; i < CaseCount; ++i)
    {
      if (!RunsCase(i, s, sets.size()))
        continue;
      std::string description;
      EXPECT_EQ(RunCase(i, threads, description), Expected[i])
        << "case " << i << " (" << description << ") on " << Vantorum::InstructionSetName(set) << " with " << threads
        << " threads";
    }
  }
  Vantorum::UseInstructionSet(Vantorum::BestInstructionSet());
  Vantorum::SetMinimumShareUnits(16384);
}

// Three threads split shares at other places than two: the plain build
// proves their bytes; under the sanitizers two threads show a race or an
// overrun as well.
#if defined(RASTELLO_SANITIZED)
INSTANTIATE_TEST_SUITE_P(Threads, JpegRandomisedOnThreads, testing::Values(1u, 2u));
#else
INSTANTIATE_TEST_SUITE_P(Threads, JpegRandomisedOnThreads, testing::Values(1u, 2u, 3u));
#endif

// Shares of a scan inherit end-of-band runs longer than one EOB14 symbol
// carries (32767 bands), from shares that have no coefficient at all, and
// runs that end just before or just after a share starts.
TEST(JpegThreads, LongEndOfBandRunsCrossShares)
{
  const uint32_t side = 2048;  // 65536 data units per component
  std::vector<BitmapImage> images;
  images.emplace_back(side, side, Rgb(200, 200, 200));
  // Under the sanitizers, which look for races and overruns rather than
  // bytes, one run that crosses a share is enough; the plain build checks
  // every position.
#if defined(RASTELLO_SANITIZED)
  const std::vector<uint32_t> rows = {1024u};
  const uint32_t mostThreads = 2;
#else
  const std::vector<uint32_t> rows = {0u, 1016u, 1024u, 1032u, 2040u};
  const uint32_t mostThreads = 4;
#endif
  for (const uint32_t row : rows)
  {
    BitmapImage image(side, side, Rgb(200, 200, 200));
    for (uint32_t x = 0; x < 5; ++x)
      image.GetPixels()[static_cast<size_t>(row + 3) * side + 700 + x] = Rgb(10, 250, 40);
    images.push_back(image);
  }
  for (const BitmapImage &image : images)
    for (const bool approximation : {false, true})
    {
      std::vector<uint8_t> expected;
      for (uint32_t threads = 1; threads <= mostThreads; ++threads)
      {
        JpegEncoder encoder;
        encoder.SetProgressive(true);
        if (approximation)
        {
          encoder.SetScan(0, JpegEncoder::MaskAll, 0, 1);
          for (int32_t c = 0; c < 3; ++c)
          {
            encoder.SetScan(1 + 2 * c, 2 << c, 9, 2);
            encoder.SetScan(2 + 2 * c, 2 << c, 63, 1);
          }
        }
        encoder.SetThreadCount(threads);
        testing_support::MemoryStream stream(0x40000);
        encoder.WriteImage(stream, image);
        if (threads == 1)
          expected = stream.Bytes();
        else
          EXPECT_EQ(stream.Bytes(), expected) << threads << " threads";
      }
    }
}

}  // namespace
