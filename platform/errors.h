// Errors as the rest of the program sees them: numbered application errors,
// the "current error" that a trap hands to the reporter, the report hook the
// shell installs, and the one way the program ends.
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "platform/hook.h"

namespace pellary {

// Error numbers of the runtime and the databank engine that callers test for.
namespace err {
inline constexpr long InvalidCall = 5;  // Invalid procedure call or argument
inline constexpr long Overflow = 6;
inline constexpr long OutOfMemory = 7;
inline constexpr long SubscriptOutOfRange = 9;
inline constexpr long TypeMismatch = 13;
inline constexpr long FileNotFound = 53;
inline constexpr long FileAlreadyOpen = 55;
inline constexpr long BadFileMode = 54;
inline constexpr long PathFileAccess = 75;
inline constexpr long PathNotFound = 76;
inline constexpr long InvalidUseOfNull = 94;
inline constexpr long Internal = 51;

inline constexpr long DbCannotOpen = 3044;    // not a valid path
inline constexpr long DbFileNotFound = 3024;  // could not find file
inline constexpr long DbNotDatabase = 3343;   // unrecognised database format
inline constexpr long DbNoCurrentRecord = 3021;
inline constexpr long DbDuplicateKey = 3022;
inline constexpr long DbItemNotFound = 3265;
inline constexpr long DbRecordDeleted = 3167;
inline constexpr long DbUpdateWithoutEdit = 3020;
inline constexpr long DbSyntax = 3075;    // syntax error in query expression
inline constexpr long DbSqlError = 3131;  // syntax error in the statement
inline constexpr long DbTypeConversion = 3421;
inline constexpr long DbNumericOverflow = 3349;
inline constexpr long DbNotUpdatable = 3027;
inline constexpr long DbObjectClosed = 3420;
inline constexpr long DbFailed = 3146;  // engine call failed

// Our own stand-in errors.
inline constexpr long SettingsDamaged = 30001;
inline constexpr long SettingsWriteFailed = 30002;
inline constexpr long InstanceNotAnswering = 30003;  // the running copy does not answer
inline constexpr long NoOneToAnswer = 30004;         // a question in an unattended run
inline constexpr long UpdateCannotGoOn = 30010;      // an update run ended by its own message
inline constexpr long AnotherCopyRuns = 30011;       // an update run handed over: no update made
inline constexpr long TooLarge = 30012;              // something from outside passed its size cap
}  // namespace err

// An error with the number and description the reporter shows and logs.
class AppError : public std::runtime_error {
 public:
  AppError(long number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  long number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  long number_;
  std::string description_;
};

// A value from outside as it may appear in an error text: at most `most`
// bytes (never cutting a UTF-8 character), "..." marking a cut, and line
// breaks and other control characters shown as spaces.
inline constexpr size_t kClippedValue = 40;
std::string clipped(std::string_view value, size_t most = kClippedValue);

// Something passed over that the user may want to know about (a file of the
// wrong kind, an address refused): one line, clipped, on standard error
// unless a handler is set (tests record them).
using NoteHandler = std::function<void(std::string_view location, std::string_view text)>;
NoteHandler setNoteHandler(NoteHandler handler);
void logNote(std::string_view location, std::string_view text);

// The standard description of a runtime error number ("Overflow" for 6).
std::string standardDescription(long number);
// Raises AppError(number) with its standard description.
[[noreturn]] void raise(long number);
[[noreturn]] void raise(long number, std::string description);

// The error a trap caught: what the reporter logs as "the current error".
struct ErrorInfo {
  long number = 0;
  std::string description;
};
ErrorInfo& currentError();
// Number and description of the exception being handled (call inside catch).
ErrorInfo describeCurrentException();

// Thrown by the test end hook so that a test sees the end without its process ending.
struct ProgramEnded {
  int code = 0;
};

// The reporter: installed by the shell; shows, logs and ends. Never returns.
using ReportHandler = std::function<void(long number, std::string_view location, std::string_view extra)>;
void setReportHandler(ReportHandler handler);
[[noreturn]] void reportError(long number, std::string_view location, std::string_view extra = {});

// The one way the program ends. The default flushes output and ends the process
// at once; tests install a hook that throws ProgramEnded.
using EndHandler = Hook<void(int code)>;
void setEndHandler(EndHandler handler);
[[noreturn]] void endProgram(int code = 0);

// Work that undoes a half-done step when the program ends on an error (a code
// other than 0): it runs once, before the end, its own errors passed over.
// Setting it again replaces it; nullptr clears it.
void setFailureCleanup(std::function<void()> cleanup);

// Runs body; any error becomes the current error and is reported under location.
template <class F>
auto trapped(std::string_view location, F&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const ProgramEnded&) {
    throw;
  } catch (...) {
    currentError() = describeCurrentException();
    reportError(currentError().number, location, {});
  }
}

// Runs body, ignoring the given error number (the "resume next" of a trap).
template <class F>
bool ignoring(long number, F&& body) {
  try {
    body();
    return true;
  } catch (const AppError& e) {
    if (e.number() != number) throw;
    return false;
  }
}

}  // namespace pellary
