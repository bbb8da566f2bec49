#include "batch.h"
#include "batchprogress.h"
#include "text.h"

#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace zulan
{

namespace
{

const int ExitInterrupted = 130;
const char StatusPrefix[] = "status: ";

volatile std::sig_atomic_t interruption = 0;

void NoteInterruption(int signalNumber)
{
  interruption = signalNumber;
}

// One drawing's process, its output read through a pipe.
struct Run
{
  pid_t pid = -1;
  int output = -1;  // stdout and stderr of the run, merged
  size_t index = 0;
  std::string pending;  // a line not yet ended
};

// The batch's own handlers while it runs: a signal ends the runs under way
// rather than leaving them behind. The old ones come back afterwards.
class SignalGuard
{
public:
  SignalGuard()
  {
    interruption = 0;
    struct sigaction action = {};
    action.sa_handler = NoteInterruption;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < Count; ++i)
      sigaction(Signals[i], &action, &previous[i]);
  }
  ~SignalGuard()
  {
    for (size_t i = 0; i < Count; ++i)
      sigaction(Signals[i], &previous[i], nullptr);
  }
  SignalGuard(const SignalGuard &) = delete;
  SignalGuard &operator=(const SignalGuard &) = delete;

private:
  static constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};
  static constexpr size_t Count = sizeof Signals / sizeof Signals[0];
  struct sigaction previous[Count];
};

// Starts the run of one drawing with its output on a pipe and stdin on
// /dev/null; returns the error text, or "".
std::string Start(const std::vector<std::string> &command, Run &run)
{
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0)
    return std::string("cannot make a pipe: ") + std::strerror(errno);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 2);
  std::vector<char *> argv;
  for (const std::string &word : command)
    argv.push_back(const_cast<char *>(word.c_str()));
  argv.push_back(nullptr);
  const int error = posix_spawn(&run.pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (error != 0)
  {
    close(ends[0]);
    return "cannot start " + command[0] + ": " + std::strerror(error);
  }
  run.output = ends[0];
  return "";
}

// How a run ended, as an exit status, and the reason when it did not say.
int Outcome(int waitStatus, std::string &cause)
{
  if (WIFEXITED(waitStatus))
  {
    const int status = WEXITSTATUS(waitStatus);
    if (status != 0)
      cause = "exit status " + std::to_string(status);
    return status;
  }
  const int signalNumber = WTERMSIG(waitStatus);
  cause = std::string("ended by signal ") + std::to_string(signalNumber) + " (" + strsignal(signalNumber) + ")";
  return 128 + signalNumber;
}

void HandleLines(Run &run, BatchProgress &progress, bool atEnd)
{
  size_t start = 0;
  for (size_t end; (end = run.pending.find('\n', start)) != std::string::npos; start = end + 1)
  {
    std::string line = run.pending.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.rfind(StatusPrefix, 0) == 0)
      progress.Status(run.index, line.substr(sizeof StatusPrefix - 1));
    else
      progress.Message(run.index, line);
  }
  run.pending.erase(0, start);
  if (atEnd && !run.pending.empty())
  {
    progress.Message(run.index, run.pending);
    run.pending.clear();
  }
}

// Reads what the run wrote; false at its end.
bool ReadRun(Run &run, BatchProgress &progress)
{
  char buffer[4096];
  const ssize_t got = read(run.output, buffer, sizeof buffer);
  if (got < 0 && errno == EINTR)
    return true;
  if (got <= 0)
  {
    HandleLines(run, progress, true);
    return false;
  }
  run.pending.append(buffer, size_t(got));
  HandleLines(run, progress, false);
  return true;
}

int Wait(pid_t pid)
{
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR)
  {
  }
  return status;
}

// After Ctrl-C: ends every run under way and waits for it, so that each
// removes its temporary file before the batch returns.
void EndRuns(std::vector<Run> &runs)
{
  for (Run &run : runs)
    kill(run.pid, SIGTERM);
  for (Run &run : runs)
  {
    close(run.output);
    Wait(run.pid);
  }
  runs.clear();
}

}  // namespace

int AvailableProcessors()
{
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
    return CPU_COUNT(&set);
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? int(online) : 1;
}

std::string BatchOutputs(const std::vector<std::string> &drawings, const std::string &folder, const std::string &ending,
                         std::vector<std::string> &outputs)
{
  namespace fs = std::filesystem;
  outputs.clear();
  // Folded, as a folder on a case-blind file system would hold them.
  std::map<std::string, std::string> taken;
  for (const std::string &drawing : drawings)
  {
    const std::string output = (fs::path(folder) / fs::path(drawing).stem()).string() + ending;
    const auto [place, fresh] = taken.emplace(Text::LowerCase(output), drawing);
    if (!fresh)
      return place->second + " and " + drawing + " would both be written as " + output
             + "; rename one, or export them in separate runs";
    if (output.find('"') != std::string::npos && output.find('\'') != std::string::npos)
      return output + ": a name holding both kinds of quote cannot be given to SAVEBMP";
    outputs.push_back(output);
  }
  return "";
}

std::vector<std::string> DrawingCommand(const Batch &batch, size_t index)
{
  std::vector<std::string> command = {batch.self, batch.drawings[index]};
  command.insert(command.end(), batch.arguments.begin(), batch.arguments.end());
  const std::string &output = batch.outputs[index];
  if (!batch.filter.empty())
    command.insert(command.end(), {"--export", batch.filter, output});
  else
  {
    // The command's words are split at blanks; quotes keep the name whole.
    const char quote = output.find('"') == std::string::npos ? '"' : '\'';
    command.insert(command.end(), {"-c", std::string("SAVEBMP ") + quote + output + quote});
  }
  return command;
}

int RunBatch(const Batch &batch)
{
  BatchProgress progress(stderr, batch.live, batch.drawings);
  SignalGuard guard;
  std::vector<Run> runs;
  size_t next = 0;
  while (next < batch.drawings.size() || !runs.empty())
  {
    while (interruption == 0 && runs.size() < size_t(batch.jobs) && next < batch.drawings.size())
    {
      Run run;
      run.index = next++;
      const std::string error = Start(DrawingCommand(batch, run.index), run);
      if (!error.empty())
        progress.Finished(run.index, 1, "", error);
      else
        runs.push_back(run);
    }
    if (interruption != 0)
    {
      EndRuns(runs);
      progress.Interrupted();
      return ExitInterrupted;
    }
    std::vector<pollfd> watched;
    for (const Run &run : runs)
      watched.push_back({run.output, POLLIN, 0});
    // A signal between the check above and the wait is seen at the next
    // turn at the latest.
    if (poll(watched.data(), watched.size(), 200) <= 0)
      continue;
    for (size_t i = runs.size(); i-- > 0;)
    {
      if (watched[i].revents == 0 || ReadRun(runs[i], progress))
        continue;
      close(runs[i].output);
      std::string cause;
      const int status = Outcome(Wait(runs[i].pid), cause);
      progress.Finished(runs[i].index, status, batch.outputs[runs[i].index], cause);
      runs.erase(runs.begin() + std::ptrdiff_t(i));
    }
  }
  return progress.Summary(batch.outputFolder);
}

}  // namespace zulan
