// Writes a 16 x 8 image, red on the left half and blue on the right, as a
// progressive JPEG named by the first argument.
#include <bitmapimage.h>
#include <jpegencoder.h>

#include <cstdio>

int main(int argc, char **argv)
{
  if (argc != 2)
  {
    std::fprintf(stderr, "usage: consumer OUTPUT.jpg\n");
    return 2;
  }
  try
  {
    Vantorum::BitmapImage image(16, 8, 0x00FF0000);
    for (uint32_t row = 0; row < 8; ++row)
      for (uint32_t column = 8; column < 16; ++column)
        *image.PixelAddress(row * 16 + column) = 0x000000FF;
    Vantorum::JpegEncoder encoder;
    encoder.SetQuality(90);
    encoder.SetProgressive(true);
    encoder.WriteImageFile(argv[1], image);
  }
  catch (const std::exception &error)
  {
    std::fprintf(stderr, "consumer: %s\n", error.what());
    return 1;
  }
  return 0;
}
