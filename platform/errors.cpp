#include "platform/errors.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace pellary {

namespace {
ReportHandler& reportHandler() {
  static ReportHandler handler;
  return handler;
}
EndHandler& endHandler() {
  static EndHandler handler;
  return handler;
}
std::function<void()>& failureCleanup() {
  static std::function<void()> cleanup;
  return cleanup;
}
}  // namespace

std::string standardDescription(long number) {
  switch (number) {
    case err::InvalidCall: return "Invalid procedure call or argument";
    case err::Overflow: return "Overflow";
    case err::OutOfMemory: return "Out of memory";
    case err::SubscriptOutOfRange: return "Subscript out of range";
    case err::TypeMismatch: return "Type mismatch";
    case err::FileNotFound: return "File not found";
    case err::BadFileMode: return "Bad file mode";
    case err::FileAlreadyOpen: return "File already open";
    case err::PathFileAccess: return "Path/File access error";
    case err::PathNotFound: return "Path not found";
    case err::InvalidUseOfNull: return "Invalid use of Null";
    case err::Internal: return "Internal error";
    case err::DbNoCurrentRecord: return "No current record.";
    case err::DbDuplicateKey:
      return "The changes you requested to the table were not successful because they would create "
             "duplicate values in the index, primary key, or relationship.";
    case err::DbItemNotFound: return "Item not found in this collection.";
    case err::DbRecordDeleted: return "Record is deleted.";
    case err::DbUpdateWithoutEdit: return "Update or CancelUpdate without AddNew or Edit.";
    case err::DbTypeConversion: return "Data type conversion error.";
    case err::DbNumericOverflow: return "Numeric field overflow.";
    case err::DbNotUpdatable: return "Database or object is read-only.";
    case err::DbObjectClosed: return "Object is invalid or no longer set.";
    default: return "Application-defined or object-defined error";
  }
}

void raise(long number) { throw AppError(number, standardDescription(number)); }
void raise(long number, std::string description) { throw AppError(number, std::move(description)); }

ErrorInfo& currentError() {
  static ErrorInfo info;
  return info;
}

ErrorInfo describeCurrentException() {
  try {
    throw;
  } catch (const AppError& e) {
    return {e.number(), e.description()};
  } catch (const std::bad_alloc&) {
    return {err::OutOfMemory, standardDescription(err::OutOfMemory)};
  } catch (const std::out_of_range&) {
    return {err::SubscriptOutOfRange, standardDescription(err::SubscriptOutOfRange)};
  } catch (const std::overflow_error&) {
    return {err::Overflow, standardDescription(err::Overflow)};
  } catch (const std::exception& e) {
    return {err::InvalidCall, e.what()};
  } catch (...) {
    return {err::Internal, standardDescription(err::Internal)};
  }
}

void setReportHandler(ReportHandler handler) { reportHandler() = std::move(handler); }

void reportError(long number, std::string_view location, std::string_view extra) {
  if (reportHandler()) {
    reportHandler()(number, location, extra);
  } else {
    std::fprintf(stderr, "Error %ld in %.*s: %s\n", number, int(location.size()), location.data(),
                 currentError().description.c_str());
  }
  endProgram(1);
}

void setEndHandler(EndHandler handler) { endHandler() = std::move(handler); }

void setFailureCleanup(std::function<void()> cleanup) { failureCleanup() = std::move(cleanup); }

void endProgram(int code) {
  if (code != 0) {
    std::function<void()> cleanup = std::exchange(failureCleanup(), nullptr);
    if (cleanup) {
      try {
        cleanup();
      } catch (...) {
      }
    }
  }
  endHandler()(code);
  std::fflush(nullptr);
  std::_Exit(code);
}

namespace {
NoteHandler& noteHandler() {
  static NoteHandler handler;
  return handler;
}
}  // namespace

NoteHandler setNoteHandler(NoteHandler handler) {
  NoteHandler old = std::move(noteHandler());
  noteHandler() = std::move(handler);
  return old;
}

void logNote(std::string_view location, std::string_view text) {
  if (noteHandler()) {
    noteHandler()(location, text);
    return;
  }
  std::string line = "pellary: " + clipped(location, 64) + ": " + clipped(text, 320) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

std::string clipped(std::string_view value, size_t most) {
  size_t keep = value.size();
  if (keep > most) {
    keep = most;
    while (keep > 0 && (static_cast<unsigned char>(value[keep]) & 0xC0) == 0x80) --keep;
  }
  std::string out;
  out.reserve(keep + 3);
  for (size_t i = 0; i < keep; ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    out += (c < 0x20 || c == 0x7F) ? ' ' : char(c);
  }
  if (keep < value.size()) out += "...";
  return out;
}

}  // namespace pellary
