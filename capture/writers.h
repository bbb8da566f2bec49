// The three writers an export ends in, and their progress callbacks. Each
// writes through a temporary beside the file and throws a std::exception
// whose text names the file when the write fails; the file is then left as
// it was.
#ifndef RASTELLO_CAPTURE_WRITERS_H
#define RASTELLO_CAPTURE_WRITERS_H

#include "bitmapimage.h"
#include "imageencoder.h"

void SaveBmp(const Vantorum::BitmapImage &image, const char *name);
void SavePng(const Vantorum::BitmapImage &image, const char *name);
void SaveJpeg(const Vantorum::BitmapImage &image, const char *name);

void BmpProgress(Vantorum::ImageEncoder &encoder, void *userData, uint32_t currentPass, uint32_t passCount,
                 uint32_t percent, bool &cancel);
void JpegProgress(Vantorum::ImageEncoder &encoder, void *userData, uint32_t currentPass, uint32_t passCount,
                  uint32_t percent, bool &cancel);

#endif
