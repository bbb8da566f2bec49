#include "imageencoder.h"

namespace Vantorum
{

void ImageEncoder::CallProgress(uint32_t currentPass, uint32_t passCount, uint32_t percent)
{
  if (callback == nullptr)
    return;
  if (percent > 100)
    percent = 100;
  bool cancel = false;
  callback(*this, userData, currentPass, passCount, percent, cancel);
  if (cancel)
    throw GraphicsAbort();
}

}  // namespace Vantorum
