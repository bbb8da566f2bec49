// An output file that appears whole or not at all. The encoder writes to a
// fresh temporary name in the target's folder (same file system, so the
// final rename is atomic); anything short of Commit removes it again,
// including SIGINT and SIGTERM while the write runs.
#ifndef RASTELLO_TOOLS_ATOMICOUTPUT_H
#define RASTELLO_TOOLS_ATOMICOUTPUT_H

#include <stdexcept>
#include <string>

namespace Rastello
{

class AtomicOutput
{
public:
  class Error : public std::runtime_error
  {
  public:
    explicit Error(const std::string &message) : std::runtime_error(message) {}
  };

  // Creates the temporary file; throws Error naming the target on failure.
  explicit AtomicOutput(const std::string &target);
  AtomicOutput(const AtomicOutput &) = delete;
  AtomicOutput &operator=(const AtomicOutput &) = delete;
  ~AtomicOutput();  // removes the temporary unless committed

  const std::string &TemporaryPath() const { return temporary; }
  // Flushes the temporary to disk and renames it over the target.
  void Commit();

private:
  std::string target;
  std::string temporary;
  bool committed = false;
};

} // namespace Rastello

#endif
