#include "decoders.h"

#include "testimages.h"

#include <array>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <sys/wait.h>

#include <jpeglib.h>
#include <openssl/evp.h>
#include <png.h>

namespace testing_support
{

std::vector<uint8_t> DecodedImage::Rgb() const
{
  // Plain pointers: the sanitizer build runs this unoptimised on every
  // decoded picture.
  std::vector<uint8_t> rgb(rgba.size() / 4 * 3);
  const uint8_t *from = rgba.data();
  uint8_t *to = rgb.data();
  for (size_t n = rgba.size() / 4; n > 0; --n, from += 4, to += 3)
  {
    to[0] = from[0];
    to[1] = from[1];
    to[2] = from[2];
  }
  return rgb;
}

namespace
{

// libjpeg reports a fatal error through error_exit, which must not return.
struct JpegErrors
{
  jpeg_error_mgr manager;
  std::jmp_buf fatal;
  std::string *messages;
};

void KeepJpegMessage(j_common_ptr cinfo)
{
  char text[JMSG_LENGTH_MAX];
  cinfo->err->format_message(cinfo, text);
  *reinterpret_cast<JpegErrors *>(cinfo->err)->messages += std::string(text) + "\n";
}

[[noreturn]] void JpegFatal(j_common_ptr cinfo)
{
  KeepJpegMessage(cinfo);
  std::longjmp(reinterpret_cast<JpegErrors *>(cinfo->err)->fatal, 1);
}

// Runs between setjmp and the jump: holds no object with a destructor.
bool RunJpegDecoder(jpeg_decompress_struct &cinfo, JpegErrors &errors, const std::vector<uint8_t> &bytes,
                    DecodedImage &image)
{
  if (setjmp(errors.fatal) != 0)
    return false;
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_RGBA;
  jpeg_start_decompress(&cinfo);
  image.width = cinfo.output_width;
  image.height = cinfo.output_height;
  image.rgba.resize(static_cast<size_t>(image.width) * image.height * 4);
  while (cinfo.output_scanline < cinfo.output_height)
  {
    JSAMPROW row = image.rgba.data() + static_cast<size_t>(cinfo.output_scanline) * image.width * 4;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

}  // namespace

DecodedImage DecodeJpeg(const std::vector<uint8_t> &bytes)
{
  DecodedImage image;
  jpeg_decompress_struct cinfo;
  JpegErrors errors;
  cinfo.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JpegFatal;
  errors.manager.output_message = KeepJpegMessage;
  errors.messages = &image.messages;
  jpeg_create_decompress(&cinfo);
  image.ok = RunJpegDecoder(cinfo, errors, bytes, image);
  image.warned = errors.manager.num_warnings != 0;
  jpeg_destroy_decompress(&cinfo);
  if (!image.ok)
    image.rgba.clear();
  return image;
}

DecodedImage DecodePng(const std::vector<uint8_t> &bytes)
{
  DecodedImage image;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()) != 0)
  {
    image.hasAlpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    png.format = PNG_FORMAT_RGBA;
    image.width = png.width;
    image.height = png.height;
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    image.ok = png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr) != 0;
  }
  image.warned = (png.warning_or_error & PNG_IMAGE_WARNING) != 0;
  image.messages = png.message;
  png_image_free(&png);
  if (!image.ok)
    image.rgba.clear();
  return image;
}

DecodedImage ReadNetpbm(const std::string &path)
{
  DecodedImage image;
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  // Magic, width, height, maximum; '#' comments run to the end of a line.
  size_t at = 0;
  std::string fields[4];
  for (std::string &field : fields)
  {
    while (at < bytes.size() && (std::isspace(bytes[at]) || bytes[at] == '#'))
      if (bytes[at++] == '#')
        while (at < bytes.size() && bytes[at] != '\n')
          ++at;
    while (at < bytes.size() && !std::isspace(bytes[at]) && bytes[at] != '#')
      field += static_cast<char>(bytes[at++]);
  }
  ++at;  // the one whitespace byte before the raster
  const bool grey = fields[0] == "P5";
  if ((!grey && fields[0] != "P6") || fields[3] != "255")
  {
    image.messages = "not a binary 8-bit PGM or PPM";
    return image;
  }
  image.width = static_cast<uint32_t>(std::stoul(fields[1]));
  image.height = static_cast<uint32_t>(std::stoul(fields[2]));
  const size_t channels = grey ? 1 : 3, count = static_cast<size_t>(image.width) * image.height;
  if (bytes.size() < at + count * channels)
  {
    image.messages = "raster cut short";
    return image;
  }
  image.rgba.reserve(count * 4);
  for (size_t i = 0; i < count; ++i)
  {
    const uint8_t *pixel = &bytes[at + i * channels];
    image.rgba.insert(image.rgba.end(), {pixel[0], pixel[grey ? 0 : 1], pixel[grey ? 0 : 2], 255});
  }
  image.ok = true;
  return image;
}

double Psnr(const std::vector<uint8_t> &a, const std::vector<uint8_t> &b)
{
  if (a.size() != b.size() || a.empty())
    return 0;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i)
    sum += (a[i] - b[i]) * static_cast<double>(a[i] - b[i]);
  const double mse = sum / static_cast<double>(a.size());
  return mse == 0 ? 99 : 10 * std::log10(255 * 255 / mse);
}

double Psnr(const DecodedImage &a, const DecodedImage &b)
{
  return Psnr(a.Rgb(), b.Rgb());
}

std::string Sha256(const std::vector<uint8_t> &bytes)
{
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < length; ++i)
  {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string ShellQuote(const std::string &text)
{
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

CommandResult RunCommand(const std::string &command)
{
  CommandResult result;
  FILE *pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr)
    return result;
  std::array<char, 4096> chunk;
  size_t count;
  while ((count = fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
    result.output.append(chunk.data(), count);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

namespace
{

// djpeg writes PNM and ffmpeg raw RGB; any output on stderr is a warning.
DecodedImage RunPlainDecoder(const std::string &decoder, const std::string &path)
{
  DecodedImage image;
  const std::string output = path + "." + decoder + (decoder == "djpeg" ? ".pnm" : ".rgb");
  const CommandResult run = decoder == "djpeg"
                              ? RunCommand("djpeg -outfile " + ShellQuote(output) + " " + ShellQuote(path))
                              : RunCommand("ffmpeg -nostdin -v error -y -i " + ShellQuote(path)
                                           + " -f rawvideo -pix_fmt rgba " + ShellQuote(output));
  image.messages = run.output;
  if (run.status != 0)
    return image;
  if (decoder == "djpeg")
    image = ReadNetpbm(output);
  else
  {
    image.rgba = ReadFileBytes(output);
    image.ok = !image.rgba.empty();  // ffmpeg's raw video carries no size: the caller checks it
  }
  std::remove(output.c_str());
  image.messages = run.output;
  image.warned = !run.output.empty();
  return image;
}

}  // namespace

DecodedImage DecodeImage(const std::string &decoder, const std::string &path)
{
  if (decoder == "djpeg" || decoder == "ffmpeg")
    return RunPlainDecoder(decoder, path);
  DecodedImage image;
  const std::string raw = path + "." + decoder + ".raw";
  const CommandResult run =
    RunCommand(ShellQuote(RASTELLO_PYTHON) + " " + ShellQuote(std::string(RASTELLO_TEST_TOOLS) + "/decode.py") + " "
               + decoder + " " + ShellQuote(path) + " " + ShellQuote(raw));
  image.messages = run.output;
  if (run.status != 0 && run.status != 3)
    return image;
  image.warned = run.status == 3;
  const std::vector<uint8_t> bytes = ReadFileBytes(raw);
  std::remove(raw.c_str());
  size_t lineEnd = 0;
  while (lineEnd < bytes.size() && bytes[lineEnd] != '\n')
    ++lineEnd;
  unsigned width = 0, height = 0, alpha = 0;
  if (std::sscanf(std::string(bytes.begin(), bytes.begin() + static_cast<long>(lineEnd)).c_str(), "%u %u %u", &width,
                  &height, &alpha)
      != 3)
    return image;
  image.width = width;
  image.height = height;
  image.hasAlpha = alpha != 0;
  image.rgba.assign(bytes.begin() + static_cast<long>(lineEnd) + 1, bytes.end());
  image.ok = image.rgba.size() == static_cast<size_t>(width) * height * 4;
  return image;
}

}  // namespace testing_support
