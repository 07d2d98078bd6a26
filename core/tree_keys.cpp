#include "core/tree_keys.h"

#include <cctype>
#include <cstdlib>

namespace pellary {

std::string padded(int64_t number, int width) {
  std::string digits = std::to_string(number < 0 ? -number : number);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return number < 0 ? "-" + digits : digits;
}

bool fitsWidth(int64_t number, int width) {
  if (number < 0) return false;
  int64_t limit = 1;
  for (int i = 0; i < width; ++i) limit *= 10;
  return number < limit;
}

std::string primaryKey(int32_t pid) { return "P" + padded(pid, 3); }
std::string secondaryKey(int32_t pid, int32_t sid) { return primaryKey(pid) + padded(sid, 3); }
std::string tertiaryKey(int32_t pid, int32_t sid, int32_t tid, int32_t catID, int32_t catSettings) {
  return secondaryKey(pid, sid) + padded(tid, 3) + padded(catID, 5) + padded(catSettings, 5);
}
std::string chosenCategoryKey(int tab, const std::string& tertiary) { return "K" + padded(tab, 2) + tertiary; }
std::string headingKey(int32_t progProductID) { return "XXXKey" + std::to_string(progProductID); }
std::string topicKey(const std::string& parentKey, int32_t templateID) {
  return (parentKey.empty() ? std::string("R") : parentKey) + padded(templateID, 3);
}
std::string chosenTopicKey(int tab, const std::string& topic) { return "R" + padded(tab, 2) + topic; }
bool isHeadingKey(std::string_view key) { return key.starts_with("XXX"); }
int tabOfChosenKey(std::string_view chosenKey) { return valOf(mid(chosenKey, 2, 2)); }
std::string ownKeyOfChosen(std::string_view chosenKey) {
  return chosenKey.size() > 3 ? std::string(chosenKey.substr(3)) : std::string();
}

std::string_view mid(std::string_view text, size_t start, size_t length) {
  if (start < 1 || start > text.size()) return {};
  return text.substr(start - 1, length);
}

int32_t valOf(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int64_t v = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > INT32_MAX) v = INT32_MAX;
  }
  return static_cast<int32_t>(negative ? -v : v);
}

int16_t toShort(int32_t value) {
  return static_cast<int16_t>(value > INT16_MAX ? INT16_MAX : value < INT16_MIN ? INT16_MIN : value);
}

int32_t catIDOfCategoryKey(std::string_view key) { return valOf(mid(key, 11, 5)); }
int16_t settingOfCategoryKey(std::string_view key) { return toShort(valOf(mid(key, 16, 5))); }
int32_t catIDOfChosenKey(std::string_view key) { return valOf(mid(key, 14, 5)); }
int16_t settingOfChosenKey(std::string_view key) { return toShort(valOf(mid(key, 19, 5))); }

}  // namespace pellary
