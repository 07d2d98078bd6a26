// Preloaded into a child test process: counts the calls that change a file
// below PELLARY_CRASH_UNDER (writes, creates, renames, links, removals,
// truncations) and kills the process with SIGKILL just before the call
// numbered PELLARY_CRASH_AT. With PELLARY_CRASH_TRACE set, each counted call
// appends "<number>\t<file>" to that file (a dry run names the points).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

static char under[PATH_MAX];
static size_t underLength;
static long crashAt;
static int traceFd = -1;
static atomic_long counted;

__attribute__((constructor)) static void setUp(void) {
  const char* u = getenv("PELLARY_CRASH_UNDER");
  if (u && strlen(u) < sizeof under) {
    strcpy(under, u);
    underLength = strlen(under);
  }
  const char* at = getenv("PELLARY_CRASH_AT");
  crashAt = at ? atol(at) : 0;
  const char* trace = getenv("PELLARY_CRASH_TRACE");
  if (trace) traceFd = (int)syscall(SYS_openat, AT_FDCWD, trace, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  // Programs this one starts run without the shim.
  unsetenv("LD_PRELOAD");
}

static int isWatched(const char* path) { return underLength > 0 && path && strncmp(path, under, underLength) == 0; }

static void fdPath(int fd, char* out, size_t size) {
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, out, size - 1);
  out[n > 0 ? n : 0] = 0;
}

// The path of (dirfd, name) as far as it can be told.
static void atPath(int dirfd, const char* name, char* out, size_t size) {
  if (!name) {
    out[0] = 0;
  } else if (name[0] == '/' || dirfd == AT_FDCWD) {
    if (name[0] == '/' || !getcwd(out, size)) {
      snprintf(out, size, "%s", name);
    } else {
      size_t n = strlen(out);
      snprintf(out + n, size - n, "/%s", name);
    }
  } else {
    fdPath(dirfd, out, size);
    size_t n = strlen(out);
    snprintf(out + n, size - n, "/%s", name);
  }
}

static void changing(const char* path) {
  if (!isWatched(path)) return;
  const long n = atomic_fetch_add(&counted, 1) + 1;
  if (traceFd >= 0) {
    char line[PATH_MAX + 32];
    int len = snprintf(line, sizeof line, "%ld\t%s\n", n, path);
    if (len > 0) syscall(SYS_write, traceFd, line, (size_t)len);
  }
  if (crashAt > 0 && n == crashAt) kill(getpid(), SIGKILL);
}

static void changingFd(int fd) {
  if (underLength == 0) return;
  char p[PATH_MAX];
  fdPath(fd, p, sizeof p);
  changing(p);
}

static void changingAt(int dirfd, const char* name) {
  if (underLength == 0) return;
  char p[PATH_MAX];
  atPath(dirfd, name, p, sizeof p);
  changing(p);
}

#define REAL(fn)                      \
  static __typeof__(fn)* real = NULL; \
  if (!real) real = (__typeof__(fn)*)dlsym(RTLD_NEXT, #fn)

ssize_t write(int fd, const void* b, size_t n) {
  REAL(write);
  changingFd(fd);
  return real(fd, b, n);
}
ssize_t pwrite(int fd, const void* b, size_t n, off_t o) {
  REAL(pwrite);
  changingFd(fd);
  return real(fd, b, n, o);
}
ssize_t pwrite64(int fd, const void* b, size_t n, off_t o) {
  REAL(pwrite64);
  changingFd(fd);
  return real(fd, b, n, o);
}
ssize_t writev(int fd, const struct iovec* v, int n) {
  REAL(writev);
  changingFd(fd);
  return real(fd, v, n);
}
int ftruncate(int fd, off_t l) {
  REAL(ftruncate);
  changingFd(fd);
  return real(fd, l);
}
int ftruncate64(int fd, off_t l) {
  REAL(ftruncate64);
  changingFd(fd);
  return real(fd, l);
}
int rename(const char* a, const char* b) {
  REAL(rename);
  changingAt(AT_FDCWD, b);
  return real(a, b);
}
int renameat(int da, const char* a, int db, const char* b) {
  REAL(renameat);
  changingAt(db, b);
  return real(da, a, db, b);
}
int renameat2(int da, const char* a, int db, const char* b, unsigned f) {
  REAL(renameat2);
  changingAt(db, b);
  return real(da, a, db, b, f);
}
int link(const char* a, const char* b) {
  REAL(link);
  changingAt(AT_FDCWD, b);
  return real(a, b);
}
int linkat(int da, const char* a, int db, const char* b, int f) {
  REAL(linkat);
  changingAt(db, b);
  return real(da, a, db, b, f);
}
int unlink(const char* p) {
  REAL(unlink);
  changingAt(AT_FDCWD, p);
  return real(p);
}
int unlinkat(int d, const char* p, int f) {
  REAL(unlinkat);
  changingAt(d, p);
  return real(d, p, f);
}

// An open that can create or truncate changes the file.
static void opening(int dir, const char* p, int flags) {
  if (flags & (O_CREAT | O_TRUNC)) changingAt(dir, p);
}

// The mode argument is passed only when the flags can create a file; it has to
// be read in the variadic wrapper itself. Declares mode.
#define TAKE_MODE(flags)                 \
  mode_t mode = 0;                       \
  if ((flags) & (O_CREAT | O_TMPFILE)) { \
    va_list modeArg;                     \
    va_start(modeArg, flags);            \
    mode = va_arg(modeArg, mode_t);      \
    va_end(modeArg);                     \
  }

int open(const char* p, int flags, ...) {
  REAL(open);
  TAKE_MODE(flags);
  opening(AT_FDCWD, p, flags);
  return real(p, flags, mode);
}
int open64(const char* p, int flags, ...) {
  REAL(open64);
  TAKE_MODE(flags);
  opening(AT_FDCWD, p, flags);
  return real(p, flags, mode);
}
int openat(int d, const char* p, int flags, ...) {
  REAL(openat);
  TAKE_MODE(flags);
  opening(d, p, flags);
  return real(d, p, flags, mode);
}
int openat64(int d, const char* p, int flags, ...) {
  REAL(openat64);
  TAKE_MODE(flags);
  opening(d, p, flags);
  return real(d, p, flags, mode);
}
