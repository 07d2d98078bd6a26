// The program's help: HTML pages in the program folder's "Help" folder,
// opened with the desktop's opener. A topic number opens "topic<N>.htm" when
// that page exists, else the index page; contents and the topics finder open
// "index.htm", the search "search.htm" (the index page when there is none).
// A popup topic (a tip for a control) never starts the browser: its page's
// text goes to the popup presenter the windows install, and nowhere without one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace pellary::platform::help {

enum class Command {
  Contents,  // the contents page
  Finder,    // the topics list
  Search,    // the search page
  Topic,     // one topic by number
  Popup,     // one topic by number, for a control of a window
};

struct Request {
  Command command = Command::Contents;
  int32_t topic = 0;
  intptr_t window = 0;  // the window that asked; 0 for the frame window
};

// The page a request opens (it may not exist when the help is not installed).
std::filesystem::path pageFor(Command command, int32_t topic = 0);

// Opens the page of the request. True when the opener accepted it.
bool showHelp(const Request& request);

// The plain text of a topic's page (its title, then its paragraphs, each on a
// line of its own); empty when the page is missing.
std::string topicText(int32_t topic);

// Shows a popup topic's text inside the program.
using PopupPresenter = std::function<void(const Request&, const std::string& text)>;
void setPopupPresenter(PopupPresenter presenter);

// Tests record requests instead of opening pages; an empty hook restores the opener.
using HelpHook = std::function<void(const Request&)>;
void setHelpHook(HelpHook hook);

}  // namespace pellary::platform::help
