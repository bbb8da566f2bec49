// Bit output for entropy-coded segments (ITU-T T.81 F.1.2.3): bits packed
// most significant first, a 0x00 stuffed after every 0xFF, the last byte
// completed with 1-bits. Only the bit side stuffs; marker bytes never are.
#ifndef VANTORUM_JPGOUTPUTSTREAM_H
#define VANTORUM_JPGOUTPUTSTREAM_H

#include <cstdint>
#include <cstring>

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
  friend class JpegBitWriter;

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

// The encoder's fast path for entropy-coded data: bits gather in a 64-bit
// word and leave as whole bytes, four at a time when none of them is 0xFF
// and the buffer has room to spare. Bytes, stuffing and flush points are
// those of PutBits; only their timing differs, so Sync must run before
// anything outside the writer can look at the stream (a progress report, a
// marker, the end of the scan). Between Load and Sync nothing else may write
// to the stream.
class JpegBitWriter
{
public:
  explicit JpegBitWriter(JpegOutputStream &target) : stream(target) { Load(); }
  JpegBitWriter(const JpegBitWriter &) = delete;
  JpegBitWriter &operator=(const JpegBitWriter &) = delete;

  // Takes over the bits of the stream's partly filled byte.
  void Load()
  {
    count = static_cast<uint32_t>(8 - stream.bitPosition);
    bits = *stream.current >> stream.bitPosition;
  }

  // Appends the low n bits of value (value < 2^n, n at most 32).
  void Put(uint32_t value, uint32_t n)
  {
    bits = bits << n | value;
    count += n;
    if (count >= 32)
      EmitWord();
  }

  // Writes every whole byte and leaves the rest in the stream's current
  // byte, exactly as PutBits would have.
  void Sync()
  {
    while (count >= 8)
    {
      count -= 8;
      EmitByte(static_cast<uint8_t>(bits >> count));
    }
    *stream.current = static_cast<uint8_t>(count == 0 ? 0 : bits << (8 - count));
    stream.bitPosition = static_cast<int32_t>(8 - count);
  }

  // Splices in bytes [from, to) of a part coded by another writer, then
  // takes its partial byte: bytes[to] holds pending further bits (from the
  // top). The part's writer began at this writer's bit phase, its first
  // byte's top phase bits left 0, and stuffed its own bytes; only that
  // first byte, completed here with this writer's bits, is stuffed here.
  void Splice(const uint8_t *bytes, size_t from, size_t to, uint32_t pending, uint32_t phase)
  {
    Sync();
    size_t i = from;
    if (i == 0 && i < to && phase > 0)
      EmitByte(static_cast<uint8_t>(*stream.current | bytes[i++]));
    // The rest as NextByte would place them: a buffer is handed over as soon
    // as its last byte is filled.
    while (i < to)
    {
      const size_t room = static_cast<size_t>(stream.bufferEnd - stream.current);
      const size_t chunk = to - i < room ? to - i : room;
      std::memcpy(stream.current, bytes + i, chunk);
      stream.current += chunk;
      i += chunk;
      if (stream.current >= stream.bufferEnd)
        stream.Flush();
    }
    const uint8_t partial = pending == 0 ? uint8_t(0) : static_cast<uint8_t>(bytes[to] & (0xFF00u >> pending));
    *stream.current = to == 0 && phase > 0 ? static_cast<uint8_t>(*stream.current | partial) : partial;
    stream.bitPosition = static_cast<int32_t>(8 - pending);
    Load();
  }

  // Bits waiting in the stream's current byte.
  uint32_t Phase() const { return count % 8; }

private:
  void EmitWord()
  {
    count -= 32;
    const uint32_t word = static_cast<uint32_t>(bits >> count);
    // A byte of 0xFF (and, harmlessly, 0xFE below a carry) sets its top bit here.
    const bool anyFF = (word & 0x80808080u & ~(word + 0x01010101u)) != 0;
    if (!anyFF && stream.bufferEnd - stream.current > 8)
    {
      const uint8_t bytes[4] = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                                static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
      std::memcpy(stream.current, bytes, 4);
      stream.current += 4;
      return;
    }
    for (int shift = 24; shift >= 0; shift -= 8)
      EmitByte(static_cast<uint8_t>(word >> shift));
  }

  // One completed byte, as CompleteByte handles it.
  void EmitByte(uint8_t value)
  {
    *stream.current = value;
    if (value == 0xFF)
      stream.NextByte();
    stream.NextByte();
  }

  JpegOutputStream &stream;
  uint64_t bits = 0;   // the low count bits are pending, oldest highest
  uint32_t count = 0;  // below 32 between calls
};

// The encoder's file destination: bytes and bits share one buffer.
class JpegOutputFileStream : public OutputFileStream, public JpegOutputStream
{
};

}  // namespace Vantorum

#endif
