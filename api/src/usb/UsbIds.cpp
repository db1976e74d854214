// The unit's USB ids: the list syntax and the order of the places they are read from.
#include "usb/UsbIds.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace usb {
namespace {

constexpr const char* kVariable = "QEL_USB_IDS";
constexpr const char* kFile = "/qel/usb-ids";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text, bool lineEnd) {
  const auto skip = [&](char c) { return IsBlank(c) || (lineEnd && (c == '\n' || c == '\r')); };
  while (!text.empty() && skip(text.front())) text.remove_prefix(1);
  while (!text.empty() && skip(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<uint16_t> Hex4(std::string_view text) {
  if (text.size() != 4) return std::nullopt;
  unsigned value = 0;
  for (const char c : text) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value << 4 | digit;
  }
  return static_cast<uint16_t>(value);
}

// The setting as a message shows it: quoted, short, control characters as escapes.
std::string Quoted(std::string_view text) {
  constexpr size_t kShown = 40;
  std::string out = "\"";
  for (size_t i = 0; i < text.size() && i < kShown; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + (text.size() > kShown ? "...\"" : "\"");
}

// The XDG base directory rules take absolute folders only; relative and empty values count as
// unset.
bool IsAbsolute(std::string_view folder) {
  return !folder.empty() && folder.front() == '/';
}

// The configuration folders in order: the user's, then the system's.
std::vector<std::string> ConfigFolders(const UsbIdPlaces& places) {
  const auto variable = [&](const char* name) { return places.environment(name).value_or(""); };
  std::vector<std::string> folders;
  if (const std::string home = variable("XDG_CONFIG_HOME"); IsAbsolute(home)) {
    folders.push_back(home);
  } else if (const std::string userHome = variable("HOME"); IsAbsolute(userHome)) {
    folders.push_back(userHome + "/.config");
  }
  std::string list = variable("XDG_CONFIG_DIRS");
  if (list.empty()) list = "/etc/xdg";
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(':', start), list.size());
    const std::string folder = list.substr(start, end - start);
    if (IsAbsolute(folder)) folders.push_back(folder);
    start = end + 1;
  }
  return folders;
}

}  // namespace

std::optional<std::vector<UsbId>> ParseUsbIds(std::string_view text) {
  if (text.size() > kMaxUsbIdsText) return std::nullopt;
  text = Trim(text, true);
  if (text.empty()) return std::nullopt;
  std::vector<UsbId> ids;
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find(',', start), text.size());
    const std::string_view entry = Trim(text.substr(start, end - start), false);
    const size_t colon = entry.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    const std::optional<uint16_t> vendor = Hex4(entry.substr(0, colon));
    const std::optional<uint16_t> product = Hex4(entry.substr(colon + 1));
    if (!vendor || !product) return std::nullopt;
    const UsbId id{*vendor, *product};
    if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    start = end + 1;
  }
  return ids;
}

std::string UsbIdText(UsbId id) {
  char text[10];
  std::snprintf(text, sizeof text, "%04x:%04x", id.vendor, id.product);
  return text;
}

UsbIdChoice ChooseUsbIds(const UsbIdPlaces& places) {
  UsbIdChoice choice;
  const auto take = [&](const std::string& source, const std::string& text,
                        const std::string& where) {
    if (auto ids = ParseUsbIds(text)) {
      choice.ids = std::move(*ids);
      choice.source = source;
      return true;
    }
    choice.problems.push_back(where + Quoted(text) +
                              " is not a list of USB ids like 04b4:1004; it is ignored");
    return false;
  };
  // An empty variable is an unset one, as the shells make it easy to leave one so.
  const std::optional<std::string> variable = places.environment(kVariable);
  if (variable && !variable->empty() && take(kVariable, *variable, std::string(kVariable) + "="))
    return choice;
  for (const std::string& folder : ConfigFolders(places)) {
    const std::string path = folder + kFile;
    const std::optional<std::string> text = places.readFile(path);
    if (text && take(path, *text, path + ": ")) return choice;
  }
  choice.ids = {kDefaultUsbId};
  choice.source = "built-in default";
  return choice;
}

UsbIdChoice ConfiguredUsbIds() {
  UsbIdPlaces places;
  places.environment = [](const char* name) -> std::optional<std::string> {
    // Read once when the unit is looked for; nothing in the programs sets the environment.
    const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  };
  places.readFile = [](const std::string& path) -> std::optional<std::string> {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::string text(kMaxUsbIdsText + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    return text;
  };
  return ChooseUsbIds(places);
}

}  // namespace usb
