// Advance widths from cairo's toy font API. One measuring context serves the
// process; a mutex keeps loads on other threads off it.
#include <cairo.h>

#include <mutex>

#include "textmetrics.h"

namespace zulan
{

const char FontFamily[] = "DejaVu Sans";

double TextAdvanceEms(const std::string &utf8)
{
  static std::mutex mutex;
  static cairo_t *measure = nullptr;
  constexpr double Size = 1000;
  std::lock_guard<std::mutex> lock(mutex);
  if (!measure)
  {
    cairo_surface_t *surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1);
    measure = cairo_create(surface);
    cairo_surface_destroy(surface);
    cairo_select_font_face(measure, FontFamily, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(measure, Size);
  }
  cairo_text_extents_t extents;
  cairo_text_extents(measure, utf8.c_str(), &extents);
  if (cairo_status(measure) != CAIRO_STATUS_SUCCESS)
    return 0.6 * double(utf8.size());
  return extents.x_advance / Size;
}

}  // namespace zulan
