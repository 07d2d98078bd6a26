// Writes 5,000 calendar entries through the Outlook stand-in on a CalDAV
// server (Radicale on loopback, started here), as the Outlook writer does,
// and beside it, in the same run and in turns, PUTs the same items with a
// plain libcurl loop on one kept-alive handle into a second calendar. Prints
// both, the ratio and the goal; the exit code is 0 whatever they are.
#include <curl/curl.h>

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
using namespace pellary::bench;

namespace {

int kEntries = 5000;
constexpr int kRounds = 10;
constexpr double kGoalRatio = 1.5;

size_t discard(char*, size_t size, size_t n, void*) { return size * n; }

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) kEntries = std::atoi(argv[1]);
  pellary::testing::RadicaleServer server;
  if (!server.start()) {
    std::printf("Radicale did not start\n");
    return 0;
  }
  pellary::testing::TempDir standins;
  ::setenv("PELLARY_STANDINS", standins.path().c_str(), 1);
  pellary::testing::writeFile(standins.path() / "Outlook" / "caldav.conf",
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
  for (int r = 0; r < kRounds; ++r) {
    const int from = kEntries / kRounds * r, to = kEntries / kRounds * (r + 1);
    auto t0 = Clock::now();
    for (int i = from; i < to; ++i) writeEntry(folder, i);
    auto t1 = Clock::now();
    standIn += seconds(t0, t1);
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
    auto p0 = Clock::now();
    for (const auto& [url, text] : texts)
      if (request("PUT", url, text, {"If-None-Match: *", "Content-Type: text/calendar; charset=utf-8"}) != 201) ++failed;
    loop += seconds(p0, Clock::now());
  }
  curl_easy_cleanup(curl);

  const size_t written = outlook::store().count(folder->call("EntryID").toString());
  std::printf("caldav: %d entries PUT on Radicale at 127.0.0.1:%d by each side (stand-in holds %zu; %d plain PUTs failed)\n",
              kEntries, server.port(), written, failed);
  const double ratio = standIn / loop;
  std::printf("stand-in %.3f s (%.0f entries/s), plain libcurl loop %.3f s (%.0f entries/s), ratio %.2f\n", standIn,
              kEntries / standIn, loop, kEntries / loop, ratio);
  std::printf("goal within %.1fx of the plain loop: %s\n", kGoalRatio, ratio <= kGoalRatio ? "met" : "not met");
  outlook::closeStore();
  return 0;
}
