// How much a drawing file may make the loader do. Each limit is far above
// real drawings and far below what exhausts memory or time; a file beyond one
// is refused with a message that names it.
#ifndef ZULAN_DRAWING_DXFLIMITS_H
#define ZULAN_DRAWING_DXFLIMITS_H

#include <cstddef>
#include <string>

namespace zulan
{

constexpr int MaxBlockDepth = 32;
// Lines and runs of one MTEXT, and attributes in the file.
constexpr size_t MaxTextRuns = 4000000;
constexpr size_t MaxAttributes = 4000000;
// Points of one record, of all records together on a machine with little
// memory (see PointLimit), and of all LWPOLYLINE vertices in the file.
constexpr size_t MaxPoints = 16000000;
constexpr int MaxArrayCells = 100000;  // rows x columns of one MINSERT
// Groups of TABLESTYLE objects kept (a style has about 70); the styles
// beyond give their tables the standard look.
constexpr size_t MaxTableStyleGroups = 100000;
// Block placements and the entities in them visited while expanding inserts:
// arrays of empty blocks, or of entities that draw nothing, add no records
// but can still take forever.
constexpr long MaxVisits = 20000000;
// libdime reads numbers through a 512-byte stack buffer; real numbers in DXF
// files are at most about 25 characters.
constexpr size_t MaxNumberLength = 100;
// A binary DXF file as text: about four times its bytes at most.
constexpr size_t MaxDxfTextBytes = size_t(1) << 30;

// The records and points a drawing may expand to are bounded by memory, not
// by a count, so that whatever the machine can hold is drawn: bytes, a
// quarter of the physical memory, or the MiB that ZULAN_MEMORY_BUDGET gives
// (an unreadable value is refused, naming the file being loaded).
constexpr const char *MemoryBudgetVariable = "ZULAN_MEMORY_BUDGET";
size_t MemoryBudget(const std::string &path);
// Points of all records together: as many as the budget holds (16 bytes
// each), never fewer than MaxPoints, and within the records' 32-bit index.
size_t PointLimit(size_t budget);
// Refuses the drawing, saying what it needs (bytes) against the budget.
[[noreturn]] void OverMemoryBudget(const std::string &path, double needed, size_t budget);

}  // namespace zulan

#endif
