// The USB vendor and product ids that stand for the unit where no device-interface class does
// (libusb), and the places a user sets them: QEL_USB_IDS, then qel/usb-ids in the user's and then
// the system's configuration folders, then the built-in pair. Plain C++: the library and the
// programs that report a malformed setting compile the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace usb {

struct UsbId {
  uint16_t vendor = 0;
  uint16_t product = 0;
  bool operator==(const UsbId&) const = default;
};

// The pair of the unit's USB controller as it leaves its maker, used when nothing else is set.
constexpr UsbId kDefaultUsbId{0x04B4, 0x1004};

// "vvvv:pppp[,vvvv:pppp...]", four hexadecimal digits each; blanks around an entry and one line
// end after the last are allowed. Empty for anything else, never a part of a list, and for a text
// longer than kMaxUsbIdsText. Repeated pairs are kept once.
constexpr size_t kMaxUsbIdsText = 4096;
std::optional<std::vector<UsbId>> ParseUsbIds(std::string_view text);

// "04b4:1004", as lsusb and udev spell the pair.
std::string UsbIdText(UsbId id);

// What the process sees of the places: an environment variable (empty when unset) and the text
// of a file (empty when it is absent or cannot be read; more than kMaxUsbIdsText characters may be
// cut after the first kMaxUsbIdsText + 1).
struct UsbIdPlaces {
  std::function<std::optional<std::string>(const char* name)> environment;
  std::function<std::optional<std::string>(const std::string& path)> readFile;
};

// The ids in force, the place they came from and, in words, each malformed setting passed over
// on the way (places after the one in force are not looked at).
struct UsbIdChoice {
  std::vector<UsbId> ids;
  std::string source;  // "QEL_USB_IDS", a file's path or "built-in default"
  std::vector<std::string> problems;
};

UsbIdChoice ChooseUsbIds(const UsbIdPlaces& places);

// The choice over this process's environment and files.
UsbIdChoice ConfiguredUsbIds();

}  // namespace usb
