// rastello-exportbench: whole-drawing exports end to end, in one process.
// The host (zulan's library) loads a DXF; the module's own capture and
// writers (linked in as object code) do what the export filters do after
// loading the settings: take the drawing's extents, draw them through the
// host into strip bitmaps, read those back with GetDIBits and write the
// file. The host's operations and the image's allocation are wrapped at
// link time (--wrap) to time drawing apart from reading back, and malloc is
// replaced (heapcount.cpp) to count heap, cairo's and libpng's included.
#include <CLI/CLI.hpp>

#include <png.h>

#include <fcntl.h>
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "bmpencoder.h"
#include "capture.h"
#include "exportoptions.h"
#include "heapcount.h"
#include "host.h"
#include "hostdrawing.h"
#include "jpegencoder.h"
#include "writers.h"

#include <wingdi.h>

namespace
{

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start)
{
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor seconds of this thread: unlike the clock, blind to other
// processes taking turns on the processors.
double ThreadSeconds()
{
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// Seconds spent inside the wrapped operations since the last reset.
struct WrappedTimes
{
  double draw = 0;          // DLScan with the module's drawing callback, DevSRect
  double readBack = 0;      // GetDIBits
  double stripBitmaps = 0;  // CreateCompatibleBitmap, DeleteObject
  double image = 0;         // BitmapImage::SetSizeForOverwrite: allocating
};
WrappedTimes wrappedTimes;

// Adds the seconds from construction to destruction to a figure.
class Timed
{
public:
  explicit Timed(double &sum) : total(sum), start(Clock::now()) {}
  ~Timed() { total += Since(start); }

private:
  double &total;
  Clock::time_point start;
};

}  // namespace

extern "C"
{

  int32_t __real_DLScan(int32_t, XPEntityCallback callback, int32_t, int32_t, int32_t);
  void __real_DevSRect(const PixelRect *rectangle);
  int __real_GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT usage);
  HBITMAP __real_CreateCompatibleBitmap(HDC hdc, int width, int height);
  BOOL __real_DeleteObject(HGDIOBJ object);
  // A member function takes its object as a first argument in the x86-64
  // calling convention, so the image's sizing wraps like a C function.
  void __real__ZN8Vantorum11BitmapImage19SetSizeForOverwriteEjj(Vantorum::BitmapImage *image, uint32_t width,
                                                                uint32_t height);

  int32_t __wrap_DLScan(int32_t a, XPEntityCallback callback, int32_t b, int32_t c, int32_t d)
  {
    // The extents scan is not drawing; it counts in the whole export only.
    if (callback != DrawEntityCallback)
      return __real_DLScan(a, callback, b, c, d);
    Timed timed(wrappedTimes.draw);
    return __real_DLScan(a, callback, b, c, d);
  }

  void __wrap_DevSRect(const PixelRect *rectangle)
  {
    Timed timed(wrappedTimes.draw);
    __real_DevSRect(rectangle);
  }

  int __wrap_GetDIBits(HDC hdc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, LPBITMAPINFO info, UINT usage)
  {
    Timed timed(wrappedTimes.readBack);
    return __real_GetDIBits(hdc, bitmap, start, lines, bits, info, usage);
  }

  HBITMAP __wrap_CreateCompatibleBitmap(HDC hdc, int width, int height)
  {
    Timed timed(wrappedTimes.stripBitmaps);
    return __real_CreateCompatibleBitmap(hdc, width, height);
  }

  BOOL __wrap_DeleteObject(HGDIOBJ object)
  {
    Timed timed(wrappedTimes.stripBitmaps);
    return __real_DeleteObject(object);
  }

  void __wrap__ZN8Vantorum11BitmapImage19SetSizeForOverwriteEjj(Vantorum::BitmapImage *image, uint32_t width,
                                                                uint32_t height)
  {
    Timed timed(wrappedTimes.image);
    __real__ZN8Vantorum11BitmapImage19SetSizeForOverwriteEjj(image, width, height);
  }

}  // extern "C"

namespace
{

using Vantorum::BitmapImage;

typedef void (*Writer)(const BitmapImage &image, const char *name);

struct Format
{
  const char *name;
  const char *extension;
  Writer writer;
  int32_t pngLevel;  // PNG only
  bool progressive;  // JPEG only
};

const Format Formats[] = {
  {"BMP 24-bit", "bmp", SaveBmp, 0, false},           {"PNG level 9", "png", SavePng, 9, false},
  {"PNG level 1", "png", SavePng, 1, false},          {"JPEG baseline q75", "jpg", SaveJpeg, 0, false},
  {"JPEG progressive q75", "jpg", SaveJpeg, 0, true},
};

const int32_t JpegQuality = 75;
const int64_t BookkeepingBytes = 64 * 1024;

struct Size
{
  int32_t width, height;
  int runs;
  int pngPairs;  // writer and libpng direct, one after the other
};

// One export's figures: seconds, and heap bytes beyond what is named.
struct Figures
{
  double draw = 0, readBack = 0, image = 0, stripBitmaps = 0, otherCapture = 0, write = 0, total = 0;
  int64_t captureBeyondImage = 0;  // capture's peak
  int64_t writeBeyondImage = 0;    // the writer's peak
  int64_t leftBeyondImage = 0;     // live once the file is written
  uint64_t fileBytes = 0;
};

std::FILE *report = stdout;
std::FILE *errors = stderr;

[[noreturn]] void Fail(const std::string &text)
{
  std::fprintf(errors, "rastello-exportbench: %s\n", text.c_str());
  std::exit(1);
}

double Median(std::vector<double> values)
{
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

uint64_t FileBytes(const std::string &path)
{
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  return file ? uint64_t(file.tellg()) : 0;
}

std::vector<char> ReadFile(const std::string &path)
{
  std::ifstream file(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

int64_t ImageBytes(const BitmapImage &image)
{
  return int64_t(malloc_usable_size(const_cast<uint32_t *>(image.GetPixels())));
}

// The strip bitmap a capture of this size draws into, as capture.cpp
// sizes it: width x (rows per strip + 2) pixels of 4 bytes.
int64_t StripBitmapBytes(int32_t width, int32_t height)
{
  const int64_t strips = int64_t(width) * height / std::max<int64_t>(captureStripPixels, 1) + 1;
  const int64_t rows = (height + strips - 1) / strips;
  return int64_t(width) * (rows + 2) * 4;
}

void SetOptions(const Format &format)
{
  FormatKeyPath();  // where the writers look up "Threads", as loading the options sets it
  exportOptions.blackAndWhite = 0;
  exportOptions.unusedArea = UnusedNormal;
  exportOptions.quality = JpegQuality;
  exportOptions.flags = format.progressive ? FlagProgressive : 0;
  exportOptions.pngLevel = format.pngLevel;
}

// One whole-drawing export as the export filter runs it once the settings
// are loaded, into image (which must be empty; it keeps the pixels).
Figures Export(const Format &format, const Size &size, const std::string &path, zulan::Host &host, BitmapImage &image)
{
  SetOptions(format);
  Figures figures;
  wrappedTimes = WrappedTimes();
  const int64_t before = Bench::HeapMark();
  const Clock::time_point start = Clock::now();
  SectionRect section = DrawingExtents();
  if (const char *problem = CheckSection(section))
    Fail(problem);
  // As the export filter does: a JPEG's encoder converts the strips already
  // drawn while the later ones are, and gives the converted rows back (the
  // image then holds black rows, which only the heap count below reads).
  std::optional<JpegFileWrite> jpeg;
  if (format.writer == SaveJpeg)
    jpeg.emplace(true);
  const Clock::time_point captureStart = Clock::now();
  if (CaptureSection(image, size.width, size.height, section, nullptr, jpeg ? &*jpeg : nullptr) == 0
      || host.ErrorBoxShown())
    Fail("the capture failed at " + std::to_string(size.width) + " x " + std::to_string(size.height));
  const double capture = Since(captureStart);
  // Calls bound past the wrappers would leave the split silently empty.
  if (wrappedTimes.readBack == 0 || wrappedTimes.image == 0 || wrappedTimes.stripBitmaps == 0)
    Fail("the host operations were not wrapped at link time; the time split would be empty");
  figures.captureBeyondImage = Bench::HeapPeak() - before - ImageBytes(image);
  figures.draw = wrappedTimes.draw;
  figures.readBack = wrappedTimes.readBack;
  figures.image = wrappedTimes.image;
  figures.stripBitmaps = wrappedTimes.stripBitmaps;
  figures.otherCapture = capture - figures.draw - figures.readBack - figures.image - figures.stripBitmaps;

  // Counted from before the capture, less the image: a JPEG encoder started
  // during the capture keeps its grids into the write and frees them there.
  Bench::HeapMark();
  const int64_t withImage = before + ImageBytes(image);
  const Clock::time_point writeStart = Clock::now();
  try
  {
    if (jpeg)
      jpeg->Save(image, path.c_str());
    else
      format.writer(image, path.c_str());
  }
  catch (const std::exception &error)
  {
    Fail(error.what());
  }
  figures.write = Since(writeStart);
  figures.total = Since(start);
  figures.writeBeyondImage = Bench::HeapPeak() - withImage;
  figures.leftBeyondImage = Bench::HeapLive() - withImage;
  figures.fileBytes = FileBytes(path);
  return figures;
}

// libpng on its own: the calls the module's PNG writer makes, without the
// temporary file, progress reports or status line. Returns false on a
// libpng error.
bool WritePngDirect(const BitmapImage &image, int level, const std::string &path)
{
  std::FILE *file = std::fopen(path.c_str(), "wb");
  if (file == nullptr)
    return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr || setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, level);
  const uint32_t width = image.GetWidth(), height = image.GetHeight();
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_set_gAMA_fixed(png, info, 45455);  // 1/2.2
  png_set_pHYs(png, info, 72, 72, PNG_RESOLUTION_UNKNOWN);
  png_write_info(png, info);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_set_bgr(png);
  for (uint32_t row = 0; row < height; ++row)
    png_write_row(png, reinterpret_cast<png_const_bytep>(image.PixelAddress(row * width)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0;
}

// Peak heap of the library's encoder writing the image, less what was live
// before: the encoder's own buffers.
int64_t EncoderOwnBytes(const Format &format, const BitmapImage &image, const std::string &path)
{
  const int64_t before = Bench::HeapMark();
  if (format.writer == SavePng)
  {
    if (!WritePngDirect(image, format.pngLevel, path))
      Fail("libpng could not write " + path);
  }
  else if (format.writer == SaveBmp)
  {
    Vantorum::BmpEncoder encoder;
    encoder.SetBitDepth(24);
    encoder.WriteImageFile(path, image);
  }
  else
  {
    Vantorum::JpegEncoder encoder;
    encoder.SetQuality(JpegQuality);
    encoder.SetProgressive(format.progressive);
    encoder.WriteImageFile(path, image);
  }
  const int64_t own = Bench::HeapPeak() - before;
  std::remove(path.c_str());
  return own;
}

// One table row: a format at a size.
struct Row
{
  const Size *size;
  const Format *format;
  std::vector<Figures> runs;
  int64_t image = 0, strip = 0, encoderOwn = 0;
  // PNG only: the module's writer and libpng on its own, median processor
  // seconds, and the median of the pairs' ratios.
  double pngWriter = 0, pngDirect = 0, pngRatio = 0;
  bool pngSameBytes = false;
};

double MedianOf(const std::vector<Figures> &runs, double Figures::*member)
{
  std::vector<double> values;
  for (const Figures &figures : runs)
    values.push_back(figures.*member);
  return Median(values);
}

int64_t LargestOf(const std::vector<Figures> &runs, int64_t Figures::*member)
{
  int64_t largest = INT64_MIN;
  for (const Figures &figures : runs)
    largest = std::max(largest, figures.*member);
  return largest;
}

double Ms(double seconds)
{
  return seconds * 1000;
}

double MiB(int64_t bytes)
{
  return double(bytes) / (1024.0 * 1024.0);
}

// Sends the host's status lines to /dev/null while exports run, keeping the
// bench's own messages on the real stderr.
void QuietHostStatus()
{
  const int saved = dup(STDERR_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  if (saved < 0 || null < 0 || dup2(null, STDERR_FILENO) < 0)
    Fail("cannot redirect the host's status lines");
  close(null);
  errors = fdopen(saved, "w");
  setvbuf(errors, nullptr, _IONBF, 0);
}

size_t EntityCount(const std::string &path)
{
  const std::string problem = zulan::OpenHostDrawing(path);
  if (!problem.empty())
    Fail(problem);
  static size_t count;
  count = 0;
  DLScan(
    0,
    [](intptr_t, const void *entity, intptr_t, intptr_t) -> int32_t {
      count += entity != nullptr;
      return 0;
    },
    0, 0, 0);
  return count;
}

std::string DefaultFolder()
{
  // tmpfs: the write time is the writer's, not the disk's (the writers
  // fsync their temporary before renaming it).
  return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
}

}  // namespace

int main(int argc, char **argv)
{
  CLI::App app("Whole-drawing exports through the host: drawing, reading back and writing timed apart, "
               "heap counted.",
               "rastello-exportbench");
  std::string drawing, folder = DefaultFolder();
  std::vector<std::string> sizeTexts;
  int runsOverride = 0;
  std::string only;
  bool showStatus = false;
  int threads = 0;
  app.add_option("DRAWING", drawing, "DXF drawing (default: the example with the most entities)");
  app.add_option("--size", sizeTexts, "WIDTHxHEIGHT, repeatable (default 800x600, 4000x3000, 10000x7500)");
  app
    .add_option("--runs", runsOverride,
                "Runs per figure for every size (default 7, 5 and 3 by size; PNG pairs 15, 9 and 5)")
    ->check(CLI::Range(1, 1000));
  app.add_option("--only", only, "Only the formats whose name contains this (BMP, PNG, level 9, JPEG, ...)");
  app.add_option("--folder", folder, "Folder the files are written to");
  app.add_flag("--status", showStatus, "Leave the host's status lines on stderr");
  app.add_option("--threads", threads, "JPEG threads, as the registry's \"Threads\" sets them (default: chosen)")
    ->check(CLI::Range(1, 255));
  CLI11_PARSE(app, argc, argv);

  std::vector<Size> sizes;
  for (const std::string &text : sizeTexts)
  {
    Size size{0, 0, 3, 3};
    char x = 0;
    if (std::sscanf(text.c_str(), "%d%c%d", &size.width, &x, &size.height) != 3 || x != 'x'
        || CheckBitmapSize(size.width, size.height) != nullptr)
      Fail("bad size " + text);
    const int64_t pixels = int64_t(size.width) * size.height;
    size.runs = pixels <= 1000000 ? 7 : pixels <= 20000000 ? 5 : 3;
    size.pngPairs = pixels <= 1000000 ? 15 : pixels <= 20000000 ? 9 : 5;
    sizes.push_back(size);
  }
  if (sizes.empty())
    sizes = {{800, 600, 7, 15}, {4000, 3000, 5, 9}, {10000, 7500, 3, 5}};
  if (runsOverride > 0)
    for (Size &size : sizes)
      size.runs = size.pngPairs = runsOverride;

  zulan::HostSettings settings;
  // A registry of the bench's own, holding the thread count if one is given.
  settings.registryPath = folder + "/rastello-exportbench-registry";
  {
    std::ofstream registry(settings.registryPath, std::ios::trunc);
    if (threads > 0)
      registry << "[HKEY_CURRENT_USER\\Software\\Quorvel\\Tamblin\\XP\\Larnby\\Rastello (Tamblin)]\n"
               << "\"Threads\"=hex:" << std::hex << std::setw(2) << std::setfill('0') << threads << ",00,00,00\n";
    if (!registry)
      Fail("cannot write the bench's registry " + settings.registryPath);
  }
  zulan::Host host(settings);
  if (!showStatus)
    QuietHostStatus();

  if (drawing.empty())
  {
    const std::string examples = RASTELLO_EXAMPLES;
    const size_t floorplan = EntityCount(examples + "/floorplan.dxf");
    const size_t bracket = EntityCount(examples + "/bracket.dxf");
    drawing = examples + (floorplan >= bracket ? "/floorplan.dxf" : "/bracket.dxf");
  }
  const size_t entities = EntityCount(drawing);
  const SectionRect extents = DrawingExtents();
  std::fprintf(report, "Drawing %s: %zu entities, extents (%g, %g)-(%g, %g). Files in %s.\n", drawing.c_str(), entities,
               extents.x1, extents.y1, extents.x2, extents.y2, folder.c_str());
  std::fprintf(report, "Strips of at most %lld pixels. Median of the runs; heap is the largest over them.\n\n",
               static_cast<long long>(captureStripPixels));

  const std::string path = folder + "/rastello-exportbench";
  // Fonts, cairo and the libraries' first-use state are loaded once, here,
  // not inside the first measured export.
  for (const Format &format : Formats)
  {
    BitmapImage image;
    Export(format, {800, 600, 1, 1}, path + "." + format.extension, host, image);
    std::remove((path + "." + format.extension).c_str());
  }

  std::vector<Row> rows;
  for (const Size &size : sizes)
  {
    // The host's first drawing at a scale fills cairo's glyph caches, which
    // it keeps: done here, or the first format at each size would count them.
    BitmapImage image;
    SectionRect section = DrawingExtents();
    CaptureSection(image, size.width, size.height, section);
    for (const Format &format : Formats)
    {
      if (std::string(format.name).find(only) == std::string::npos)
        continue;
      std::fprintf(errors, "%dx%d %s...\n", size.width, size.height, format.name);
      Row row{&size, &format, {}};
      const std::string file = path + "." + format.extension;
      for (int run = 0; run < size.runs; ++run)
      {
        image.SetSize(0, 0);
        row.runs.push_back(Export(format, size, file, host, image));
        std::remove(file.c_str());
      }
      // The last run's image, for the encoder on its own.
      row.image = ImageBytes(image);
      row.strip = StripBitmapBytes(size.width, size.height);
      row.encoderOwn = EncoderOwnBytes(format, image, path + ".direct." + format.extension);
      if (format.writer == SavePng)
      {
        // The module's writer against libpng called directly: same image,
        // level and chunks, in pairs taken in turn in either order, so that
        // both meet the same load and neither always goes first.
        const std::string direct = path + ".direct.png";
        std::vector<double> writerTimes, directTimes, ratios;
        auto timeWriter = [&] {
          const double start = ThreadSeconds();
          SavePng(image, file.c_str());
          writerTimes.push_back(ThreadSeconds() - start);
        };
        auto timeDirect = [&] {
          const double start = ThreadSeconds();
          if (!WritePngDirect(image, format.pngLevel, direct))
            Fail("libpng could not write " + direct);
          directTimes.push_back(ThreadSeconds() - start);
        };
        for (int pair = 0; pair < size.pngPairs; ++pair)
        {
          if (pair % 2 == 0)
          {
            timeWriter();
            timeDirect();
          }
          else
          {
            timeDirect();
            timeWriter();
          }
          ratios.push_back(writerTimes.back() / directTimes.back());
        }
        row.pngWriter = Median(writerTimes);
        row.pngDirect = Median(directTimes);
        row.pngRatio = Median(ratios);
        row.pngSameBytes = ReadFile(file) == ReadFile(direct);
        std::remove(file.c_str());
        std::remove(direct.c_str());
      }
      rows.push_back(row);
    }
  }

  std::fprintf(report, "Time, median ms\n\n");
  std::fprintf(report, "| size | format | file bytes | draw | read back | image allocation | strip bitmaps | other "
                       "capture | encode + write | whole export | read back / encode |\n");
  std::fprintf(report, "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  // Per format: the largest share over the sizes.
  std::vector<std::pair<std::string, double>> readBackShares;
  for (const Row &row : rows)
  {
    const double readBack = MedianOf(row.runs, &Figures::readBack), write = MedianOf(row.runs, &Figures::write);
    auto format = std::find_if(readBackShares.begin(), readBackShares.end(),
                               [&](const auto &entry) { return entry.first == row.format->name; });
    if (format == readBackShares.end())
      format = readBackShares.insert(readBackShares.end(), {row.format->name, 0.0});
    format->second = std::max(format->second, readBack / write);
    std::fprintf(report, "| %dx%d | %s | %llu | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f %% |\n",
                 row.size->width, row.size->height, row.format->name,
                 static_cast<unsigned long long>(row.runs.front().fileBytes), Ms(MedianOf(row.runs, &Figures::draw)),
                 Ms(readBack), Ms(MedianOf(row.runs, &Figures::image)), Ms(MedianOf(row.runs, &Figures::stripBitmaps)),
                 Ms(MedianOf(row.runs, &Figures::otherCapture)), Ms(write), Ms(MedianOf(row.runs, &Figures::total)),
                 100 * readBack / write);
  }

  std::fprintf(report, "\nHeap, largest over the runs\n\n");
  std::fprintf(
    report,
    "| size | format | image MiB | one strip bitmap MiB | capture peak beyond image (and the grids of an encoder started "
    "there) MiB "
    "| encoder's own MiB | writer peak beyond image and encoder KiB | beyond image, encoder and "
    "strip KiB | left after the write, beyond image, B |\n");
  std::fprintf(report, "|---|---|---:|---:|---:|---:|---:|---:|---:|\n");
  bool memoryMet = true;
  for (const Row &row : rows)
  {
    int64_t capture = LargestOf(row.runs, &Figures::captureBeyondImage);
    // A JPEG encoder that starts during the capture holds its grids there.
    if (row.format->writer == SaveJpeg && capture > row.encoderOwn)
      capture -= row.encoderOwn;
    const int64_t writer = LargestOf(row.runs, &Figures::writeBeyondImage) - row.encoderOwn;
    const int64_t overStrip = std::max(capture, writer) - row.strip;
    const int64_t left = LargestOf(row.runs, &Figures::leftBeyondImage);
    // The strip bitmap plus bookkeeping (cairo's context on it, the device
    // contexts, file names), and nothing kept: no second buffer of pixels.
    memoryMet = memoryMet && overStrip <= BookkeepingBytes && left <= 0;
    std::fprintf(report, "| %dx%d | %s | %.2f | %.2f | %.2f | %.2f | %.1f | %.1f | %lld |\n", row.size->width,
                 row.size->height, row.format->name, MiB(row.image), MiB(row.strip), MiB(capture), MiB(row.encoderOwn),
                 double(writer) / 1024, double(overStrip) / 1024, static_cast<long long>(left));
  }

  std::fprintf(report, "\nPNG: the module's writer (SavePng) against libpng called directly; median processor ms "
                       "of this thread, median ratio of the pairs\n\n");
  std::fprintf(report, "| size | level | pairs | writer | libpng direct | ratio | same bytes |\n");
  std::fprintf(report, "|---|---:|---:|---:|---:|---:|---|\n");
  double worstPngRatio = 0;
  bool pngSame = true;
  for (const Row &row : rows)
  {
    if (row.format->writer != SavePng)
      continue;
    worstPngRatio = std::max(worstPngRatio, row.pngRatio);
    pngSame = pngSame && row.pngSameBytes;
    std::fprintf(report, "| %dx%d | %d | %d | %.1f | %.1f | %.3f | %s |\n", row.size->width, row.size->height,
                 row.format->pngLevel, row.size->pngPairs, Ms(row.pngWriter), Ms(row.pngDirect), row.pngRatio,
                 row.pngSameBytes ? "yes" : "NO");
  }

  std::fprintf(report, "\nTargets:\n");
  std::fprintf(report,
               "- heap beyond the image and the encoder's own buffers at most one strip bitmap (and %lld KiB of "
               "bookkeeping), none left: %s\n",
               static_cast<long long>(BookkeepingBytes / 1024), memoryMet ? "met" : "missed");
  std::string met, missed;
  for (const auto &[name, share] : readBackShares)
  {
    char text[80];
    std::snprintf(text, sizeof text, "%s%s (%.1f %%)", (share < 0.10 ? met : missed).empty() ? "" : ", ", name.c_str(),
                  100 * share);
    (share < 0.10 ? met : missed) += text;
  }
  std::fprintf(report,
               "- reading back under 10 %% of the encode (largest share over the sizes): met for %s; "
               "missed for %s\n",
               met.empty() ? "none" : met.c_str(), missed.empty() ? "none" : missed.c_str());
  std::fprintf(report, "- PNG writer within 1.05x of libpng direct: %s (at most %.3fx)%s\n",
               worstPngRatio <= 1.05 ? "met" : "missed", worstPngRatio,
               pngSame ? "" : "; the files differ, so the comparison does not hold");
  return 0;
}
