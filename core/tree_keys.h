// The node keys of the category and reference trees and reading numbers back
// out of them.
//
//   primary     "P" + PID(3)                                         4 characters
//   secondary   "P" + PID(3) + SID(3)                                7
//   tertiary    "P" + PID(3) + SID(3) + TID(3) + CatID(5) + CatSettings(5)   20
//   chosen      "K" + tab(2) + tertiary key                          23
//   topic       "R" + template(3), each deeper level adding its template(3)
//   chosen topic "R" + tab(2) + topic key
//   headings    "XXXKey" + ProgProductID, "XXXKeyNew"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pellary {

// The number zero-padded to width; a wider number keeps all its digits, a
// negative one gets its sign in front ("-05").
std::string padded(int64_t number, int width);
// True when the number fills its width exactly without growing the key.
bool fitsWidth(int64_t number, int width);

std::string primaryKey(int32_t pid);
std::string secondaryKey(int32_t pid, int32_t sid);
std::string tertiaryKey(int32_t pid, int32_t sid, int32_t tid, int32_t catID, int32_t catSettings);
std::string chosenCategoryKey(int tab, const std::string& tertiary);
std::string headingKey(int32_t progProductID);
inline constexpr const char* kNewItemsKey = "XXXKeyNew";
// The note under the chosen categories that stored ones no tree shows are kept.
inline constexpr const char* kKeptItemsKey = "XXXKeyKept";
std::string topicKey(const std::string& parentKey, int32_t templateID);
std::string chosenTopicKey(int tab, const std::string& topic);
// A heading of the chosen trees ("XXX..."): no removal or preview takes it.
bool isHeadingKey(std::string_view key);
// Of a chosen category or chosen topic key: the tab (characters 2-3), and the
// key the node has in its tab's tree ("" for a key of three characters or less).
int tabOfChosenKey(std::string_view chosenKey);
std::string ownKeyOfChosen(std::string_view chosenKey);

// Mid$(text, start, length) with a 1-based start; empty past the end.
std::string_view mid(std::string_view text, size_t start, size_t length);
// Val of a text: the leading number (blanks skipped, an optional sign), 0 when
// there is none; held to the 32-bit range.
int32_t valOf(std::string_view text);
// A number held to the 16-bit range.
int16_t toShort(int32_t value);

// CatID and settings word of a tertiary key (characters 11-15 and 16-20) and
// of a chosen-items key (characters 14-18 and 19-23).
int32_t catIDOfCategoryKey(std::string_view key);
int16_t settingOfCategoryKey(std::string_view key);
int32_t catIDOfChosenKey(std::string_view key);
int16_t settingOfChosenKey(std::string_view key);

}  // namespace pellary
