// rastello-bench: our encoders against libjpeg-turbo and a plain fwrite, on
// generated images or files. Encode time only: images are built or read
// before the clock starts, and JPEG output goes to memory for both sides.
// Also writes the rate-distortion data behind plot_rd.py.
#include <CLI/CLI.hpp>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "benchimages.h"
#include "bmpencoder.h"
#include "imagereader.h"
#include "jpegencoder.h"
#include "memorystream.h"
#include "simd.h"
#include "turbo.h"

// Heap accounting for our encoder: operator new is all it allocates with.
// libjpeg-turbo allocates with malloc and is not counted.
namespace
{
size_t heapNow = 0, heapPeak = 0;

void *CountedAllocate(size_t size)
{
  void *block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr)
    throw std::bad_alloc();
  heapNow += malloc_usable_size(block);
  heapPeak = std::max(heapPeak, heapNow);
  return block;
}

void CountedFree(void *block) noexcept
{
  if (block == nullptr)
    return;
  heapNow -= malloc_usable_size(block);
  std::free(block);
}

void *AlignedCountedAllocate(size_t size, std::align_val_t alignment)
{
  void *block = std::aligned_alloc(static_cast<size_t>(alignment),
                                   (size + static_cast<size_t>(alignment) - 1) & ~(static_cast<size_t>(alignment) - 1));
  if (block == nullptr)
    throw std::bad_alloc();
  heapNow += malloc_usable_size(block);
  heapPeak = std::max(heapPeak, heapNow);
  return block;
}
}  // namespace

void *operator new(size_t size)
{
  return CountedAllocate(size);
}
void *operator new[](size_t size)
{
  return CountedAllocate(size);
}
void operator delete(void *block) noexcept
{
  CountedFree(block);
}
void operator delete[](void *block) noexcept
{
  CountedFree(block);
}
void operator delete(void *block, size_t) noexcept
{
  CountedFree(block);
}
void operator delete[](void *block, size_t) noexcept
{
  CountedFree(block);
}
void *operator new(size_t size, std::align_val_t alignment)
{
  return AlignedCountedAllocate(size, alignment);
}
void *operator new[](size_t size, std::align_val_t alignment)
{
  return AlignedCountedAllocate(size, alignment);
}
void operator delete(void *block, std::align_val_t) noexcept
{
  CountedFree(block);
}
void operator delete[](void *block, std::align_val_t) noexcept
{
  CountedFree(block);
}
void operator delete(void *block, size_t, std::align_val_t) noexcept
{
  CountedFree(block);
}
void operator delete[](void *block, size_t, std::align_val_t) noexcept
{
  CountedFree(block);
}

namespace
{

using Vantorum::BitmapImage;

struct NamedImage
{
  std::string name;
  BitmapImage image;
};

double Megapixels(const BitmapImage &image)
{
  return static_cast<double>(image.GetWidth()) * image.GetHeight() / 1e6;
}

// The wall clock, or with --cpu-time the processor time of all the
// process's threads (user and system): on a machine that others load, a
// job's share of the processors is not its own doing.
bool cpuTime = false;

double Now()
{
  if (!cpuTime)
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Median seconds of `runs` calls.
double MedianSeconds(int runs, const std::function<void()> &job)
{
  std::vector<double> times;
  for (int i = 0; i < runs; ++i)
  {
    const double start = Now();
    job();
    times.push_back(Now() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// Median seconds of `runs` calls each of two jobs, taken in turns, so that
// a change in the machine's load falls on both sides alike.
void MedianSecondsAlternating(int runs, const std::function<void()> &first, double &firstSeconds,
                              const std::function<void()> &second, double &secondSeconds)
{
  std::vector<double> a, b;
  for (int i = 0; i < runs; ++i)
  {
    a.push_back(MedianSeconds(1, first));
    b.push_back(MedianSeconds(1, second));
  }
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  firstSeconds = a[a.size() / 2];
  secondSeconds = b[b.size() / 2];
}

double Psnr(const BitmapImage &source, const std::vector<uint8_t> &jpeg)
{
  uint32_t width = 0, height = 0;
  const std::vector<uint8_t> rgb = Bench::TurboDecodeRgb(jpeg, width, height);
  if (width != source.GetWidth() || height != source.GetHeight())
    return -1;
  const uint8_t *pixel = reinterpret_cast<const uint8_t *>(source.GetPixels());
  double sum = 0;
  for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i, pixel += 4)
    for (int c = 0; c < 3; ++c)
    {
      const double difference = static_cast<double>(rgb[i * 3 + c]) - pixel[2 - c];
      sum += difference * difference;
    }
  const double mse = sum / (static_cast<double>(width) * height * 3);
  return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

uint32_t ourThreads = 1;

std::vector<uint8_t> OurJpeg(const BitmapImage &image, uint32_t quality, bool progressive)
{
  Vantorum::JpegEncoder encoder;
  encoder.SetThreadCount(ourThreads);
  encoder.SetQuality(quality);
  encoder.SetProgressive(progressive);
  Bench::MemoryJpegStream stream(static_cast<size_t>(image.GetWidth()) * image.GetHeight());
  encoder.WriteImage(stream, image);
  return stream.Bytes();
}

std::vector<uint8_t> TheirJpeg(const BitmapImage &image, uint32_t quality, bool progressive)
{
  Vantorum::JpegEncoder tables;
  tables.SetQuality(quality);
  return Bench::TurboEncode(image, tables.GetQuantizationTable(0).GetValues(),
                            tables.GetQuantizationTable(1).GetValues(), progressive);
}

// Where one write's time goes, by the encoder's own passes: the time from
// the previous pass's last report to this pass's last one. Pass 1 is colour
// conversion and transform, passes 2 to 4 their reports, each later pass one
// scan (both of its Huffman passes). Best of `runs` writes.
struct PassClock
{
  std::chrono::steady_clock::time_point start;
  std::vector<double> endings;  // milliseconds at each pass's last report
};

void ClockPass(Vantorum::ImageEncoder &, void *data, uint32_t pass, uint32_t, uint32_t, bool &)
{
  PassClock &clock = *static_cast<PassClock *>(data);
  if (clock.endings.size() < pass)
    clock.endings.resize(pass, 0);
  clock.endings[pass - 1] =
    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - clock.start).count();
}

void PrintPhases(const NamedImage &item, bool progressive, uint32_t quality, int runs)
{
  std::vector<double> best;
  double bestTotal = 0;
  for (int run = 0; run < runs; ++run)
  {
    Vantorum::JpegEncoder encoder;
    encoder.SetQuality(quality);
    encoder.SetProgressive(progressive);
    encoder.SetThreadCount(ourThreads);
    PassClock clock;
    encoder.SetProgressCallback(ClockPass, &clock);
    Bench::MemoryJpegStream stream(static_cast<size_t>(item.image.GetWidth()) * item.image.GetHeight());
    clock.start = std::chrono::steady_clock::now();
    encoder.WriteImage(stream, item.image);
    const double total =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - clock.start).count();
    if (run == 0 || total < bestTotal)
    {
      bestTotal = total;
      best = clock.endings;
    }
  }
  std::printf("| %s | %s | %.1f | %.1f |", item.name.c_str(), progressive ? "progressive" : "baseline", bestTotal,
              best.empty() ? 0.0 : best[0]);
  for (size_t pass = 4; pass < best.size(); ++pass)
    std::printf(" %.1f", best[pass] - best[pass - 1]);
  std::printf(" |\n");
  std::fflush(stdout);
}

// Peak heap of one file write, less what was live before it, per pixel.
// The write goes to /dev/null with the encoder's own file stream.
double PeakBytesPerPixel(Vantorum::ImageEncoder &encoder, const BitmapImage &image)
{
  const size_t before = heapNow;
  heapPeak = heapNow;
  encoder.WriteImageFile("/dev/null", image);
  return static_cast<double>(heapPeak - before) / (static_cast<double>(image.GetWidth()) * image.GetHeight());
}

void PrintHeader()
{
  std::printf("| image | mode | ours MP/s | reference MP/s | speed ratio | ours bytes | reference bytes | size ratio "
              "| ours PSNR | reference PSNR | our peak heap B/px |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
}

void BenchJpeg(const NamedImage &item, bool progressive, uint32_t quality, int runs)
{
  const BitmapImage &image = item.image;
  std::vector<uint8_t> ours, theirs;
  double ourSeconds = 0, theirSeconds = 0;
  MedianSecondsAlternating(
    runs, [&] { ours = OurJpeg(image, quality, progressive); }, ourSeconds,
    [&] { theirs = TheirJpeg(image, quality, progressive); }, theirSeconds);
  Vantorum::JpegEncoder encoder;
  encoder.SetQuality(quality);
  encoder.SetProgressive(progressive);
  encoder.SetThreadCount(ourThreads);
  const double peak = PeakBytesPerPixel(encoder, image);
  const double mp = Megapixels(image);
  std::printf("| %s | %s q%u | %.1f | %.1f | %.2f | %zu | %zu | %.3f | %.2f | %.2f | %.1f |\n", item.name.c_str(),
              progressive ? "progressive" : "baseline", quality, mp / ourSeconds, mp / theirSeconds,
              theirSeconds / ourSeconds, ours.size(), theirs.size(),
              static_cast<double>(ours.size()) / static_cast<double>(theirs.size()), Psnr(image, ours),
              Psnr(image, theirs), peak);
  std::fflush(stdout);
}

// Our 24-bit BMP writer against one fwrite of the very bytes it wrote.
void BenchBmp(const NamedImage &item, int runs, const std::string &folder)
{
  const std::string ourPath = folder + "/rastello-bench-ours.bmp", theirPath = folder + "/rastello-bench-fwrite.bmp";
  Vantorum::BmpEncoder encoder;
  encoder.WriteImageFile(ourPath, item.image);
  std::ifstream file(ourPath, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  double ourSeconds = 0, theirSeconds = 0;
  MedianSecondsAlternating(
    runs, [&] { encoder.WriteImageFile(ourPath, item.image); }, ourSeconds,
    [&] {
      FILE *out = std::fopen(theirPath.c_str(), "wb");
      std::fwrite(bytes.data(), 1, bytes.size(), out);
      std::fclose(out);
    },
    theirSeconds);
  const double peak = PeakBytesPerPixel(encoder, item.image);
  std::remove(ourPath.c_str());
  std::remove(theirPath.c_str());
  const double mp = Megapixels(item.image);
  std::printf("| %s | BMP 24-bit vs fwrite | %.1f | %.1f | %.2f | %zu | %zu | 1.000 | - | - | %.2f |\n",
              item.name.c_str(), mp / ourSeconds, mp / theirSeconds, theirSeconds / ourSeconds, bytes.size(),
              bytes.size(), peak);
  std::fflush(stdout);
}

// bits per pixel and PSNR over qualities 5..100 for both encoders.
void WriteRateDistortion(const std::vector<NamedImage> &images, const std::string &path)
{
  std::ofstream csv(path);
  csv << "image,encoder,quality,bpp,psnr\n";
  for (const NamedImage &item : images)
    for (uint32_t quality = 5; quality <= 100; quality += 5)
    {
      const double pixels = Megapixels(item.image) * 1e6;
      const std::vector<uint8_t> ours = OurJpeg(item.image, quality, false);
      const std::vector<uint8_t> theirs = TheirJpeg(item.image, quality, false);
      csv << item.name << ",Vantorum," << quality << "," << ours.size() * 8 / pixels << "," << Psnr(item.image, ours)
          << "\n";
      csv << item.name << ",libjpeg-turbo," << quality << "," << theirs.size() * 8 / pixels << ","
          << Psnr(item.image, theirs) << "\n";
    }
  std::printf("rate-distortion data written to %s\n", path.c_str());
}

}  // namespace

int main(int argc, char **argv)
{
  CLI::App app("Our JPEG and BMP encoders side by side with libjpeg-turbo and fwrite.", "rastello-bench");
  int runs = 5;
  uint32_t quality = 75;
  bool small = false, withBmp = true;
  std::string rdPath, folder = "/tmp", only;
  std::vector<std::string> files;
  app.add_option("FILES", files, "PNG, PGM or PPM images to use instead of the generated set");
  app.add_option("--runs", runs, "Timed runs per figure; the median is shown")->check(CLI::Range(1, 1000));
  app.add_option("--quality", quality, "Quality of both encoders' tables")->check(CLI::Range(1, 100));
  app.add_flag("--small", small, "Generated images at 800 x 600 only (a quick look)");
  app.add_flag("--cpu-time", cpuTime, "Time by processor time (all threads, user and system), not the wall clock");
  app.add_option("--rd", rdPath, "Write rate-distortion CSV (CAD drawing and photo, 800 x 600) and stop");
  app.add_option("--bmp-folder", folder, "Folder for the BMP file writes");
  app.add_flag("!--no-bmp", withBmp, "Skip the BMP comparison");
  bool portable = false;
  app.add_flag("--portable", portable, "Our encoders on their portable path (no AVX2)");
  app.add_option("--threads", ourThreads, "Threads of our JPEG encoder (libjpeg-turbo has one)")
    ->check(CLI::Range(1u, Vantorum::JpegEncoder::MaxThreads));
  bool phases = false;
  app.add_flag("--phases", phases, "Where our JPEG writes spend their time, pass by pass, instead of the comparison");
  app.add_option("--only", only, "Generated images whose name starts with this (cad, photo, noise) only");
  CLI11_PARSE(app, argc, argv);

  std::vector<NamedImage> images;
  if (!rdPath.empty())
  {
    images.push_back({"cad-800x600", Bench::CadDrawing(800, 600, 1)});
    images.push_back({"photo-800x600", Bench::PhotoLike(800, 600)});
    WriteRateDistortion(images, rdPath);
    return 0;
  }
  if (!files.empty())
  {
    for (const std::string &file : files)
      images.push_back({file, Rastello::ReadImage(file)});
  }
  else
  {
    const uint32_t w = small ? 800 : 4000, h = small ? 600 : 3000;
    images.push_back({"cad-" + std::to_string(w) + "x" + std::to_string(h), Bench::CadDrawing(w, h, 1)});
    if (!small)
      images.push_back({"cad-800x600", Bench::CadDrawing(800, 600, 1)});
    images.push_back({"photo-" + std::to_string(w) + "x" + std::to_string(h), Bench::PhotoLike(w, h)});
    images.push_back({"noise-" + std::to_string(w) + "x" + std::to_string(h), Bench::Noise(w, h, 5)});
  }
  if (portable)
    Vantorum::UseInstructionSet(Vantorum::InstructionSet::Portable);
  std::printf("Our JPEG encoder on %u thread%s, %s path. ", ourThreads, ourThreads == 1 ? "" : "s",
              Vantorum::InstructionSetName(Vantorum::CurrentInstructionSet()));
  std::printf("Median of %d runs, %s; speed ratio = ours / reference speed; size ratio = ours / reference bytes.\n\n",
              runs, cpuTime ? "processor time" : "wall clock");
  if (phases)
  {
    std::printf("| image | mode | whole write ms | conversion and transform ms | each scan ms |\n");
    std::printf("|---|---|---:|---:|---|\n");
    for (const NamedImage &item : images)
      if (item.name.compare(0, only.size(), only) == 0)
        for (const bool progressive : {false, true})
          PrintPhases(item, progressive, quality, runs);
    return 0;
  }
  PrintHeader();
  for (const NamedImage &item : images)
  {
    if (item.name.compare(0, only.size(), only) != 0)
      continue;
    BenchJpeg(item, false, quality, runs);
    BenchJpeg(item, true, quality, runs);
    if (withBmp)
      BenchBmp(item, runs, folder);
  }
  return 0;
}
