#include "tools/help_pages.h"

#include <fstream>
#include <sstream>

#include "platform/text/markup.h"

namespace pellary::install {

namespace fs = std::filesystem;

const std::vector<HelpTopic>& helpTopics() {
  // In the order a run shows its windows: the contents page lists them so.
  static const std::vector<HelpTopic> topics = {
      {200, "Welcome",
       "The introduction shows, in three steps, how Pellary Almoner works: you choose from the information on the "
       "left of the selection screen and build your own selection on the right.\n"
       "Click Next, or press Enter, to see the next step; after the third step the selection screen opens."},
      {219, "Welcome back",
       "Choose Change your selection (click it, or press Space or Enter when it has the focus) to open the "
       "selection screen with the choices you made last time."},
      {90, "The selection screen",
       "On the left are the categories of dates and the reference topics of each product; on the right is "
       "Your Selection. Move items between them with the arrows, then click Continue to see a summary of the "
       "changes.\n"
       "With the keyboard: Tab moves from a list to its arrow and on; the arrow keys move in a list, Enter adds or "
       "removes the item, Space presses the arrow that has the focus."},
      {91, "Product tabs",
       "Each tab holds one product. Click a tab to show its categories and reference topics; the arrow buttons "
       "scroll the tabs when there are more products than places."},
      {92, "Choosing from the lists",
       "Open a group with a click on its plus sign, or with the Right key. Only the entries with a page icon can "
       "be chosen; grey entries are already in Your Selection."},
      {93, "Adding a category",
       "Click the green arrow or double-click the category to add it to Your Selection. Right-click it to "
       "preview its events first."},
      {94, "Your chosen categories",
       "These categories are written to your calendar. Select one and click the remove arrow, or double-click "
       "it, to take it out; right-click it to preview its events or change its options."},
      {95, "Your chosen reference topics",
       "These reference topics are written as pages to your PC or handheld. Select one and click the remove "
       "arrow, or double-click it, to take it out."},
      {96, "Adding a reference topic",
       "Click the green arrow or double-click the topic to add its pages to Your Selection."},
      {101, "Other products",
       "This page describes further products for Pellary Almoner. Links to web pages open in your web browser."},
      {7, "Previewing and adding a category",
       "Preview lists the events of the category under the pointer, with their dates, before you choose it.\n"
       "Add to selection puts the category into Your Selection; its events are written to your calendar when "
       "you finish the wizard.\n"
       "Remove from my selection takes a chosen category out again; its entries are removed from your calendar.\n"
       "In the options window, tick or untick single events, choose which events to include and how long their "
       "text is; Preferences sets how longer events are entered and a date range of the category's own. Cancel "
       "closes the window and keeps what you changed."},
      {202, "Your changes",
       "The summary lists every entry that will be added to, removed from or changed in your calendar, and the "
       "reference pages that will be added or removed. Untick a row to leave that change out.\n"
       "Next carries the changes out; Back returns to the selection screen."},
      {220, "No changes",
       "Your selection is the same as last time, so there is nothing to write. Return to the selection screen, "
       "go on to the update settings, or exit."},
      {218, "Reference pages on your PC",
       "The reference topics you chose are written as linked pages on your PC, which open in your web browser."},
      {221, "Reference on your Palm",
       "The chosen reference topics are prepared for your Palm device and reach it at the next HotSync."},
      {222, "Reference on your Windows CE device",
       "The chosen reference topics are copied as pages to your handheld or palm-sized PC while it is connected."},
      {223, "Reference on your Psion",
       "The chosen reference topics and their viewer are copied to your Psion while it is connected. Choose the "
       "drive that receives them."},
      {203, "Series 3 Agenda",
       "Your dates are written into an Agenda file on your Series 3. Choose the file with Select, then click Next."},
      {204, "Microsoft Outlook",
       "Your dates are written into an Outlook calendar folder as all-day entries of the category Pellary Almoner "
       "dates. Continue starts the writing."},
      {224, "Choosing the Outlook calendar",
       "Open the Outlook calendar that should receive your dates, then click Continue. The folder is remembered "
       "for later runs. Cancel asks whether you want to exit."},
      {206, "Series 5 Agenda",
       "Your dates are written into an Agenda file on your Series 5. Type or choose the file's path on the "
       "device, then click Next."},
      {207, "Lotus Organizer",
       "Pick the Organizer file and the calendar section that should receive your dates. A file that is "
       "protected asks for its key, which you may keep for later runs."},
      {69, "Choosing your Day-Timer database",
       "Pick the Day-Timer Organizer database that should receive the dates. The list shows the databases of "
       "the Day-Timer installation found on this computer."},
      {70, "Logging in to a shared Day-Timer database",
       "A database shared by several users asks for your user name and password before dates can be written "
       "into it. Enter the login you use in the Day-Timer Organizer."},
      {213, "Lotus Notes",
       "Your dates are written into your Notes calendar. Give the server and your user file when asked."},
      {215, "Palm Date Book",
       "Pick the HotSync user whose Date Book should receive the dates; they reach the device at the next "
       "HotSync."},
      {216, "Staying up to date",
       "Choose whether the Internet update service runs automatically, and how often, or only when you start "
       "it. Finish stores the choice and ends the program."},
      {217, "Manual updates",
       "Quick set up enrols you with the update service now; Remind me later ends the program and asks again "
       "next time."},
      {230, "About Pellary Almoner",
       "Shows the version and the calendar and reference targets this installation writes to."},
      {231, "An update is ready",
       "The update service describes what an update brings. Yes fetches and applies it; No leaves your dates as "
       "they are."},
      {232, "The changes of an update",
       "Lists the calendar entries an update adds, removes or changes. Untick a row to leave that change out."},
      {233, "When an error occurs",
       "The message names where the error happened and why. The program then ends; what was already written "
       "stays written, and the next run carries on from there. The error is also noted in LY98ERR.log in the "
       "program folder."},
  };
  return topics;
}

namespace {

// A JavaScript string literal.
std::string jsString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '<') {
      out += "\\x3c";  // never closes the script element
      continue;
    }
    out += c;
  }
  return out + "\"";
}

std::string pageName(int32_t topic) { return "topic" + std::to_string(topic) + ".htm"; }

std::string page(const std::string& title, const std::string& body) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
         platform::text::markupEscaped(title) + "</title></head>\n<body>\n" + body + "</body></html>\n";
}

void write(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace

void writeHelpPages(const fs::path& folder) {
  fs::create_directories(folder);
  std::string list;
  for (const HelpTopic& t : helpTopics()) {
    std::string body = "<h1>" + platform::text::markupEscaped(t.title) + "</h1>\n";
    std::istringstream paragraphs(t.text);
    for (std::string p; std::getline(paragraphs, p);) body += "<p>" + platform::text::markupEscaped(p) + "</p>\n";
    // In a nav element: a tip shows the topic's text without it.
    body += "<nav><a href=\"index.htm\">Contents</a> | <a href=\"search.htm\">Search</a></nav>\n";
    write(folder / pageName(t.number), page(t.title, body));
    list += "<li><a href=\"" + pageName(t.number) + "\">" + platform::text::markupEscaped(t.title) + "</a></li>\n";
  }
  write(folder / "index.htm",
        page("Pellary Almoner Help",
             "<h1>Pellary Almoner Help</h1>\n"
             "<p>Pellary Almoner writes the dates of the events you choose into your calendar and the reference "
             "pages you choose onto your PC or handheld.</p>\n"
             "<h2>Topics</h2>\n<ul id=\"topics\">\n" +
                 list + "</ul>\n<p><a href=\"search.htm\">Search</a></p>\n"));

  // Every word of the query must occur in a topic's title or text.
  std::string data;
  for (const HelpTopic& t : helpTopics())
    data += "  {page: " + jsString(pageName(t.number)) + ", title: " + jsString(t.title) +
            ", text: " + jsString(t.text) + "},\n";
  write(folder / "search.htm", page("Search the Help",
                                    "<h1>Search the Help</h1>\n"
                                    "<form id=\"search\"><input id=\"words\" name=\"q\" type=\"search\">"
                                    " <button type=\"submit\">Search</button></form>\n"
                                    "<ul id=\"results\"></ul>\n<p><a href=\"index.htm\">Contents</a></p>\n"
                                    "<script>\nconst topics = [\n" +
                                        data +
                                        "];\n"
                                        "function find(query) {\n"
                                        "  const words = query.toLowerCase().split(/\\s+/).filter(w => w.length > 0);\n"
                                        "  if (words.length === 0) return [];\n"
                                        "  return topics.filter(t => {\n"
                                        "    const text = (t.title + ' ' + t.text).toLowerCase();\n"
                                        "    return words.every(w => text.includes(w));\n"
                                        "  });\n"
                                        "}\n"
                                        "function show(query) {\n"
                                        "  const results = document.getElementById('results');\n"
                                        "  results.textContent = '';\n"
                                        "  for (const t of find(query)) {\n"
                                        "    const a = document.createElement('a');\n"
                                        "    a.href = t.page;\n"
                                        "    a.textContent = t.title;\n"
                                        "    const li = document.createElement('li');\n"
                                        "    li.appendChild(a);\n"
                                        "    results.appendChild(li);\n"
                                        "  }\n"
                                        "}\n"
                                        "const query = new URLSearchParams(location.search).get('q') || '';\n"
                                        "document.getElementById('words').value = query;\n"
                                        "show(query);\n"
                                        "</script>\n"));
}

}  // namespace pellary::install
