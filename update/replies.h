// The update server's replies: line files that start with a tag line. Each is
// read whole and parsed here, before the run acts on it, so that what a server
// may send is checked in one place (and fuzzed).
//
// Lines end at CR LF, LF or CR. A "key=value" line is split at its "=" signs:
// the key before the first, the value between the first and the second (a
// value cannot hold "="). A read past the last line raises 62 ("Input past
// end of file"); a known key without "=" raises 9; a number that is not one
// raises 13. Unknown keys are passed over.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellary::replies {

inline constexpr long kInputPastEnd = 62;

class ReplyLines {
 public:
  explicit ReplyLines(std::string bytes) : data_(std::move(bytes)) {}
  std::string readLine();
  bool eof() const { return pos_ >= data_.size(); }

 private:
  std::string data_;
  size_t pos_ = 0;
};

std::string keyOf(std::string_view line);
std::string valueOf(std::string_view line);
int16_t integerOf(const std::string& text);
int32_t longOf(const std::string& text);

enum class Tag { Expected, Error, Other };

// update_init.pl: "<SETTINGS>" (any letter case) and key lines up to
// "</SETTINGS>" (exactly) or the end; a last line with nothing after it is
// not read. Or "<ERROR>" (any letter case).
struct InitialisationReply {
  Tag tag = Tag::Other;
  std::optional<std::string> cueVersion, almoVersion, profileUploadLocation, scriptUserName, scriptPassword,
      profileDownloadLocation, finishScriptLocation, updateScriptLocation;
  std::optional<int16_t> uploadProfileSettings;  // when given and not empty
};
InitialisationReply parseInitialisationReply(std::string bytes);

// update.pl: "<UPDATE_STATISTICS>" (any letter case), a line passed over, the
// offer flag after the first "=" of line 3, then (only when an update is
// offered) statistics lines up to "</UPDATE_STATISTICS>" or the end, read as
// the settings lines are. Or "<ERROR>".
struct UpdateCallReply {
  Tag tag = Tag::Other;
  int16_t offered = 0;
  std::optional<std::string> timeStamp;
  std::optional<int32_t> updateSize;
  std::optional<int16_t> deRecordCount, rePageCount, reNewLinkCount, reNewPageCount, reGenerate, deNewPCount,
      deNewSCount, deNewTCount, deNewEventCatCount;
};
UpdateCallReply parseUpdateCallReply(std::string bytes);

}  // namespace pellary::replies
