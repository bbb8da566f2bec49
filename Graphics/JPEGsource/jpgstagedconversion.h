// The colour conversion and transform of a picture, an MCU row at a time,
// on helper threads and the calling thread. Rows can be handed over while
// the caller is still filling the picture: a helper converts an MCU row as
// soon as its image rows are final. Internal to the library.
#ifndef VANTORUM_JPGSTAGEDCONVERSION_H
#define VANTORUM_JPGSTAGEDCONVERSION_H

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "bitmapimage.h"
#include "paralleltasks.h"

namespace Vantorum
{

class JpegEncoderComponent;
namespace Coders
{
struct SymbolCounts;
}

class StagedConversion
{
public:
  // Allocates the grids of the three components for image, whose size must
  // not change until Finish, and starts the helpers: one fewer than the
  // threads the picture's size makes worth it, at most threads. rowCounts,
  // when not null, receives for each MCU row the symbols a baseline scan of
  // the three components codes there (tables: Y 0, Cb and Cr 1), all but
  // the DC differences of the row's first units, whose predecessors may be
  // converted later.
  // With giveBack, the memory of image rows all of whose MCU rows are
  // converted goes back to the system, in whole large pages: the rows read
  // as black afterwards.
  StagedConversion(const BitmapImage &image, uint32_t maxH, uint32_t maxV, JpegEncoderComponent &y,
                   JpegEncoderComponent &cb, JpegEncoderComponent &cr, uint32_t threads,
                   Coders::SymbolCounts *rowCounts, bool giveBack);
  StagedConversion(const StagedConversion &) = delete;
  StagedConversion &operator=(const StagedConversion &) = delete;
  // Stops the helpers: a conversion left unfinished leaves its grids unset.
  ~StagedConversion();

  const BitmapImage &Image() const { return image; }
  // Whether any image rows were given back.
  bool GaveBack();
  uint32_t Width() const { return width; }
  uint32_t Height() const { return height; }
  // Image rows 0 .. rows - 1 hold their final pixels.
  void Filled(uint32_t rows);
  // Every row is final: converts, with the helpers, the MCU rows they have
  // not. rowDone follows each image row, height times in all, always on the
  // calling thread (the rows the helpers did are reported at the end).
  // Rethrows a helper's failure.
  void Finish(const std::function<void()> &rowDone);

private:
  // The next count MCU rows from first, once their image rows are final;
  // false when none is left or the conversion stops.
  bool Take(uint32_t &first, uint32_t &count);
  void Stop();
  void Convert(uint32_t mcuRow, uint8_t *const planes[3], const std::function<void()> &rowDone);
  void CountDcDifferences(uint32_t mcuRow) const;
  // MCU rows first .. first + count - 1 are converted.
  void Converted(uint32_t first, uint32_t count);

  const BitmapImage &image;
  const uint32_t width, height;  // the image's at the start
  const uint32_t maxH, maxV, mcuHeight, mcuRows;
  JpegEncoderComponent *const components[3];
  Coders::SymbolCounts *const rowCounts;
  std::mutex mutex;
  std::condition_variable filledMore;
  uint32_t nextRow = 0;     // MCU rows below it are taken
  uint32_t filledRows = 0;  // MCU rows whose image rows are all final
  uint32_t sharing = 1;     // threads converting, the caller's included
  bool stopping = false;
  // Given back: every MCU row below convertedRows is converted, and the
  // image's memory below givenBackTo went back (both 0 without giveBack).
  std::vector<bool> converted;
  uint32_t convertedRows = 0;
  uintptr_t givenBackFrom = 0, givenBackTo = 0;
  // Last: destroyed first, so that no helper outlives what it works on.
  ParallelTasks helpers;
};

}  // namespace Vantorum

#endif
