#include "jpegencoder.h"
#include "jpegsegments.h"
#include "outputbytestream.h"
#include "expecterror.h"
#include "testimages.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace Vantorum;
using namespace testing_support;

namespace
{

using Bytes = std::vector<uint8_t>;

std::vector<Segment> Encode(JpegEncoder &encoder, const BitmapImage &image)
{
  return ParseJpeg(EncodeJpeg(encoder, image));
}

std::vector<Segment> Only(const std::vector<Segment> &segments, uint8_t marker)
{
  std::vector<Segment> found;
  for (const Segment &segment : segments)
    if (segment.marker == marker)
      found.push_back(segment);
  return found;
}

struct ScanHeader
{
  std::vector<std::pair<int, int>> components;  // id, table byte
  int Ss, Se, Ah, Al;
};

ScanHeader ReadScanHeader(const Segment &sos)
{
  ScanHeader header;
  const Bytes &p = sos.payload;
  for (int i = 0; i < p[0]; ++i)
    header.components.push_back({p[1 + 2 * i], p[2 + 2 * i]});
  const size_t at = 1 + 2 * p[0];
  header.Ss = p[at];
  header.Se = p[at + 1];
  header.Ah = p[at + 2] >> 4;
  header.Al = p[at + 2] & 15;
  return header;
}

struct PassLog
{
  std::vector<std::array<uint32_t, 3>> calls;  // pass, count, percent
  int cancelAt = -1;
};

void LogProgress(ImageEncoder &, void *data, uint32_t pass, uint32_t count, uint32_t percent, bool &cancel)
{
  PassLog &log = *static_cast<PassLog *>(data);
  if (static_cast<int>(log.calls.size()) == log.cancelAt)
    cancel = true;
  log.calls.push_back({pass, count, percent});
}

}  // namespace

TEST(JpegStream, DefaultSequentialColourLayout)
{
  JpegEncoder encoder;
  const Bytes bytes = EncodeJpeg(encoder, BitmapImage(1, 1, PixelWord({10, 200, 30})));
  const Bytes start = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46,
                       0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};
  ASSERT_GE(bytes.size(), start.size());
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 20), start);

  const std::vector<Segment> segments = ParseJpeg(bytes);
  EXPECT_EQ(Markers(segments), (Bytes{0xD8, 0xE0, 0xFE, 0xC0, 0xDB, 0xC4, 0xDA, 0xD9}));
  const std::string text = "Created using the Vantorum Builders JPEG library";
  EXPECT_EQ(segments[2].payload, [&] {
    Bytes expected(text.begin(), text.end());
    expected.push_back(0);
    return expected;
  }());
  EXPECT_EQ(segments[3].payload, (Bytes{8, 0, 1, 0, 1, 3, 1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1}));

  const Bytes &dqt = segments[4].payload;
  ASSERT_EQ(dqt.size(), 130u);
  EXPECT_EQ(Bytes(dqt.begin(), dqt.begin() + 13), (Bytes{0, 8, 10, 10, 10, 10, 10, 10, 10, 10, 10, 11, 10}));
  EXPECT_EQ(Bytes(dqt.begin() + 65, dqt.begin() + 78), (Bytes{1, 8, 9, 9, 12, 10, 12, 23, 13, 13, 23, 49, 33}));
  EXPECT_EQ(bytes[segments[4].offset + 2], 0x00);
  EXPECT_EQ(bytes[segments[4].offset + 3], 0x84);

  const Bytes &dht = segments[5].payload;
  std::vector<int> classes;
  for (size_t at = 0; at < dht.size();)
  {
    classes.push_back(dht[at]);
    int codes = 0;
    for (int i = 1; i <= 16; ++i)
      codes += dht[at + i];
    at += 17 + codes;
  }
  EXPECT_EQ(classes, (std::vector<int>{0x00, 0x10, 0x01, 0x11}));
  const ScanHeader sos = ReadScanHeader(segments[6]);
  EXPECT_EQ(sos.components, (std::vector<std::pair<int, int>>{{1, 0x00}, {2, 0x11}, {3, 0x11}}));
  EXPECT_EQ(sos.Ss * 1000 + sos.Se * 10 + sos.Ah + sos.Al, 63 * 10);
}

TEST(JpegStream, FrameSizesAndSequentialGreyscale)
{
  JpegEncoder encoder;
  std::vector<Segment> segments = Encode(encoder, NoiseImage(17, 9, 1));
  const Segment sof = Only(segments, 0xC0).at(0);
  EXPECT_EQ(sof.payload[1] << 8 | sof.payload[2], 9);
  EXPECT_EQ(sof.payload[3] << 8 | sof.payload[4], 17);

  encoder.SetGreyscale(true);
  segments = Encode(encoder, NoiseImage(17, 9, 1));
  EXPECT_EQ(Markers(segments), (Bytes{0xD8, 0xE0, 0xFE, 0xC0, 0xDB, 0xC4, 0xDA, 0xD9}));
  EXPECT_EQ(Only(segments, 0xC0)[0].payload, (Bytes{8, 0, 9, 0, 17, 1, 1, 0x11, 0}));
  EXPECT_EQ(Only(segments, 0xDB)[0].payload.size(), 65u);
  EXPECT_EQ(Only(segments, 0xC4)[0].payload[0], 0x00);
  EXPECT_EQ(ReadScanHeader(Only(segments, 0xDA)[0]).components, (std::vector<std::pair<int, int>>{{1, 0}}));
}

TEST(JpegStream, CommentsPrecedeTheLibraryText)
{
  JpegEncoder encoder;
  encoder.SetComment("drawing 7");
  const std::vector<Segment> comments = Only(Encode(encoder, LetterF()), 0xFE);
  ASSERT_EQ(comments.size(), 2u);
  EXPECT_EQ(comments[0].payload, (Bytes{'d', 'r', 'a', 'w', 'i', 'n', 'g', ' ', '7', 0}));
  encoder.SetComment("");
  EXPECT_EQ(Only(Encode(encoder, LetterF()), 0xFE).size(), 1u);
}

TEST(JpegStream, RestartMarkersAfterEveryIntervalNumberedModuloEight)
{
  JpegEncoder encoder;
  encoder.SetRestartRows(1);
  const std::vector<Segment> segments = Encode(encoder, GradientImage(40, 80));
  Bytes markers = Markers(segments);
  EXPECT_EQ(markers, (Bytes{0xD8, 0xE0, 0xFE, 0xC0, 0xDB, 0xDD, 0xC4, 0xDA, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6,
                            0xD7, 0xD0, 0xD9}));
  EXPECT_EQ(Only(segments, 0xDD)[0].payload, (Bytes{0, 5}));
}

TEST(JpegStream, SeparateScansRepeatTheIntervalOnlyWhenItChanges)
{
  JpegEncoder encoder;
  encoder.SetScan(0, 2, 0, 0);
  encoder.SetScan(1, 4, 0, 0);
  encoder.SetScan(2, 8, 0, 0);
  encoder.SetRestartRows(2);
  encoder.SetSamplingFrequency(1, 2, 2);
  const std::vector<Segment> segments = Encode(encoder, GradientImage(64, 64));
  std::vector<Bytes> sequence;
  for (const Segment &segment : segments)
    if (segment.marker == 0xDD || segment.marker == 0xDA)
      sequence.push_back(segment.marker == 0xDD ? segment.payload : Bytes{0xDA});
  // Y has 8 data units per row, Cb and Cr 4: DRI 16, SOS, DRI 8, SOS, SOS.
  EXPECT_EQ(sequence, (std::vector<Bytes>{{0, 16}, {0xDA}, {0, 8}, {0xDA}, {0xDA}}));
  // Y 8 rows / 2 per interval: 3 markers; Cb and Cr 4 rows: 1 marker each.
  size_t restarts = 0;
  for (uint8_t marker : Markers(segments))
    restarts += marker >= 0xD0 && marker <= 0xD7;
  EXPECT_EQ(restarts, 5u);
}

TEST(JpegStream, ProgressiveDefaultsAndSuccessiveApproximationSweeps)
{
  JpegEncoder encoder;
  encoder.SetProgressive(true);
  std::vector<Segment> segments = Encode(encoder, GradientImage(30, 20));
  EXPECT_EQ(Markers(segments),
            (Bytes{0xD8, 0xE0, 0xFE, 0xC2, 0xDB, 0xC4, 0xDA, 0xC4, 0xDA, 0xC4, 0xDA, 0xC4, 0xDA, 0xD9}));
  const std::vector<Segment> tables = Only(segments, 0xC4);
  EXPECT_EQ(tables[0].payload[0], 0x00);
  EXPECT_EQ(tables[1].payload[0], 0x10);
  EXPECT_EQ(tables[2].payload[0], 0x11);

  encoder.SetScan(0, 14, 0, 1);
  encoder.SetScan(1, 2, 63, 2);
  PassLog log;
  encoder.SetProgressCallback(LogProgress, &log);
  segments = Encode(encoder, GradientImage(30, 20));
  std::vector<std::array<int, 4>> scans;
  for (const Segment &sos : Only(segments, 0xDA))
  {
    const ScanHeader header = ReadScanHeader(sos);
    scans.push_back({header.components[0].first, header.Se, header.Ah, header.Al});
  }
  EXPECT_EQ(scans,
            (std::vector<std::array<int, 4>>{
              {1, 0, 0, 1}, {1, 63, 0, 2}, {2, 63, 0, 0}, {3, 63, 0, 0}, {1, 0, 1, 0}, {1, 63, 2, 1}, {1, 63, 1, 0}}));
  // The DC refinement has no table and table bytes 0x00.
  const ScanHeader refine = ReadScanHeader(Only(segments, 0xDA)[4]);
  EXPECT_EQ(refine.components, (std::vector<std::pair<int, int>>{{1, 0}, {2, 0}, {3, 0}}));
  const Bytes markers = Markers(segments);
  size_t sosSeen = 0;
  for (size_t i = 0; i < markers.size(); ++i)
    if (markers[i] == 0xDA && ++sosSeen == 5)
    {
      EXPECT_NE(markers[i - 1], 0xC4);
    }

  ASSERT_FALSE(log.calls.empty());
  EXPECT_EQ(log.calls.front()[1], 4u + 2 + 3 + 1 + 1);
  EXPECT_EQ(log.calls.back()[0], log.calls.back()[1]);
  for (size_t i = 1; i < log.calls.size(); ++i)
    EXPECT_GE(log.calls[i][0], log.calls[i - 1][0]);
}

TEST(JpegStream, GreyscaleProgressiveNamesOnlyY)
{
  JpegEncoder encoder;
  encoder.SetProgressive(true);
  encoder.SetGreyscale(true);
  PassLog log;
  encoder.SetProgressCallback(LogProgress, &log);
  const std::vector<Segment> segments = Encode(encoder, LetterF());
  EXPECT_EQ(Markers(segments), (Bytes{0xD8, 0xE0, 0xFE, 0xC2, 0xDB, 0xC4, 0xDA, 0xC4, 0xDA, 0xD9}));
  for (const Segment &sos : Only(segments, 0xDA))
    EXPECT_EQ(ReadScanHeader(sos).components, (std::vector<std::pair<int, int>>{{1, 0}}));
  EXPECT_EQ(log.calls.back()[1], 3u);
}

TEST(JpegStream, ProgressRunsThroughEveryPassAndCancelStopsTheWrite)
{
  JpegEncoder encoder;
  PassLog log;
  encoder.SetProgressCallback(LogProgress, &log);
  EncodeJpeg(encoder, GradientImage(40, 24));
  // Conversion (3 rows of... 24 image rows), three transforms, one scan.
  std::vector<uint32_t> lastOfPass;
  for (size_t i = 0; i < log.calls.size(); ++i)
  {
    EXPECT_EQ(log.calls[i][1], 5u);
    if (i + 1 == log.calls.size() || log.calls[i + 1][0] != log.calls[i][0])
      lastOfPass.push_back(log.calls[i][2]);
  }
  EXPECT_EQ(lastOfPass, (std::vector<uint32_t>{100, 100, 100, 100, 100}));
  EXPECT_EQ(log.calls.front(), (std::array<uint32_t, 3>{1, 5, 4}));  // 25600 / 24 per row

  PassLog cancelling;
  cancelling.cancelAt = 0;
  encoder.SetProgressCallback(LogProgress, &cancelling);
  const std::string path = TempPath("cancelled.jpg");
  EXPECT_THROW(encoder.WriteImageFile(path, GradientImage(40, 24)), GraphicsAbort);
  // The stream keeps what was written before the conversion: SOI, APP0, COM.
  const std::vector<Segment> partial = ParseJpeg(ReadFileBytes(path));
  EXPECT_EQ(Markers(partial), (Bytes{0xD8, 0xE0, 0xFE}));
}

TEST(JpegStream, WriteErrorsAreFailures)
{
  JpegEncoder encoder;
  EXPECT_THROW(encoder.WriteImageFile("/dev/full", LetterF()), OutputByteStream::StreamError);
  EXPECT_THROW(encoder.WriteImageFile("/dev/full", NoiseImage(400, 400, 1)), OutputByteStream::StreamError);
  ExpectError<JpegEncoder::JpegError>([&] { encoder.WriteImageFile(TempPath("none") + "/x.jpg", LetterF()); },
                                      "Cannot Open Input File No such file or directory");
}

// The plan's successive-approximation state is consumed while writing: a
// second write with the same encoder must start from the plan again.
TEST(JpegStream, OneEncoderWritesTheSameSuccessiveApproximationFileTwice)
{
  const auto configure = [](JpegEncoder &encoder) {
    encoder.SetProgressive(true);
    encoder.SetScan(0, 14, 0, 2);
    encoder.SetScan(1, 2, 5, 2);
    encoder.SetScan(2, 2, 63, 1);
    encoder.SetScan(3, 4, 63, 1);
    encoder.SetScan(4, 8, 63, 3);
  };
  const BitmapImage image = GradientImage(40, 24);
  JpegEncoder reused, fresh;
  configure(reused);
  configure(fresh);
  const Bytes first = EncodeJpeg(reused, image);
  EXPECT_EQ(EncodeJpeg(reused, image), first);
  EXPECT_EQ(EncodeJpeg(fresh, image), first);
}
