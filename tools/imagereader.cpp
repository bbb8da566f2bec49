// PNG input goes through libpng's transform interface rather than its
// simplified one: the simplified reader treats 16-bit samples as linear light
// and re-encodes them, whereas a plain rescale keeps what the user sees.
#include "imagereader.h"
#include "text.h"

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <vector>

namespace Rastello
{

namespace
{

using Vantorum::BitmapImage;

std::string OutOfMemory(const std::string &path, uint64_t width, uint64_t height)
{
  return Text::Quoted(path, '\'') + ": out of memory: the image of " + std::to_string(width) + " x "
         + std::to_string(height) + " pixels needs " + std::to_string(width * height * 4) + " bytes";
}

void CheckClaim(const std::string &path, uint64_t width, uint64_t height, const ImageLimits &limits)
{
  if (width > limits.maxSide || height > limits.maxSide)
    throw ImageReadError(Text::Quoted(path, '\'') + ": " + std::to_string(width) + " x " + std::to_string(height)
                         + " pixels is too large for " + limits.format + " (limit " + std::to_string(limits.maxSide)
                         + " on a side)");
}

// Deflate spends at least two bits on a match of at most 258 bytes, so a
// PNG holds at most 1032 bytes of raw pixels per byte of file. Input that is
// not a regular file has no size to compare with.
void CheckClaimFitsFile(const std::string &path, FILE *file, uint64_t width, uint64_t height, unsigned bitsPerPixel)
{
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
    return;
  const uint64_t maxPixelBits = 8 * 1032 * static_cast<uint64_t>(info.st_size);
  if (width * height > maxPixelBits / bitsPerPixel)
    throw ImageReadError(Text::Quoted(path, '\'') + ": bad PNG: a file of " + std::to_string(info.st_size)
                         + " bytes cannot hold the " + std::to_string(width) + " x " + std::to_string(height)
                         + " pixels its header claims");
}

// Sizes the image, turning the library's size refusal and a failed
// allocation into a read error that names the file.
void SizeImage(BitmapImage &image, const std::string &path, uint32_t width, uint32_t height)
{
  try
  {
    image.SetSize(width, height);
  }
  catch (const BitmapImage::SizeError &)
  {
    throw ImageReadError(Text::Quoted(path, '\'') + ": image too large: " + std::to_string(width) + " x "
                         + std::to_string(height) + " pixels");
  }
  catch (const std::bad_alloc &)
  {
    throw ImageReadError(OutOfMemory(path, width, height));
  }
}

// Decoded PNG rows in blocks, each allocated when its first row is about to
// be decoded: a header claiming more rows than the file holds costs only the
// rows really there. Rows come in order in every interlace pass, so the
// blocks grow at most eight rows ahead of the data.
class RowBlocks
{
public:
  RowBlocks(uint32_t width, uint32_t rowCount)
    : rowBytes(static_cast<size_t>(width) * 4), height(rowCount),
      rowsPerBlock(static_cast<uint32_t>(std::max<size_t>(1, BlockBytes / rowBytes)))
  {
  }

  png_bytep Row(uint32_t y)
  {
    const size_t block = y / rowsPerBlock;
    while (blocks.size() <= block)
    {
      const size_t rows = std::min<size_t>(rowsPerBlock, height - blocks.size() * rowsPerBlock);
      blocks.push_back(std::make_unique<uint8_t[]>(rows * rowBytes));
    }
    return blocks[block].get() + (y % rowsPerBlock) * rowBytes;
  }

  // Copies the rows into the image, freeing each block once copied.
  void MoveInto(BitmapImage &image)
  {
    uint8_t *target = reinterpret_cast<uint8_t *>(image.GetPixels());
    for (size_t block = 0; block < blocks.size(); ++block)
    {
      const size_t bytes = std::min<size_t>(rowsPerBlock, height - block * rowsPerBlock) * rowBytes;
      target = std::copy_n(blocks[block].get(), bytes, target);
      blocks[block].reset();
    }
  }

private:
  static const size_t BlockBytes = 4 << 20;
  size_t rowBytes;
  uint32_t height, rowsPerBlock;
  std::vector<std::unique_ptr<uint8_t[]>> blocks;
};

// libpng reports errors by longjmp. Everything with a destructor lives in
// the caller; this struct holds the plain state shared across the jump.
struct PngState
{
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[256] = "";
  RowBlocks *rows = nullptr;
  int passes = 1;
  unsigned fileBitsPerPixel = 0;  // as stored, before any transform
  bool hasAlpha = false;
};

void PngError(png_structp png, png_const_charp text)
{
  PngState *state = static_cast<PngState *>(png_get_error_ptr(png));
  std::snprintf(state->message, sizeof state->message, "%s", text);
  png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp)
{
  // Ancillary-chunk complaints (bad iCCP, odd tIME) do not stop a read.
}

// Returns false with state.message set when libpng gives up. The caller
// checks the claimed size between the two halves, outside the jump's reach.
bool ReadPngHeader(PngState &state, FILE *file, uint32_t &width, uint32_t &height)
{
  if (setjmp(png_jmpbuf(state.png)))
    return false;
  png_init_io(state.png, file);
  // Lift libpng's default 1,000,000-pixel side limit to what a JPEG can hold.
  png_set_user_limits(state.png, 0x7fffffff, 0x7fffffff);
  png_read_info(state.png, state.info);
  state.fileBitsPerPixel = png_get_bit_depth(state.png, state.info) * png_get_channels(state.png, state.info);
  const png_byte colourType = png_get_color_type(state.png, state.info);
  state.hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(state.png, state.info, PNG_INFO_tRNS);
  png_set_expand(state.png);  // palette to RGB, low-bit grey to 8 bits, tRNS to alpha
  png_set_scale_16(state.png);
  png_set_gray_to_rgb(state.png);
  png_set_bgr(state.png);
  if (!state.hasAlpha)
    png_set_filler(state.png, 0, PNG_FILLER_AFTER);
  state.passes = png_set_interlace_handling(state.png);
  png_read_update_info(state.png, state.info);
  if (png_get_rowbytes(state.png, state.info) != static_cast<size_t>(png_get_image_width(state.png, state.info)) * 4)
  {
    std::snprintf(state.message, sizeof state.message, "unsupported PNG layout");
    return false;
  }
  width = png_get_image_width(state.png, state.info);
  height = png_get_image_height(state.png, state.info);
  return true;
}

// Holds nothing to destroy: a libpng error jumps out of it.
void ReadPngRows(PngState &state, uint32_t height)
{
  for (int pass = 0; pass < state.passes; ++pass)
    for (uint32_t y = 0; y < height; ++y)
      png_read_row(state.png, state.rows->Row(y), nullptr);
}

// A failed allocation of a block leaves by exception, past the jump point.
bool ReadPngPixels(PngState &state, uint32_t height)
{
  if (setjmp(png_jmpbuf(state.png)))
    return false;
  ReadPngRows(state, height);
  png_read_end(state.png, nullptr);
  return true;
}

class PngReader
{
public:
  explicit PngReader(FILE *input) : file(input) {}
  ~PngReader()
  {
    if (state.png != nullptr)
      png_destroy_read_struct(&state.png, state.info != nullptr ? &state.info : nullptr, nullptr);
  }

  BitmapImage Read(const std::string &path, const ImageLimits &limits)
  {
    state.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
    if (state.png != nullptr)
      state.info = png_create_info_struct(state.png);
    if (state.png == nullptr || state.info == nullptr)
      throw ImageReadError(Text::Quoted(path, '\'') + ": cannot start the PNG reader");
    uint32_t width = 0, height = 0;
    if (!ReadPngHeader(state, file, width, height))
      throw ImageReadError(Text::Quoted(path, '\'') + ": bad PNG: " + state.message);
    CheckClaim(path, width, height, limits);
    CheckClaimFitsFile(path, file, width, height, state.fileBitsPerPixel);
    RowBlocks rows(width, height);
    state.rows = &rows;
    try
    {
      if (!ReadPngPixels(state, height))
        throw ImageReadError(Text::Quoted(path, '\'') + ": bad PNG: " + state.message);
    }
    catch (const std::bad_alloc &)
    {
      throw ImageReadError(OutOfMemory(path, width, height));
    }
    BitmapImage image;
    SizeImage(image, path, width, height);
    rows.MoveInto(image);
    return image;
  }

private:
  FILE *file;
  PngState state;
};

struct FileCloser
{
  void operator()(FILE *file) const { std::fclose(file); }
};

// Netpbm header fields are decimal numbers separated by whitespace, with
// comments from '#' to the end of a line.
bool ReadHeaderNumber(const std::string &bytes, size_t &at, uint64_t &value)
{
  for (;;)
  {
    while (at < bytes.size() && std::strchr(" \t\r\n\v\f", bytes[at]) != nullptr && bytes[at] != '\0')
      ++at;
    if (at < bytes.size() && bytes[at] == '#')
    {
      while (at < bytes.size() && bytes[at] != '\n' && bytes[at] != '\r')
        ++at;
      continue;
    }
    break;
  }
  if (at >= bytes.size() || bytes[at] < '0' || bytes[at] > '9')
    return false;
  value = 0;
  while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9')
  {
    value = value * 10 + static_cast<uint64_t>(bytes[at++] - '0');
    if (value > 0xffffffffu)
      return false;
  }
  return true;
}

// Where a P5 or P6 raster starts and what it holds.
struct NetpbmRaster
{
  bool colour = false;
  uint64_t width = 0, height = 0;
  size_t at = 0;  // offset of the first pixel byte
  uint64_t Channels() const { return colour ? 3 : 1; }
  uint64_t Bytes() const { return width * height * Channels(); }  // both below 2^32, so no overflow
};

NetpbmRaster ParseNetpbmHeader(const std::string &name, const std::string &bytes, const ImageLimits &limits)
{
  if (bytes.size() < 2 || bytes[0] != 'P' || (bytes[1] != '5' && bytes[1] != '6'))
    throw ImageReadError(Text::Quoted(name, '\'') + ": not a binary PGM (P5) or PPM (P6) file");
  NetpbmRaster raster;
  raster.colour = bytes[1] == '6';
  size_t at = 2;
  uint64_t maxval = 0;
  if (!ReadHeaderNumber(bytes, at, raster.width) || !ReadHeaderNumber(bytes, at, raster.height)
      || !ReadHeaderNumber(bytes, at, maxval) || at >= bytes.size() || std::strchr(" \t\r\n\v\f", bytes[at]) == nullptr)
    throw ImageReadError(Text::Quoted(name, '\'') + ": malformed " + (raster.colour ? "PPM" : "PGM") + " header");
  raster.at = at + 1;  // exactly one whitespace byte before the raster
  if (raster.width == 0 || raster.height == 0)
    throw ImageReadError(Text::Quoted(name, '\'') + ": empty image (" + std::to_string(raster.width) + " x "
                         + std::to_string(raster.height) + ")");
  if (maxval != 255)
    throw ImageReadError(Text::Quoted(name, '\'') + ": maxval " + std::to_string(maxval)
                         + " is not supported (only 255)");
  CheckClaim(name, raster.width, raster.height, limits);
  return raster;
}

void CheckRasterLength(const std::string &name, const NetpbmRaster &raster, uint64_t available)
{
  if (available < raster.Bytes())
    throw ImageReadError(Text::Quoted(name, '\'') + ": truncated: " + std::to_string(raster.width) + " x "
                         + std::to_string(raster.height) + " needs " + std::to_string(raster.Bytes())
                         + " bytes of pixels, found " + std::to_string(available));
}

// count pixels from source to target; returns the target's end.
uint8_t *ConvertNetpbm(const uint8_t *source, uint8_t *target, uint64_t count, bool colour)
{
  // One loop for each kind, so that neither asks which it is per pixel.
  if (colour)
    for (uint64_t i = 0; i < count; ++i, target += 4, source += 3)
    {
      target[0] = source[2];
      target[1] = source[1];
      target[2] = source[0];
      target[3] = 0;
    }
  else
    for (uint64_t i = 0; i < count; ++i, target += 4, ++source)
    {
      target[0] = target[1] = target[2] = *source;
      target[3] = 0;
    }
  return target;
}

BitmapImage ReadWholeNetpbm(const std::string &path, FILE *file, const ImageLimits &limits)
{
  std::string bytes;
  char chunk[65536];
  size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    bytes.append(chunk, count);
  if (std::ferror(file))
    throw ImageReadError("cannot read " + Text::Quoted(path, '\'') + ": " + std::strerror(errno));
  return ReadNetpbm(path, bytes, limits);
}

// A regular file is converted as it is read, a block at a time: holding
// the whole raster first would touch its size again in fresh pages, which
// costs an 800 x 600 image about a tenth of encoding it. Its size stands in
// for the raster's length, so a truncated file is refused before the image
// is allocated.
BitmapImage ReadNetpbmFile(const std::string &path, FILE *file, const ImageLimits &limits)
{
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
    return ReadWholeNetpbm(path, file, limits);
  const uint64_t size = static_cast<uint64_t>(status.st_size);
  const size_t Block = 3 * 21845;  // whole pixels of both kinds
  std::string head(static_cast<size_t>(std::min<uint64_t>(size, Block)), '\0');
  head.resize(std::fread(head.data(), 1, head.size(), file));
  if (std::ferror(file))
    throw ImageReadError("cannot read " + Text::Quoted(path, '\'') + ": " + std::strerror(errno));
  NetpbmRaster raster;
  try
  {
    raster = ParseNetpbmHeader(path, head, limits);
  }
  catch (const ImageReadError &)
  {
    if (head.size() == size)
      throw;
    // A header longer than the block (comments): read it all.
    std::rewind(file);
    return ReadWholeNetpbm(path, file, limits);
  }
  CheckRasterLength(path, raster, size - std::min<uint64_t>(size, raster.at));
  BitmapImage image;
  SizeImage(image, path, static_cast<uint32_t>(raster.width), static_cast<uint32_t>(raster.height));
  const uint64_t needed = raster.Bytes(), channels = raster.Channels();
  uint64_t done = std::min<uint64_t>(head.size() - raster.at, needed);
  done -= done % channels;
  uint8_t *target = ConvertNetpbm(reinterpret_cast<const uint8_t *>(head.data()) + raster.at,
                                  reinterpret_cast<uint8_t *>(image.GetPixels()), done / channels, raster.colour);
  if (done < needed && std::fseek(file, static_cast<long>(raster.at + done), SEEK_SET) != 0)
    throw ImageReadError("cannot read " + Text::Quoted(path, '\'') + ": " + std::strerror(errno));
  std::vector<uint8_t> block(Block);
  while (done < needed)
  {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(Block, needed - done));
    const size_t got = std::fread(block.data(), 1, want, file);
    if (std::ferror(file))
      throw ImageReadError("cannot read " + Text::Quoted(path, '\'') + ": " + std::strerror(errno));
    if (got < want)  // the file shrank while being read
      CheckRasterLength(path, raster, done + got);
    target = ConvertNetpbm(block.data(), target, want / channels, raster.colour);
    done += want;
  }
  return image;
}

}  // namespace

BitmapImage ReadNetpbm(const std::string &name, const std::string &bytes, const ImageLimits &limits)
{
  const NetpbmRaster raster = ParseNetpbmHeader(name, bytes, limits);
  CheckRasterLength(name, raster, bytes.size() - raster.at);
  BitmapImage image;
  SizeImage(image, name, static_cast<uint32_t>(raster.width), static_cast<uint32_t>(raster.height));
  ConvertNetpbm(reinterpret_cast<const uint8_t *>(bytes.data()) + raster.at,
                reinterpret_cast<uint8_t *>(image.GetPixels()), raster.width * raster.height, raster.colour);
  return image;
}

BitmapImage ReadImage(const std::string &path, const ImageLimits &limits)
{
  errno = 0;
  std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file)
    throw ImageReadError("cannot open " + Text::Quoted(path, '\'') + ": " + std::strerror(errno));
  unsigned char signature[8] = {};
  const size_t got = std::fread(signature, 1, sizeof signature, file.get());
  if (std::ferror(file.get()))
    throw ImageReadError("cannot read " + Text::Quoted(path, '\'') + ": " + std::strerror(errno));
  if (got == 8 && png_sig_cmp(signature, 0, 8) == 0)
  {
    std::rewind(file.get());
    PngReader reader(file.get());
    return reader.Read(path, limits);
  }
  if (got >= 2 && signature[0] == 'P' && (signature[1] == '5' || signature[1] == '6'))
  {
    std::rewind(file.get());
    return ReadNetpbmFile(path, file.get(), limits);
  }
  if (got == 0)
    throw ImageReadError(Text::Quoted(path, '\'') + ": file is empty");
  throw ImageReadError(Text::Quoted(path, '\'') + ": unrecognised image format (expected PNG, PGM P5 or PPM P6)");
}

}  // namespace Rastello
