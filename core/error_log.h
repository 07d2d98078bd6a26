// The error log both programs append to: "LY98ERR.log" in the program folder,
// one line per reported error, never truncated.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellary {

inline constexpr const char* kErrorLogName = "LY98ERR.log";

// #yyyy-mm-dd#,#hh:mm:ss#,"location",number,"description" and CR LF; each
// text stays one quoted field on one line, cut (marked "...") to its most, so
// that no line is longer than a few hundred bytes.
inline constexpr size_t kMostLocation = 64;
inline constexpr size_t kMostDescription = 320;
// The extra text of a message is cut to this many bytes.
inline constexpr size_t kMostExtra = 1000;
std::string errorLogLine(int32_t number, std::string_view location, std::string_view description);
// Appends the line; a log that cannot be written is passed over, so that the
// program still ends.
void appendErrorLog(const std::string& line);

// The text of the error message both programs show before they end: the
// opening line, the program's own advice, whom to contact, then the details
// (location, number) and the extra text.
std::string errorReportText(std::string_view advice, std::string_view contact, int32_t number,
                            std::string_view location, std::string_view extra);

}  // namespace pellary
