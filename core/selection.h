// Category selection into the in-memory profile: the current category and its
// events, adding and removing categories, and the count prefix of a chosen
// category's node text.
#pragma once

#include <cstdint>
#include <string>

namespace pellary {

// Makes the category of a category node key current and opens its events.
void Bsql_SetSingleNodePreview(const std::string& key);
// Gives the current category a profile record when it has none.
void Bsql_AddToProfileCatList(int16_t catSetting);
// Moves the category of a category node key to "added" (or back to "in the profile").
void Bsql_AddToCategorySelection(const std::string& key);
// Moves the category of a chosen-items key to "removed" (or "not selected").
void Bsql_RemoveFromCategorySelection(const std::string& key);
// The current category's events that a write would add; counts in
// Bsql_EventCount those inside the category's window.
int32_t Bsql_CountActiveRecords();
// Refreshes the count prefix of the chosen-items node Bsql_PreviewNodeKey.
void Bsql_ReCountEvents();

// "(" count " of " total ") " + text.
std::string countPrefix(int32_t count, int32_t total);

}  // namespace pellary
