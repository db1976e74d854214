// The simulated camera unit: its state, the vendor control requests and the paced frame stream.
#include "sim/SimUnit.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "sim/SimScene.h"
#include "usb/Protocol.h"

namespace sim {
namespace {

using namespace protocol;

constexpr uint32_t kRegisterCount = 0x10000;

bool IsBanked(uint32_t n) {
  return n < 0x100 && (n & 0x7F) < kBankedLimit;
}

// Reset value of parameter register n (0..0x2F) of a bank: the viewer's application defaults.
uint16_t BankResetValue(int bank, uint32_t n) {
  switch (n) {
    case 0x03:
      return 400;  // exposure time
    case 0x04:
      return 128;  // raw gain x8
    case 0x05:
      return 50;  // AGC/AEC target
    case 0x0D:
      return 16;  // ALC lower limit
    case 0x0E:
      return 24;  // ALC parameter x1.5
    case 0x13:    // colour matrix identity: Rr, Gg, Bb
    case 0x17:
    case 0x1B:
      return 128;
    case 0x1F:
      return 50;  // ALC target
    // DVI image size counts 200, 400, 600, 800 from 0; a 160K head starts at 400.
    case 0x20:
      return bank == 1 ? 0x1000 : 0x0000;
    case 0x24:
      return 1;  // Vout current 5.0 mA
    default:
      return 0;
  }
}

// Writes the frame's sequence number into the first word of the boundary pixel after the first
// marker and of the one before the last marker, so a reader can tell a frame copied while it
// was being overwritten (the two differ) from a whole one.
void StampFrame(uint8_t* frame, uint32_t length, uint64_t sequence) {
  if (length < 16) return;
  // A 12-bit count in bits 15..4, like every sample word.
  const auto word = static_cast<uint16_t>((sequence & 0xFFF) << 4);
  const auto low = static_cast<uint8_t>(word & 0xFF);
  const auto high = static_cast<uint8_t>(word >> 8);
  frame[4] = low;
  frame[5] = high;
  frame[length - 8] = low;
  frame[length - 7] = high;
}

}  // namespace

Unit& Unit::Instance() {
  // Never destroyed: devices held by other statics may still call it during process exit.
  static Unit* unit = new Unit();
  return *unit;
}

Unit::Unit()
    : builder_(std::make_unique<FrameBuilder>()), sceneParams_(std::make_unique<SceneParams>()) {
  Reset();
}

Unit::~Unit() = default;

void Unit::Reset() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    plugged_ = true;
    ++generation_;
    controlLatencyUs_ = kDefaultControlLatency.count();
    head_ = 0;
    lastHead_ = 0;
    frameRate_ = kDefaultFrameRate;
    eepromBusyTime_ = kDefaultEepromBusy;
    unitEeprom_.assign(kUnitEepromSize, 0xFF);
    unitEepromAbsent_ = false;
    eeprom_ = {};
    operationModes_ = {};
    FormatCisEepromLocked(0, 2);
    FormatCisEepromLocked(1, 2);
    faults_.clear();
    injected_.clear();
    injectedCount_ = 0;
    logging_ = false;
    stateFile_.clear();
    stateDirty_ = false;
    streamStalled_ = false;
    shortFrames_ = false;
    wrongMarkers_ = false;
    hook_ = nullptr;
    log_.clear();
    framesSent_ = 0;
    readsAborted_ = 0;
    haveDue_ = false;
    epoch_ = Clock::now();
    PowerOnLocked();
  }
  cv_.notify_all();
}

void Unit::PowerOnLocked() {
  regs_.assign(kRegisterCount, 0);
  for (int bank = 0; bank < 2; ++bank) {
    for (uint32_t n = 0; n < kBankedLimit; ++n) regs_[bank * 0x80 + n] = BankResetValue(bank, n);
  }
  regs_[0xF6] = 1;  // connection detection on
  regs_[0xF7] = 1;  // over-current detection on
  for (uint32_t i = 0; i < kDpTableRegisters; ++i) {
    regs_[kDpTableBase[0] + i] = 0x01FF;  // empty entries (511, 511)
    regs_[kDpTableBase[1] + i] = 0x01FF;
  }
  // Gamma curves 1..3: exponents 1/1.8, 1/2.2 and 1/2.6 on 12-bit levels.
  static constexpr double kExponents[3] = {1 / 1.8, 1 / 2.2, 1 / 2.6};
  for (uint32_t t = 0; t < 3; ++t) {
    for (uint32_t i = 0; i < kGammaTableRegisters; ++i) {
      regs_[kGammaTableBase[0] + t * 0x1000 + i] =
          static_cast<uint16_t>(std::lround(4095.0 * std::pow(i / 4095.0, kExponents[t])));
    }
  }
  statusItems_ = {};
  changeMask_ = {};
  sensorRegs_.clear();
  sensorRegs_[0x3000] = 0x0426;  // identification of the sensor
  sensorRegs_[0x3001] = 0x0001;  // its revision
  i2c_.clear();
  I2CDevice video;  // DVI transmitter
  video.address = 0x58;
  video.regs[0] = 0x51;
  video.regs[1] = 0x0C;
  video.regs[2] = 0x10;
  video.regs[8] = 0x35;
  i2c_.push_back(video);
  I2CDevice thermal;  // temperature sensor on the unit board, 0.5 degree steps
  thermal.address = 0x48;
  thermal.regs[0] = 0x1A;
  thermal.regs[1] = 0x80;
  i2c_.push_back(thermal);
  awb_ = {};
  fpn_ = {};
  detect_ = {};
  lastAutoStep_ = Clock::now();
  EvaluateLimitLocked();
  ++sceneVersion_;
}

void Unit::FormatCisEepromLocked(int slot, int state) {
  HeadSlot& head = heads_[slot];
  head.eepromState = state;
  std::vector<uint8_t>& bytes = head.eeprom;
  bytes.assign(kCisEepromSize, 0xFF);
  if (state == 2) {
    auto put = [&](uint32_t address, std::initializer_list<uint8_t> values) {
      std::copy(values.begin(), values.end(), bytes.begin() + address);
    };
    put(0x00, {kMagic[0], kMagic[1], kMagic[2], kMagic[3], 1, 0, 0});
    // Each head type is a head of its own, with its own serial number.
    const char* serial = slot == 0 ? "CIS-S00012345" : "CIS-L00067890";
    std::copy(serial, serial + 14, bytes.begin() + kCisSerialNoAddress);
    put(kCisUseCountAddress, {12});
    put(kCisUseCountLimitAddress, {200});
    put(kCisGainAddress[0], {1, 10});  // -10 steps
    put(kCisGainAddress[1], {0, 14});  // +14 steps
    put(kCisImageFineAdjAddress, {0, 3});
    for (uint32_t i = 0; i < kDpTableBytes; i += 2) {
      put(kCisDpTableAddress[0] + i, {0x01, 0xFF});
      put(kCisDpTableAddress[1] + i, {0x01, 0xFF});
    }
  }
  EvaluateLimitLocked();
}

void Unit::EvaluateLimitLocked() {
  // The unit raises the limit flag for a formatted head whose usage count reached its limit.
  if (regs_.empty()) return;
  const HeadSlot& head = heads_[HeadSlotLocked()];
  const bool formatted = head_ != kNoHead && head.eepromState != 0 &&
                         std::equal(kMagic, kMagic + 4, head.eeprom.begin());
  const uint8_t count = head.eeprom[kCisUseCountAddress];
  const uint8_t limit = head.eeprom[kCisUseCountLimitAddress];
  regs_[kRegLimitFlag] = formatted && limit != 0 && count >= limit ? 1 : 0;
}

void Unit::SetPlugged(bool plugged) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (plugged == plugged_) return;
    plugged_ = plugged;
    ++generation_;
    if (plugged) PowerOnLocked();
  }
  cv_.notify_all();
}

bool Unit::Plugged() const {
  return plugged_;
}

bool Unit::SetHead(int cisType) {
  if (cisType < kNoHead || cisType > 1) return false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    head_ = cisType;
    if (cisType != kNoHead) lastHead_ = cisType;
    EvaluateLimitLocked();
    ++sceneVersion_;
  }
  cv_.notify_all();
  return true;
}

int Unit::Head() const {
  std::lock_guard<std::mutex> lock(mu_);
  return head_;
}

bool Unit::SetCisEeprom(int state) {
  if (state < 0 || state > 2) return false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    FormatCisEepromLocked(HeadSlotLocked(), state);
    stateDirty_ = true;
  }
  PersistIfDirty();
  return true;
}

bool Unit::SetFrameRate(int milliHz) {
  if (milliHz < 0) return false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    frameRate_ = milliHz;
  }
  cv_.notify_all();  // a pending read takes the new period at once
  return true;
}

int Unit::FrameRate() const {
  std::lock_guard<std::mutex> lock(mu_);
  return frameRate_;
}

void Unit::SetControlLatency(std::chrono::microseconds latency) {
  controlLatencyUs_ = std::max<int64_t>(0, latency.count());
}

std::chrono::microseconds Unit::ControlLatency() const {
  return std::chrono::microseconds(controlLatencyUs_.load());
}

void Unit::SetEepromBusyTime(std::chrono::microseconds busy) {
  std::lock_guard<std::mutex> lock(mu_);
  eepromBusyTime_ = std::max(busy, std::chrono::microseconds(0));
}

uint16_t Unit::Register(uint32_t n) {
  if (n >= kRegisterCount) return 0;
  std::lock_guard<std::mutex> lock(mu_);
  AdvanceLocked(Clock::now());
  return ReadRegisterLocked(n);
}

void Unit::SetRegister(uint32_t n, uint16_t value) {
  if (n >= kRegisterCount) return;
  std::lock_guard<std::mutex> lock(mu_);
  regs_[n] = value;
  ++sceneVersion_;
}

int Unit::DataFormat() const {
  std::lock_guard<std::mutex> lock(mu_);
  return statusItems_[2 * kStatusItemSize + 1];
}

std::vector<uint8_t> Unit::ReadEeprom(int selector, uint32_t address, size_t length) const {
  std::lock_guard<std::mutex> lock(mu_);
  const std::vector<uint8_t>* e = EepromLocked(selector);
  if (!e || address > e->size() || length > e->size() - address) return {};
  return std::vector<uint8_t>(e->data() + address, e->data() + address + length);
}

bool Unit::WriteEeprom(int selector, uint32_t address, const std::vector<uint8_t>& bytes) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<uint8_t>* e = EepromLocked(selector);
    if (!e || address > e->size() || bytes.size() > e->size() - address) return false;
    std::copy(bytes.begin(), bytes.end(), e->begin() + address);
    if (selector == 1) EvaluateLimitLocked();
    stateDirty_ = true;
  }
  PersistIfDirty();
  return true;
}

bool Unit::PreloadEeprom(int selector, const std::vector<uint8_t>& bytes) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<uint8_t>* e = EepromLocked(selector);
    if (!e || bytes.size() > e->size()) return false;
    std::fill(std::copy(bytes.begin(), bytes.end(), e->begin()), e->end(), 0xFF);
    if (selector == 1) EvaluateLimitLocked();
    stateDirty_ = true;
  }
  PersistIfDirty();
  return true;
}

const std::vector<uint8_t>* Unit::EepromLocked(int selector) const {
  if (selector == 0) return unitEepromAbsent_ ? nullptr : &unitEeprom_;
  if (selector == 1 && head_ != kNoHead && heads_[head_].eepromState != 0) {
    return &heads_[head_].eeprom;
  }
  return nullptr;
}

std::vector<uint8_t>* Unit::EepromLocked(int selector) {
  return const_cast<std::vector<uint8_t>*>(std::as_const(*this).EepromLocked(selector));
}

void Unit::FailControl(int after, int count, int request) {
  std::lock_guard<std::mutex> lock(mu_);
  faults_.push_back({std::max(after, 0), count < 0 ? -1 : count, request});
}

void Unit::ClearFaults() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    faults_.clear();
    streamStalled_ = false;
    shortFrames_ = false;
    wrongMarkers_ = false;
    for (EepromFlags& e : eeprom_) {
      e.stuckBusy = false;
      e.error = false;
    }
  }
  cv_.notify_all();
}

void Unit::SetStreamStalled(bool stalled) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    streamStalled_ = stalled;
  }
  cv_.notify_all();
}

void Unit::SetShortFrames(bool on) {
  std::lock_guard<std::mutex> lock(mu_);
  shortFrames_ = on;
}

void Unit::SetWrongMarkers(bool on) {
  std::lock_guard<std::mutex> lock(mu_);
  wrongMarkers_ = on;
}

void Unit::SetEepromStuckBusy(int selector, bool on) {
  if (selector != 0 && selector != 1) return;
  std::lock_guard<std::mutex> lock(mu_);
  eeprom_[selector].stuckBusy = on;
}

void Unit::SetEepromError(int selector, bool on) {
  if (selector != 0 && selector != 1) return;
  std::lock_guard<std::mutex> lock(mu_);
  eeprom_[selector].error = on;
}

void Unit::SetUnitEepromAbsent(bool absent) {
  std::lock_guard<std::mutex> lock(mu_);
  unitEepromAbsent_ = absent;
}

void Unit::RaiseChangeMask(uint64_t bits, int bank) {
  std::lock_guard<std::mutex> lock(mu_);
  const int b = bank == 0 || bank == 1 ? bank : ActiveBankLocked();
  changeMask_[b] |= bits & ((uint64_t{1} << 48) - 1);
}

void Unit::SetOperationMode(Operation operation, OperationMode mode) {
  std::lock_guard<std::mutex> lock(mu_);
  operationModes_[static_cast<size_t>(operation)] = mode;
}

void Unit::InjectFrames(std::vector<uint8_t> bytes, int count) {
  std::lock_guard<std::mutex> lock(mu_);
  injectedCount_ = bytes.empty() ? 0 : count;
  injected_ = std::move(bytes);
}

std::vector<uint8_t> Unit::UniformFrame(uint16_t word0, uint16_t word1) const {
  int cisType;
  {
    std::lock_guard<std::mutex> lock(mu_);
    cisType = head_ == kNoHead ? 0 : head_;
  }
  std::vector<uint8_t> frame(Geometry(cisType).bytes);
  auto put = [&](size_t pixel, uint16_t w0, uint16_t w1) {
    uint8_t* px = frame.data() + pixel * 4;
    px[0] = static_cast<uint8_t>(w0 & 0xFF);
    px[1] = static_cast<uint8_t>(w0 >> 8);
    px[2] = static_cast<uint8_t>(w1 & 0xFF);
    px[3] = static_cast<uint8_t>(w1 >> 8);
  };
  const size_t pixels = frame.size() / 4;
  for (size_t i = 0; i < pixels; ++i) put(i, word0, word1);
  put(0, kMarkerFirst[0], kMarkerFirst[1]);
  put(pixels - 1, kMarkerLast[0], kMarkerLast[1]);
  return frame;
}

void Unit::SetControlHook(std::function<void(const usb::SetupPacket&)> hook) {
  std::lock_guard<std::mutex> lock(mu_);
  hook_ = std::move(hook);
}

void Unit::SetLogging(bool on) {
  std::lock_guard<std::mutex> lock(mu_);
  logging_ = on;
}

std::vector<TransferRecord> Unit::Log() const {
  std::lock_guard<std::mutex> lock(mu_);
  return std::vector<TransferRecord>(log_.begin(), log_.end());
}

void Unit::ClearLog() {
  std::lock_guard<std::mutex> lock(mu_);
  log_.clear();
}

uint64_t Unit::FramesSent() const {
  return framesSent_;
}

uint64_t Unit::ReadsAborted() const {
  return readsAborted_;
}

uint64_t Unit::ScenesRendered() const {
  return scenesRendered_;
}

uint64_t Unit::OpenGeneration() const {
  std::lock_guard<std::mutex> lock(mu_);
  return plugged_ ? generation_.load() : 0;
}

// ---- Control requests ----

bool Unit::Control(uint64_t generation, const usb::SetupPacket& setup, uint8_t* data) {
  std::function<void(const usb::SetupPacket&)> hook;
  bool ok = false;
  bool persist = false;
  {
    std::lock_guard<std::mutex> lock(mu_);
    const bool out = setup.requestType == usb::kVendorOut;
    const bool dataOk = setup.length == 0 || data != nullptr;
    // A device of an earlier plug-in never reaches the unit again.
    const bool reached = plugged_ && generation == generation_;
    if (reached) {
      const Clock::time_point now = Clock::now();
      AdvanceLocked(now);
      if (dataOk && !FaultHitLocked(setup.request)) ok = HandleLocked(setup, data, now);
      hook = hook_;
      persist = stateDirty_ && !stateFile_.empty();
    }
    if (logging_) {
      TransferRecord record;
      record.setup = setup;
      record.ok = ok;
      record.reached = reached;
      if (dataOk && setup.length > 0 && (out || ok)) {
        record.data.assign(data, data + setup.length);
      }
      log_.push_back(std::move(record));
      if (log_.size() > kLogLimit) log_.pop_front();
    }
  }
  if (persist) PersistIfDirty();
  if (hook) hook(setup);
  return ok;
}

bool Unit::FaultHitLocked(uint8_t request) {
  bool fail = false;
  for (FaultRule& f : faults_) {
    if (f.request != -1 && f.request != request) continue;
    if (f.after > 0) {
      --f.after;
      continue;
    }
    if (f.count == 0) continue;
    if (f.count > 0) --f.count;
    fail = true;
  }
  return fail;
}

bool Unit::HandleLocked(const usb::SetupPacket& setup, uint8_t* data, Clock::time_point now) {
  const bool in = setup.requestType == usb::kVendorIn;
  const bool out = setup.requestType == usb::kVendorOut;
  if (setup.length > kMaxControlLength) return false;
  switch (setup.request) {
    case kReqDevInfo: {
      if (!in || setup.length != kDevInfoSize) return false;
      std::memset(data, 0, kDevInfoSize);
      data[0] = kDevInfoSize;
      data[1] = 1;  // layout of this block
      data[2] = kFirmwareMajor;
      data[3] = kFirmwareMinor;
      data[4] = static_cast<uint8_t>(kFpgaVersion);
      data[5] = 2;                                   // head types supported
      const char product[] = "QEL CIS camera unit";  // bytes 8..31
      std::memcpy(data + 8, product, sizeof(product));
      const char serial[] = "SIM-000001";
      std::memcpy(data + 32, serial, sizeof(serial));
      return true;
    }
    case kReqFormatInfo: {
      if (!in || setup.length != kFormatInfoSize || setup.index > 1) return false;
      const FrameGeometry g = Geometry(head_ == kNoHead ? 0 : head_);
      const uint16_t n = head_ == kNoHead ? 0 : static_cast<uint16_t>(g.n);
      data[0] = static_cast<uint8_t>(setup.index);  // data format
      data[1] = 4;                                  // bytes per pixel
      data[2] = 12;                                 // bits per sample
      data[3] = setup.index == 0 ? 1 : 2;           // 1 YCbCr 4:2:2, 2 raw monochrome
      data[4] = static_cast<uint8_t>(n & 0xFF);
      data[5] = static_cast<uint8_t>(n >> 8);
      data[6] = static_cast<uint8_t>(n & 0xFF);
      data[7] = static_cast<uint8_t>(n >> 8);
      return true;
    }
    case kReqStatus:
      if (!in || setup.length != kStatusSize) return false;
      StatusRecordLocked(data, now);
      return true;
    case kReqSetStatus:
      if (!out || setup.length != kStatusItemSize || setup.index > 7) return false;
      std::memcpy(&statusItems_[setup.index * kStatusItemSize], data, kStatusItemSize);
      if (setup.index == 2) ++sceneVersion_;
      return true;
    case kReqI2CRead:
    case kReqI2CWrite:
      if ((setup.request == kReqI2CRead && !in) || (setup.request == kReqI2CWrite && !out)) {
        return false;
      }
      return I2CRequestLocked(setup, data, out);
    case kReqEepromRead:
    case kReqEepromWrite:
      if ((setup.request == kReqEepromRead && !in) || (setup.request == kReqEepromWrite && !out)) {
        return false;
      }
      return EepromRequestLocked(setup, data, out, now);
    case kReqRegRead:
    case kReqRegWrite:
      if ((setup.request == kReqRegRead && !in) || (setup.request == kReqRegWrite && !out)) {
        return false;
      }
      return RegisterRequestLocked(setup, data, out, now);
    default:
      return false;
  }
}

void Unit::StatusRecordLocked(uint8_t* record, Clock::time_point now) {
  std::memset(record, 0, kStatusSize);
  record[0] = 1;  // layout of this record
  record[1] = statusItems_[2 * kStatusItemSize + 1];
  record[2] = head_ == kNoHead ? 0xFF : static_cast<uint8_t>(head_);
  record[3] = EepromStateLocked(0, now);
  record[4] = EepromStateLocked(1, now);
  record[5] = head_ != kNoHead ? 1 : 0;
  const int bank = ActiveBankLocked();
  for (int k = 0; k < 6; ++k) record[10 + k] = static_cast<uint8_t>(changeMask_[bank] >> (8 * k));
  changeMask_[bank] = 0;
}

uint8_t Unit::EepromStateLocked(int selector, Clock::time_point now) const {
  if (!EepromLocked(selector)) return 3;
  const EepromFlags& e = eeprom_[selector];
  if (e.error) return 2;
  if (e.stuckBusy || now < e.busyUntil) return 1;
  return 0;
}

bool Unit::EepromRequestLocked(const usb::SetupPacket& setup, uint8_t* data, bool write,
                               Clock::time_point now) {
  const int selector = setup.value >> 12;
  const uint32_t address = (static_cast<uint32_t>(setup.value & 0xF) << 16) | setup.index;
  std::vector<uint8_t>* e = EepromLocked(selector);
  if (!e || address + setup.length > e->size()) return false;
  const uint8_t state = EepromStateLocked(selector, now);
  if (state == 2) return false;  // an EEPROM in error answers nothing
  if (!write) {
    std::memcpy(data, e->data() + address, setup.length);
    return true;
  }
  if (state != 0) return false;  // a write cycle is still running
  if (setup.length == 0) return true;
  std::memcpy(e->data() + address, data, setup.length);
  eeprom_[selector].busyUntil = now + eepromBusyTime_;
  if (selector == 1) EvaluateLimitLocked();
  stateDirty_ = true;
  return true;
}

bool Unit::I2CRequestLocked(const usb::SetupPacket& setup, uint8_t* data, bool write) {
  if (setup.index > 0x7F) return false;
  auto it = std::find_if(i2c_.begin(), i2c_.end(),
                         [&](const I2CDevice& d) { return d.address == setup.index; });
  if (it == i2c_.end()) return false;  // nobody acknowledges the address
  if (write) {
    // The first byte sets the device's register pointer; the rest are stored from there on.
    if (setup.length == 0) return true;
    it->pointer = data[0];
    for (uint16_t i = 1; i < setup.length; ++i) it->regs[it->pointer++] = data[i];
  } else {
    for (uint16_t i = 0; i < setup.length; ++i) data[i] = it->regs[it->pointer++];
  }
  return true;
}

bool Unit::RegisterRequestLocked(const usb::SetupPacket& setup, uint8_t* data, bool write,
                                 Clock::time_point now) {
  if (setup.length % 2 != 0) return false;
  const uint32_t count = setup.length / 2;
  if (setup.index + count > kRegisterCount) return false;
  if (!write) {
    for (uint32_t i = 0; i < count; ++i) {
      if (PollFailsLocked(setup.index + i)) return false;
    }
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t n = setup.index + i;
    if (write) {
      WriteRegisterLocked(n, static_cast<uint16_t>((data[2 * i] << 8) | data[2 * i + 1]), now);
    } else {
      const uint16_t v = ReadRegisterLocked(n);
      data[2 * i] = static_cast<uint8_t>(v >> 8);
      data[2 * i + 1] = static_cast<uint8_t>(v & 0xFF);
    }
  }
  return true;
}

uint16_t Unit::ReadRegisterLocked(uint32_t n) const {
  switch (n) {
    case kRegCisConnect:
      return head_ != kNoHead ? 1 : 0;
    case kRegCisType:
      return head_ == 1 ? 1 : 0;
    case kRegFpgaVersion:
      return kFpgaVersion;
    case kRegSensorData: {
      if (head_ == kNoHead) return 0xFFFF;  // nothing answers on the head's bus
      auto it = sensorRegs_.find(regs_[kRegSensorAddress]);
      return it == sensorRegs_.end() ? 0 : it->second;
    }
    default:
      return regs_[n];
  }
}

void Unit::WriteRegisterLocked(uint32_t n, uint16_t value, Clock::time_point now) {
  switch (n) {
    case kRegCisConnect:
    case kRegCisType:
    case kRegFpgaVersion:
      return;  // read-only
    case kRegSensorData:
      if (head_ != kNoHead) sensorRegs_[regs_[kRegSensorAddress]] = value;
      return;
    case kRegManualDetect:
      regs_[n] = value;
      detect_ = {value != 0, OperationEndLocked(Operation::ManualDetect, now, kDetectTime)};
      return;
    default:
      break;
  }
  if (IsBanked(n)) {
    const int bank = n >= 0x80 ? 1 : 0;
    const uint32_t reg = n & 0x7F;
    if (reg == kRegAwb) {
      awb_[bank] = {value != 0, OperationEndLocked(Operation::WhiteBalance, now, kAwbTime)};
    }
    if (reg == kRegCorrection) {
      // FPN data acquisition runs while field H0 is non-zero; the unit clears it when done.
      const bool start = ((value >> 8) & 0xF) != 0;
      if (!start) {
        fpn_[bank].active = false;
      } else if (!fpn_[bank].active) {
        fpn_[bank] = {true, OperationEndLocked(Operation::FpnAcquisition, now, kFpnTime)};
      }
    }
  }
  regs_[n] = value;
  ++sceneVersion_;
}

// ---- Frame stream ----

Clock::duration Unit::FramePeriodLocked() const {
  using std::chrono::nanoseconds;
  // No rate can beat the bus: a frame takes at least its bytes' time at the bulk limit.
  const uint64_t bytes = Geometry(head_ == kNoHead ? 0 : head_).bytes;
  const nanoseconds bus(static_cast<int64_t>(bytes * 1000000000ull / kUsbBytesPerSecond));
  if (frameRate_ == 0) return bus;
  return std::max(bus, nanoseconds(static_cast<int64_t>(1e12 / frameRate_)));
}

bool Unit::SubmitRead(uint64_t generation, ReadSlot& slot, uint8_t* buffer, uint32_t size) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!plugged_ || generation != generation_ || slot.pending || !buffer || size == 0) {
    return false;
  }
  const Clock::time_point now = Clock::now();
  slot.buffer = buffer;
  slot.size = size;
  slot.pending = true;
  slot.submitted = now;
  return true;
}

// The due time follows the frame rate in force now, so a rate change applies to a read already
// waiting.
Clock::time_point Unit::ReadDueLocked(const ReadSlot& slot) const {
  return haveDue_ ? std::max(lastDue_ + FramePeriodLocked(), slot.submitted) : slot.submitted;
}

usb::ReadState Unit::PollRead(uint64_t generation, ReadSlot& slot, uint32_t& transferred,
                              int waitMs) {
  transferred = 0;
  std::unique_lock<std::mutex> lock(mu_);
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0));
  Clock::time_point now;
  Clock::time_point due;
  for (;;) {
    if (!slot.pending) return usb::ReadState::Failed;
    if (!plugged_ || generation != generation_) {
      slot.pending = false;  // the unit went away under the read
      return usb::ReadState::Failed;
    }
    now = Clock::now();
    due = ReadDueLocked(slot);
    const bool deliverable = head_ != kNoHead && !streamStalled_;
    if (deliverable && now >= due) break;
    if (now >= deadline) return usb::ReadState::Pending;
    cv_.wait_until(lock, deliverable ? std::min(deadline, due) : deadline);
  }

  AdvanceLocked(now);
  const int cisType = head_;
  const int format = statusItems_[2 * kStatusItemSize + 1];
  const uint64_t version = sceneVersion_;
  const bool shortFrame = shortFrames_;
  const bool wrongMarkers = wrongMarkers_;
  const int offset = SceneOffset(cisType, due - epoch_);
  haveDue_ = true;
  lastDue_ = due;
  if (injectedCount_ != 0) {
    // An injected frame goes out exactly as given.
    const uint32_t length = static_cast<uint32_t>(std::min<size_t>(injected_.size(), slot.size));
    std::memcpy(slot.buffer, injected_.data(), length);
    if (injectedCount_ > 0 && --injectedCount_ == 0) injected_.clear();
    ++framesSent_;
    slot.pending = false;
    lock.unlock();
    cv_.notify_all();
    transferred = length;
    return usb::ReadState::Done;
  }
  slot.filling = true;
  lock.unlock();

  uint32_t length;
  {
    std::lock_guard<std::mutex> scene(sceneMu_);
    if (builder_->NeedsRender(version, cisType, format, now)) {
      {
        std::lock_guard<std::mutex> relock(mu_);
        FillSceneParamsLocked(*sceneParams_);
        sceneParams_->cisType = cisType;
        sceneParams_->dataFormat = format;
      }
      builder_->Render(*sceneParams_, version, now);
      ++scenesRendered_;
    }
    length = builder_->Build(slot.buffer, slot.size, offset, wrongMarkers);
  }
  if (shortFrame) length /= 2;
  StampFrame(slot.buffer, std::min(length, slot.size), ++framesSent_);

  lock.lock();
  slot.filling = false;
  slot.pending = false;
  lock.unlock();
  cv_.notify_all();
  transferred = std::min(length, slot.size);
  return usb::ReadState::Done;
}

void Unit::AbortRead(ReadSlot& slot) {
  std::unique_lock<std::mutex> lock(mu_);
  if (slot.pending && !slot.filling) ++readsAborted_;
  slot.pending = false;
  cv_.notify_all();
  cv_.wait(lock, [&] { return !slot.filling; });
}

}  // namespace sim

namespace sim {

Clock::time_point Unit::OperationEndLocked(Operation operation, Clock::time_point now,
                                           Clock::duration usual) const {
  switch (operationModes_[static_cast<size_t>(operation)]) {
    case OperationMode::Immediate:
      return now;
    case OperationMode::Never:
      return Clock::time_point::max();
    default:
      return now + usual;
  }
}

// While an operation in FailPoll mode runs, reads of the register it is polled by fail.
bool Unit::PollFailsLocked(uint32_t n) const {
  auto failing = [&](Operation op) {
    return operationModes_[static_cast<size_t>(op)] == OperationMode::FailPoll;
  };
  if (n == kRegManualDetect) return failing(Operation::ManualDetect) && detect_.active;
  if (!IsBanked(n)) return false;
  const int bank = n >= 0x80 ? 1 : 0;
  const uint32_t reg = n & 0x7F;
  if (reg == kRegAwb) return failing(Operation::WhiteBalance) && awb_[bank].active;
  if (reg == kRegCorrection) return failing(Operation::FpnAcquisition) && fpn_[bank].active;
  return false;
}

}  // namespace sim

// ---- State kept across processes ----

namespace sim {
namespace {

// Magic, the two head EEPROM states, the unit EEPROM, both head EEPROMs, the register file (the
// unit stays powered between two programs, as a real one on its cable does).
constexpr char kStateMagic[16] = "QELSIM-STATE-1\n";
constexpr size_t kRegisterBytes = 2 * kRegisterCount;

std::string StateTempPath(const std::string& path) {
  return path + ".tmp";
}

size_t StateFileSize() {
  return sizeof kStateMagic + 2 + Unit::kUnitEepromSize + 2 * Unit::kCisEepromSize + kRegisterBytes;
}

}  // namespace

int Unit::SetStateFile(const std::string& path) {
  std::lock_guard<std::mutex> files(stateFileMu_);
  std::vector<uint8_t> image;
  if (!path.empty()) {
    // Every write goes through a file beside it: one that cannot be made now would lose every
    // EEPROM write of the run without a word.
    errno = 0;
    std::FILE* probe = std::fopen(StateTempPath(path).c_str(), "wb");
    if (probe == nullptr) return errno != 0 ? errno : EACCES;
    std::fclose(probe);
    std::remove(StateTempPath(path).c_str());
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
      image.resize(StateFileSize() + 1);
      const size_t got = std::fread(image.data(), 1, image.size(), f);
      std::fclose(f);
      // Anything but a whole state file is left untouched, so a wrong path loses no file.
      if (got != StateFileSize() ||
          std::memcmp(image.data(), kStateMagic, sizeof kStateMagic) != 0 ||
          image[sizeof kStateMagic] > 2 || image[sizeof kStateMagic + 1] > 2) {
        return -1;
      }
      image.resize(got);
    }
  }
  {
    std::lock_guard<std::mutex> lock(mu_);
    stateFile_ = path;
    if (!image.empty()) {
      const uint8_t* p = image.data() + sizeof kStateMagic;
      heads_[0].eepromState = p[0];
      heads_[1].eepromState = p[1];
      p += 2;
      unitEeprom_.assign(p, p + kUnitEepromSize);
      p += kUnitEepromSize;
      for (HeadSlot& head : heads_) {
        head.eeprom.assign(p, p + kCisEepromSize);
        p += kCisEepromSize;
      }
      for (uint32_t n = 0; n < kRegisterCount; ++n, p += 2) {
        regs_[n] = static_cast<uint16_t>(p[0] | p[1] << 8);
      }
      ++sceneVersion_;
      EvaluateLimitLocked();
      stateDirty_ = false;
    } else {
      stateDirty_ = !path.empty();  // a new file starts with the current contents
    }
  }
  return 0;
}

void Unit::PersistState() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stateDirty_ = true;
  }
  PersistIfDirty();
}

void Unit::PersistIfDirty() {
  std::lock_guard<std::mutex> files(stateFileMu_);
  std::string path;
  std::vector<uint8_t> image;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!stateDirty_ || stateFile_.empty()) return;
    stateDirty_ = false;
    path = stateFile_;
    image.reserve(StateFileSize());
    image.insert(image.end(), kStateMagic, kStateMagic + sizeof kStateMagic);
    image.push_back(static_cast<uint8_t>(heads_[0].eepromState));
    image.push_back(static_cast<uint8_t>(heads_[1].eepromState));
    image.insert(image.end(), unitEeprom_.begin(), unitEeprom_.end());
    for (const HeadSlot& head : heads_) {
      image.insert(image.end(), head.eeprom.begin(), head.eeprom.end());
    }
    for (uint16_t reg : regs_) {
      image.push_back(static_cast<uint8_t>(reg & 0xFF));
      image.push_back(static_cast<uint8_t>(reg >> 8));
    }
  }
  // Written beside the file and renamed over it, so a process that dies mid-write leaves the
  // previous state whole.
  const std::string temp = StateTempPath(path);
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return;
  const bool written = std::fwrite(image.data(), 1, image.size(), f) == image.size();
  if (std::fclose(f) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
  }
}

}  // namespace sim
