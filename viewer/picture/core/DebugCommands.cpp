// The Debug dialog's commands on the unit.
#include "viewer/picture/core/DebugCommands.h"

#include <thread>

#include "QEL_API.h"

namespace picture {
namespace {

constexpr const char* kSuccess = "success.";
constexpr const char* kFailed = "failed.";

// Bytes of the device status record that carry the two EEPROM states.
constexpr int kUnitEepromState = 3;
constexpr int kCisEepromState = 4;
constexpr uint8_t kEepromBusy = 1;
constexpr uint8_t kEepromError = 2;
constexpr uint8_t kEepromAbsent = 3;

const char* Outcome(bool ok) {
  return ok ? kSuccess : kFailed;
}

// A write-data field: parsed into the kept buffer and rewritten. False for an empty field,
// which leaves both alone.
bool TakeWriteData(std::string& field, DebugKept& kept) {
  if (field.empty()) return false;
  kept.writeData = ParseWriteData(field);
  field = HexBytes(kept.writeData.bytes.data(), kept.writeData.length);
  return true;
}

void TakeReadSize(std::string& field, DebugKept& kept) {
  kept.readSize = ParseReadSize(field);
  field = std::to_string(kept.readSize);
}

bool I2cWrite(const DebugKept& kept) {
  return QEL_I2CWrite(kept.slaveAddress, kept.writeData.length, kept.writeData.bytes.data()) == 0;
}

// The bytes read as the Result text, or `failure`.
std::string I2cRead(const DebugKept& kept, const char* failure) {
  uint8_t buffer[kMaxDebugBytes] = {};
  if (QEL_I2CRead(kept.slaveAddress, kept.readSize, buffer) != 0) return failure;
  return HexBytes(buffer, kept.readSize);
}

DebugOutcome RunI2c(int buttonId, DebugFields& fields, DebugKept& kept) {
  std::string& result = fields[kIdI2cResult];
  result.clear();
  kept.slaveAddress = ParseSlaveAddress(fields[kIdSlaveAddr]);
  fields[kIdSlaveAddr] = HexByte(kept.slaveAddress);
  switch (buttonId) {
    case kIdI2cWrite:
      if (!TakeWriteData(fields[kIdI2cData], kept)) return DebugOutcome::NoWriteData;
      result = Outcome(I2cWrite(kept));
      break;
    case kIdI2cRead:
      TakeReadSize(fields[kIdI2cSize], kept);
      result = I2cRead(kept, kFailed);
      break;
    default:  // Write / Read
      if (!TakeWriteData(fields[kIdI2cData], kept)) return DebugOutcome::NoWriteData;
      TakeReadSize(fields[kIdI2cSize], kept);
      result = I2cWrite(kept) ? I2cRead(kept, "read failed.") : "write failed.";
      break;
  }
  return DebugOutcome::Done;
}

DebugOutcome RunFpga(int buttonId, DebugFields& fields) {
  const uint32_t address = ParseHexField(fields[kIdFpgaAddr]);
  if (buttonId == kIdFpgaWrite) {
    if (fields[kIdFpgaData].empty()) return DebugOutcome::NoWriteData;
    fields[kIdFpgaResult] = Outcome(WriteRegister16(address, ParseHexField(fields[kIdFpgaData])));
    return DebugOutcome::Done;
  }
  uint16_t value = 0;
  fields[kIdFpgaResult] = ReadRegister16(address, value) ? HexValue(value) : kFailed;
  return DebugOutcome::Done;
}

DebugOutcome RunSensor(int buttonId, DebugFields& fields) {
  const uint32_t address = ParseHexField(fields[kIdSensorAddr]);
  std::string& result = fields[kIdSensorResult];
  if (buttonId == kIdSensorWrite) {
    // The address goes out before the data field is looked at.
    if (!SelectSensorRegister(address)) {
      result = kFailed;
      return DebugOutcome::Done;
    }
    if (fields[kIdSensorData].empty()) return DebugOutcome::NoWriteData;
    result = Outcome(WriteRegister16(kSensorDataRegister, ParseHexField(fields[kIdSensorData])));
    return DebugOutcome::Done;
  }
  uint16_t value = 0;
  result = SensorRead(address, value) ? HexValue(value) : kFailed;
  return DebugOutcome::Done;
}

DebugOutcome RunEeprom(int buttonId, DebugFields& fields, DebugKept& kept) {
  std::string& result = fields[kIdEepromResult];
  result.clear();
  const int selector = ParseEepromSelector(fields[kIdEepromType]);
  const uint32_t address = ParseHexField(fields[kIdEepromAddr]);
  if (buttonId == kIdEepromWrite) {
    if (!TakeWriteData(fields[kIdEepromData], kept)) return DebugOutcome::NoWriteData;
    result = WaitEepromReady(selector);
    if (result.empty()) {
      result = Outcome(QEL_EepromWrite(selector, address, kept.writeData.length,
                                       kept.writeData.bytes.data()) == 0);
    }
    return DebugOutcome::Done;
  }
  TakeReadSize(fields[kIdEepromSize], kept);
  uint8_t buffer[kMaxDebugBytes] = {};
  result = QEL_EepromRead(selector, address, kept.readSize, buffer) == 0
               ? HexBytes(buffer, kept.readSize)
               : "read failed.";
  return DebugOutcome::Done;
}

}  // namespace

DebugFields InitialDebugFields(const DebugKept& kept) {
  DebugFields fields;
  fields[kIdSlaveAddr] = HexByte(kept.slaveAddress);
  fields[kIdI2cSize] = "2";
  fields[kIdFpgaAddr] = "0";
  fields[kIdEepromType] = "0";
  fields[kIdEepromAddr] = "4000";
  fields[kIdEepromSize] = "1";
  fields[kIdSensorAddr] = "3000";
  return fields;
}

DebugOutcome RunDebugCommand(int buttonId, DebugFields& fields, DebugKept& kept) {
  switch (buttonId) {
    case kIdI2cWrite:
    case kIdI2cRead:
    case kIdI2cWriteRead:
      return RunI2c(buttonId, fields, kept);
    case kIdFpgaWrite:
    case kIdFpgaRead:
      return RunFpga(buttonId, fields);
    case kIdSensorWrite:
    case kIdSensorRead:
      return RunSensor(buttonId, fields);
    case kIdEepromWrite:
    case kIdEepromRead:
      return RunEeprom(buttonId, fields, kept);
    default:
      return DebugOutcome::Done;
  }
}

std::string WaitEepromReady(int selector, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    // The record has 16 bytes; the rest of the buffer stays as it is.
    uint8_t status[64] = {};
    if (QEL_GetDevStatus(sizeof status, status) != 0) return "failed.(func.)";
    const uint8_t state = status[selector == 0 ? kUnitEepromState : kCisEepromState];
    if (state == kEepromError) return "failed.(error.)";
    if (state == kEepromAbsent) return "failed.(none)";
    if (state != kEepromBusy) return {};
    if (std::chrono::steady_clock::now() >= deadline) return "failed.(busy.)";
    std::this_thread::sleep_for(kEepromReadyPause);
  }
}

bool WriteRegister16(uint32_t reg, uint32_t value) {
  const uint8_t data[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  return QEL_DeviceWrite(0, static_cast<int>(reg), 2, data) == 0;
}

bool ReadRegister16(uint32_t reg, uint16_t& value) {
  uint8_t data[2] = {};
  if (QEL_DeviceRead(0, static_cast<int>(reg), 2, data) != 0) return false;
  value = static_cast<uint16_t>(data[0] << 8 | data[1]);
  return true;
}

bool SelectSensorRegister(uint32_t address) {
  return WriteRegister16(kSensorAddressRegister, address);
}

bool SensorWrite(uint32_t address, uint32_t value) {
  return SelectSensorRegister(address) && WriteRegister16(kSensorDataRegister, value);
}

bool SensorRead(uint32_t address, uint16_t& value) {
  return SelectSensorRegister(address) && ReadRegister16(kSensorDataRegister, value);
}

RegisterReader UnitRegisterReader() {
  return
      [](uint16_t address, uint8_t value[2]) { return QEL_DeviceRead(0, address, 2, value) == 0; };
}

EepromReader UnitEepromReader(int selector) {
  return [selector](uint32_t address, uint8_t bytes[16]) {
    return QEL_EepromRead(selector, address, 16, bytes) == 0;
  };
}

bool UnitConnected() {
  int status = 0;
  QEL_GetStatus(&status);
  return (status & 1) != 0;
}

}  // namespace picture
