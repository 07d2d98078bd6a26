#include "platform/help/help.h"

#include <cctype>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "platform/files/whole_file.h"
#include "platform/paths.h"
#include "platform/process/process.h"

namespace pellary::platform::help {

namespace fs = std::filesystem;

namespace {

std::mutex hookMutex;
HelpHook helpHook;
PopupPresenter popupPresenter;

fs::path helpFolder() {
  fs::path program = paths::programFolder();
  fs::path found = paths::findCaseInsensitive(program, "Help");
  return found.empty() ? program / "Help" : found;
}

// The page of that name in the folder, in whatever letter case it exists; empty when absent.
fs::path existingPage(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return {};
  return paths::findCaseInsensitive(folder, name);
}

// The text between tags, entities of the pages' own making decoded, blanks
// folded; block ends become line breaks.
std::string plainText(const std::string& html) {
  std::string out;
  bool space = false;
  auto put = [&](char c) {
    if (c == '\n') {
      while (!out.empty() && out.back() == ' ') out.pop_back();
      if (!out.empty() && out.back() != '\n') out += '\n';
      space = false;
      return;
    }
    if (c == ' ' || c == '\t' || c == '\r') {
      space = !out.empty() && out.back() != '\n';
      return;
    }
    if (space) out += ' ';
    space = false;
    out += c;
  };
  for (size_t i = 0; i < html.size();) {
    if (html[i] == '<') {
      size_t end = html.find('>', i);
      if (end == std::string::npos) break;
      std::string tag = html.substr(i + 1, end - i - 1);
      for (char& c : tag) c = char(std::tolower(static_cast<unsigned char>(c)));
      if (tag.rfind("script", 0) == 0 || tag.rfind("style", 0) == 0 || tag == "nav" || tag.rfind("nav ", 0) == 0) {
        // Their text is no part of the topic's: the page's links, code.
        const std::string name = tag.substr(0, tag.find(' '));
        size_t close = html.find("</" + name, end);
        end = close == std::string::npos ? html.size() - 1 : html.find('>', close);
        if (end == std::string::npos) break;
      } else if (tag.rfind("/h", 0) == 0 || tag == "/p" || tag == "/li" || tag == "/title" || tag == "br" ||
                 tag == "br/") {
        put('\n');
      }
      i = end + 1;
      continue;
    }
    if (html[i] == '&') {
      static const std::pair<const char*, char> entities[] = {{"&amp;", '&'},  {"&lt;", '<'},   {"&gt;", '>'},
                                                              {"&quot;", '"'}, {"&#39;", '\''}, {"&nbsp;", ' '}};
      bool done = false;
      for (const auto& [name, c] : entities)
        if (html.compare(i, std::strlen(name), name) == 0) {
          put(c);
          i += std::strlen(name);
          done = true;
          break;
        }
      if (done) continue;
    }
    put(html[i] == '\n' ? ' ' : html[i]);
    ++i;
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

}  // namespace

std::string topicText(int32_t topic) {
  fs::path page = existingPage(helpFolder(), "topic" + std::to_string(topic) + ".htm");
  if (page.empty()) return {};
  std::string html = files::readWholeFile(page).value_or(std::string());
  // The title repeats the heading: the body alone.
  size_t body = html.find("<body");
  return plainText(body == std::string::npos ? html : html.substr(body));
}

void setPopupPresenter(PopupPresenter presenter) {
  std::lock_guard lock(hookMutex);
  popupPresenter = std::move(presenter);
}

fs::path pageFor(Command command, int32_t topic) {
  fs::path folder = helpFolder();
  std::string name;
  switch (command) {
    case Command::Search: name = "search.htm"; break;
    case Command::Topic:
    case Command::Popup: name = "topic" + std::to_string(topic) + ".htm"; break;
    case Command::Contents:
    case Command::Finder: break;
  }
  if (!name.empty()) {
    fs::path page = existingPage(folder, name);
    if (!page.empty()) return page;
  }
  fs::path index = existingPage(folder, "index.htm");
  return index.empty() ? folder / "index.htm" : index;
}

bool showHelp(const Request& request) {
  HelpHook hook;
  PopupPresenter presenter;
  {
    std::lock_guard lock(hookMutex);
    hook = helpHook;
    presenter = popupPresenter;
  }
  if (hook) {
    hook(request);
    return true;
  }
  if (request.command == Command::Popup) {
    if (!presenter) return false;
    presenter(request, topicText(request.topic));
    return true;
  }
  return process::openWithDesktop(pageFor(request.command, request.topic).string()) > 32;
}

void setHelpHook(HelpHook hook) {
  std::lock_guard lock(hookMutex);
  helpHook = std::move(hook);
}

}  // namespace pellary::platform::help
