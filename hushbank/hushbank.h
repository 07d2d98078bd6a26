// Hushbank's start, its error reporter and its end.
#pragma once

#include "core/error_log.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace pellary::hushbank {

// "silent" (any letter case, the whole command line) keeps the notice hidden.
bool isSilent(std::string_view commandLine);

// Shows the notice (unless silent), opens the databank, runs the loaders and
// ends through Bmm_EndProgram on every road.
[[noreturn]] void Main(const std::string& commandLine);

// Appends a line to the program folder's error log, shows the error and ends
// with exit status 1.
[[noreturn]] void Bmm_ReportError(int32_t number, std::string_view procedure, std::string_view extra);
// Closes the databank (errors passed over) and ends the program.
[[noreturn]] void Bmm_EndProgram(int exitStatus = 0);
// Makes Bmm_ReportError the handler of every trapped error.
void installErrorReporter();

std::string errorMessageText(int32_t number, std::string_view procedure, std::string_view extra);
// One line of the error log: date, time, procedure, number, description.

// How long a file in "CUE" must have stood still before it is loaded: the
// installation copies the files there just before it starts Hushbank.
std::chrono::milliseconds& settleTime();

// The program's entry: Qt only when a window can be shown.
int runHushbank(int argc, char** argv);

}  // namespace pellary::hushbank
