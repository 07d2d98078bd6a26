// The in-memory profile: the chosen categories and the written events of the
// current profile, indexed by CatID and EventID through the digit-trie
// indexes, with the two append-only string pools of the event records.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/idindex.h"
#include "core/status_bits.h"

namespace pellary {

struct ProfileCatRecord {
  int16_t Status = 0;
  double StartDate = 0;
  double EndDate = 0;
  int16_t Duration = 0;
  int32_t CatID = 0;
  int16_t CatSetting = 0;
  int16_t ProductIndex = 0;
  uint8_t HasTargetEntries = 0;
};

struct ProfileEventRecord {
  int32_t CatID = 0;
  int16_t Status = 0;
  int16_t Version = 0;
  int32_t PlatMisc = 0;
  double DateUsed = 0;
  double AuxDate = 0;
  int32_t EventID = 0;
  int32_t PubHol = 0;
};

// Module state. The lists have lower bound 1: element 0 is never used, and
// size() - 1 is the upper bound. The pools have lower bound 0.
struct ProfileLists {
  std::vector<ProfileCatRecord> Bsda_ProfileCatList = std::vector<ProfileCatRecord>(1);
  int32_t Bsda_ProfileCatNext = 1;
  std::vector<ProfileEventRecord> Bsda_ProfileEventList = std::vector<ProfileEventRecord>(1);
  int32_t Bsda_ProfileEventNext = 1;
  std::vector<std::string> Bsda_PlatMisc = std::vector<std::string>(1);
  int32_t Bsda_PlatMiscCount = 0;
  std::vector<std::string> Bsda_HolidayList = std::vector<std::string>(1);
  int32_t Bsda_HolidayCount = 0;

  int32_t catUpperBound() const { return static_cast<int32_t>(Bsda_ProfileCatList.size()) - 1; }
  int32_t eventUpperBound() const { return static_cast<int32_t>(Bsda_ProfileEventList.size()) - 1; }
  int32_t catCount() const { return Bsda_ProfileCatNext - 1; }
  int32_t eventCount() const { return Bsda_ProfileEventNext - 1; }
  // The record at a 1-based position; a position outside the records raises 9.
  ProfileCatRecord& cat(int32_t position);
  ProfileEventRecord& event(int32_t position);
  // The pool strings at an index; 0 and an index outside the pool give "".
  const std::string& platMisc(int32_t index) const;
  const std::string& holidayList(int32_t index) const;
};

// The in-memory profile: the chosen categories, the written events and their string pools.
ProfileLists& Bsda();
// Empties the lists, the pools and the two profile indexes (tests, benchmarks).
void resetProfileLists();

void Bsda_LoadProfileCatList();
void Bsda_LoadProfileEventList();
void Bsda_AddToProfileCatList(int32_t CatID, int16_t Status, int16_t Duration, double StartDate, double EndDate,
                              int16_t CatSetting);
void Bsda_AddToProfileEventList(int32_t EventID, int32_t CatID, int16_t Status, int16_t Version, double DateUsed,
                                double AuxDate, const std::string& PlatMisc);
int32_t Bsda_AddPlatMisc(const std::string& text);
int32_t Bsda_AddHolidayList(const std::string& text);

// The position of a category or event record in its list; 0 when the ID is
// negative, absent, or indexed past the records in use. Every lookup of a
// profile position goes through these two.
int32_t catPosition(int32_t catID);
int32_t eventPosition(int32_t eventID);

}  // namespace pellary
