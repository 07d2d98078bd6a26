#include "update/replies.h"

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/variant.h"

namespace pellary::replies {

std::string ReplyLines::readLine() {
  if (eof()) raise(kInputPastEnd, "Input past end of file");
  size_t end = data_.find_first_of("\r\n", pos_);
  if (end == std::string::npos) end = data_.size();
  std::string line = data_.substr(pos_, end - pos_);
  pos_ = end;
  if (pos_ < data_.size() && data_[pos_] == '\r') ++pos_;
  if (pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
  return line;
}

std::string keyOf(std::string_view line) { return std::string(line.substr(0, line.find('='))); }

std::string valueOf(std::string_view line) {
  size_t first = line.find('=');
  if (first == std::string_view::npos) raise(err::SubscriptOutOfRange);
  size_t second = line.find('=', first + 1);
  return std::string(
      line.substr(first + 1, second == std::string_view::npos ? std::string_view::npos : second - first - 1));
}

int16_t integerOf(const std::string& text) {
  Variant v(text);
  if (!v.isNumeric()) raise(err::TypeMismatch);
  return v.toInteger();
}

int32_t longOf(const std::string& text) {
  Variant v(text);
  if (!v.isNumeric()) raise(err::TypeMismatch);
  return v.toLong();
}

namespace {
Tag tagOf(const std::string& line, std::string_view expected) {
  if (paths::equalsIgnoreCase(line, expected)) return Tag::Expected;
  if (paths::equalsIgnoreCase(line, "<ERROR>")) return Tag::Error;
  return Tag::Other;
}

// Key lines up to the closing line or the end; a line is taken only when
// another follows it.
template <class F>
void keyLines(ReplyLines& in, std::string_view closing, F&& take) {
  while (!in.eof()) {
    std::string line = in.readLine();
    if (line == closing || in.eof()) break;
    take(keyOf(line), line);
  }
}
}  // namespace

InitialisationReply parseInitialisationReply(std::string bytes) {
  ReplyLines in(std::move(bytes));
  InitialisationReply r;
  r.tag = tagOf(in.readLine(), "<SETTINGS>");
  if (r.tag != Tag::Expected) return r;
  keyLines(in, "</SETTINGS>", [&](const std::string& key, const std::string& line) {
    if (key == "CUE_VERSION")
      r.cueVersion = valueOf(line);
    else if (key == "ALMO_VERSION")
      r.almoVersion = valueOf(line);
    else if (key == "PROFILE_UPLOAD_LOCATION")
      r.profileUploadLocation = valueOf(line);
    else if (key == "SCRIPT_USERNAME")
      r.scriptUserName = valueOf(line);
    else if (key == "SCRIPT_PASSWORD")
      r.scriptPassword = valueOf(line);
    else if (key == "PROFILE_DOWNLOAD_LOCATION")
      r.profileDownloadLocation = valueOf(line);
    else if (key == "FINISH_SCRIPT_LOCATION")
      r.finishScriptLocation = valueOf(line);
    else if (key == "UPDATE_SCRIPT_LOCATION")
      r.updateScriptLocation = valueOf(line);
    else if (key == "UPLOAD_PROFILE_SETTINGS") {
      std::string v = valueOf(line);
      if (!v.empty()) r.uploadProfileSettings = integerOf(v);
    }
  });
  return r;
}

UpdateCallReply parseUpdateCallReply(std::string bytes) {
  ReplyLines in(std::move(bytes));
  UpdateCallReply r;
  r.tag = tagOf(in.readLine(), "<UPDATE_STATISTICS>");
  if (r.tag != Tag::Expected) return r;
  in.readLine();
  r.offered = integerOf(valueOf(in.readLine()));
  if (r.offered == 0) return r;
  keyLines(in, "</UPDATE_STATISTICS>", [&](const std::string& key, const std::string& line) {
    if (key == "TIMESTAMP")
      r.timeStamp = valueOf(line);
    else if (key == "UPDATE_SIZE")
      r.updateSize = longOf(valueOf(line));
    else if (key == "DE_RECORDCOUNT")
      r.deRecordCount = integerOf(valueOf(line));
    else if (key == "RE_PAGECOUNT")
      r.rePageCount = integerOf(valueOf(line));
    else if (key == "RE_NEWLINKCOUNT")
      r.reNewLinkCount = integerOf(valueOf(line));
    else if (key == "RE_NEWPAGECOUNT")
      r.reNewPageCount = integerOf(valueOf(line));
    else if (key == "RE_GENERATE")
      r.reGenerate = integerOf(valueOf(line));
    else if (key == "DE_NEWPCOUNT")
      r.deNewPCount = integerOf(valueOf(line));
    else if (key == "DE_NEWSCOUNT")
      r.deNewSCount = integerOf(valueOf(line));
    else if (key == "DE_NEWTCOUNT")
      r.deNewTCount = integerOf(valueOf(line));
    else if (key == "DE_NEWEVENTCATCOUNT")
      r.deNewEventCatCount = integerOf(valueOf(line));
  });
  return r;
}

}  // namespace pellary::replies
