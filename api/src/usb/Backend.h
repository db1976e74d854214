// The seam between the library core and a USB stack: WinUSB, libusb or the simulated unit.
#pragma once

#include <cstdint>
#include <memory>

namespace usb {

// Setup packet of a control transfer on the default pipe; fields as on the wire.
struct SetupPacket {
  uint8_t requestType = 0;  // 0xC0 vendor device-to-host, 0x40 vendor host-to-device
  uint8_t request = 0;
  uint16_t value = 0;
  uint16_t index = 0;
  uint16_t length = 0;  // bytes in the data stage; equals the buffer length
};

constexpr uint8_t kVendorIn = 0xC0;
constexpr uint8_t kVendorOut = 0x40;

// Pipe ids and speed recorded at open. Only the bulk-in pipe is used (frames).
struct PipeInfo {
  uint8_t bulkIn = 0;     // endpoint address with the direction bit 0x80
  uint8_t bulkOut = 0;    // recorded, not used
  uint8_t interrupt = 0;  // recorded, not used
  uint8_t speed = 0;      // result of the speed query, recorded, not used
};

enum class OpenResult { Ok = 0, Failed = 1, NoDevice = 2 };

enum class ReadState { Pending, Done, Failed };

// One opened unit. The core holds it through std::shared_ptr: a caller inside a transfer keeps
// its reference, so the object (and the platform handles it owns) is destroyed only after the
// last transfer on it has returned. Every method may be called from any thread; the bulk-read
// methods are used by one thread at a time (the acquisition thread).
class Device {
 public:
  virtual ~Device() = default;

  // Synchronous vendor control transfer of setup.length bytes to or from data (data may be null
  // when the length is 0). Blocks until the transfer completes or the stack's default control
  // time-out expires. Returns true exactly when the stack reports success; the number of bytes
  // moved is not compared with the length. Never retried here. After the unit has gone every
  // call returns false.
  virtual bool ControlTransfer(const SetupPacket& setup, uint8_t* data) = 0;

  // Pipe ids and speed found at open. Does not block.
  virtual PipeInfo Pipes() const = 0;

  // Starts an asynchronous read of up to size bytes from the bulk-in pipe into buffer, which must
  // stay valid until the read has completed or been aborted. Returns true when the read is under
  // way (the platform reported it pending), false when it could not be started. Does not block.
  // At most one read is outstanding per device.
  virtual bool SubmitRead(uint8_t* buffer, uint32_t size) = 0;

  // Reports the outstanding read: Done (with transferred set), Failed, or Pending. Blocks for at
  // most waitMs milliseconds for completion (0 returns at once); it returns as soon as the read
  // completes, so the next read can be issued without delay.
  virtual ReadState PollRead(uint32_t& transferred, int waitMs) = 0;

  // Cancels the outstanding read and returns when the buffer is no longer written to.
  virtual void AbortRead() = 0;

  // False once the stack has reported that this handle's unit is gone. A unit pulled and
  // re-plugged between two presence checks still counts as present, but its old handle is dead;
  // the connection thread closes such a device and opens the unit afresh. Does not block.
  virtual bool Attached() const { return true; }
};

// Finds and opens the unit. One backend per library start.
class Backend {
 public:
  virtual ~Backend() = default;

  // Number of present interfaces of the unit's class; 0 means the unit is gone. Called every
  // 50 ms by the connection thread; blocks only for the enumeration. Must terminate even when
  // enumeration keeps failing, and never reports a present unit as gone.
  virtual int CountPresent() = 0;

  // Opens the first present unit: device path, handle, interface, speed and pipe queries. On Ok
  // device holds the opened unit; otherwise device is left empty and any partly obtained handles
  // are released. Blocks for the open only.
  virtual OpenResult Open(std::unique_ptr<Device>& device) = 0;
};

// The platform backend of this build (WinUSB on Windows, libusb elsewhere); null when none.
std::unique_ptr<Backend> CreatePlatformBackend();

}  // namespace usb
