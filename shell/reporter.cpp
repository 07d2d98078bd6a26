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

// The log line goes first: a message no one answers must not lose the error.
void Bmm_ReportError(int32_t number, std::string_view location, std::string_view extraText) {
  appendErrorLog(errorLogLine(number, location, currentError().description));
  MsgBox(errorMessageText(number, location, extraText), mb::OKOnly | mb::Critical, appTitle());
  Bmm_EndProgram(1);
}

void installErrorReporter() {
  setReportHandler([](long number, std::string_view location, std::string_view extra) {
    Bmm_ReportError(int32_t(number), location, extra);
  });
}

}  // namespace pellary
