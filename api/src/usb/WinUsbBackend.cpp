// The Windows backend: finds the unit through SetupAPI and talks to it through WinUSB.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first: the SetupAPI and WinUSB headers rely on its types.
#include <setupapi.h>
#include <winusb.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "usb/Backend.h"
#include "usb/PlatformUtil.h"

namespace usb {
namespace {

// Device-interface class that the unit's driver package registers for its WinUSB interface.
const GUID kQelInterfaceClass = {
    0x8389C335, 0xE847, 0x4AB4, {0xBF, 0xEE, 0xF2, 0x86, 0xDD, 0x45, 0x3F, 0x7C}};

constexpr DWORD kListFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

// Member indices tried by the presence count. Enumeration errors other than "no more items" are
// counted and skipped, so a list that keeps failing would never end without this bound.
constexpr DWORD kMaxCountedMembers = 64;

// Error codes with which WinUSB fails calls on a handle whose unit has been removed. 433
// (ERROR_NO_SUCH_DEVICE) is what newer systems report; MinGW's headers lack its name.
constexpr DWORD kErrorNoSuchDevice = 433;

bool IsRemovalError(DWORD error) {
  return error == ERROR_DEVICE_NOT_CONNECTED || error == kErrorNoSuchDevice ||
         error == ERROR_BAD_COMMAND;
}

// Owns one SetupAPI device information list.
class DeviceInfoList {
 public:
  DeviceInfoList()
      : list_(SetupDiGetClassDevsA(&kQelInterfaceClass, nullptr, nullptr, kListFlags)) {}
  ~DeviceInfoList() {
    if (Valid()) SetupDiDestroyDeviceInfoList(list_);
  }
  DeviceInfoList(const DeviceInfoList&) = delete;
  DeviceInfoList& operator=(const DeviceInfoList&) = delete;

  bool Valid() const { return list_ != INVALID_HANDLE_VALUE; }

  // SetupDiEnumDeviceInterfaces for one member; on failure GetLastError tells why.
  bool Member(DWORD index, SP_DEVICE_INTERFACE_DATA& data) const {
    data = SP_DEVICE_INTERFACE_DATA{};
    data.cbSize = sizeof(data);
    return SetupDiEnumDeviceInterfaces(list_, nullptr, &kQelInterfaceClass, index, &data) != FALSE;
  }

  HDEVINFO Handle() const { return list_; }

 private:
  HDEVINFO list_;
};

// Interface path of the first present interface of the class (member 0), cut to 255 characters.
bool FindDevicePath(std::string& path) {
  path.clear();
  DeviceInfoList list;
  if (!list.Valid()) return false;
  SP_DEVICE_INTERFACE_DATA member;
  if (!list.Member(0, member)) return false;

  // The first call only reports the size of the detail block; it fails by design.
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailA(list.Handle(), &member, nullptr, 0, &required, nullptr);
  if (required <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath)) return false;

  auto* detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(LocalAlloc(LPTR, required));
  if (detail == nullptr) return false;
  // The size field holds the size of the fixed part, not of the whole block.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  const bool filled = SetupDiGetDeviceInterfaceDetailA(list.Handle(), &member, detail, required,
                                                       nullptr, nullptr) != FALSE;
  if (filled) {
    path = CutDevicePath(detail->DevicePath,
                         required - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath));
  }
  LocalFree(detail);
  return filled && !path.empty();
}

// True once the read behind overlapped has completed. The kernel writes the status word while we
// poll it, hence the volatile read.
bool IoCompleted(const OVERLAPPED& overlapped) {
  return *static_cast<const volatile ULONG_PTR*>(&overlapped.Internal) !=
         static_cast<ULONG_PTR>(STATUS_PENDING);
}

// The memory a pending bulk read lets the system write: the overlapped structure and the buffer
// the read fills. Frames are copied out to the caller's buffer on completion, so that a read whose
// cancel never completes can be left to the system as a whole: that block is kept for the rest of
// the process, while the caller's buffer is free.
struct ReadBlock {
  OVERLAPPED overlapped{};
  std::unique_ptr<uint8_t[]> data;
  uint32_t capacity = 0;
};

// One opened unit: the file handle, its WinUSB interface handle, and the event and read block of
// the bulk read. Destroyed by the core only when no caller still holds it.
class WinUsbDevice final : public Device {
 public:
  explicit WinUsbDevice(HANDLE file) : file_(file) {}

  ~WinUsbDevice() override {
    // No read may outlive the read block; a read that could not be cancelled has handed its block
    // over for good already. The event may be closed under such a read: the system keeps its own
    // reference to it until the read completes.
    AbortRead();
    if (winUsb_ != nullptr) WinUsb_Free(winUsb_);
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (event_ != nullptr) CloseHandle(event_);
  }

  WinUsbDevice(const WinUsbDevice&) = delete;
  WinUsbDevice& operator=(const WinUsbDevice&) = delete;

  // The WinUSB part of the open: interface handle, speed, interface settings and pipes.
  OpenResult Initialize() {
    if (!WinUsb_Initialize(file_, &winUsb_)) {
      winUsb_ = nullptr;
      return OpenResult::Failed;
    }
    UCHAR speed = 0;
    ULONG speedLength = sizeof(speed);
    if (!WinUsb_QueryDeviceInformation(winUsb_, DEVICE_SPEED, &speedLength, &speed)) {
      return OpenResult::Failed;
    }
    pipes_.speed = speed;

    USB_INTERFACE_DESCRIPTOR settings{};
    if (!WinUsb_QueryInterfaceSettings(winUsb_, 0, &settings)) return OpenResult::Failed;
    // Every pipe query must succeed: a unit whose bulk-in pipe stayed unknown would look
    // connected but never deliver a frame.
    for (UCHAR index = 0; index < settings.bNumEndpoints; ++index) {
      WINUSB_PIPE_INFORMATION pipe{};
      if (!WinUsb_QueryPipe(winUsb_, 0, index, &pipe)) return OpenResult::Failed;
      if (!RecordPipe(pipes_, static_cast<uint8_t>(pipe.PipeType), pipe.PipeId)) {
        return OpenResult::Failed;
      }
    }

    // Auto-reset, not signalled: one completion wakes one wait.
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event_ != nullptr ? OpenResult::Ok : OpenResult::Failed;
  }

  bool ControlTransfer(const SetupPacket& setup, uint8_t* data) override {
    // A unit given up (gone, or a read that never let go) gets no more requests.
    if (winUsb_ == nullptr || !Attached() || (data == nullptr && setup.length != 0)) return false;
    WINUSB_SETUP_PACKET packet;
    packet.RequestType = setup.requestType;
    packet.Request = setup.request;
    packet.Value = setup.value;
    packet.Index = setup.index;
    packet.Length = setup.length;
    ULONG transferred = 0;
    // No overlapped structure: WinUSB completes the transfer before returning, bounded by the
    // control pipe's default time-out.
    if (WinUsb_ControlTransfer(winUsb_, packet, data, setup.length, &transferred, nullptr)) {
      return true;
    }
    NoteError(GetLastError());
    return false;
  }

  bool Attached() const override { return !removed_.load(std::memory_order_relaxed); }

  PipeInfo Pipes() const override { return pipes_; }

  bool SubmitRead(uint8_t* buffer, uint32_t size) override {
    if (reading_ || read_ == nullptr || buffer == nullptr || size == 0 || pipes_.bulkIn == 0 ||
        event_ == nullptr) {
      return false;
    }
    if (read_->capacity < size) {
      // Once per opened unit in practice: the library reads with one size throughout.
      read_->data = std::make_unique<uint8_t[]>(size);
      read_->capacity = size;
    }
    // A completion that was collected without a wait leaves the event set; clear it so the next
    // wait sees only this read.
    ResetEvent(event_);
    OVERLAPPED& overlapped = read_->overlapped;
    overlapped = OVERLAPPED{};
    overlapped.hEvent = event_;
    target_ = buffer;
    if (WinUsb_ReadPipe(winUsb_, pipes_.bulkIn, read_->data.get(), size, nullptr, &overlapped)) {
      // Completed at once (data already waiting). The overlapped structure holds the result,
      // so PollRead reports it Done like any other completion instead of dropping the frame.
      reading_ = true;
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      NoteError(error);
      return false;
    }
    reading_ = true;
    return true;
  }

  ReadState PollRead(uint32_t& transferred, int waitMs) override {
    transferred = 0;
    if (!reading_) return ReadState::Failed;
    WaitForSingleObject(event_, waitMs > 0 ? static_cast<DWORD>(waitMs) : 0);
    DWORD bytes = 0;
    if (WinUsb_GetOverlappedResult(winUsb_, &read_->overlapped, &bytes, FALSE)) {
      reading_ = false;
      transferred = std::min<DWORD>(bytes, read_->capacity);
      std::memcpy(target_, read_->data.get(), transferred);
      return ReadState::Done;
    }
    const DWORD error = GetLastError();
    // Only a completed read may be reported as failed: a pending one still writes the buffer.
    if (!IoCompleted(read_->overlapped)) return ReadState::Pending;
    NoteError(error);
    reading_ = false;
    return ReadState::Failed;
  }

  void AbortRead() override {
    if (!reading_) return;
    reading_ = false;
    // Return only once the read has completed (normally as cancelled). The pipe is aborted first;
    // should that not take, the read itself is cancelled, again at every step.
    bool pipeAborted = false;
    const auto cancel = [&] {
      if (pipeAborted || !WinUsb_AbortPipe(winUsb_, pipes_.bulkIn)) {
        CancelIoEx(file_, &read_->overlapped);
      }
      pipeAborted = true;
    };
    const bool completed =
        CancelAndWait([&] { return IoCompleted(read_->overlapped); }, cancel,
                      [&](std::chrono::milliseconds step) {
                        WaitForSingleObject(event_, static_cast<DWORD>(step.count()));
                      });
    if (completed) {
      DWORD bytes = 0;
      WinUsb_GetOverlappedResult(winUsb_, &read_->overlapped, &bytes, FALSE);
      return;
    }
    // Never completed: the system may still write the overlapped structure and the buffer. Both
    // stay with it for good, and the unit is given up so that the connection thread closes it.
    KeepForever(std::move(read_));
    removed_.store(true, std::memory_order_relaxed);
  }

 private:
  void NoteError(DWORD error) {
    if (IsRemovalError(error)) removed_.store(true, std::memory_order_relaxed);
  }

  HANDLE file_ = INVALID_HANDLE_VALUE;
  WINUSB_INTERFACE_HANDLE winUsb_ = nullptr;
  HANDLE event_ = nullptr;
  // Null after a read whose cancel never completed.
  std::unique_ptr<ReadBlock> read_ = std::make_unique<ReadBlock>();
  uint8_t* target_ = nullptr;  // the caller's buffer of the outstanding read
  PipeInfo pipes_;
  bool reading_ = false;              // a read is outstanding; touched only by the reading thread
  std::atomic<bool> removed_{false};  // the unit is gone or has been given up
};

class WinUsbBackend final : public Backend {
 public:
  int CountPresent() override {
    DeviceInfoList list;
    // Without a list nothing is known about the unit; reporting it gone would drop a working
    // connection, so it counts as present. A real removal shows on the next cycle whose list
    // builds, and transfers to a removed unit fail meanwhile.
    if (!list.Valid()) return 1;
    int count = 0;
    SP_DEVICE_INTERFACE_DATA member;
    for (DWORD index = 0; index < kMaxCountedMembers; ++index) {
      if (!list.Member(index, member) && GetLastError() == ERROR_NO_MORE_ITEMS) break;
      ++count;  // a member that failed with another error still counts
    }
    return count;
  }

  OpenResult Open(std::unique_ptr<Device>& device) override {
    device.reset();
    std::string path;
    if (!FindDevicePath(path)) return OpenResult::NoDevice;
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return OpenResult::NoDevice;
    // From here the device object owns the file handle and frees whatever a failed step left.
    auto opened = std::make_unique<WinUsbDevice>(file);
    const OpenResult result = opened->Initialize();
    if (result == OpenResult::Ok) device = std::move(opened);
    return result;
  }
};

}  // namespace

std::unique_ptr<Backend> CreatePlatformBackend() {
  return std::make_unique<WinUsbBackend>();
}

}  // namespace usb
