// The unit as the Linux kernel shows it to libusb, without kernel USB: a umockdev test bed with
// one USB device whose usbfs ioctls are answered by the simulated unit.
#pragma once

#include <linux/usbdevice_fs.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace usbtest {

// One endpoint of the emulated device's interface 0.
struct EndpointShape {
  uint8_t address = 0;
  uint8_t attributes = 0;  // transfer type in bits 1..0
  uint16_t maxPacket = 0;
};

// What the emulated device's descriptors and sysfs attributes say.
struct DeviceShape {
  uint16_t vendorId = 0x04B4;
  uint16_t productId = 0x1004;
  uint8_t interfaceClass = 0xFF;
  std::vector<EndpointShape> endpoints = {{0x81, 3, 64}, {0x82, 2, 512}, {0x02, 2, 512}};
  std::string speed = "480";  // Mbit/s, as the kernel writes it
};

// Capabilities the node reports: scatter-gather lets a bulk read of any size travel as one URB;
// without it libusb splits reads into 16 KiB URBs chained by bulk continuation.
constexpr uint32_t kCapsScatterGather = USBDEVFS_CAP_BULK_SCATTER_GATHER |
                                        USBDEVFS_CAP_BULK_CONTINUATION |
                                        USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_ZERO_PACKET;
constexpr uint32_t kCapsSplitUrbs = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_ZERO_PACKET;

// One bulk read as libusb submitted it: its length in bytes and the URBs it was cut into.
struct BulkRead {
  uint32_t length = 0;
  int urbs = 0;
};

// Faults of the node, in force until changed or Reset.
struct NodeFaults {
  int bulkStatus = 0;  // bulk reads end with this -errno; -EPIPE halts the endpoint until cleared
  int controlStatus = 0;       // control requests end with this -errno without reaching the unit
  int controlShortBy = 0;      // IN data stages end this many bytes early
  bool controlSilent = false;  // control requests stay unanswered until cancelled or pulled
  int claimError = 0;          // interface claims fail with this errno
  int openError = 0;           // opening the device node fails with this errno
};

// What crossed the node since the last Reset.
struct NodeStats {
  std::vector<BulkRead> bulkReads;
  int bulkDiscards = 0;  // bulk URBs cancelled while pending
  int claims = 0;
  int releases = 0;
  int clearHalts = 0;   // clear-halt requests on the bulk endpoint
  int openHandles = 0;  // file handles on the node still open
};

class UsbfsNode {
 public:
  // The process's node, or null when the process runs without the umockdev preload library.
  static UsbfsNode* Get();

  // Creates the test bed; must run before any libusb context exists. Idempotent.
  static void Start();
  // Removes the test bed once every handle on it is closed. The node is unavailable afterwards.
  static void Stop();

  // The unit plugged with the default shape, scatter-gather reported, faults off, stats cleared.
  void Reset();

  void SetCapabilities(uint32_t caps);
  // Replugs the device with other descriptors.
  void SetShape(const DeviceShape& shape);
  // Unplugging fails every URB in flight with -ESHUTDOWN and every later call on an old handle
  // with ENODEV, then announces the removal; plugging announces a new device address.
  void Unplug();
  void Plug();
  // Takes access to the present node away, as a missing udev rule does; a replug brings a new node.
  void DenyAccess();
  // Cancels of bulk URBs succeed but the URBs are never handed back, as with a driver that loses
  // them.
  void SetDiscardLost(bool on);
  void SetFaults(const NodeFaults& faults);

  NodeStats Stats() const;

 private:
  struct State;
  UsbfsNode();
  std::unique_ptr<State> state_;
};

}  // namespace usbtest
