// Encoder base: the progress callback and the entry that writes a file.
#ifndef VANTORUM_IMAGEENCODER_H
#define VANTORUM_IMAGEENCODER_H

#include <cstdint>
#include <string>

#include "bitmapimage.h"
#include "graphicsexception.h"

namespace Vantorum
{

class ImageEncoder;

// Called synchronously from inside a write. Setting cancel stops the write
// with GraphicsAbort.
typedef void (*ProgressCallback)(ImageEncoder &encoder, void *userData, uint32_t currentPass, uint32_t passCount,
                                 uint32_t percent, bool &cancel);

class ProgressReporter
{
public:
  ProgressReporter() = default;
  ProgressReporter(const ProgressReporter &) = default;
  ProgressReporter &operator=(const ProgressReporter &) = default;
  virtual ~ProgressReporter() = default;

  // A null callback switches reporting off.
  void SetProgressCallback(ProgressCallback newCallback, void *newUserData)
  {
    callback = newCallback;
    userData = newUserData;
  }

protected:
  ProgressCallback callback = nullptr;
  void *userData = nullptr;  // handed back to the callback unchanged
};

class ImageEncoder : public ProgressReporter
{
public:
  ~ImageEncoder() override = default;

  // Creates or truncates the file and writes the whole image. Every failure
  // is an exception; a failed write leaves the bytes written so far.
  virtual void WriteImageFile(const std::string &fileName, const BitmapImage &image) = 0;

protected:
  // The common body of each encoder's ReportProgress: clamps the percent to
  // 100, calls the callback and throws GraphicsAbort on cancel.
  void CallProgress(uint32_t currentPass, uint32_t passCount, uint32_t percent);
};

}  // namespace Vantorum

#endif
