// The common error reporter, the program's end and the exit question.
#pragma once

#include "core/error_log.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "core/wizard/program_end.h"

namespace pellary {

// Appends the error to the error log, shows it and ends the program with
// exit status 1.
[[noreturn]] void Bmm_ReportError(int32_t number, std::string_view location, std::string_view extraText);
// Makes Bmm_ReportError the handler of every trapped error.
void installErrorReporter();

// The pieces the reporter writes, for the log's readers and the tests.
std::string errorMessageText(int32_t number, std::string_view location, std::string_view extraText);
// The message shown: that text with the error's own description under it.
std::string errorMessageWithReason(int32_t number, std::string_view location, std::string_view extraText,
                                   std::string_view description);

inline constexpr const char* kSupportContact = "Brackwater Software support at support@brackwater.example";

}  // namespace pellary
