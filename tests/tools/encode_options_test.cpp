// Every JPEG and BMP option of rastello-encode must reach the encoder: each
// case checks the markers or header fields the option produces.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <string>

#include "decoders.h"
#include "jpgencodercomponent.h"
#include "jpgquantizationtable.h"
#include "testimages.h"
#include "toolharness.h"

namespace
{

using namespace tool_testing;
using testing_support::ReadFileBytes;
using testing_support::TempPath;

const uint8_t SOF0 = 0xC0, SOF2 = 0xC2, DQT = 0xDB, DRI = 0xDD, SOS = 0xDA, COM = 0xFE;

class EncodeOptions : public testing::Test
{
protected:
  void SetUp() override
  {
    input = TempPath("gradient.ppm");
    // 37 x 23: five MCU columns and three MCU rows, both partly filled.
    WriteNetpbm(input, testing_support::GradientImage(37, 23));
  }

  // Encodes with the options and returns the output's segments.
  std::vector<Segment> Encode(const std::vector<std::string> &options, const std::string &name = "out.jpg")
  {
    const std::string output = TempPath(name);
    std::vector<std::string> arguments = {input, output};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const testing_support::CommandResult run = RunEncoder(arguments);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "");
    return ParseJpeg(ReadFileBytes(output));
  }

  // Component count of the frame and each component's sampling byte.
  static std::vector<uint8_t> FrameSampling(const Segment &frame)
  {
    std::vector<uint8_t> sampling;
    for (size_t i = 0; i < frame.payload[5]; ++i)
      sampling.push_back(frame.payload[6 + 3 * i + 1]);
    return sampling;
  }

  // Component ids of each scan, in stream order.
  static std::vector<std::vector<uint8_t>> ScanComponents(const std::vector<Segment> &segments)
  {
    std::vector<std::vector<uint8_t>> scans;
    for (const Segment &segment : segments)
      if (segment.marker == SOS)
      {
        std::vector<uint8_t> ids;
        for (size_t i = 0; i < segment.payload[0]; ++i)
          ids.push_back(segment.payload[1 + 2 * i]);
        scans.push_back(ids);
      }
    return scans;
  }

  std::string input;
};

TEST_F(EncodeOptions, DefaultsGiveBaselineColourWithOneInterleavedScan)
{
  const std::vector<Segment> segments = Encode({});
  ASSERT_NE(FindMarker(segments, SOF0), nullptr);
  EXPECT_EQ(CountMarkers(segments, SOF2), 0u);
  EXPECT_EQ(FrameSampling(*FindMarker(segments, SOF0)), (std::vector<uint8_t>{0x11, 0x11, 0x11}));
  EXPECT_EQ(ScanComponents(segments), (std::vector<std::vector<uint8_t>>{{1, 2, 3}}));
  EXPECT_EQ(CountMarkers(segments, DRI), 0u);
  EXPECT_EQ(CountMarkers(segments, COM), 1u);  // the library's own signature only
}

TEST_F(EncodeOptions, QualityPicksTheEncodersTables)
{
  // Numbers are decimal: a leading 0 does not make one octal.
  const std::pair<const char *, unsigned> qualities[] = {{"1", 1}, {"30", 30}, {"100", 100}, {"0100", 100}};
  for (const auto &[text, quality] : qualities)
  {
    const std::vector<Segment> segments = Encode({"--quality", text});
    const Segment *tables = FindMarker(segments, DQT);
    ASSERT_NE(tables, nullptr);
    // One or two tables per segment: Pq/Tq byte, then 64 steps in zigzag order.
    for (size_t at = 0; at + 65 <= tables->payload.size(); at += 65)
    {
      const unsigned id = tables->payload[at] & 15;
      const int32_t *expected =
        id == 0 ? Vantorum::JpegLuminanceTables[Vantorum::QualityToLevel(quality, Vantorum::JpegLuminanceLevels)]
                : Vantorum::JpegChrominanceTables[Vantorum::QualityToLevel(quality, Vantorum::JpegChrominanceLevels)];
      for (unsigned k = 0; k < 64; ++k)
        ASSERT_EQ(tables->payload[at + 1 + k], expected[Vantorum::JpegZigZagToNatural[k]])
          << "quality " << quality << " table " << id << " zigzag " << k;
    }
  }
}

TEST_F(EncodeOptions, GreyscaleAndProgressiveShapeTheFrameAndScans)
{
  std::vector<Segment> segments = Encode({"--greyscale"});
  ASSERT_NE(FindMarker(segments, SOF0), nullptr);
  EXPECT_EQ(FrameSampling(*FindMarker(segments, SOF0)).size(), 1u);

  segments = Encode({"--progressive"});
  ASSERT_NE(FindMarker(segments, SOF2), nullptr);
  EXPECT_EQ(CountMarkers(segments, SOF0), 0u);
  EXPECT_EQ(ScanComponents(segments), (std::vector<std::vector<uint8_t>>{{1, 2, 3}, {1}, {2}, {3}}));

  segments = Encode({"--progressive", "--grayscale"});
  ASSERT_NE(FindMarker(segments, SOF2), nullptr);
  EXPECT_EQ(CountMarkers(segments, SOS), 2u);
}

TEST_F(EncodeOptions, ThreadsLeaveTheBytesAsTheyAre)
{
  Encode({"--progressive"}, "one.jpg");
  Encode({"--progressive", "--threads", "3"}, "three.jpg");
  EXPECT_EQ(ReadFileBytes(TempPath("one.jpg")), ReadFileBytes(TempPath("three.jpg")));
}

TEST_F(EncodeOptions, SamplingIsWrittenPerComponent)
{
  const std::vector<Segment> segments = Encode({"--sampling", "1:2:2", "--sampling", "3:1:2"});
  EXPECT_EQ(FrameSampling(*FindMarker(segments, SOF0)), (std::vector<uint8_t>{0x22, 0x11, 0x12}));
}

TEST_F(EncodeOptions, RestartRowsGiveDriAndRestartMarkers)
{
  // Five MCUs per row, one row per interval: interval 5 and a marker
  // between each of the three rows.
  const std::vector<Segment> segments = Encode({"--restart-rows", "1"});
  const Segment *dri = FindMarker(segments, DRI);
  ASSERT_NE(dri, nullptr);
  EXPECT_EQ((dri->payload[0] << 8) | dri->payload[1], 5);
  EXPECT_EQ(CountMarkers(segments, 0xD0) + CountMarkers(segments, 0xD1), 2u);
}

TEST_F(EncodeOptions, RestartRowsBeyondTheImageWriteNoMarkers)
{
  // Three MCU rows: four rows still fit the DRI field and are written as
  // asked; the documented maximum would not fit and is dropped.
  std::vector<Segment> segments = Encode({"--restart-rows", "4"});
  ASSERT_NE(FindMarker(segments, DRI), nullptr);
  EXPECT_EQ((FindMarker(segments, DRI)->payload[0] << 8) | FindMarker(segments, DRI)->payload[1], 20);
  const std::vector<std::vector<std::string>> modes = {
    {}, {"--greyscale"}, {"--sampling", "1:2:2"}, {"--scan", "0:2:0:0", "--scan", "1:12:0:0"}};
  for (std::vector<std::string> options : modes)
  {
    SCOPED_TRACE(testing::PrintToString(options));
    options.push_back("--restart-rows");
    options.push_back("65535");
    segments = Encode(options);
    EXPECT_EQ(CountMarkers(segments, DRI), 0u);
    EXPECT_EQ(CountMarkers(segments, 0xD0), 0u);
  }
}

TEST_F(EncodeOptions, ScanEntriesReachThePlan)
{
  // Sequential: one scan per component.
  std::vector<Segment> segments = Encode({"--scan", "0:2:0:0", "--scan", "1:4:0:0", "--scan", "2:8:0:0"});
  EXPECT_EQ(ScanComponents(segments), (std::vector<std::vector<uint8_t>>{{1}, {2}, {3}}));

  // Progressive with a split Y band and one bit of successive approximation
  // on the DC scan: the DC scan goes out twice (first and refinement).
  segments = Encode({"--progressive", "--scan", "0:14:0:1", "--scan", "1:2:5:0", "--scan", "2:4:63:0", "--scan",
                     "3:8:63:0", "--scan", "4:2:63:0"});
  EXPECT_EQ(CountMarkers(segments, SOS), 6u);
  std::vector<std::pair<int, int>> bands;
  for (const Segment &segment : segments)
    if (segment.marker == SOS)
    {
      const size_t n = segment.payload[0];
      bands.emplace_back(segment.payload[1 + 2 * n], segment.payload[2 + 2 * n]);
    }
  EXPECT_EQ(bands, (std::vector<std::pair<int, int>>{{0, 0}, {1, 5}, {1, 63}, {1, 63}, {6, 63}, {0, 0}}));
}

TEST_F(EncodeOptions, CommentBecomesAComSegment)
{
  const std::vector<Segment> segments = Encode({"--comment", "drawing 7, rev B"});
  bool found = false;
  for (const Segment &segment : segments)
    if (segment.marker == COM)
      found =
        found || std::string(segment.payload.begin(), segment.payload.end()) == std::string("drawing 7, rev B") + '\0';
  EXPECT_TRUE(found);
}

TEST_F(EncodeOptions, FormatFollowsExtensionInAnyCaseUnlessOverridden)
{
  EXPECT_NE(FindMarker(Encode({}, "upper.JPEG"), SOF0), nullptr);
  const std::string bmp = TempPath("named.Bmp");
  ASSERT_EQ(RunEncoder({input, bmp}).status, 0);
  EXPECT_EQ(ReadFileBytes(bmp).at(0), 'B');
  const std::string forced = TempPath("forced.jpg");
  ASSERT_EQ(RunEncoder({input, forced, "--format", "bmp"}).status, 0);
  EXPECT_EQ(ReadFileBytes(forced).at(0), 'B');
}

TEST_F(EncodeOptions, BmpBitsAndAlphaMask)
{
  for (int bits : {16, 24, 32})
  {
    const std::string output = TempPath("out" + std::to_string(bits) + ".bmp");
    ASSERT_EQ(RunEncoder({input, output, "--bits", std::to_string(bits)}).status, 0);
    const std::vector<uint8_t> bytes = ReadFileBytes(output);
    EXPECT_EQ(testing_support::ReadLittle16(bytes, 28), bits);
    if (bits == 32)
    {
      EXPECT_EQ(testing_support::ReadLittle32(bytes, 66), 0xFF000000u);
    }
  }
  const std::string output = TempPath("noalpha.bmp");
  ASSERT_EQ(RunEncoder({input, output, "--bits", "32", "--no-alpha"}).status, 0);
  EXPECT_EQ(testing_support::ReadLittle32(ReadFileBytes(output), 66), 0u);
}

TEST_F(EncodeOptions, ProgressBarReportsEveryPass)
{
  const testing_support::CommandResult run =
    RunEncoder({input, TempPath("progress.jpg"), "--progressive", "--progress"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("pass 1/"), std::string::npos);
  EXPECT_NE(run.output.find("100%"), std::string::npos);
  // The bar only ever rises, for the bottom-up 24-bit BMP writer too.
  for (const char *bits : {"24", "32"})
  {
    const testing_support::CommandResult bmp =
      RunEncoder({input, TempPath(std::string("progress") + bits + ".bmp"), "--bits", bits, "--progress"});
    ASSERT_EQ(bmp.status, 0) << bmp.output;
    std::vector<int> figures;
    for (size_t at = bmp.output.find('%'); at != std::string::npos; at = bmp.output.find('%', at + 1))
      figures.push_back(std::stoi(bmp.output.substr(at - 3, 3)));
    ASSERT_GE(figures.size(), 2u) << bmp.output;
    EXPECT_TRUE(std::is_sorted(figures.begin(), figures.end())) << bits << " bits: " << bmp.output;
    EXPECT_EQ(figures.back(), 100);
  }
  // Not a terminal and not asked for: nothing.
  EXPECT_EQ(RunEncoder({input, TempPath("quiet.jpg")}).output, "");
}

TEST(EncodeSize, WarnsAboveWhatCommonDecodersRead)
{
  for (const uint32_t width : {65500u, 65501u})
  {
    SCOPED_TRACE(width);
    const std::string input = TempPath("line.pgm"), output = TempPath("line.jpg");
    WriteNetpbm(input, Vantorum::BitmapImage(width, 1, 0), true);
    const testing_support::CommandResult run = RunEncoder({input, output});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ReadFileBytes(output).at(1), 0xD8);
    if (width == 65500)
      EXPECT_EQ(run.output, "");
    else
      EXPECT_EQ(run.output, "rastello-encode: warning: '" + output
                              + "' is 65501 x 1 pixels: a valid JPEG, but libjpeg, Pillow and ImageMagick decode at "
                                "most 65500 on a side\n");
  }
}

// What --help lists is what a user will type: every option it names must
// be accepted by the parser in a working command, and every option the tool
// takes must be listed.
TEST_F(EncodeOptions, EveryOptionInHelpIsAccepted)
{
  const testing_support::CommandResult help = RunEncoder({"--help"});
  ASSERT_EQ(help.status, 0) << help.output;
  EXPECT_NE(help.output.find("rastello-encode"), std::string::npos) << help.output;
  EXPECT_NE(help.output.find("INPUT"), std::string::npos) << help.output;
  EXPECT_NE(help.output.find("OUTPUT"), std::string::npos) << help.output;

  const std::string jpeg = TempPath("listed.jpg"), bmp = TempPath("listed.bmp");
  const std::map<std::string, std::vector<std::string>> uses = {
    {"--help", {"--help"}},
    {"--version", {"--version"}},
    {"--format", {input, TempPath("listed.out"), "--format", "BMP"}},
    {"--quality", {input, jpeg, "--quality", "90"}},
    {"--greyscale", {input, jpeg, "--greyscale"}},
    {"--grayscale", {input, jpeg, "--grayscale"}},
    {"--progressive", {input, jpeg, "--progressive"}},
    {"--sampling", {input, jpeg, "--sampling", "1:2:2", "--sampling", "2:1:1"}},
    {"--restart-rows", {input, jpeg, "--restart-rows", "1"}},
    {"--scan", {input, jpeg, "--progressive", "--greyscale", "--scan", "0:2:0:0", "--scan", "1:2:63:0"}},
    {"--comment", {input, jpeg, "--comment", "listed"}},
    {"--threads", {input, jpeg, "--threads", "2"}},
    {"--bits", {input, bmp, "--bits", "16"}},
    {"--no-alpha", {input, bmp, "--bits", "32", "--no-alpha"}},
    {"--progress", {input, jpeg, "--progress"}},
    {"--quiet", {input, jpeg, "--quiet"}},
  };

  std::set<std::string> listed;
  const std::string &text = help.output;
  for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2))
  {
    if (at > 0 && text[at - 1] != ' ' && text[at - 1] != ',' && text[at - 1] != '\n')
      continue;  // inside a word
    size_t end = at + 2;
    while (end < text.size() && (std::islower(static_cast<unsigned char>(text[end])) || text[end] == '-'))
      ++end;
    if (end > at + 2)
      listed.insert(text.substr(at, end - at));
  }
  for (const std::string &option : listed)
  {
    const auto use = uses.find(option);
    if (use == uses.end())
    {
      ADD_FAILURE() << "--help lists " << option << ", which no case here uses";
      continue;
    }
    const testing_support::CommandResult run = RunEncoder(use->second);
    EXPECT_EQ(run.status, 0) << option << ": " << run.output;
  }
  for (const auto &use : uses)
    EXPECT_EQ(listed.count(use.first), 1u) << use.first << " is not in --help";
}

TEST_F(EncodeOptions, DecodersSeeTheInputPicture)
{
  // Orientation and channel order survive the whole path: a gradient whose
  // red rises to the right and green downwards, at quality 100.
  const std::string output = TempPath("round.jpg");
  ASSERT_EQ(RunEncoder({input, output, "--quality", "100"}).status, 0);
  const testing_support::DecodedImage decoded = testing_support::DecodeJpeg(ReadFileBytes(output));
  ASSERT_TRUE(decoded.ok) << decoded.messages;
  const Vantorum::BitmapImage source = testing_support::GradientImage(37, 23);
  double error = 0;
  for (uint32_t y = 0; y < 23; ++y)
    for (uint32_t x = 0; x < 37; ++x)
    {
      const testing_support::Rgb expected = testing_support::GetPixel(source, x, y);
      const uint8_t *got = &decoded.rgba[(y * 37 + x) * 4];
      error += std::abs(got[0] - expected.red) + std::abs(got[1] - expected.green) + std::abs(got[2] - expected.blue);
    }
  EXPECT_LT(error / (37 * 23 * 3), 3.0);
}

}  // namespace
