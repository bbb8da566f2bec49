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
  // Fills the current byte as many bits at a time as it has room for; the
  // bytes, and the points at which bytes complete, are those of a
  // bit-at-a-time loop.
  void PutBits(int32_t value, uint32_t count)
  {
    if (count == 0 || count > 16)
      BadBitCount();
    const uint32_t bits = static_cast<uint32_t>(value) & ((1u << count) - 1);
    while (count > 0)
    {
      const uint32_t room = static_cast<uint32_t>(bitPosition);
      const uint32_t take = count < room ? count : room;
      count -= take;
      *current |= static_cast<uint8_t>(((bits >> count) & ((1u << take) - 1)) << (room - take));
      bitPosition -= static_cast<int32_t>(take);
      if (bitPosition == 0)
        CompleteByte();
    }
  }

  // Completes a partly filled byte with 1-bits and returns to byte mode. A
  // byte with no bits yet is left as the next free byte.
  void ExitBitMode()
  {
    if (bitPosition > 0 && bitPosition < 8)  // in byte mode (-1) there is nothing to complete
    {
      *current |= static_cast<uint8_t>((1u << bitPosition) - 1);
      CompleteByte();
    }
    bitPosition = -1;
  }

private:
  // Kept out of line, so that PutBits stays small enough to inline.
  [[noreturn, gnu::cold, gnu::noinline]] static void BadBitCount()
  {
    throw AssertionFailure("Assertion Failure (Bad Parameter): count != 0 && count <= 16 jpeg\\jpgoutputstream");
  }

  void CompleteByte()
  {
    if (*current == 0xFF)
      NextByte();  // the cleared new byte is the stuffed 0x00
    NextByte();
    bitPosition = 8;
  }
};

// The encoder's file destination: bytes and bits share one buffer.
class JpegOutputFileStream : public OutputFileStream, public JpegOutputStream
{
};

} // namespace Vantorum

#endif
