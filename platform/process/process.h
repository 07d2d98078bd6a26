// Starting other programs. A program is always started from its name and an
// argument vector; no command line is ever handed to a shell.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pellary::platform::process {

// Results of runAndWait, as a wait on a Windows process handle gives them.
inline constexpr uint32_t kWaitEnded = 0;
inline constexpr uint32_t kWaitTimeout = 0x102;
// A start failure is this base plus the runtime error number (53 for a
// program that does not exist).
inline constexpr uint32_t kStartErrorBase = 0x80040000;

// Window styles of the calling code. This platform starts no windows on the
// program's behalf, so the style is accepted and not applied.
inline constexpr int32_t kHide = 0;
inline constexpr int32_t kNormalFocus = 1;
inline constexpr int32_t kMinimizedFocus = 2;
inline constexpr int32_t kMaximizedFocus = 3;
inline constexpr int32_t kNormalNoFocus = 4;
inline constexpr int32_t kMinimizedNoFocus = 6;

// The runtime error number for a failed start with the given errno.
long startErrorNumber(int errnoValue);

// The program's path: a name with a '/' as it is, else the first executable of
// that name on PATH. Empty when there is none.
std::string findProgram(const std::string& program);

// Starts program (looked up on PATH when it has no '/') with args after the
// program name, and waits until it ends or timeoutMs passes; no timeout (or a
// negative one) waits without limit. Returns kWaitEnded, kWaitTimeout (the
// program is left running and reaped when it ends), or kStartErrorBase + the
// error number when the program could not be started, at once. startedPid
// receives the new process's ID (0 when nothing started); exitStatus, when the
// program ended, its exit status (128 + the signal's number when a signal
// ended it; -1 when it is not known).
uint32_t runAndWait(const std::string& program, const std::vector<std::string>& args, int32_t windowStyle,
                    std::optional<int32_t> timeoutMs, pid_t* startedPid = nullptr, int* exitStatus = nullptr);

// Starts program in a session of its own and does not wait; the ended process
// is reaped in the background. 0 on success, else the errno of the failure.
int startDetached(const std::string& program, const std::vector<std::string>& args,
                  const std::string& workingFolder = {}, pid_t* startedPid = nullptr);

// --- the desktop's opener ------------------------------------------------------

// Results of openWithDesktop, as ShellExecute gives them.
inline constexpr int32_t kOpenOk = 42;  // any value above 32 is success
inline constexpr int32_t kOpenFileNotFound = 2;
inline constexpr int32_t kOpenPathNotFound = 3;
inline constexpr int32_t kOpenNoAssociation = 31;  // no opener for it

// Opens a document, folder or URL ("scheme:...") with the desktop's opener
// (xdg-open), detached. A local path may be written with backslashes and in
// any letter case; a relative one is taken below workingFolder when given.
// Returns kOpenOk, kOpenFileNotFound or kOpenPathNotFound for a local path
// that does not exist, or kOpenNoAssociation when the opener is missing or
// fails to start.
int32_t openWithDesktop(const std::string& fileOrUrl, const std::string& workingFolder = {});

// True for "scheme:rest" with a scheme of two or more characters (so "C:\x"
// is a path).
bool looksLikeUrl(const std::string& target);

// Replaces the launch step: the hook gets what would be opened (a URL as
// given, a local path resolved) and the working folder, and returns the
// result. An empty hook restores the real opener.
using DesktopLauncher = std::function<int32_t(const std::string& target, const std::string& workingFolder)>;
void setDesktopLauncher(DesktopLauncher launcher);
// The opener program ("xdg-open"); tests point it elsewhere.
void setDesktopOpenerProgram(std::string program);

}  // namespace pellary::platform::process
