#include "shell/reporter.h"

#include "core/app.h"
#include "core/databank.h"
#include "core/error_log.h"
#include "platform/errors.h"
#include "platform/msgbox.h"
#include "platform/paths.h"

namespace pellary {

std::string errorMessageText(int32_t number, std::string_view location, std::string_view extraText) {
  return errorReportText("Clicking on OK will shut down the application.", kSupportContact, number, location,
                         extraText);
}

std::string errorMessageWithReason(int32_t number, std::string_view location, std::string_view extraText,
                                   std::string_view description) {
  std::string text = errorMessageText(number, location, extraText);
  // A place and a number tell the user nothing: the reason goes under them,
  // unless the caller passed it as the extra text already.
  if (!description.empty() && extraText.find(description) == std::string_view::npos) {
    if (!extraText.empty()) text += "\r\n";
    // The reason may carry a value from outside: cut as the extra text is.
    text += description.size() > kMostExtra ? clipped(description, kMostExtra) : std::string(description);
  }
  return text;
}

// The log line goes first: a message no one answers must not lose the error.
void Bmm_ReportError(int32_t number, std::string_view location, std::string_view extraText) {
  const std::string description = currentError().description;
  appendErrorLog(errorLogLine(number, location, description));
  MsgBox(errorMessageWithReason(number, location, extraText, description), mb::OKOnly | mb::Critical, appTitle());
  Bmm_EndProgram(1);
}

void installErrorReporter() {
  setReportHandler([](long number, std::string_view location, std::string_view extra) {
    Bmm_ReportError(int32_t(number), location, extra);
  });
}

}  // namespace pellary
