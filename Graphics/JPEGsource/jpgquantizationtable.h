// Quantisation tables. Quality does not scale one base table: it picks one of
// twelve fixed luminance and five fixed chrominance tables.
#ifndef VANTORUM_JPGQUANTIZATIONTABLE_H
#define VANTORUM_JPGQUANTIZATIONTABLE_H

#include <cstdint>

namespace Vantorum
{

const unsigned int JpegLuminanceLevels = 12;
const unsigned int JpegChrominanceLevels = 5;

// Natural order (index = row x 8 + column, row = vertical frequency).
extern const int32_t JpegLuminanceTables[JpegLuminanceLevels][64];
extern const int32_t JpegChrominanceTables[JpegChrominanceLevels][64];

// The forward DCT's output scaling per natural-order position.
extern const double JpegDctScale[64];

// Table level for a quality of 1..100 in a family of levelCount tables.
unsigned int QualityToLevel(unsigned int quality, unsigned int levelCount);

class QuantizationTable
{
public:
  QuantizationTable();
  virtual ~QuantizationTable() = default;

  // Copies the low 16 bits of each of the 64 values.
  void SetValues(const int32_t *newValues);
  uint16_t GetValue(unsigned int index) const { return values[index]; }
  const uint16_t *GetValues() const { return values; }

  // Fills the scale factors the forward DCT multiplies by: the flow graph's
  // per-frequency scaling divided by the quantiser step.
  void PrepareScaleFactors();
  const double *GetScaleFactors() const { return scaleFactors; }

  bool IsInUse() const { return inUse; }
  void SetInUse(bool value) { inUse = value; }

private:
  uint16_t values[64];      // quantiser steps, natural order, 1..255
  double scaleFactors[64];  // prepared at the start of each write
  bool inUse = false;       // written to the stream and prepared
};

}  // namespace Vantorum

#endif
