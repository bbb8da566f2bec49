// MTEXT layouts kept by their contents and format for one load: drawings
// repeat the same notes many times over, and laying one out (its codes,
// wrapping, every character measured) costs far more than looking it up.
#ifndef ZULAN_DRAWING_MTEXTLAYOUTS_H
#define ZULAN_DRAWING_MTEXTLAYOUTS_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "drawinginternal.h"

namespace zulan
{

struct MTextLayout
{
  std::vector<MTextRun> runs;
  std::vector<Rect> frames;
};

class MTextLayouts
{
public:
  // LayoutMText's result for these contents and format, kept for the next
  // that asks; null when they make more than `limit` lines and runs.
  const MTextLayout *Get(const std::string &utf8, const MTextFormat &format, size_t limit);

private:
  std::unordered_map<std::string, MTextLayout> kept;  // by limit, format and contents
  MTextLayout fresh;                                  // one not kept: the store is full or it is large
};

}  // namespace zulan

#endif
