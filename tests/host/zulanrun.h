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

} // namespace testing_support

#endif
