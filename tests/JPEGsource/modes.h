// The encoder settings every matrix draws on: the golden digests, the
// decoder round trips and the external decoders. A mode sets only what it
// is named for; each matrix states its own starting quality.
#ifndef RASTELLO_TESTS_MODES_H
#define RASTELLO_TESTS_MODES_H

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "bitmapimage.h"
#include "jpegencoder.h"
#include "testimages.h"

namespace testing_support
{

struct EncoderMode
{
  const char *name;
  std::function<void(Vantorum::JpegEncoder &)> configure;
  bool greyscale = false;
  bool pinned = false;    // output bytes pinned in golden_digests.inc
  double closeness = 30;  // least PSNR against the source on smooth pictures
  // ffmpeg implements no upsampling for a chroma component sampled more
  // finely than luma in one direction.
  bool ffmpegReads = true;
};

inline const std::vector<EncoderMode> &EncoderModes()
{
  using Vantorum::JpegEncoder;
  static const std::vector<EncoderMode> modes = {
    {"baseline", [](JpegEncoder &) {}, false, true},
    {"baseline-q100", [](JpegEncoder &e) { e.SetQuality(100); }, false, true},
    {"baseline-q1", [](JpegEncoder &e) { e.SetQuality(1); }, false, true, 15},
    {"baseline-grey", [](JpegEncoder &e) { e.SetGreyscale(true); }, true},
    {"baseline-grey-q50",
     [](JpegEncoder &e) {
       e.SetQuality(50);
       e.SetGreyscale(true);
     },
     true, true},
    {"baseline-h3-q95",
     [](JpegEncoder &e) {
       e.SetSamplingFrequency(1, 3, 1);
       e.SetQuality(95);
     }},
    {"baseline-420-restart",
     [](JpegEncoder &e) {
       e.SetSamplingFrequency(1, 2, 2);
       e.SetRestartRows(1);
     },
     false, true},
    {"baseline-separate-scans",
     [](JpegEncoder &e) {
       e.SetSamplingFrequency(1, 2, 1);
       e.SetSamplingFrequency(2, 1, 2);
       e.SetScan(0, 2, 0, 0);
       e.SetScan(1, 4, 0, 0);
       e.SetScan(2, 8, 0, 0);
       e.SetRestartRows(2);
     },
     false, true, 30, false},
    {"baseline-y-then-chroma",
     [](JpegEncoder &e) {
       e.SetScan(0, 2, 0, 0);
       e.SetScan(1, 12, 0, 0);
       e.SetSamplingFrequency(1, 2, 1);
       e.SetRestartRows(2);
     }},
    {"progressive", [](JpegEncoder &e) { e.SetProgressive(true); }, false, true},
    {"progressive-grey",
     [](JpegEncoder &e) {
       e.SetProgressive(true);
       e.SetGreyscale(true);
     },
     true, true},
    {"progressive-approximation",
     [](JpegEncoder &e) {
       e.SetProgressive(true);
       e.SetQuality(90);
       e.SetScan(0, 14, 0, 1);
       e.SetScan(1, 2, 5, 2);
       e.SetScan(2, 4, 63, 1);
       e.SetScan(3, 8, 63, 1);
       e.SetScan(4, 2, 63, 1);
     },
     false, true},
    {"progressive-420-approximation",
     [](JpegEncoder &e) {
       e.SetProgressive(true);
       e.SetSamplingFrequency(1, 2, 2);
       e.SetScan(0, 14, 0, 2);
       e.SetScan(1, 2, 5, 2);
       e.SetScan(2, 2, 63, 1);
       e.SetScan(3, 4, 63, 1);
       e.SetScan(4, 8, 63, 3);
     }},
    {"progressive-420-restart",
     [](JpegEncoder &e) {
       e.SetProgressive(true);
       e.SetSamplingFrequency(1, 2, 2);
       e.SetRestartRows(1);
     },
     false, true},
    {"progressive-separate-dc",
     [](JpegEncoder &e) {
       e.SetProgressive(true);
       e.SetSamplingFrequency(2, 1, 1);
       e.SetSamplingFrequency(1, 2, 1);
       e.SetScan(0, 2, 0, 1);
       e.SetScan(1, 12, 0, 0);
       e.SetScan(2, 8, 63, 0);
       e.SetScan(3, 2, 63, 0);
       e.SetScan(4, 4, 63, 1);
     }},
  };
  return modes;
}

// One cell of a matrix: a mode applied to a picture.
struct ModeCase
{
  const EncoderMode *mode;
  const Picture *picture;
};

inline std::ostream &operator<<(std::ostream &stream, const ModeCase &cell)
{
  return stream << cell.mode->name << " on " << cell.picture->name;
}

// Every picture under every mode the filter accepts.
inline std::vector<ModeCase> ModeMatrix(const std::vector<Picture> &pictures,
                                        bool (*accept)(const EncoderMode &) = nullptr)
{
  std::vector<ModeCase> cells;
  for (const EncoderMode &mode : EncoderModes())
    if (accept == nullptr || accept(mode))
      for (const Picture &picture : pictures)
        cells.push_back({&mode, &picture});
  return cells;
}

inline std::string ModeCaseName(const testing::TestParamInfo<ModeCase> &info)
{
  return TestName(std::string(info.param.mode->name) + "__" + info.param.picture->name);
}

}  // namespace testing_support

#endif
