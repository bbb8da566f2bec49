// rastello-encode: the encoding library's command-line front end. Reads a
// PNG, PGM or PPM image and writes it as JPEG or BMP with every encoder
// option reachable. Exit status 0 on success, 1 on any failure (one line on
// stderr, no output file left behind), 2 for a bad command line.
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "atomicoutput.h"
#include "bmpencoder.h"
#include "imagereader.h"
#include "jpegencoder.h"
#include "outputbytestream.h"

namespace
{

using Rastello::AtomicOutput;

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

struct Options
{
  std::string input, output, format;
  long long quality = 75;
  bool greyscale = false, progressive = false;
  std::vector<std::string> sampling, scans;
  long long restartRows = 0;
  std::string comment;
  long long bits = 24;
  bool noAlpha = false;
  bool progress = false, quiet = false;
};

// Splits "a:b:c" into exactly count decimal integers (a leading '-' allowed).
bool SplitIntegers(const std::string &text, size_t count, std::vector<long long> &values)
{
  values.clear();
  size_t start = 0;
  for (;;)
  {
    const size_t end = std::min(text.find(':', start), text.size());
    const std::string field = text.substr(start, end - start);
    size_t digits = field.size() > 0 && field[0] == '-' ? 1 : 0;
    if (field.size() == digits || field.size() - digits > 12
        || !std::all_of(field.begin() + static_cast<long>(digits), field.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
      return false;
    values.push_back(std::stoll(field));
    if (end == text.size())
      break;
    start = end + 1;
  }
  return values.size() == count;
}

CLI::Validator FieldsValidator(size_t count, const std::string &shape)
{
  return CLI::Validator(
    [count, shape](std::string &text) {
      std::vector<long long> values;
      return SplitIntegers(text, count, values) ? std::string() : "expected " + shape + ", got '" + text + "'";
    },
    shape);
}

void CheckRange(const std::string &what, long long value, long long low, long long high)
{
  if (value < low || value > high)
    throw Failure(what + " must be " + std::to_string(low) + ".." + std::to_string(high) + ", got "
                  + std::to_string(value));
}

std::string Lower(std::string text)
{
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string ChooseFormat(const Options &options)
{
  if (!options.format.empty())
    return options.format;
  const std::string name = Lower(options.output);
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
  static const char *const jpegOnly[] = {"--quality", "--greyscale", "--progressive", "--sampling",
                                         "--restart-rows", "--scan", "--comment"};
  static const char *const bmpOnly[] = {"--bits", "--no-alpha"};
  for (const char *name : format == "jpeg" ? std::vector<const char *>(std::begin(bmpOnly), std::end(bmpOnly))
                                           : std::vector<const char *>(std::begin(jpegOnly), std::end(jpegOnly)))
    if (app.count(name) > 0)
      throw UsageFailure(std::string(name) + " does not apply to " + (format == "jpeg" ? "JPEG" : "BMP")
                         + " output");
}

// Range checks happen here, before the input is read, so a mistyped option
// fails fast; the scan plan itself is the encoder's to judge at write time.
void ConfigureJpeg(Vantorum::JpegEncoder &encoder, const Options &options)
{
  CheckRange("--quality", options.quality, 1, 100);
  encoder.SetQuality(static_cast<uint32_t>(options.quality));
  encoder.SetGreyscale(options.greyscale);
  encoder.SetProgressive(options.progressive);  // installs the mode's default plan before --scan edits it
  std::vector<long long> fields;
  for (const std::string &text : options.sampling)
  {
    SplitIntegers(text, 3, fields);
    CheckRange("--sampling component id", fields[0], 1, 3);
    CheckRange("--sampling horizontal frequency", fields[1], 1, 4);
    CheckRange("--sampling vertical frequency", fields[2], 1, 4);
    encoder.SetSamplingFrequency(static_cast<uint32_t>(fields[0]), static_cast<uint32_t>(fields[1]),
                                 static_cast<uint32_t>(fields[2]));
  }
  CheckRange("--restart-rows", options.restartRows, 0, 65535);
  encoder.SetRestartRows(static_cast<uint32_t>(options.restartRows));
  for (const std::string &text : options.scans)
  {
    SplitIntegers(text, 4, fields);
    CheckRange("--scan index", fields[0], 0, Vantorum::JpegEncoder::MaxScans - 1);
    CheckRange("--scan component mask", fields[1], 0, 14);
    CheckRange("--scan spectral end", fields[2], 0, 63);
    CheckRange("--scan approximation bits", fields[3], 0, 13);
    encoder.SetScan(static_cast<uint32_t>(fields[0]), static_cast<int32_t>(fields[1]),
                    static_cast<int32_t>(fields[2]), static_cast<int32_t>(fields[3]));
  }
  encoder.SetComment(options.comment);
}

void ConfigureBmp(Vantorum::BmpEncoder &encoder, const Options &options)
{
  if (options.bits != 16 && options.bits != 24 && options.bits != 32)
    throw Failure("--bits must be 16, 24 or 32, got " + std::to_string(options.bits));
  encoder.SetBitDepth(static_cast<int32_t>(options.bits));
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

std::string ReplaceAll(std::string text, const std::string &from, const std::string &to)
{
  for (size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

void Encode(const CLI::App &app, const Options &options, bool showProgress)
{
  const std::string format = ChooseFormat(options);
  CheckOptionsFitFormat(app, format);
  Vantorum::JpegEncoder jpeg;
  Vantorum::BmpEncoder bmp;
  Vantorum::ImageEncoder &encoder = format == "jpeg" ? static_cast<Vantorum::ImageEncoder &>(jpeg) : bmp;
  try
  {
    if (format == "jpeg")
      ConfigureJpeg(jpeg, options);
    else
      ConfigureBmp(bmp, options);
  }
  catch (const Vantorum::GraphicsException &error)
  {
    throw Failure(std::string("bad option: ") + error.what());
  }

  const Vantorum::BitmapImage image = Rastello::ReadImage(options.input);

  AtomicOutput output(options.output);
  ProgressBar bar;
  bar.falling = format == "bmp" && options.bits == 24;
  if (showProgress)
    encoder.SetProgressCallback(ProgressBar::Callback, &bar);
  // The library's messages name the file it was given: show the user's name.
  auto named = [&](const std::string &message) { return ReplaceAll(message, output.TemporaryPath(), options.output); };
  try
  {
    encoder.WriteImageFile(output.TemporaryPath(), image);
  }
  catch (const Vantorum::GraphicsException &error)
  {
    bar.Finish();
    throw Failure("cannot encode '" + options.output + "': " + named(error.what()));
  }
  catch (const Vantorum::OutputByteStream::StreamError &error)
  {
    bar.Finish();
    throw Failure("cannot write '" + options.output + "': " + named(error.what()));
  }
  catch (const std::bad_alloc &)
  {
    bar.Finish();
    throw Failure("not enough memory to encode '" + options.output + "'");
  }
  bar.Finish();
  output.Commit();
}

void DefineCommandLine(CLI::App &app, Options &options)
{
  app.add_option("INPUT", options.input, "Image to read: PNG (any bit depth or colour type), PGM (P5) or PPM (P6), maxval 255")
    ->required();
  app.add_option("OUTPUT", options.output, "File to write; .jpg/.jpeg gives JPEG, .bmp gives BMP (any case)")
    ->required();
  app.add_option("--format", options.format, "Output format, overriding the extension")
    ->check(CLI::IsMember({"jpeg", "bmp"}, CLI::ignore_case));

  const std::string jpegGroup = "JPEG options";
  app.add_option("--quality", options.quality, "Quality 1..100 (default 75)")->group(jpegGroup);
  app.add_flag("--greyscale,--grayscale", options.greyscale, "Write one luminance component")->group(jpegGroup);
  app.add_flag("--progressive", options.progressive,
               "Progressive (SOF2) instead of baseline; default plan: DC of all, then AC 1..63 per component")
    ->group(jpegGroup);
  app.add_option("--sampling", options.sampling,
                 "Sampling frequencies of component ID (1 = Y, 2 = Cb, 3 = Cr), H and V 1..4; repeatable")
    ->check(FieldsValidator(3, "ID:H:V"))
    ->group(jpegGroup);
  app.add_option("--restart-rows", options.restartRows, "MCU rows per restart interval, 0..65535 (0 = none)")
    ->group(jpegGroup);
  app.add_option("--scan", options.scans,
                 "Scan plan entry IDX 0..255: MASK of components (Y 2, Cb 4, Cr 8, summed), spectral end SE "
                 "0..63 (0 = DC scan) and successive-approximation BITS 0..13; repeatable")
    ->check(FieldsValidator(4, "IDX:MASK:SE:BITS"))
    ->group(jpegGroup);
  app.add_option("--comment", options.comment, "Text for a COM segment (at most 65532 bytes)")->group(jpegGroup);

  const std::string bmpGroup = "BMP options";
  app.add_option("--bits", options.bits, "Bits per pixel: 16, 24 or 32 (default 24)")->group(bmpGroup);
  app.add_flag("--no-alpha", options.noAlpha, "16- and 32-bit files declare no alpha mask")->group(bmpGroup);

  CLI::Option *progress =
    app.add_flag("--progress", options.progress, "Progress bar on stderr (default when stderr is a terminal)");
  app.add_flag("--quiet", options.quiet, "No progress bar")->excludes(progress);
  app.footer("Exit status: 0 written; 1 failed (one line on stderr names the cause, no output file is left);\n"
             "2 bad command line. The output appears only when complete: it is written under a temporary\n"
             "name beside the target and renamed.");
}

} // namespace

int main(int argc, char **argv)
{
  CLI::App app("Writes a PNG, PGM or PPM image as JPEG or BMP with the Vantorum encoders.", "rastello-encode");
  Options options;
  DefineCommandLine(app, options);
  try
  {
    app.parse(argc, argv);
  }
  catch (const CLI::CallForHelp &help)
  {
    return app.exit(help);
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
    std::cerr << "rastello-encode: error: not enough memory\n";
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
