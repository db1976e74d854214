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

#include <atomic>
#include <cstddef>
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

// While an aborted read stays pending the cancel is repeated at this interval.
constexpr DWORD kAbortRetryMs = 100;

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

// One opened unit: the file handle, its WinUSB interface handle, and the event and overlapped
// structure of the bulk read. Destroyed by the core only when no caller still holds it.
class WinUsbDevice final : public Device {
 public:
  explicit WinUsbDevice(HANDLE file) : file_(file) {}

  ~WinUsbDevice() override {
    // The overlapped structure lives in this object: no read may outlive it.
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
    if (winUsb_ == nullptr || (data == nullptr && setup.length != 0)) return false;
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
    if (reading_ || buffer == nullptr || size == 0 || pipes_.bulkIn == 0 || event_ == nullptr) {
      return false;
    }
    // A completion that was collected without a wait leaves the event set; clear it so the next
    // wait sees only this read.
    ResetEvent(event_);
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = event_;
    if (WinUsb_ReadPipe(winUsb_, pipes_.bulkIn, buffer, size, nullptr, &overlapped_)) {
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
    if (WinUsb_GetOverlappedResult(winUsb_, &overlapped_, &bytes, FALSE)) {
      reading_ = false;
      transferred = bytes;
      return ReadState::Done;
    }
    const DWORD error = GetLastError();
    // Only a completed read may be reported as failed: a pending one still writes the buffer.
    if (!IoCompleted(overlapped_)) return ReadState::Pending;
    NoteError(error);
    reading_ = false;
    return ReadState::Failed;
  }

  void AbortRead() override {
    if (!reading_) return;
    if (!WinUsb_AbortPipe(winUsb_, pipes_.bulkIn)) CancelIoEx(file_, &overlapped_);
    // The buffer belongs to the caller: return only once the read has completed (normally as
    // cancelled). Should the cancel not take, it is repeated instead of waiting blind.
    while (!IoCompleted(overlapped_)) {
      if (WaitForSingleObject(event_, kAbortRetryMs) == WAIT_TIMEOUT && !IoCompleted(overlapped_)) {
        CancelIoEx(file_, &overlapped_);
      }
    }
    DWORD bytes = 0;
    WinUsb_GetOverlappedResult(winUsb_, &overlapped_, &bytes, FALSE);
    reading_ = false;
  }

 private:
  void NoteError(DWORD error) {
    if (IsRemovalError(error)) removed_.store(true, std::memory_order_relaxed);
  }

  HANDLE file_ = INVALID_HANDLE_VALUE;
  WINUSB_INTERFACE_HANDLE winUsb_ = nullptr;
  HANDLE event_ = nullptr;
  OVERLAPPED overlapped_{};
  PipeInfo pipes_;
  bool reading_ = false;              // a read is outstanding; touched only by the reading thread
  std::atomic<bool> removed_{false};  // a call failed because the unit is gone
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
