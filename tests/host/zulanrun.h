// Running the real zulan with the real module, each test with its own
// registry file.
#ifndef RASTELLO_TESTS_ZULANRUN_H
#define RASTELLO_TESTS_ZULANRUN_H

#include "decoders.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support
{

// Runs zulan with the arguments (already quoted) and stdin from /dev/null.
CommandResult RunZulan(const std::string &registry, const std::string &arguments);
// The bytes of a value in a registry file; empty when absent.
std::vector<uint8_t> StoredValue(const std::string &registry, const std::string &name);
std::vector<uint8_t> OptionsBytes(const std::vector<int32_t> &words);
void WriteRegistry(const std::string &registry, const std::string &valueLines);
// The "Options"=hex:... line of a registry file holding the words.
std::string OptionsLine(const std::vector<int32_t> &words);

// The bundled drawing most tests export.
inline const std::string Floorplan = std::string(RASTELLO_EXAMPLES) + "/floorplan.dxf";

inline bool Contains(const std::string &text, const std::string &part)
{
  return text.find(part) != std::string::npos;
}
size_t Occurrences(const std::string &text, const std::string &part);

// The command line RunZulan runs, without its stdin, for callers that wrap
// it (limits, another folder).
std::string ZulanCommandLine(const std::string &registry, const std::string &arguments);
// RunZulan from within folder, where relative file names then land.
CommandResult RunZulanIn(const std::string &folder, const std::string &registry, const std::string &arguments);
// Runs zulan in folder on a new terminal (a pseudo-terminal), with `typed`
// waiting as input; the output is what the terminal showed.
CommandResult RunOnTerminal(const std::string &folder, const std::string &registry, const std::string &arguments,
                            const std::string &typed);
// An empty folder of the test's own, emptied again when it already exists.
std::string FreshFolder(const std::string &name);

}  // namespace testing_support

#endif
