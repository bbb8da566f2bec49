// How much a drawing file may make the loader do. Each limit is far above
// real drawings and far below what exhausts memory or time; a file beyond one
// is refused with a message that names it.
#ifndef ZULAN_DRAWING_DXFLIMITS_H
#define ZULAN_DRAWING_DXFLIMITS_H

#include <cstddef>

namespace zulan
{

constexpr int MaxBlockDepth = 32;
constexpr size_t MaxEntities = 4000000;  // records, after expanding inserts
// Points of all path and filled records together (16 bytes each), and of all
// LWPOLYLINE vertices in the file.
constexpr size_t MaxPoints = 16000000;
constexpr int MaxArrayCells = 100000;  // rows x columns of one MINSERT
// Block placements and the entities in them visited while expanding inserts:
// arrays of empty blocks, or of entities that draw nothing, add no records
// but can still take forever.
constexpr long MaxVisits = 20000000;
// libdime reads numbers through a 512-byte stack buffer; real numbers in DXF
// files are at most about 25 characters.
constexpr size_t MaxNumberLength = 100;
// A binary DXF file as text: about four times its bytes at most.
constexpr size_t MaxDxfTextBytes = size_t(1) << 30;

}  // namespace zulan

#endif
