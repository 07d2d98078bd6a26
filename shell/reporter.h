// The common error reporter, the program's end and the exit question.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellary {

// Shows the error, appends it to the error log and ends the program.
[[noreturn]] void Bmm_ReportError(int32_t number, std::string_view location, std::string_view extraText);
// Closes the databank, releases the frame's size hook and ends at once.
[[noreturn]] void Bmm_EndProgram();
// Asks the exit question; Yes ends the program, No returns.
void Bmm_CancelProgram();

// Makes Bmm_ReportError the handler of every trapped error.
void installErrorReporter();

// The pieces the reporter writes, for the log's readers and the tests.
std::string errorMessageText(int32_t number, std::string_view location, std::string_view extraText);
std::string errorLogLine(int32_t number, std::string_view location, std::string_view description);

inline constexpr const char* kErrorLogName = "LY98ERR.log";
inline constexpr const char* kSupportContact = "Brackwater Software support at support@brackwater.example";
inline constexpr const char* kExitQuestion =
    "If you exit the program now, no records will be stored and you will lose your changes.\r\r"
    "Are you sure you wish to exit now?";

}  // namespace pellary
