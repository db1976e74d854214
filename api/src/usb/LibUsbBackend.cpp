// The libusb-1.0 backend (Linux, macOS): finds the unit by its configured USB ids and reads it
// through libusb.
#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "usb/Backend.h"
#include "usb/PlatformUtil.h"
#include "usb/UsbIds.h"

namespace usb {
namespace {

// How the unit is recognised here. On Windows the unit's driver package gives its interface a
// device-interface class; libusb has no such class, so vendor and product ids stand for it: the
// configured ones (usb/UsbIds.h), read once per backend. Interface 0 of a matching device must be
// vendor-specific (class 0xFF), as the interface WinUSB binds to is; a device with the ids but
// another interface is refused at open.
constexpr int kQelInterface = 0;
constexpr uint8_t kVendorSpecificClass = LIBUSB_CLASS_VENDOR_SPEC;

// WinUSB's default time-out for the control pipe; the library sets none of its own.
constexpr unsigned int kControlTimeoutMs = 5000;

// Speed codes as the WinUSB speed query reports them.
constexpr uint8_t kLowSpeed = 1;
constexpr uint8_t kFullSpeed = 2;
constexpr uint8_t kHighSpeed = 3;

using ContextPtr = std::shared_ptr<libusb_context>;

ContextPtr MakeContext() {
  libusb_context* context = nullptr;
  if (libusb_init(&context) != 0) return nullptr;
  return ContextPtr(context, libusb_exit);
}

uint8_t SpeedCode(int speed) {
  switch (speed) {
    case LIBUSB_SPEED_UNKNOWN:
      return 0;
    case LIBUSB_SPEED_LOW:
      return kLowSpeed;
    case LIBUSB_SPEED_FULL:
      return kFullSpeed;
    default:
      return kHighSpeed;  // high speed and faster links all report the highest WinUSB code
  }
}

timeval ToTimeval(std::chrono::microseconds span) {
  timeval tv{};
  if (span.count() > 0) {
    tv.tv_sec = static_cast<decltype(tv.tv_sec)>(span.count() / 1000000);
    tv.tv_usec = static_cast<decltype(tv.tv_usec)>(span.count() % 1000000);
  }
  return tv;
}

// Owns one list of the devices on the bus.
class DeviceList {
 public:
  explicit DeviceList(libusb_context* context) : count_(libusb_get_device_list(context, &list_)) {}
  ~DeviceList() {
    if (count_ >= 0) libusb_free_device_list(list_, 1);
  }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;

  bool Valid() const { return count_ >= 0; }
  ssize_t Count() const { return count_ > 0 ? count_ : 0; }
  libusb_device* At(ssize_t index) const { return list_[index]; }

 private:
  libusb_device** list_ = nullptr;
  ssize_t count_;
};

bool IsUnit(libusb_device* device, const std::vector<UsbId>& ids) {
  libusb_device_descriptor descriptor;
  if (libusb_get_device_descriptor(device, &descriptor) != 0) return false;
  return std::find(ids.begin(), ids.end(), UsbId{descriptor.idVendor, descriptor.idProduct}) !=
         ids.end();
}

// Alternate setting 0 of the unit's interface in config, or null.
const libusb_interface_descriptor* FindInterface(const libusb_config_descriptor* config) {
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    const libusb_interface& entry = config->interface[i];
    for (int alt = 0; alt < entry.num_altsetting; ++alt) {
      const libusb_interface_descriptor& setting = entry.altsetting[alt];
      if (setting.bInterfaceNumber == kQelInterface && setting.bAlternateSetting == 0) {
        return &setting;
      }
    }
  }
  return nullptr;
}

// The memory a bulk read hands to libusb: the transfer, the buffer it fills and the flag its
// callback sets. Frames are copied out to the caller's buffer on completion, so that a read whose
// cancel never calls back can be left to libusb as a whole: that block is kept for the rest of
// the process (libusb may still write it at any later event handling), while the caller's buffer
// is free.
struct ReadBlock {
  ReadBlock() = default;
  ReadBlock(const ReadBlock&) = delete;
  ReadBlock& operator=(const ReadBlock&) = delete;
  ~ReadBlock() {
    if (transfer != nullptr) libusb_free_transfer(transfer);
  }

  std::atomic_ref<int> CompletedFlag() { return std::atomic_ref<int>(completed); }
  bool Completed() { return CompletedFlag().load(std::memory_order_acquire) != 0; }

  libusb_transfer* transfer = nullptr;
  std::unique_ptr<uint8_t[]> data;
  uint32_t capacity = 0;
  // Set by the callback; libusb also reads it (as a plain int) to end event handling early.
  alignas(std::atomic_ref<int>::required_alignment) int completed = 0;
};

// One opened unit with its claimed interface and the block of the bulk read. The context is
// shared so that a device still held by a caller outlives the backend safely.
class LibUsbDevice final : public Device {
 public:
  LibUsbDevice(ContextPtr context, libusb_device_handle* handle)
      : context_(std::move(context)), handle_(handle) {}

  ~LibUsbDevice() override {
    // The read block must not be in use once the handle is gone; a read that could not be
    // cancelled has handed its block over for good already.
    AbortRead();
    if (claimed_) libusb_release_interface(handle_, kQelInterface);
    libusb_close(handle_);
  }

  LibUsbDevice(const LibUsbDevice&) = delete;
  LibUsbDevice& operator=(const LibUsbDevice&) = delete;

  // Claims the interface and records speed and pipes.
  OpenResult Initialize() {
    // Lets the claim detach a kernel driver bound to the interface (and reattach it on release);
    // platforms without the feature report it unsupported, and the claim then decides.
    libusb_set_auto_detach_kernel_driver(handle_, 1);
    if (libusb_claim_interface(handle_, kQelInterface) != 0) return OpenResult::Failed;
    claimed_ = true;

    libusb_device* device = libusb_get_device(handle_);
    pipes_.speed = SpeedCode(libusb_get_device_speed(device));

    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0) return OpenResult::Failed;
    OpenResult result = OpenResult::Ok;
    const libusb_interface_descriptor* setting = FindInterface(config);
    if (setting == nullptr || setting->bInterfaceClass != kVendorSpecificClass) {
      result = OpenResult::Failed;
    } else {
      for (int i = 0; i < setting->bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = setting->endpoint[i];
        const uint8_t type = endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK;
        if (!RecordPipe(pipes_, type, endpoint.bEndpointAddress)) {
          result = OpenResult::Failed;
          break;
        }
      }
    }
    libusb_free_config_descriptor(config);
    if (result != OpenResult::Ok) return result;

    read_ = std::make_unique<ReadBlock>();
    read_->transfer = libusb_alloc_transfer(0);
    return read_->transfer != nullptr ? OpenResult::Ok : OpenResult::Failed;
  }

  bool ControlTransfer(const SetupPacket& setup, uint8_t* data) override {
    // A unit given up (gone, or a read that never let go) gets no more requests.
    if (!Attached() || (data == nullptr && setup.length != 0)) return false;
    // An IN data stage lands in a buffer of its own and reaches the caller only when whole: a
    // short answer must neither pass as the full one nor leave half of it behind.
    const bool in = (setup.requestType & LIBUSB_ENDPOINT_IN) != 0;
    std::unique_ptr<uint8_t[]> stage;
    if (in && setup.length != 0) stage = std::make_unique<uint8_t[]>(setup.length);
    const int result =
        libusb_control_transfer(handle_, setup.requestType, setup.request, setup.value, setup.index,
                                in ? stage.get() : data, setup.length, kControlTimeoutMs);
    if (result == LIBUSB_ERROR_NO_DEVICE) removed_.store(true, std::memory_order_relaxed);
    if (result < 0 || (in && result != setup.length)) return false;
    if (stage) std::memcpy(data, stage.get(), setup.length);
    return true;
  }

  bool Attached() const override { return !removed_.load(std::memory_order_relaxed); }

  PipeInfo Pipes() const override { return pipes_; }

  bool SubmitRead(uint8_t* buffer, uint32_t size) override {
    if (reading_ || read_ == nullptr || buffer == nullptr || size == 0 || size > INT_MAX ||
        pipes_.bulkIn == 0) {
      return false;
    }
    if (read_->capacity < size) {
      // Once per opened unit in practice: the library reads with one size throughout.
      read_->data = std::make_unique<uint8_t[]>(size);
      read_->capacity = size;
    }
    // No transfer time-out: the caller decides when a read has waited too long and aborts it.
    libusb_fill_bulk_transfer(read_->transfer, handle_, pipes_.bulkIn, read_->data.get(),
                              static_cast<int>(size), &LibUsbDevice::OnReadDone, read_.get(), 0);
    read_->CompletedFlag().store(0, std::memory_order_relaxed);
    const int result = libusb_submit_transfer(read_->transfer);
    if (result != 0) {
      if (result == LIBUSB_ERROR_NO_DEVICE) removed_.store(true, std::memory_order_relaxed);
      return false;
    }
    target_ = buffer;
    reading_ = true;
    return true;
  }

  ReadState PollRead(uint32_t& transferred, int waitMs) override {
    transferred = 0;
    if (!reading_) return ReadState::Failed;
    HandleEventsFor(std::chrono::milliseconds(std::max(waitMs, 0)));
    if (!read_->Completed()) return ReadState::Pending;
    reading_ = false;
    const libusb_transfer& transfer = *read_->transfer;
    if (transfer.status != LIBUSB_TRANSFER_COMPLETED) {
      if (transfer.status == LIBUSB_TRANSFER_NO_DEVICE) {
        removed_.store(true, std::memory_order_relaxed);
      }
      // A stalled endpoint stays halted, failing every later read, until the host clears it.
      if (transfer.status == LIBUSB_TRANSFER_STALL) libusb_clear_halt(handle_, pipes_.bulkIn);
      return ReadState::Failed;
    }
    transferred = static_cast<uint32_t>(std::clamp(transfer.actual_length, 0, transfer.length));
    std::memcpy(target_, read_->data.get(), transferred);
    return ReadState::Done;
  }

  void AbortRead() override {
    if (!reading_) return;
    reading_ = false;
    // The callback is the only sign that libusb is done with the transfer; a cancel that did not
    // take is repeated while events are handled.
    const bool completed = CancelAndWait(
        [&] { return read_->Completed(); }, [&] { libusb_cancel_transfer(read_->transfer); },
        [&](std::chrono::milliseconds step) { HandleEventsFor(step); });
    if (completed) return;
    // Never called back: libusb keeps the transfer, which may still fill its buffer and call back.
    // Both stay with it for good, and the unit is given up so that the connection thread closes
    // it; after libusb_close the transfer is never reaped again.
    KeepForever(std::move(read_));
    removed_.store(true, std::memory_order_relaxed);
  }

 private:
  // Runs inside event handling, possibly on another thread's synchronous control transfer.
  static void LIBUSB_CALL OnReadDone(libusb_transfer* transfer) {
    static_cast<ReadBlock*>(transfer->user_data)
        ->CompletedFlag()
        .store(1, std::memory_order_release);
  }

  // Handles events until the read has called back or span has passed; a zero span handles what
  // is already pending and returns.
  void HandleEventsFor(std::chrono::milliseconds span) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + span;
    do {
      const auto left =
          std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
      timeval tv = ToTimeval(left);
      libusb_handle_events_timeout_completed(context_.get(), &tv, &read_->completed);
    } while (!read_->Completed() && Clock::now() < deadline);
  }

  ContextPtr context_;
  libusb_device_handle* handle_;
  std::unique_ptr<ReadBlock> read_;  // null before the open completed and after a lost cancel
  uint8_t* target_ = nullptr;        // the caller's buffer of the outstanding read
  PipeInfo pipes_;
  bool claimed_ = false;
  bool reading_ = false;              // a read is outstanding; touched only by the reading thread
  std::atomic<bool> removed_{false};  // the unit is gone or has been given up
};

class LibUsbBackend final : public Backend {
 public:
  LibUsbBackend() : context_(MakeContext()), ids_(ConfiguredUsbIds().ids) {}

  int CountPresent() override {
    // Without a context no unit can have been opened.
    if (!context_) return 0;
    DeviceList list(context_.get());
    // The bus could not be listed: nothing is known, and reporting the unit gone would drop a
    // working connection, so it counts as present. A real removal shows on the next cycle.
    if (!list.Valid()) return 1;
    int count = 0;
    for (ssize_t i = 0; i < list.Count(); ++i) {
      if (IsUnit(list.At(i), ids_)) ++count;
    }
    return count;
  }

  OpenResult Open(std::unique_ptr<Device>& device) override {
    device.reset();
    if (!context_) context_ = MakeContext();
    if (!context_) return OpenResult::NoDevice;
    libusb_device_handle* handle = nullptr;
    {
      DeviceList list(context_.get());
      for (ssize_t i = 0; i < list.Count(); ++i) {
        if (!IsUnit(list.At(i), ids_)) continue;
        // Only the first unit is tried, as the Windows backend opens member 0 of the class.
        if (libusb_open(list.At(i), &handle) != 0) return OpenResult::NoDevice;
        break;
      }
    }
    if (handle == nullptr) return OpenResult::NoDevice;
    auto opened = std::make_unique<LibUsbDevice>(context_, handle);
    const OpenResult result = opened->Initialize();
    if (result == OpenResult::Ok) device = std::move(opened);
    return result;
  }

 private:
  ContextPtr context_;
  std::vector<UsbId> ids_;
};

}  // namespace

std::unique_ptr<Backend> CreatePlatformBackend() {
  return std::make_unique<LibUsbBackend>();
}

}  // namespace usb
