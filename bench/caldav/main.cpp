// Writes 1,000 calendar entries through the Outlook stand-in on a CalDAV
// server (Radicale on loopback, started here), as the Outlook writer does,
// and beside it, in the same run and in turns (which side goes first
// alternating), PUTs the same items with a plain libcurl loop on one
// kept-alive handle into a second calendar, so both calendars grow alike.
// Prints both, the spread of the rounds, the ratio and the goal; the exit code
// is 0 whatever they are. A count on the command line changes the 1,000.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../outlook_writer_calls.h"
#include "standins/outlook/ical_item.h"
#include "standins/outlook/outlook_automation.h"
#include "standins/outlook/outlook_store.h"
#include "support/fixtures.h"

using namespace pellary;
using namespace pellary::platform;
using namespace pellary::standins;
using namespace pellary::bench;

namespace {

// Radicale's PUT costs more the fuller the calendar: 1,000 a side keep the
// run near a minute.
int kEntries = 1000;
constexpr int kRounds = 10;
constexpr double kGoalRatio = 1.5;

size_t discard(char*, size_t size, size_t n, void*) { return size * n; }

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) kEntries = std::max(kRounds, std::atoi(argv[1]) / kRounds * kRounds);
  pellary::testing::RadicaleServer server;
  if (!server.start()) {
    std::printf("Radicale did not start\n");
    std::printf("goal within %.1fx of the plain loop: not met (no server)\n", kGoalRatio);
    return 0;
  }
  pellary::testing::TempDir standins;
  ::setenv("PELLARY_STANDINS", standins.path().c_str(), 1);
  pellary::testing::writeFile(
      standins.path() / "Outlook" / "caldav.conf",
      "url = " + server.home() + "\nuser = " + server.user() + "\npassword = " + server.password() + "\n");
  outlook::registerOutlookClasses();
  Object app = automation::createObject(outlook::kApplicationClass);
  Object ns = app->call("GetNamespace", {Variant("MAPI")}).toObject();
  Object folder = ns->call("GetDefaultFolder", {Variant(int32_t(outlook::defaultfolder::Calendar))}).toObject();

  // The plain loop's own calendar, and its one handle.
  const std::string plain = server.home() + "plain/";
  CURL* curl = curl_easy_init();
  auto request = [&](const char* method, const std::string& url, const std::string& body,
                     const std::vector<const char*>& headers) {
    curl_slist* list = nullptr;
    for (const char* h : headers) list = curl_slist_append(list, h);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_USERNAME, server.user().c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, server.password().c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(list);
    return status;
  };
  request("MKCALENDAR", plain, "", {});

  double standIn = 0, loop = 0;
  int failed = 0;
  std::vector<double> roundRatios;
  for (int r = 0; r < kRounds; ++r) {
    const int from = kEntries / kRounds * r, to = kEntries / kRounds * (r + 1);
    // The same items, made ready before the clock runs.
    std::vector<std::pair<std::string, std::string>> texts;
    for (int i = from; i < to; ++i) {
      outlook::Appointment a;
      a.entryID = outlook::newUID();
      a.subject = entryTitle(i);
      a.body = kEntryBody;
      a.categories = "Pellary Almoner dates";
      a.allDay = true;
      a.start = entryStart(i);
      a.end = entryStart(i) + 1;
      a.reminderSet = false;
      texts.emplace_back(plain + a.entryID + ".ics", outlook::newItemText(a));
    }
    double mine = 0, theirs = 0;
    for (int side = 0; side < 2; ++side) {
      const auto t0 = Clock::now();
      if ((side == 0) == (r % 2 == 0)) {
        for (int i = from; i < to; ++i) writeEntry(folder, i);
        mine = seconds(t0, Clock::now());
      } else {
        for (const auto& [url, text] : texts)
          if (request("PUT", url, text, {"If-None-Match: *", "Content-Type: text/calendar; charset=utf-8"}) != 201)
            ++failed;
        theirs = seconds(t0, Clock::now());
      }
    }
    standIn += mine;
    loop += theirs;
    roundRatios.push_back(theirs > 0 ? mine / theirs : 0);
  }
  curl_easy_cleanup(curl);

  const size_t written = outlook::store().count(folder->call("EntryID").toString());
  std::printf(
      "caldav: %d entries PUT on Radicale at 127.0.0.1:%d by each side (stand-in holds %zu; %d plain PUTs failed)\n",
      kEntries, server.port(), written, failed);
  const double ratio = loop > 0 ? standIn / loop : 0;
  std::printf("stand-in %.3f s (%.0f entries/s), plain libcurl loop %.3f s (%.0f entries/s), ratio %.2f\n", standIn,
              kEntries / standIn, loop, kEntries / loop, ratio);
  std::sort(roundRatios.begin(), roundRatios.end());
  std::printf(
      "stand-in vs plain loop round by round (%d rounds, the sides taking turns going first): lowest %.2f, "
      "median %.2f, highest %.2f\n",
      kRounds, roundRatios.front(), roundRatios[roundRatios.size() / 2], roundRatios.back());
  const bool complete = failed == 0 && written == size_t(kEntries);
  std::printf("goal within %.1fx of the plain loop (%d PUTs a side): %s\n", kGoalRatio, kEntries,
              complete && loop > 0 && ratio <= kGoalRatio ? "met" : "not met");
  outlook::closeStore();
  return 0;
}
