// qelctl commands about the unit's USB identity where libusb finds it by ids: devices (what on the
// bus looks like the unit, whether the ids match and whether it can be opened) and udev-rule.
#include <libusb.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Cli.h"

namespace qelctl {
namespace {

using nlohmann::json;

// The unit's interface, and the status request as the library sends it (a 16-byte record).
constexpr int kInterface = 0;
constexpr uint8_t kVendorIn = 0xC0;  // vendor request, device to host, to the device
constexpr uint8_t kStatusRequest = 0x12;
constexpr uint16_t kStatusLength = 16;
constexpr unsigned kProbeTimeoutMs = 1000;

// One device that looks like the unit or carries its ids.
struct Found {
  int bus = 0;
  int address = 0;
  usb::UsbId id;
  bool shaped = false;          // a vendor-specific interface 0 with one bulk-in endpoint
  bool matches = false;         // carries one of the configured ids
  int openError = 0;            // libusb's error of the open or the claim; 0 when both went through
  std::optional<bool> answers;  // whether it answered the status request, when asked
};

// Which devices the user lets the status request go to: all, or by bus and address.
struct ProbeList {
  bool all = false;
  std::vector<std::pair<int, int>> devices;
  bool Allows(int bus, int address) const {
    return all ||
           std::find(devices.begin(), devices.end(), std::pair{bus, address}) != devices.end();
  }
};

// Interface 0's first setting is vendor-specific and has exactly one bulk-in endpoint.
bool LooksLikeUnit(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != 0) return false;
  int bulkIn = 0;
  bool vendorSpecific = false;
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    const libusb_interface& entry = config->interface[i];
    for (int alt = 0; alt < entry.num_altsetting; ++alt) {
      const libusb_interface_descriptor& setting = entry.altsetting[alt];
      if (setting.bInterfaceNumber != kInterface || setting.bAlternateSetting != 0) continue;
      vendorSpecific = setting.bInterfaceClass == LIBUSB_CLASS_VENDOR_SPEC;
      for (int e = 0; e < setting.bNumEndpoints; ++e) {
        const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
        if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK &&
            (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) != 0) {
          ++bulkIn;
        }
      }
    }
  }
  libusb_free_config_descriptor(config);
  return vendorSpecific && bulkIn == 1;
}

// The unit answers the status request with the whole record, its EEPROM states within their
// codes (0 ready .. 3 not present). Reading it clears the unit's change mask, nothing else.
bool AnswersStatus(libusb_device_handle* handle) {
  unsigned char record[kStatusLength] = {};
  const int length = libusb_control_transfer(handle, kVendorIn, kStatusRequest, 0, 0, record,
                                             kStatusLength, kProbeTimeoutMs);
  return length == kStatusLength && record[3] <= 3 && record[4] <= 3;
}

// Opens the device and claims its interface as the library would, asks the status request when
// allowed, and lets go again. A kernel driver bound to the interface is left alone: the library
// detaches it, so only another program's claim keeps the unit from it.
void TryOpen(libusb_device* device, bool probe, Found& found) {
  libusb_device_handle* handle = nullptr;
  found.openError = libusb_open(device, &handle);
  if (found.openError != 0) return;
  if (libusb_kernel_driver_active(handle, kInterface) != 1) {
    found.openError = libusb_claim_interface(handle, kInterface);
    if (found.openError == 0) {
      if (probe) found.answers = AnswersStatus(handle);
      libusb_release_interface(handle, kInterface);
    }
  }
  libusb_close(handle);
}

std::vector<Found> Survey(const std::vector<usb::UsbId>& ids, const ProbeList& probe) {
  libusb_context* context = nullptr;
  if (const int result = libusb_init(&context); result != 0) {
    DeviceError(Format("libusb cannot start: %s", libusb_strerror(result)));
  }
  const std::unique_ptr<libusb_context, void (*)(libusb_context*)> owner(context, libusb_exit);
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context, &list);
  if (count < 0) {
    DeviceError(
        Format("the USB devices cannot be listed: %s", libusb_strerror(static_cast<int>(count))));
  }
  std::vector<Found> found;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device* device = list[i];
    libusb_device_descriptor descriptor;
    if (libusb_get_device_descriptor(device, &descriptor) != 0) continue;
    Found f;
    f.bus = libusb_get_bus_number(device);
    f.address = libusb_get_device_address(device);
    f.id = {descriptor.idVendor, descriptor.idProduct};
    f.shaped = LooksLikeUnit(device);
    f.matches = std::find(ids.begin(), ids.end(), f.id) != ids.end();
    if (!f.shaped && !f.matches) continue;
    TryOpen(device, f.shaped && probe.Allows(f.bus, f.address), f);
    found.push_back(f);
  }
  libusb_free_device_list(list, 1);
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    return std::pair{a.bus, a.address} < std::pair{b.bus, b.address};
  });
  return found;
}

// The open's error as the system names it, where it has a name users know.
std::string ErrorName(int error) {
  switch (error) {
    case LIBUSB_ERROR_ACCESS:
      return "EACCES";
    case LIBUSB_ERROR_BUSY:
      return "EBUSY";
    case LIBUSB_ERROR_NO_DEVICE:
      return "ENODEV";
    default:
      return libusb_error_name(error);
  }
}

std::string OpenText(int error) {
  switch (error) {
    case 0:
      return "can be opened";
    case LIBUSB_ERROR_ACCESS:
      return "cannot be opened: no permission (EACCES); see qelctl udev-rule";
    case LIBUSB_ERROR_BUSY:
      return "cannot be opened: another program holds it (EBUSY)";
    default:
      return "cannot be opened: " + std::string(libusb_strerror(error)) + " (" + ErrorName(error) +
             ")";
  }
}

std::string IdsText(const std::vector<usb::UsbId>& ids) {
  std::string text;
  for (const usb::UsbId& id : ids) text += (text.empty() ? "" : ",") + usb::UsbIdText(id);
  return text;
}

void Devices(bool asJson, const ProbeList& probe) {
  const usb::UsbIdChoice choice = UsbIds();
  const std::vector<Found> found = Survey(choice.ids, probe);
  if (asJson) {
    json devices = json::array();
    for (const Found& f : found) {
      devices.push_back({{"bus", f.bus},
                         {"address", f.address},
                         {"ids", usb::UsbIdText(f.id)},
                         {"looksLikeUnit", f.shaped},
                         {"matches", f.matches},
                         {"canOpen", f.openError == 0},
                         {"openError", f.openError == 0 ? json() : json(ErrorName(f.openError))},
                         {"answersStatus", f.answers ? json(*f.answers) : json()}});
    }
    json ids = json::array();
    for (const usb::UsbId& id : choice.ids) ids.push_back(usb::UsbIdText(id));
    std::printf(
        "%s\n",
        json{{"ids", ids}, {"idsFrom", choice.source}, {"devices", devices}}.dump().c_str());
  } else {
    std::printf("unit ids: %s (%s)\n", IdsText(choice.ids).c_str(), choice.source.c_str());
    for (const Found& f : found) {
      std::string line =
          Format("bus %03d address %03d: %s, ", f.bus, f.address, usb::UsbIdText(f.id).c_str());
      line += f.matches ? "matches the unit ids" : "does not match the unit ids";
      if (!f.shaped) line += " but its interface 0 is not the unit's";
      line += ", " + OpenText(f.openError);
      if (f.answers) {
        line += *f.answers ? ", answers the status request as the unit does"
                           : ", does not answer the status request as the unit does";
      }
      std::printf("%s\n", line.c_str());
    }
  }
  if (found.empty()) DeviceError("no USB device looks like the camera unit");
}

ProbeList ParseProbeList(const std::vector<std::string>& words) {
  ProbeList list;
  for (const std::string& word : words) {
    if (word == "all") {
      list.all = true;
      continue;
    }
    const size_t colon = word.find(':');
    if (colon == std::string::npos) {
      UsageError("--probe takes all or BUS:ADDRESS as lsusb shows them, not '" + word + "'");
    }
    list.devices.emplace_back(NumberIn(word.substr(0, colon), "--probe bus", 0, 255),
                              NumberIn(word.substr(colon + 1), "--probe address", 0, 255));
  }
  return list;
}

// udev gives the logged-in user access to a device tagged uaccess, with no group to join.
void UdevRule(const std::vector<usb::UsbId>& ids) {
  for (const usb::UsbId& id : ids) {
    std::printf(
        "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"%04x\", ATTR{idProduct}==\"%04x\", "
        "TAG+=\"uaccess\"\n",
        id.vendor, id.product);
  }
}

void AddUsbCommands(CLI::App& app, Context& context) {
  auto asJson = std::make_shared<bool>(false);
  auto probe = std::make_shared<std::vector<std::string>>();
  CLI::App* devices = app.add_subcommand(
      "devices", "USB devices that look like the unit: ids, whether they match, access");
  devices->add_flag("--json", *asJson, "Print one JSON object");
  devices
      ->add_option("--probe", *probe,
                   "Also send the status request to this device (BUS:ADDRESS, or all) to see "
                   "whether it answers as the unit does")
      ->type_name("BUS:ADDRESS|all");
  devices->callback([&context, asJson, probe] {
    const ProbeList list = ParseProbeList(*probe);
    context.usesLibrary = false;
    context.action = [asJson, list] { Devices(*asJson, list); };
  });

  auto ids = std::make_shared<std::string>();
  CLI::App* rule = app.add_subcommand(
      "udev-rule", "The udev rule that lets the logged-in user open the unit, for its ids");
  CLI::Option* idsOption =
      rule->add_option("--ids", *ids, "These ids instead of the configured ones")
          ->type_name("VVVV:PPPP[,...]");
  rule->callback([&context, ids, idsOption] {
    std::optional<std::vector<usb::UsbId>> given;
    if (idsOption->count() > 0) {
      given = usb::ParseUsbIds(*ids);
      if (!given)
        UsageError("--ids takes vvvv:pppp[,vvvv:pppp...] in hexadecimal, not '" + *ids + "'");
    }
    context.usesLibrary = false;
    context.action = [given] { UdevRule(given ? *given : UsbIds().ids); };
  });
}

const RegisterCommands kRegistered(15, AddUsbCommands);

}  // namespace
}  // namespace qelctl
