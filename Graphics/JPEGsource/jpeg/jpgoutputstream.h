// Bit output for entropy-coded segments (ITU-T T.81 F.1.2.3): bits packed
// most significant first, a 0x00 stuffed after every 0xFF, the last byte
// completed with 1-bits. Only the bit side stuffs; marker bytes never are.
#ifndef VANTORUM_JPGOUTPUTSTREAM_H
#define VANTORUM_JPGOUTPUTSTREAM_H

#include <cstdint>

#include "graphicsexception.h"
#include "outputbytestream.h"

namespace Vantorum
{

class JpegOutputStream : public virtual OutputByteStream
{
public:
  // Appends the low count bits of value, highest first; count is 1..16.
  void PutBits(int32_t value, uint32_t count)
  {
    if (count == 0 || count > 16)
      throw AssertionFailure("Assertion Failure (Bad Parameter): count != 0 && count <= 16 jpeg\\jpgoutputstream");
    for (uint32_t n = count; n > 0; --n)
    {
      if ((static_cast<uint32_t>(value) & BitMask[n]) != 0)
        *current |= static_cast<uint8_t>(BitMask[bitPosition]);
      if (--bitPosition == 0)
        CompleteByte();
    }
  }

  // Completes a partly filled byte with 1-bits and returns to byte mode. A
  // byte with no bits yet is left as the next free byte.
  void ExitBitMode()
  {
    if (bitPosition < 8)
    {
      *current |= static_cast<uint8_t>((1u << bitPosition) - 1);
      CompleteByte();
    }
    bitPosition = -1;
  }

private:
  void CompleteByte()
  {
    if (*current == 0xFF)
      NextByte();  // the cleared new byte is the stuffed 0x00
    NextByte();
    bitPosition = 8;
  }

  // Entry 0 is 0, entry n is 2^(n - 1): bit selector and position mask.
  static constexpr uint32_t BitMask[17] = {0,     1,     2,     4,     8,      16,     32,     64,    128,
                                           0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000, 0x4000, 0x8000};
};

// The encoder's file destination: bytes and bits share one buffer.
class JpegOutputFileStream : public OutputFileStream, public JpegOutputStream
{
};

} // namespace Vantorum

#endif
