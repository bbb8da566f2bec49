// The three writers an export ends in, and their progress callbacks. Each
// writes through a temporary beside the file and throws a std::exception
// whose text names the file when the write fails; the file is then left as
// it was.
#ifndef RASTELLO_CAPTURE_WRITERS_H
#define RASTELLO_CAPTURE_WRITERS_H

#include "bitmapimage.h"
#include "capture.h"
#include "imageencoder.h"
#include "jpegencoder.h"

void SaveBmp(const Vantorum::BitmapImage &image, const char *name);
void SavePng(const Vantorum::BitmapImage &image, const char *name);
void SaveJpeg(const Vantorum::BitmapImage &image, const char *name);

// A JPEG export whose encoder is set up before the capture: on more than
// one thread, its helpers convert the strips already drawn while the later
// ones are. To outlive neither the picture it is told of nor its capture.
class JpegFileWrite final : public CaptureRows
{
public:
  // consume: the picture is written once and dropped, so the encoder gives
  // its rows' memory back as it converts them (they read as black after).
  explicit JpegFileWrite(bool consume = false);
  void Sized(const Vantorum::BitmapImage &image) override;
  void Filled(int32_t rows) override;
  // SaveJpeg with this encoder.
  void Save(const Vantorum::BitmapImage &image, const char *name);

private:
  void SetUp(const Vantorum::BitmapImage &image);

  Vantorum::JpegEncoder encoder;
  bool setUp = false;
};

void BmpProgress(Vantorum::ImageEncoder &encoder, void *userData, uint32_t currentPass, uint32_t passCount,
                 uint32_t percent, bool &cancel);
void JpegProgress(Vantorum::ImageEncoder &encoder, void *userData, uint32_t currentPass, uint32_t passCount,
                  uint32_t percent, bool &cancel);

#endif
