#include "turbo.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace Bench
{

std::vector<uint8_t> TurboEncode(const Vantorum::BitmapImage &image, const uint16_t *luminance,
                                 const uint16_t *chrominance, bool progressive)
{
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char *output = nullptr;
  unsigned long outputSize = 0;
  jpeg_mem_dest(&cinfo, &output, &outputSize);

  cinfo.image_width = image.GetWidth();
  cinfo.image_height = image.GetHeight();
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;  // our pixel words, no copy
  jpeg_set_defaults(&cinfo);
  unsigned int tables[2][64];
  for (int i = 0; i < 64; ++i)
  {
    tables[0][i] = luminance[i];
    tables[1][i] = chrominance[i];
  }
  jpeg_add_quant_table(&cinfo, 0, tables[0], 100, TRUE);
  jpeg_add_quant_table(&cinfo, 1, tables[1], 100, TRUE);
  for (int c = 0; c < 3; ++c)
  {
    cinfo.comp_info[c].h_samp_factor = 1;
    cinfo.comp_info[c].v_samp_factor = 1;
    cinfo.comp_info[c].quant_tbl_no = c == 0 ? 0 : 1;
  }
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.optimize_coding = TRUE;
  static jpeg_scan_info scans[4];
  if (progressive)
  {
    scans[0] = {3, {0, 1, 2, 0}, 0, 0, 0, 0};
    for (int c = 0; c < 3; ++c)
      scans[1 + c] = {1, {c, 0, 0, 0}, 1, 63, 0, 0};
    cinfo.scan_info = scans;
    cinfo.num_scans = 4;
  }

  jpeg_start_compress(&cinfo, TRUE);
  const uint32_t rowBytes = image.GetWidth() * 4;
  while (cinfo.next_scanline < cinfo.image_height)
  {
    JSAMPROW row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE *>(image.GetPixels())
                                        + static_cast<size_t>(cinfo.next_scanline) * rowBytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<uint8_t> bytes(output, output + outputSize);
  std::free(output);
  return bytes;
}

std::vector<uint8_t> TurboDecodeRgb(const std::vector<uint8_t> &jpeg, uint32_t &width, uint32_t &height)
{
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  width = cinfo.output_width;
  height = cinfo.output_height;
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
  while (cinfo.output_scanline < cinfo.output_height)
  {
    JSAMPROW row = pixels.data() + static_cast<size_t>(cinfo.output_scanline) * width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return pixels;
}

}  // namespace Bench
