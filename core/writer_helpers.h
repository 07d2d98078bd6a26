// Small decisions shared by the category counts and the calendar writers.
#pragma once

#include <cstdint>
#include <string>

namespace pellary {

// The priority level a category's Status word admits: 1 only key events,
// 2 most, 3 all, 0 when both include bits are set.
int16_t Bplp_CheckPriority(int16_t status);

// How a public holiday's entry changes: 0 none, 1 add, 2 remove, 4 remove and add again.
int16_t Bplp_ArrayCompare(const std::string& newList, const std::string& oldList, int16_t oldVersion,
                          int16_t newVersion);

// "Public holiday in: " + the chosen countries' names + "|" + their CatIDs
// ("Public holiday in: France, Spain|12,40"); empty when no chosen country has it.
// A country is chosen when it is in the profile or added this run; beingAdded
// names one more that counts as chosen (the category being counted as it is added).
std::string Bplp_PubHolLookup(int32_t eventID, int32_t beingAdded = 0);

}  // namespace pellary
