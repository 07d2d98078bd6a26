// The one record every calendar entry passes through on its way to a target.
#pragma once

#include <cstdint>
#include <string>

namespace pellary {

struct RelayEventRecord {
  double StartDate = 0;  // OLE day number; 0 is "no date"
  double EndDate = 0;
  std::string Title;
  std::string Memo;
  std::string MemoLong;
  std::string URL;
  std::string TelCountry;
  std::string TelPrefix;
  std::string Tel;
  double OnSale = 0;
  std::string EntryID;

  // Both dates and OnSale to the zero date, every text empty.
  void clear() { *this = RelayEventRecord{}; }
};

}  // namespace pellary
