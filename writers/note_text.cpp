#include "writers/note_text.h"

#include "platform/oledate.h"

namespace pellary {

std::string desktopNoteText(const RelayEventRecord& r) {
  std::string t;
  if (!r.Memo.empty()) t += r.Memo + "\r\n";
  if (!r.TelCountry.empty()) t += "Tel: +" + r.TelCountry;
  if (!r.TelPrefix.empty()) t += " (" + r.TelPrefix + ") ";
  if (!r.Tel.empty()) t += r.Tel + "\r\n";
  if (!r.URL.empty()) t += "Website: http://" + r.URL + "\r\n";
  if (r.OnSale != 0) t += "Tickets on sale: " + platform::shortDate(r.OnSale) + "\r\n";
  if (!r.MemoLong.empty()) t += "\r\n" + r.MemoLong;
  return t;
}

std::string compactNoteText(const RelayEventRecord& r) {
  const std::string crlf = "\r\n";
  std::string text;
  if (!r.Memo.empty()) text += r.Memo + ".";
  if (!r.Tel.empty()) {
    text += crlf + " Tel: ";
    if (!r.TelCountry.empty()) text += "+" + r.TelCountry + " ";
    if (!r.TelPrefix.empty()) text += "(" + r.TelPrefix + ")";
    text += r.Tel;
  }
  if (!r.URL.empty()) text += crlf + "Website: http://" + r.URL;
  if (r.OnSale != 0) text += crlf + "Tickets on sale: " + platform::shortDate(r.OnSale);
  if (!r.MemoLong.empty()) text += crlf + r.MemoLong;
  return text;
}

}  // namespace pellary
