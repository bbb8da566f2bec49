// The symbol coders' hot core, shared by the data-unit coders and the
// writer's parallel scans: sizes, point transforms, nonzero masks, the two
// sinks of the writer's own passes, and the sequential and first-AC coders
// as templates over their sinks. Internal to the library.
#ifndef VANTORUM_JPGCODERS_H
#define VANTORUM_JPGCODERS_H

#include <cstdint>

#include "jpeg/jpgoutputstream.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace Vantorum
{
namespace Coders
{

// The largest run one EOB14 symbol can carry.
const uint32_t MaxEobRun = 0x7FFF;

// Number of significant bits of |value|.
inline int SizeOf(int32_t value)
{
  const uint32_t magnitude = static_cast<uint32_t>(value < 0 ? -value : value);
  return magnitude == 0 ? 0 : 32 - __builtin_clz(magnitude);
}

// Negative values are sent as the complement of their magnitude.
inline int ExtraBits(int32_t value)
{
  return value >= 0 ? value : value - 1;
}

inline int HighestBit(uint32_t value)
{
  return value == 0 ? -1 : 31 - __builtin_clz(value);
}

// AC point transform: division truncating toward zero (T.81 G.1.2.2).
inline int32_t Transformed(const int16_t *block, int k, int Al)
{
  // Shifts of the magnitude: a division by a variable power of two would
  // cost a hardware divide per coefficient; without a branch, which would
  // mispredict on every other sign.
  const int32_t value = block[k];
  const int32_t sign = value >> 31;  // 0 or -1
  return ((((value ^ sign) - sign) >> Al) ^ sign) - sign;
}

// Bit k set when zigzag coefficient k of the block is not 0, so the coders
// visit only those instead of testing every position.
inline uint64_t NonzeroMask(const int16_t *block)
{
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  uint64_t zeros = 0;
  for (int i = 0; i < 4; ++i)
  {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * i));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * i + 8));
    const __m128i equal = _mm_packs_epi16(_mm_cmpeq_epi16(low, zero), _mm_cmpeq_epi16(high, zero));
    zeros |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(equal))) << (16 * i);
  }
  return ~zeros;
#else
  uint64_t mask = 0;
  for (int k = 0; k < 64; ++k)
    mask |= static_cast<uint64_t>(block[k] != 0) << k;
  return mask;
#endif
}

inline uint64_t NonzeroAcMask(const int16_t *block)
{
  return NonzeroMask(block) & ~static_cast<uint64_t>(1);
}

// The low size bits of a value's extra bits.
inline uint32_t Masked(int32_t extraBits, int size)
{
  return static_cast<uint32_t>(extraBits) & ((1u << size) - 1);
}

// A statistics pass's symbol counts by table (0: Y, 1: Cb and Cr); counts
// of rows or shares of a scan add up to the scan's.
struct SymbolCounts
{
  uint32_t dc[2][257] = {};
  uint32_t ac[2][257] = {};
};

// Sinks of the hot paths: counts go straight into a table's frequencies;
// a code and its extra bits go out in one Put.
struct Counter
{
  uint32_t *frequencies;
  void operator()(int symbol, int32_t, int) const { ++frequencies[symbol]; }
};

struct Writer
{
  const uint16_t *codes;
  const uint8_t *sizes;
  JpegBitWriter *bits;
  __attribute__((always_inline)) void operator()(int symbol, int32_t extraBits, int size) const
  {
    bits->Put(static_cast<uint32_t>(codes[symbol]) << size | Masked(extraBits, size),
              sizes[symbol] + static_cast<uint32_t>(size));
  }
};

// The DC difference of a sequential scan.
template <class DcEmit> inline void CodeDcDifference(int32_t dc, int32_t &lastDc, DcEmit emit)
{
  const int32_t diff = dc - lastDc;
  lastDc = dc;
  const int size = SizeOf(diff);
  emit(size, ExtraBits(diff), size);
}

// T.81 F.1.2: (run, size) symbols with ZRL for runs of 16 and EOB when the
// block ends in zeros. The AC part alone does not depend on the blocks
// before, so it can be counted in any order.
template <class AcEmit> inline void CodeSequentialAc(const int16_t *block, AcEmit ac)
{
  uint64_t nonzero = NonzeroAcMask(block);
  int previous = 0;  // zigzag position of the last coefficient sent
  while (nonzero != 0)
  {
    const int k = __builtin_ctzll(nonzero);
    nonzero &= nonzero - 1;
    int run = k - previous - 1;
    for (; run >= 16; run -= 16)
      ac(0xF0, 0, 0);
    const int32_t value = block[k];
    const int size = SizeOf(value);
    ac(run * 16 + size, ExtraBits(value), size);
    previous = k;
  }
  if (previous < 63)
    ac(0x00, 0, 0);
}

// A whole block: the DC difference, then the AC symbols.
template <class DcEmit, class AcEmit>
inline void CodeSequential(const int16_t *block, int32_t &lastDc, DcEmit dc, AcEmit ac)
{
  CodeDcDifference(block[0], lastDc, dc);
  CodeSequentialAc(block, ac);
}

// T.81 G.1.2.2: the band Ss..Se of a first AC scan, point-transformed by Al;
// a band that ends in zeros joins the end-of-band run, which flush sends.
// (Se is at most 63: the scan plan check rejects any band beyond it.)
// Bit k set when coefficient k of the band Ss..Se is not 0 after the point
// transform.
inline uint64_t BandMask(const int16_t *block, int Ss, int Se, int Al)
{
  if (Al == 0)
  {
    const uint64_t band = (Se == 63 ? ~static_cast<uint64_t>(0) : (static_cast<uint64_t>(1) << (Se + 1)) - 1)
                          & ~((static_cast<uint64_t>(1) << Ss) - 1);
    return NonzeroMask(block) & band;
  }
  uint64_t nonzero = 0;
  for (int k = Ss; k <= Se; ++k)
    nonzero |= static_cast<uint64_t>(Transformed(block, k, Al) != 0) << k;
  return nonzero;
}

template <class AcEmit, class FlushEob>
inline void CodeAcFirst(const int16_t *block, int Ss, int Se, int Al, uint32_t &eobRun, AcEmit ac, FlushEob flush)
{
  uint64_t nonzero = BandMask(block, Ss, Se, Al);
  int previous = Ss - 1;  // zigzag position of the last coefficient sent
  while (nonzero != 0)
  {
    const int k = __builtin_ctzll(nonzero);
    nonzero &= nonzero - 1;
    if (eobRun != 0)
      flush();
    int run = k - previous - 1;
    for (; run >= 16; run -= 16)
      ac(0xF0, 0, 0);
    const int32_t value = Transformed(block, k, Al);
    const int size = SizeOf(value);
    ac(run * 16 + size, ExtraBits(value), size);
    previous = k;
  }
  if (previous == Se)
    return;
  if (++eobRun == MaxEobRun)
    flush();
}

// Sends a pending end-of-band run as one EOBn symbol.
template <class AcEmit> inline void FlushEobRun(uint32_t &eobRun, AcEmit ac)
{
  if (eobRun == 0)
    return;
  const int n = HighestBit(eobRun);
  ac(n * 16, static_cast<int32_t>(eobRun), n);
  eobRun = 0;
}

// T.81 G.1.2.1: the DC difference of a first DC scan; the point transform
// is an arithmetic shift, rounding toward minus infinity.
template <class DcEmit> inline void CodeDcFirst(int16_t coefficient, int Al, int32_t &lastDc, DcEmit dc)
{
  const int32_t value = coefficient >> Al;
  const int32_t diff = value - lastDc;
  lastDc = value;
  const int size = SizeOf(diff);
  dc(size, ExtraBits(diff), size);
}

}  // namespace Coders
}  // namespace Vantorum

#endif
