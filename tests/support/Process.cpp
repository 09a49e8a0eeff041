#include "tests/support/Process.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

extern char** environ;

namespace kestrune::test {

namespace {

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& t : texts) pointers.push_back(const_cast<char*>(t.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

void Redirect(posix_spawn_file_actions_t& actions, int fd, const std::filesystem::path& file,
              int flags) {
  if (!file.empty()) posix_spawn_file_actions_addopen(&actions, fd, file.c_str(), flags, 0644);
}

}  // namespace

Process::Process(const std::vector<std::string>& args, const ProcessIo& io) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) env.emplace_back(*e);
  env.insert(env.end(), io.env.begin(), io.env.end());
  const std::vector<char*> argv = Pointers(args);
  const std::vector<char*> envp = Pointers(env);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!io.workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, io.workDir.c_str());
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO,
                                   io.in.empty() ? "/dev/null" : io.in.c_str(), O_RDONLY, 0);
  Redirect(actions, STDOUT_FILENO, io.out, O_WRONLY | O_CREAT | O_TRUNC);
  Redirect(actions, STDERR_FILENO, io.err, O_WRONLY | O_CREAT | O_TRUNC);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + args[0]);
  // A descriptor that becomes readable when the program ends: waiting for
  // it is a wait for the event, with a deadline.
  pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

Process::~Process() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (pidfd_ >= 0) close(pidfd_);
}

void Process::Signal(int sig) const {
  if (pid_ > 0) kill(pid_, sig);
}

int Process::Wait(std::chrono::milliseconds patience) {
  if (pid_ <= 0) return -1;
  pollfd pfd{pidfd_, POLLIN, 0};
  if (poll(&pfd, 1, static_cast<int>(patience.count())) != 1) return -1;
  int status = 0;
  rusage usage{};
  wait4(pid_, &status, 0, &usage);
  peakResidentKiB_ = usage.ru_maxrss;
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int RunAsOrdinaryUser(const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    constexpr uid_t kNobody = 65534;
    if (geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
         setresuid(kNobody, kNobody, kNobody) != 0))
      _exit(255);
    _exit(body());
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 255 ? -1 : WEXITSTATUS(status);
}

}  // namespace kestrune::test
