// Helper threads for the encoders' optional parallel work: a split of a
// range into shares, and tasks that run beside the calling thread. A task's
// exception reaches the caller from Wait; tasks still running when the
// caller unwinds (a cancel, an error of its own) are waited for first, so
// no task outlives the data it works on, when that data is declared before
// the ParallelTasks.
#ifndef VANTORUM_PARALLELTASKS_H
#define VANTORUM_PARALLELTASKS_H

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace Vantorum
{

// count items in at most parts shares of nearly equal size, in order.
class WorkSplit
{
public:
  WorkSplit(uint32_t count, uint32_t parts)
    : total(count), shares(parts == 0                   ? 1
                           : parts > count && count > 0 ? count
                                                        : parts)
  {
  }
  uint32_t Parts() const { return shares; }
  // First item of share part; First(Parts()) is the count.
  uint32_t First(uint32_t part) const { return static_cast<uint32_t>(static_cast<uint64_t>(total) * part / shares); }

private:
  uint32_t total;
  uint32_t shares;
};

// Data units a thread's share must hold to pay for starting the thread:
// 16384 by default, about half an 800 x 600 picture, below which one thread
// is faster. Tests set it low, so that small pictures take every path.
uint64_t MinimumShareUnits();
void SetMinimumShareUnits(uint64_t units);

// How many of threads to use for units data units.
inline uint32_t UsefulShares(uint64_t units, uint32_t threads)
{
  const uint64_t most = units / MinimumShareUnits();
  return most < 1 ? 1 : most < threads ? static_cast<uint32_t>(most) : threads;
}

class ParallelTasks
{
public:
  ParallelTasks() = default;
  ParallelTasks(const ParallelTasks &) = delete;
  ParallelTasks &operator=(const ParallelTasks &) = delete;
  ~ParallelTasks()
  {
    stopping = true;
    Join();
  }

  // True once the caller is unwinding: a long task may stop early.
  bool Stopping() const { return stopping; }

  void Run(std::function<void()> task)
  {
    threads.emplace_back([this, task = std::move(task)] {
      try
      {
        task();
      }
      catch (...)
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (!failure)
          failure = std::current_exception();
      }
    });
  }

  // Waits for every task; rethrows the first exception one of them threw.
  void Wait()
  {
    Join();
    if (failure)
      std::rethrow_exception(failure);
  }

private:
  void Join()
  {
    for (std::thread &thread : threads)
      if (thread.joinable())
        thread.join();
    threads.clear();
  }

  std::vector<std::thread> threads;
  std::atomic<bool> stopping{false};
  std::mutex mutex;
  std::exception_ptr failure;
};

}  // namespace Vantorum

#endif
