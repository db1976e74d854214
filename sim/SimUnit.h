// The simulated camera unit: register file, EEPROMs, I2C devices, device status, automatic
// control and the frame stream, reached only through control requests and bulk reads.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "usb/Backend.h"

namespace sim {

using Clock = std::chrono::steady_clock;

class FrameBuilder;
struct SceneParams;

// One control transfer as it crossed the bus: the setup packet and its data stage (the bytes
// sent for OUT, the bytes returned for IN; empty for a failed IN).
struct TransferRecord {
  usb::SetupPacket setup;
  std::vector<uint8_t> data;
  bool ok = false;
  // False for a transfer on a handle the unit no longer answers (unplugged, or opened before
  // the last plug-in): it was sent, but nothing reached the unit.
  bool reached = true;
};

// How the operations that report busy (one-push white balance, FPN acquisition, manual
// detection) end in tests: as the hardware does after their usual time, at once, never, or
// with every poll of their register failing while they run.
enum class OperationMode { Normal, Immediate, Never, FailPoll };
enum class Operation { WhiteBalance, FpnAcquisition, ManualDetect };

// The outstanding bulk read of one opened device. Owned by the device, guarded by the unit.
struct ReadSlot {
  uint8_t* buffer = nullptr;
  uint32_t size = 0;
  bool pending = false;
  bool filling = false;  // the frame is being written into buffer outside the unit's lock
  Clock::time_point submitted;
};

class Unit {
 public:
  static constexpr int kNoHead = -1;
  static constexpr uint8_t kFirmwareMajor = 2;
  static constexpr uint8_t kFirmwareMinor = 5;
  static constexpr uint16_t kFpgaVersion = 0x12;
  static constexpr uint32_t kUnitEepromSize = 1u << 20;
  static constexpr uint32_t kCisEepromSize = 4096;
  static constexpr int kDefaultFrameRate = 30000;  // millihertz
  static constexpr size_t kLogLimit = 200000;
  static constexpr uint16_t kMaxControlLength = 4096;
  // USB 2.0 high-speed bulk payload rate: 13 packets of 512 bytes per 125 us microframe.
  static constexpr uint64_t kUsbBytesPerSecond = 53248000;
  // A control transfer takes about as long as on the bus with the firmware answering, so that
  // polling loops (EEPROM-ready waits, busy polls) run thousands, not millions, of times.
  static constexpr std::chrono::microseconds kDefaultControlLatency{100};
  // A page write of the EEPROMs keeps them busy for this long.
  static constexpr std::chrono::microseconds kDefaultEepromBusy{2000};
  // Durations of the operations the unit reports busy while they run.
  static constexpr std::chrono::milliseconds kAwbTime{300};
  static constexpr std::chrono::milliseconds kFpnTime{500};
  static constexpr std::chrono::milliseconds kDetectTime{200};

  // The one simulated unit of the process, in its power-on state at first use.
  static Unit& Instance();

  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;
  ~Unit();

  // Power-on state: plugged in, 40K head with a formatted EEPROM holding sample records, 30 fps,
  // unit EEPROM erased, data format 0, faults, hook and log cleared, default timings. Devices
  // opened before fail from now on.
  void Reset();

  // Plugging in powers the unit up (registers, status items and I2C devices at their reset
  // values; the EEPROMs keep their contents). Every device opened before an unplug stays dead.
  void SetPlugged(bool plugged);
  bool Plugged() const;
  // Head on the unit: 0 40K, 1 160K, kNoHead none. Its EEPROM goes with it unchanged.
  bool SetHead(int cisType);
  int Head() const;
  // EEPROM of the attached head (with no head, of the head attached last): 0 none, 1 present
  // and blank (0xFF), 2 formatted with sample records. Each head type is a head of its own with
  // its own EEPROM, so swapping heads swaps records as with real heads.
  bool SetCisEeprom(int state);
  // Frames per 1000 s; 0 paces frames at the USB 2.0 high-speed bulk limit, which also caps
  // any higher rate.
  bool SetFrameRate(int milliHz);
  int FrameRate() const;

  void SetControlLatency(std::chrono::microseconds latency);
  std::chrono::microseconds ControlLatency() const;
  void SetEepromBusyTime(std::chrono::microseconds busy);

  // Register n (0..0xFFFF) as a register read returns it now (automatic control and busy
  // operations brought up to date); SetRegister stores directly, without the side effects of a
  // host write (read-only registers 0xF0, 0xF4, 0xFF stay computed).
  uint16_t Register(uint32_t n);
  void SetRegister(uint32_t n, uint16_t value);
  int DataFormat() const;
  // Direct EEPROM access (selector 0 unit, 1 head), no busy time. Empty / false when out of
  // range or the head EEPROM is absent.
  std::vector<uint8_t> ReadEeprom(int selector, uint32_t address, size_t length) const;
  bool WriteEeprom(int selector, uint32_t address, const std::vector<uint8_t>& bytes);
  // Replaces a whole EEPROM: bytes from address 0, erased (0xFF) after them. False when bytes
  // do not fit or the head EEPROM is absent.
  bool PreloadEeprom(int selector, const std::vector<uint8_t>& bytes);

  // Keeps both EEPROMs of the unit and of each head, and the registers, in one file across
  // processes, as a unit that stays powered between two programs: loaded now
  // when the file exists (a file that is not a state file is left alone and false returned),
  // written again after every EEPROM write and every change of a head EEPROM's state. An empty
  // path stops keeping state.
  // 0, -1 when the file is no state file, an errno value when it cannot be written.
  int SetStateFile(const std::string& path);
  // Writes the state file now (registers change too often to write it after each): the
  // library's backend does when it is closed.
  void PersistState();

  // Faults. After `after` more matching control transfers, fail the next `count` (-1: until
  // cleared); request -1 matches every request. A failed transfer changes nothing.
  void FailControl(int after, int count = 1, int request = -1);
  void ClearFaults();
  void SetStreamStalled(bool stalled);  // reads stay pending
  void SetShortFrames(bool on);         // each frame ends after half its bytes
  void SetWrongMarkers(bool on);        // marker words byte-swapped
  void SetEepromStuckBusy(int selector, bool on);
  void SetEepromError(int selector, bool on);
  // The unit EEPROM (selector 0) reports "not present" and answers no request.
  void SetUnitEepromAbsent(bool absent);
  // Raises change-mask bits (bit n = parameter register n) of the active bank, or of bank 0/1.
  void RaiseChangeMask(uint64_t bits, int bank = -1);
  void SetOperationMode(Operation operation, OperationMode mode);
  // Every following frame is exactly these bytes (cut to the read's size, not numbered), for
  // count frames (-1: until cleared with an empty vector).
  void InjectFrames(std::vector<uint8_t> bytes, int count = -1);
  // A frame of the attached head's size whose every pixel is the two words (low byte first),
  // with the marker words in the first and last pixel.
  std::vector<uint8_t> UniformFrame(uint16_t word0, uint16_t word1) const;
  // Called after every control transfer that reached the unit, outside its lock.
  void SetControlHook(std::function<void(const usb::SetupPacket&)> hook);

  // The transfer log is off unless a test turns it on: it would grow with every request.
  void SetLogging(bool on);
  std::vector<TransferRecord> Log() const;
  void ClearLog();
  uint64_t FramesSent() const;
  // Reads that were cancelled while still pending.
  uint64_t ReadsAborted() const;
  // Times the picture was rendered afresh; a frame built after this count grows shows every
  // parameter written before it (renders are spaced at least 30 ms apart).
  uint64_t ScenesRendered() const;

  // Device side, used by the backend adapter. A device is bound to the plug generation current
  // when it was opened; 0 means unplugged.
  uint64_t OpenGeneration() const;
  bool Control(uint64_t generation, const usb::SetupPacket& setup, uint8_t* data);
  bool SubmitRead(uint64_t generation, ReadSlot& slot, uint8_t* buffer, uint32_t size);
  usb::ReadState PollRead(uint64_t generation, ReadSlot& slot, uint32_t& transferred, int waitMs);
  void AbortRead(ReadSlot& slot);

 private:
  struct EepromFlags {
    Clock::time_point busyUntil{};
    bool stuckBusy = false;
    bool error = false;
  };
  struct I2CDevice {
    uint8_t address = 0;
    uint8_t pointer = 0;
    std::array<uint8_t, 256> regs{};
  };
  struct Timer {
    bool active = false;
    Clock::time_point at{};
  };
  struct FaultRule {
    int after = 0;
    int count = 0;
    int request = -1;
  };
  struct HeadSlot {
    int eepromState = 2;
    std::vector<uint8_t> eeprom;
  };

  Unit();

  // All *Locked functions expect mu_ to be held.
  void PowerOnLocked();
  void FormatCisEepromLocked(int slot, int state);
  int HeadSlotLocked() const { return head_ == kNoHead ? lastHead_ : head_; }
  void PersistIfDirty();  // writes the state file when an EEPROM changed; takes mu_ itself
  bool HandleLocked(const usb::SetupPacket& setup, uint8_t* data, Clock::time_point now);
  bool RegisterRequestLocked(const usb::SetupPacket& setup, uint8_t* data, bool write,
                             Clock::time_point now);
  bool EepromRequestLocked(const usb::SetupPacket& setup, uint8_t* data, bool write,
                           Clock::time_point now);
  bool I2CRequestLocked(const usb::SetupPacket& setup, uint8_t* data, bool write);
  void StatusRecordLocked(uint8_t* record, Clock::time_point now);
  uint8_t EepromStateLocked(int selector, Clock::time_point now) const;
  const std::vector<uint8_t>* EepromLocked(int selector) const;
  std::vector<uint8_t>* EepromLocked(int selector);
  uint16_t ReadRegisterLocked(uint32_t n) const;
  void WriteRegisterLocked(uint32_t n, uint16_t value, Clock::time_point now);
  bool FaultHitLocked(uint8_t request);
  void EvaluateLimitLocked();
  int ActiveBankLocked() const { return head_ == 1 ? 1 : 0; }
  Clock::duration FramePeriodLocked() const;

  // Automatic control and the operations that report busy (SimControl.cpp).
  void AdvanceLocked(Clock::time_point now);
  void AutoStepLocked(int offset);
  double MeasuredLevelLocked(int offset) const;
  double SignalScaleLocked(int bank) const;
  void SetAutoRegisterLocked(int bank, int reg, uint16_t value);
  void FinishAwbLocked(int bank);
  Clock::time_point OperationEndLocked(Operation operation, Clock::time_point now,
                                       Clock::duration usual) const;
  bool PollFailsLocked(uint32_t n) const;
  Clock::time_point ReadDueLocked(const ReadSlot& slot) const;
  void FillSceneParamsLocked(SceneParams& params) const;

  mutable std::mutex mu_;
  std::condition_variable cv_;

  std::atomic<bool> plugged_{true};
  std::atomic<uint64_t> generation_{1};
  std::atomic<int64_t> controlLatencyUs_{kDefaultControlLatency.count()};
  std::atomic<uint64_t> framesSent_{0};
  std::atomic<uint64_t> readsAborted_{0};
  std::atomic<uint64_t> scenesRendered_{0};

  int head_ = 0;
  int lastHead_ = 0;
  std::array<HeadSlot, 2> heads_{};
  int frameRate_ = kDefaultFrameRate;
  Clock::duration eepromBusyTime_ = kDefaultEepromBusy;
  std::vector<uint16_t> regs_;
  std::vector<uint8_t> unitEeprom_;
  bool unitEepromAbsent_ = false;
  std::array<EepromFlags, 2> eeprom_{};
  std::array<OperationMode, 3> operationModes_{};
  std::array<uint8_t, 24> statusItems_{};  // 8 items of 3 bytes; item 2 byte 1 = data format
  std::array<uint64_t, 2> changeMask_{};   // per bank, bit n = register n of the bank
  std::unordered_map<uint16_t, uint16_t> sensorRegs_;
  std::vector<I2CDevice> i2c_;
  std::array<Timer, 2> awb_{};
  std::array<Timer, 2> fpn_{};
  Timer detect_{};
  Clock::time_point lastAutoStep_{};
  Clock::time_point epoch_{};  // origin of the scene's motion

  std::vector<FaultRule> faults_;
  bool streamStalled_ = false;
  bool shortFrames_ = false;
  bool wrongMarkers_ = false;
  std::vector<uint8_t> injected_;
  int injectedCount_ = 0;
  std::function<void(const usb::SetupPacket&)> hook_;
  bool logging_ = false;
  std::deque<TransferRecord> log_;

  std::mutex stateFileMu_;  // taken without mu_ held; orders the writes of the state file
  std::string stateFile_;   // guarded by mu_
  bool stateDirty_ = false;

  bool haveDue_ = false;
  Clock::time_point lastDue_{};
  uint64_t sceneVersion_ = 1;

  std::mutex sceneMu_;  // taken before mu_, never while holding it
  std::unique_ptr<FrameBuilder> builder_;
  std::unique_ptr<SceneParams> sceneParams_;
};

}  // namespace sim
