// SaveBmp and SaveJpeg hand the image to the library's encoders; SavePng
// drives libpng row by row. All three show a percentage on the host's
// status line through FormSt.
#include "writers.h"
#include "capture.h"
#include "exportfile.h"
#include "exportoptions.h"

#include "bmpencoder.h"
#include "jpegencoder.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>
#include <thread>

namespace
{

const double PngGamma = 0.45454545454545453;  // 1/2.2
const png_uint_32 PngPixelsPerUnit = 72;

// Runs write on the export file's path, then puts the file in place. A
// failure of the libraries becomes an ExportFile::Error naming the file.
template <class Write> void WriteThrough(const char *name, Write write)
{
  ExportFile file(name);
  try
  {
    write(file.WritePath().c_str());
    file.Commit();
  }
  catch (const ExportFile::Error &)
  {
    throw;
  }
  catch (const std::bad_alloc &)
  {
    throw std::runtime_error(std::string("Error: Out of memory writing ") + name + "; set a smaller size with JPEGOPT");
  }
  catch (const std::exception &error)
  {
    const std::string message = file.ShowingTarget(error.what());
    if (message.find(name) == std::string::npos)
      throw ExportFile::CannotWrite(name, message);
    throw ExportFile::Error(message);
  }
}

// libpng's failures, kept for the message; the handler must not return.
struct PngFailure
{
  char message[200];
  int error;  // the system's reason when a write to the file failed
};

void PngError(png_structp png, png_const_charp message)
{
  auto *failure = static_cast<PngFailure *>(png_get_error_ptr(png));
  failure->error = errno;
  std::snprintf(failure->message, sizeof failure->message, "%s", message != nullptr ? message : "libpng error");
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Plain data only from here to the end of the write: libpng's errors
// return through longjmp, which must skip no destructor.
bool WritePngRows(std::FILE *file, const Vantorum::BitmapImage &image, int32_t level, PngFailure *failure)
{
  // The version the module was built with: libpng refuses any other series.
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, PngError, PngWarning);
  if (png == nullptr)
  {
    std::snprintf(failure->message, sizeof failure->message, "libpng cannot start a write");
    return false;
  }
  StatusMsg("Saving PNG file...");
  png_infop info = png_create_info_struct(png);
  if (info == nullptr)
  {
    png_destroy_write_struct(&png, nullptr);
    StatusMsg("Error saving PNG file!");
    std::snprintf(failure->message, sizeof failure->message, "out of memory");
    return false;
  }
  if (setjmp(png_jmpbuf(png)))
  {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_compression_level(png, level);
  const uint32_t width = image.GetWidth(), height = image.GetHeight();
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
               PNG_FILTER_TYPE_BASE);
  png_set_gAMA(png, info, PngGamma);
  png_set_pHYs(png, info, PngPixelsPerUnit, PngPixelsPerUnit, PNG_RESOLUTION_UNKNOWN);
  png_write_info(png, info);
  // Pixels are B, G, R, 0 in memory: drop the filler, swap to R, G, B.
  png_set_packing(png);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_set_bgr(png);
  for (uint32_t row = 0; row < height; ++row)
  {
    png_write_row(png, reinterpret_cast<png_const_bytep>(image.PixelAddress(row * width)));
    ShowPercent("Saving PNG file... !01%", int32_t(uint64_t(row) * 100 / height));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

void WritePng(const Vantorum::BitmapImage &image, const char *path, const char *name)
{
  std::FILE *file = std::fopen(path, "wb");
  if (file == nullptr)
    throw ExportFile::CannotWrite(name, std::strerror(errno));
  PngFailure failure = {};
  // libpng says only "Write Error" when the file refuses bytes; errno says why.
  errno = 0;
  const bool written = WritePngRows(file, image, exportOptions.pngLevel, &failure);
  const bool refused = std::ferror(file) != 0;
  errno = 0;
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const int flushError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written && refused && failure.error != 0)
    throw ExportFile::CannotWrite(name, std::strerror(failure.error));
  if (!written)
    throw ExportFile::Error(std::string("Error saving PNG file ") + name + ": " + failure.message);
  if (!flushed || !closed)
    throw ExportFile::CannotWrite(name, std::strerror(flushError != 0 ? flushError : errno != 0 ? errno : EIO));
}

}  // namespace

void SaveBmp(const Vantorum::BitmapImage &image, const char *name)
{
  Vantorum::BmpEncoder encoder;
  encoder.SetBitDepth(24);
  encoder.SetProgressCallback(BmpProgress, nullptr);
  StatusMsg("Saving BMP file...");
  WriteThrough(name, [&](const char *path) { encoder.WriteImageFile(path, image); });
  StatusMsg(nullptr);
}

void SavePng(const Vantorum::BitmapImage &image, const char *name)
{
  WriteThrough(name, [&](const char *path) { WritePng(image, path, name); });
  StatusMsg(nullptr);
}

// A large picture's JPEG shares its colour conversion and transform among
// the processor's cores; the bytes are the same at any count, and the host's
// call still returns when the file is whole. The registry value "Threads"
// beside "Options" (4 bytes) sets the count: 1 turns the sharing off, 0 or
// none chooses.
uint32_t JpegThreads(const Vantorum::BitmapImage &image)
{
  const uint64_t LargePicture = 2000000;  // pixels; below this a thread costs more than it saves
  int32_t stored = 0;
  RegValueRecord record = MakeValueRecord("Threads", &stored, sizeof stored);
  RMGetValue(&record);
  const uint32_t most = Vantorum::JpegEncoder::MaxThreads;
  if (stored > 0)
    return std::min(uint32_t(stored), most);
  if (uint64_t(image.GetWidth()) * image.GetHeight() < LargePicture)
    return 1;
  return std::clamp(std::thread::hardware_concurrency(), 1u, most);
}

JpegFileWrite::JpegFileWrite(bool consume)
{
  encoder.SetConsumeImage(consume);
}

void JpegFileWrite::SetUp(const Vantorum::BitmapImage &image)
{
  encoder.SetThreadCount(JpegThreads(image));
  // The quality was checked with the other settings before drawing.
  encoder.SetQuality(uint32_t(exportOptions.quality));
  encoder.SetGreyscale((exportOptions.flags & FlagGreyscale) != 0);
  encoder.SetProgressive((exportOptions.flags & FlagProgressive) != 0);
  encoder.SetProgressCallback(JpegProgress, nullptr);
  setUp = true;
}

void JpegFileWrite::Sized(const Vantorum::BitmapImage &image)
{
  SetUp(image);
  encoder.BeginImage(image);
}

void JpegFileWrite::Filled(int32_t rows)
{
  encoder.RowsFilled(uint32_t(std::max(rows, 0)));
}

void JpegFileWrite::Save(const Vantorum::BitmapImage &image, const char *name)
{
  if (!setUp)
    SetUp(image);
  StatusMsg("Saving JPG file...");
  WriteThrough(name, [&](const char *path) { encoder.WriteImageFile(path, image); });
  StatusMsg(nullptr);
}

void SaveJpeg(const Vantorum::BitmapImage &image, const char *name)
{
  JpegFileWrite().Save(image, name);
}

void BmpProgress(Vantorum::ImageEncoder &, void *, uint32_t currentPass, uint32_t passCount, uint32_t percent, bool &)
{
  if (passCount == 0)
    return;
  // The 24-bit writer reports a falling figure (rows go out bottom up).
  ShowPercent("Saving BMP file... !01%", int32_t(100 - ((currentPass - 1) * 100 / passCount + percent / passCount)));
}

void JpegProgress(Vantorum::ImageEncoder &, void *, uint32_t currentPass, uint32_t passCount, uint32_t percent, bool &)
{
  if (passCount == 0)
    return;
  ShowPercent("Saving JPG file... !01%", int32_t((currentPass - 1) * 100 / passCount + percent / passCount));
}
