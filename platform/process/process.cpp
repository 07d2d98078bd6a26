#include "platform/process/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/errors.h"
#include "platform/paths.h"

extern char** environ;

namespace pellary::platform::process {

namespace {

int executableError(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EACCES;
  if (::access(path.c_str(), X_OK) != 0) return errno;
  return 0;
}

// The path to start, or the errno that tells why there is none.
int locate(const std::string& program, std::string& path) {
  if (program.empty()) return ENOENT;
  if (program.find('/') != std::string::npos) {
    path = program;
    return executableError(path);
  }
  const char* env = std::getenv("PATH");
  std::string search = env ? env : "/usr/local/bin:/usr/bin:/bin";
  int firstError = ENOENT;
  size_t start = 0;
  while (true) {
    size_t end = search.find(':', start);
    std::string dir = search.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + program;
    int e = executableError(candidate);
    if (e == 0) {
      path = candidate;
      return 0;
    }
    // A file that exists but cannot be run tells more than "not found".
    if (e == EACCES && firstError == ENOENT) firstError = EACCES;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return firstError;
}

void reapLater(pid_t pid) {
  std::thread([pid] {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

// Spawns path with argv[0] = program; returns 0 or an errno.
int spawn(const std::string& path, const std::string& program, const std::vector<std::string>& args, bool detached,
          const std::string& workingFolder, pid_t& pid) {
  std::vector<std::string> store;
  store.reserve(args.size() + 1);
  store.push_back(program);
  store.insert(store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : store) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
  if (int e = posix_spawnattr_init(&attr)) return e;
  if (int e = posix_spawn_file_actions_init(&actions)) {
    posix_spawnattr_destroy(&attr);
    return e;
  }
  // The child starts with no blocked signals and the usual pipe signal, whatever
  // this process has set for itself.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (detached) flags |= POSIX_SPAWN_SETSID;
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, flags);
  if (detached) posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (!workingFolder.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());

  int e = posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (e != 0) pid = 0;
  return e;
}

// True when the process has ended (and is reaped) within timeoutMs; < 0 waits without limit.
int exitStatusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

bool waitFor(pid_t pid, int64_t timeoutMs, int* exitStatus = nullptr) {
  int status = 0;
  if (exitStatus) *exitStatus = -1;
  if (timeoutMs < 0) {
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return true;  // reaped elsewhere
    }
    if (exitStatus) *exitStatus = exitStatusOf(status);
    return true;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int fd = int(::syscall(SYS_pidfd_open, pid, 0));
  while (true) {
    pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno != EINTR)) {
      if (fd >= 0) ::close(fd);
      if (r == pid && exitStatus) *exitStatus = exitStatusOf(status);
      return true;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    if (fd >= 0) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, int(left.count()));
    } else {
      std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(5)));
    }
  }
  if (fd >= 0) ::close(fd);
  return false;
}

std::mutex desktopMutex;
DesktopLauncher desktopLauncher;
std::string desktopOpener = "xdg-open";

}  // namespace

long startErrorNumber(int e) {
  switch (e) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return err::FileNotFound;
    case EACCES:
    case EPERM:
    case ENOEXEC:
    case ETXTBSY: return err::PathFileAccess;
    case ENOMEM:
    case EAGAIN:
    case E2BIG: return err::OutOfMemory;
    default: return err::InvalidCall;
  }
}

std::string findProgram(const std::string& program) {
  std::string path;
  return locate(program, path) == 0 ? path : std::string();
}

uint32_t runAndWait(const std::string& program, const std::vector<std::string>& args, int32_t /*windowStyle*/,
                    std::optional<int32_t> timeoutMs, pid_t* startedPid, int* exitStatus) {
  if (startedPid) *startedPid = 0;
  if (exitStatus) *exitStatus = -1;
  std::string path;
  pid_t pid = 0;
  int e = locate(program, path);
  if (e == 0) e = spawn(path, program, args, false, {}, pid);
  if (e != 0) return kStartErrorBase + uint32_t(startErrorNumber(e));
  if (startedPid) *startedPid = pid;
  int64_t limit = timeoutMs ? *timeoutMs : -1;
  if (waitFor(pid, limit, exitStatus)) return kWaitEnded;
  reapLater(pid);
  return kWaitTimeout;
}

int startDetached(const std::string& program, const std::vector<std::string>& args, const std::string& workingFolder,
                  pid_t* startedPid) {
  if (startedPid) *startedPid = 0;
  std::string path;
  pid_t pid = 0;
  int e = locate(program, path);
  if (e == 0) e = spawn(path, program, args, true, workingFolder, pid);
  if (e != 0) return e;
  if (startedPid) *startedPid = pid;
  reapLater(pid);
  return 0;
}

bool looksLikeUrl(const std::string& target) {
  size_t colon = target.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!alpha(target[0])) return false;
  for (size_t i = 1; i < colon; ++i) {
    char c = target[i];
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

int32_t openWithDesktop(const std::string& fileOrUrl, const std::string& workingFolder) {
  if (fileOrUrl.empty()) return kOpenFileNotFound;
  std::string target = fileOrUrl;
  if (!looksLikeUrl(fileOrUrl)) {
    bool relative = fileOrUrl[0] != '/' && fileOrUrl[0] != '\\';
    paths::fs::path resolved = (relative && !workingFolder.empty())
                                   ? paths::resolve(paths::fs::path(workingFolder), fileOrUrl)
                                   : paths::resolve(fileOrUrl);
    std::error_code ec;
    if (!paths::fs::exists(resolved, ec)) {
      paths::fs::path parent = resolved.parent_path();
      return (parent.empty() || paths::fs::is_directory(parent, ec)) ? kOpenFileNotFound : kOpenPathNotFound;
    }
    target = resolved.string();
  }

  DesktopLauncher launcher;
  std::string opener;
  {
    std::lock_guard lock(desktopMutex);
    launcher = desktopLauncher;
    opener = desktopOpener;
  }
  if (launcher) return launcher(target, workingFolder);
  std::error_code ec;
  std::string folder = (!workingFolder.empty() && paths::fs::is_directory(workingFolder, ec)) ? workingFolder : "";
  return startDetached(opener, {target}, folder) == 0 ? kOpenOk : kOpenNoAssociation;
}

void setDesktopLauncher(DesktopLauncher launcher) {
  std::lock_guard lock(desktopMutex);
  desktopLauncher = std::move(launcher);
}

void setDesktopOpenerProgram(std::string program) {
  std::lock_guard lock(desktopMutex);
  desktopOpener = program.empty() ? std::string("xdg-open") : std::move(program);
}

}  // namespace pellary::platform::process
