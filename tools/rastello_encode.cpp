// rastello-encode: the encoding library's command-line front end. Reads a
// PNG, PGM or PPM image and writes it as JPEG or BMP with every encoder
// option reachable. Exit status 0 on success, 1 on any failure (one line on
// stderr, no output file left behind), 2 for a bad command line.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <iostream>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "exportfile.h"
#include "bmpencoder.h"
#include "imagereader.h"
#include "jpegencoder.h"
#include "outputbytestream.h"
#include "text.h"

namespace
{

const int ExitFailure = 1;
const int ExitUsage = 2;

// A failure with one line to print; ends the program with status 1.
class Failure : public std::runtime_error
{
public:
  explicit Failure(const std::string &message) : std::runtime_error(message) {}
};

// A command line that parses but makes no sense (options of the other
// format, an output name with no known extension); status 2.
class UsageFailure : public std::runtime_error
{
public:
  explicit UsageFailure(const std::string &message) : std::runtime_error(message) {}
};

std::vector<std::string> SplitFields(const std::string &text)
{
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t end; (end = text.find(':', start)) != std::string::npos; start = end + 1)
    fields.push_back(text.substr(start, end - start));
  fields.push_back(text.substr(start));
  return fields;
}

// A decimal integer, a leading '-' allowed.
bool IsInteger(const std::string &text)
{
  const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  return text.size() > digits && std::all_of(text.begin() + static_cast<long>(digits), text.end(), [](char c) {
           return std::isdigit(static_cast<unsigned char>(c)) != 0;
         });
}

// count integers separated by ':' (count 1: a single integer); anything
// else is a usage error. Checked before an option's value is converted.
CLI::Validator IntegerFields(size_t count, const std::string &shape)
{
  return CLI::Validator(
    [count, shape](std::string &text) {
      const std::vector<std::string> fields = SplitFields(text);
      return fields.size() == count && std::all_of(fields.begin(), fields.end(), IsInteger)
               ? std::string()
               : "expected " + shape + ", got '" + text + "'";
    },
    shape);
}

// An integer option's value (CLI11's own integers read a leading 0 as octal
// and 0x as hex). Beyond the range of int64_t the value stops at its bound,
// still beyond every limit, and the text keeps what was typed for messages.
struct Integer
{
  Integer() = default;
  explicit Integer(const std::string &typed) : value(std::strtoll(typed.c_str(), nullptr, 10)), text(typed) {}
  int64_t value = 0;
  std::string text;
};

// N integers separated by ':' as one option value: --sampling ID:H:V and
// --scan IDX:MASK:SE:BITS. (A ':' delimiter would have CLI11 split the value
// before checking it, and an entry's shape would be lost: empty fields
// vanish, and a short entry takes the next argument as its last field.)
template <size_t N> struct Fields
{
  Fields() = default;
  explicit Fields(const std::string &typed) : text(typed)
  {
    const std::vector<std::string> texts = SplitFields(typed);
    for (size_t i = 0; i < N; ++i)
      fields[i] = Integer(texts[i]);
  }
  const Integer &operator[](size_t i) const { return fields[i]; }
  std::array<Integer, N> fields;
  std::string text;
};

struct Options
{
  std::string input, output, format;
  Integer quality{"75"};
  bool greyscale = false, progressive = false;
  std::vector<Fields<3>> sampling;
  std::vector<Fields<4>> scans;
  Integer restartRows{"0"};
  Integer threads{"1"};
  std::string comment;
  Integer bits{"24"};
  bool noAlpha = false;
  bool progress = false, quiet = false;
};

// A limit of the command line, not of the encoder.
int64_t InRange(const std::string &what, const Integer &number, int64_t low, int64_t high)
{
  if (number.value < low || number.value > high)
    throw Failure(what + " must be " + std::to_string(low) + ".." + std::to_string(high) + ", got " + number.text);
  return number.value;
}

// The encoder's setters take 32-bit numbers. One beyond that range is beyond
// every limit they set, so it goes in as the range's top, and the encoder
// refuses it in its own words.
template <class T> T Parameter(const Integer &number)
{
  if (number.value < static_cast<int64_t>(std::numeric_limits<T>::min())
      || number.value > static_cast<int64_t>(std::numeric_limits<T>::max()))
    return std::numeric_limits<T>::max();
  return static_cast<T>(number.value);
}

// The encoders own their rules and messages: a value one refuses ends the
// program with its message, after the option that gave the value.
template <class Set> void Apply(const std::string &option, Set set)
{
  try
  {
    set();
  }
  catch (const Vantorum::GraphicsException &error)
  {
    throw Failure("bad option " + option + ": " + error.what());
  }
}

void Warn(const std::string &message)
{
  std::cerr << "rastello-encode: warning: " << message << "\n";
}

std::string ChooseFormat(const Options &options)
{
  if (!options.format.empty())
    return options.format;
  const std::string name = Text::LowerCase(options.output);
  auto endsWith = [&name](const std::string &suffix) {
    return name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (endsWith(".jpg") || endsWith(".jpeg"))
    return "jpeg";
  if (endsWith(".bmp"))
    return "bmp";
  throw UsageFailure("cannot tell the output format from '" + options.output
                     + "': name it .jpg, .jpeg or .bmp, or give --format jpeg|bmp");
}

// Options of the other format would be silently ignored: refuse them.
void CheckOptionsFitFormat(const CLI::App &app, const std::string &format)
{
  static const char *const jpegOnly[] = {"--quality",      "--greyscale", "--progressive", "--sampling",
                                         "--restart-rows", "--scan",      "--comment"};
  static const char *const bmpOnly[] = {"--bits", "--no-alpha"};
  for (const char *name : format == "jpeg" ? std::vector<const char *>(std::begin(bmpOnly), std::end(bmpOnly))
                                           : std::vector<const char *>(std::begin(jpegOnly), std::end(jpegOnly)))
    if (app.count(name) > 0)
      throw UsageFailure(std::string(name) + " does not apply to " + (format == "jpeg" ? "JPEG" : "BMP") + " output");
  if (format == "jpeg" && app.count("--progressive") > 0 && app.count("--restart-rows") > 0)
    throw UsageFailure("--restart-rows does not apply to progressive JPEG output, which has no restart markers");
}

// Everything here is judged before the input is read, so a mistyped option
// fails fast; the scan plan as a whole is the encoder's to judge at write
// time. The command line's own limits: components are named 1 to 3, and
// masks and spectral ends are checked here because the encoder would take
// such values as other plans and refuse those in other words.
void ConfigureJpeg(Vantorum::JpegEncoder &encoder, const Options &options)
{
  Apply("--quality " + options.quality.text, [&] { encoder.SetQuality(Parameter<uint32_t>(options.quality)); });
  encoder.SetGreyscale(options.greyscale);
  encoder.SetProgressive(options.progressive);  // installs the mode's default plan before --scan edits it
  for (const Fields<3> &entry : options.sampling)
  {
    const int64_t id = InRange("--sampling component id", entry[0], 1, 3);
    Apply("--sampling " + entry.text, [&] {
      encoder.SetSamplingFrequency(static_cast<uint32_t>(id), Parameter<uint32_t>(entry[1]),
                                   Parameter<uint32_t>(entry[2]));
    });
  }
  // Adjusted to the image once it is read.
  encoder.SetRestartRows(static_cast<uint32_t>(InRange("--restart-rows", options.restartRows, 0, 65535)));
  for (const Fields<4> &entry : options.scans)
  {
    const int64_t mask = InRange("--scan component mask", entry[1], 0, Vantorum::JpegEncoder::MaskAll);
    const int64_t spectralEnd = InRange("--scan spectral end", entry[2], 0, 63);
    Apply("--scan " + entry.text, [&] {
      encoder.SetScan(Parameter<uint32_t>(entry[0]), static_cast<int32_t>(mask), static_cast<int32_t>(spectralEnd),
                      Parameter<int32_t>(entry[3]));
    });
  }
  Apply("--comment", [&] { encoder.SetComment(options.comment); });
  Apply("--threads " + options.threads.text, [&] { encoder.SetThreadCount(Parameter<uint32_t>(options.threads)); });
}

// An interval of at least the image's rows never reaches a restart in any
// scan, yet the encoder sizes the 16-bit DRI field from the rows asked for.
// Such an interval that would not fit is dropped (the same picture, without
// a DRI segment) rather than refused; a shorter one that does not fit stays
// the encoder's to refuse.
uint32_t FittingRestartRows(const Vantorum::JpegEncoder &encoder, const Vantorum::BitmapImage &image)
{
  const uint32_t rows = encoder.GetRestartRows();
  const uint64_t imageRows = (image.GetHeight() + 7) / 8;  // a bound on the data-unit rows of any scan
  return rows >= imageRows && encoder.LargestRestartInterval(image) > 0xFFFF ? 0 : rows;
}

void ConfigureBmp(Vantorum::BmpEncoder &encoder, const Options &options)
{
  Apply("--bits " + options.bits.text, [&] { encoder.SetBitDepth(Parameter<int32_t>(options.bits)); });
  encoder.SetAlphaChannel(!options.noAlpha);
}

// Draws "pass k/n [####----] pp%" in place, redrawing only on change.
struct ProgressBar
{
  // The 24-bit BMP writer goes bottom-up and reports the row it is at: 0
  // after the header, then a falling figure, then 100. Shown as rows done.
  bool falling = false;
  bool started = false;
  bool shown = false;
  uint32_t lastPass = 0, lastPercent = 101;

  static void Callback(Vantorum::ImageEncoder &, void *user, uint32_t pass, uint32_t passCount, uint32_t percent,
                       bool &)
  {
    ProgressBar &bar = *static_cast<ProgressBar *>(user);
    if (bar.falling && bar.started && percent < 100)
      percent = 100 - percent;
    bar.started = true;
    if (pass == bar.lastPass && percent == bar.lastPercent)
      return;
    bar.lastPass = pass;
    bar.lastPercent = percent;
    const int width = 30, filled = static_cast<int>(percent * width / 100);
    std::fprintf(stderr, "\rpass %u/%u [%s%s] %3u%%", pass, passCount, std::string(filled, '#').c_str(),
                 std::string(width - filled, '-').c_str(), percent);
    std::fflush(stderr);
    bar.shown = true;
  }

  // Ends the bar's line so that whatever follows starts on its own.
  void Finish()
  {
    if (shown)
      std::fputc('\n', stderr);
    shown = false;
  }
};

// What a JPEG may hold but the common decoders (libjpeg, Pillow,
// ImageMagick) refuse to read.
const uint32_t WidelyDecodedSide = 65500;

void Encode(const CLI::App &app, const Options &options, bool showProgress)
{
  const std::string format = ChooseFormat(options);
  CheckOptionsFitFormat(app, format);
  Vantorum::JpegEncoder jpeg;
  Vantorum::BmpEncoder bmp;
  Vantorum::ImageEncoder &encoder = format == "jpeg" ? static_cast<Vantorum::ImageEncoder &>(jpeg) : bmp;
  if (format == "jpeg")
    ConfigureJpeg(jpeg, options);
  else
    ConfigureBmp(bmp, options);

  // The output first: a target that cannot be written fails before a long read.
  ExportFile output(options.output);
  Rastello::ImageLimits limits;
  if (format == "jpeg")
    limits = {Vantorum::JpegEncoder::MaxDimension, "JPEG"};
  const Vantorum::BitmapImage image = Rastello::ReadImage(options.input, limits);
  const std::string size = std::to_string(image.GetWidth()) + " x " + std::to_string(image.GetHeight());
  if (format == "jpeg")
    jpeg.SetRestartRows(FittingRestartRows(jpeg, image));

  ProgressBar bar;
  bar.falling = format == "bmp" && bmp.GetBitDepth() == 24;
  if (showProgress)
    encoder.SetProgressCallback(ProgressBar::Callback, &bar);
  try
  {
    encoder.WriteImageFile(output.WritePath(), image);
  }
  catch (const Vantorum::GraphicsException &error)
  {
    bar.Finish();
    throw Failure("cannot encode '" + options.output + "': " + output.ShowingTarget(error.what()));
  }
  catch (const Vantorum::OutputByteStream::StreamError &error)
  {
    bar.Finish();
    throw Failure("cannot write '" + options.output + "': " + output.ShowingTarget(error.what()));
  }
  catch (const std::bad_alloc &)
  {
    bar.Finish();
    throw Failure("out of memory encoding the " + size + " pixel image as '" + options.output + "'");
  }
  bar.Finish();
  output.Commit();
  if (format == "jpeg" && (image.GetWidth() > WidelyDecodedSide || image.GetHeight() > WidelyDecodedSide))
    Warn("'" + options.output + "' is " + size
         + " pixels: a valid JPEG, but libjpeg, Pillow and ImageMagick "
           "decode at most "
         + std::to_string(WidelyDecodedSide) + " on a side");
}

void DefineCommandLine(CLI::App &app, Options &options)
{
  app
    .add_option("INPUT", options.input,
                "Image to read: PNG (any bit depth or colour type), PGM (P5) or PPM (P6), maxval 255")
    ->required();
  app.add_option("OUTPUT", options.output, "File to write; .jpg/.jpeg gives JPEG, .bmp gives BMP (any case)")
    ->required();
  app.add_option("--format", options.format, "Output format, overriding the extension")
    ->check(CLI::IsMember({"jpeg", "bmp"}, CLI::ignore_case));

  const std::string jpegGroup = "JPEG options";
  app.add_option("--quality", options.quality, "Quality 1..100 (default 75)")
    ->check(IntegerFields(1, "INT"))
    ->group(jpegGroup);
  app.add_flag("--greyscale,--grayscale", options.greyscale, "Write one luminance component")->group(jpegGroup);
  app
    .add_flag("--progressive", options.progressive,
              "Progressive (SOF2) instead of baseline; default plan: DC of all, then AC 1..63 per component")
    ->group(jpegGroup);
  app
    .add_option("--sampling", options.sampling,
                "Sampling frequencies of component ID (1 = Y, 2 = Cb, 3 = Cr), H and V 1..4; repeatable")
    ->check(IntegerFields(3, "ID:H:V"))
    ->group(jpegGroup);
  app
    .add_option("--restart-rows", options.restartRows,
                "MCU rows per restart interval, 0..65535 (0 = none); baseline only, progressive output has no "
                "restart markers")
    ->check(IntegerFields(1, "INT"))
    ->group(jpegGroup);
  app
    .add_option("--scan", options.scans,
                "Scan plan entry IDX 0..255: MASK of components (Y 2, Cb 4, Cr 8, summed), spectral end SE "
                "0..63 (0 = DC scan) and successive-approximation BITS 0..13; repeatable")
    ->check(IntegerFields(4, "IDX:MASK:SE:BITS"))
    ->group(jpegGroup);
  app.add_option("--comment", options.comment, "Text for a COM segment (at most 65532 bytes)")->group(jpegGroup);
  app.add_option("--threads", options.threads, "Threads sharing the work, 1..16 (default 1); the same bytes for any")
    ->check(IntegerFields(1, "INT"))
    ->group(jpegGroup);

  const std::string bmpGroup = "BMP options";
  app.add_option("--bits", options.bits, "Bits per pixel: 16, 24 or 32 (default 24)")
    ->check(IntegerFields(1, "INT"))
    ->group(bmpGroup);
  app.add_flag("--no-alpha", options.noAlpha, "16- and 32-bit files declare no alpha mask")->group(bmpGroup);

  CLI::Option *progress =
    app.add_flag("--progress", options.progress, "Progress bar on stderr (default when stderr is a terminal)");
  app.add_flag("--quiet", options.quiet, "No progress bar")->excludes(progress);
  app.footer("Exit status: 0 written; 1 failed (one line on stderr names the cause, no output file is left);\n"
             "2 bad command line. The output appears only when complete: it is written under a temporary\n"
             "name beside the target and renamed. A symbolic link is followed and the file it names replaced,\n"
             "keeping its mode; folders, special files other than character devices (written in place),\n"
             "files you may not write and files with other hard links are refused.");
}

}  // namespace

int main(int argc, char **argv)
{
  CLI::App app("Writes a PNG, PGM or PPM image as JPEG or BMP with the Vantorum encoders.", "rastello-encode");
  Options options;
  DefineCommandLine(app, options);
  app.set_version_flag("--version", "rastello-encode " RASTELLO_VERSION);
  try
  {
    app.parse(argc, argv);
  }
  catch (const CLI::Success &helpOrVersion)
  {
    return app.exit(helpOrVersion);
  }
  catch (const CLI::ParseError &error)
  {
    std::cerr << "rastello-encode: " << error.what() << "\n"
              << "usage: rastello-encode INPUT OUTPUT [options]   (--help lists them)\n";
    return ExitUsage;
  }

  const bool showProgress = !options.quiet && (options.progress || isatty(STDERR_FILENO));
  try
  {
    Encode(app, options, showProgress);
    return 0;
  }
  catch (const UsageFailure &error)
  {
    std::cerr << "rastello-encode: " << error.what() << "\n"
              << "usage: rastello-encode INPUT OUTPUT [options]   (--help lists them)\n";
    return ExitUsage;
  }
  catch (const std::bad_alloc &)
  {
    std::cerr << "rastello-encode: error: out of memory\n";
  }
  catch (const std::exception &error)
  {
    std::cerr << "rastello-encode: error: " << error.what() << "\n";
  }
  catch (const Vantorum::GraphicsAbort &)
  {
    std::cerr << "rastello-encode: error: encoding cancelled\n";
  }
  return ExitFailure;
}
