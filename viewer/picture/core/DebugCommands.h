// The Debug dialog's commands on the unit: I2C, FPGA register, OV426 sensor register and EEPROM
// transfers with their result texts, the EEPROM-ready wait and the dump readers. Plain functions
// over the QEL_ API, shared by the dialog and qelctl; the caller links QEL_API.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "viewer/picture/core/DebugFormat.h"

namespace picture {

// Edit fields of the dialog.
constexpr int kIdSlaveAddr = 2001;
constexpr int kIdI2cData = 2002;
constexpr int kIdI2cSize = 2003;
constexpr int kIdI2cResult = 2004;
constexpr int kIdFpgaAddr = 2005;
constexpr int kIdFpgaData = 2006;
constexpr int kIdFpgaResult = 2007;
constexpr int kIdSerialNo = 2008;
constexpr int kIdEepromType = 2009;
constexpr int kIdEepromAddr = 2010;
constexpr int kIdEepromData = 2011;
constexpr int kIdEepromSize = 2012;
constexpr int kIdEepromResult = 2013;
constexpr int kIdSensorAddr = 2014;
constexpr int kIdSensorData = 2015;
constexpr int kIdSensorResult = 2016;
constexpr int kFirstFieldId = kIdSlaveAddr;
constexpr int kLastFieldId = kIdSensorResult;

// Buttons.
constexpr int kIdI2cWrite = 3001;
constexpr int kIdI2cRead = 3002;
constexpr int kIdI2cWriteRead = 3003;
constexpr int kIdFpgaWrite = 3004;
constexpr int kIdFpgaRead = 3005;
constexpr int kIdSerialWrite = 3006;
constexpr int kIdSerialRead = 3007;
constexpr int kIdEepromWrite = 3008;
constexpr int kIdEepromRead = 3009;
constexpr int kIdSensorWrite = 3010;
constexpr int kIdSensorRead = 3011;
constexpr int kIdEepromDump = 3012;
constexpr int kIdFpgaDump = 3013;

// FPGA registers of the indirect sensor access: the sensor register address, then its data.
constexpr uint32_t kSensorAddressRegister = 0x426;
constexpr uint32_t kSensorDataRegister = 0x427;

// Before an EEPROM write the dialog waits this long at most for the EEPROM to stop reporting
// busy, asking again after each pause.
constexpr std::chrono::milliseconds kEepromReadyLimit{2000};
constexpr std::chrono::milliseconds kEepromReadyPause{2};

// The texts of the edit fields 2001..2016.
class DebugFields {
 public:
  std::string& operator[](int id) { return texts_.at(size_t(id - kFirstFieldId)); }
  const std::string& operator[](int id) const { return texts_.at(size_t(id - kFirstFieldId)); }
  bool operator==(const DebugFields&) const = default;

 private:
  std::array<std::string, kLastFieldId - kFirstFieldId + 1> texts_;
};

// Values kept for the whole program run, whichever dialog instance is open.
struct DebugKept {
  uint8_t slaveAddress = 0x58;
  int readSize = 2;
  WriteData writeData;
};

// The fields as every opening of the dialog shows them.
DebugFields InitialDebugFields(const DebugKept& kept);

enum class DebugOutcome { Done, NoWriteData };

// Runs the command of a button (3001..3005, 3008..3011) on the fields: parses them, rewrites the
// parsed ones, talks to the unit and fills the group's Result field. NoWriteData asks the caller
// to show "No Write Data". Other ids change nothing.
DebugOutcome RunDebugCommand(int buttonId, DebugFields& fields, DebugKept& kept);

// Waits while the EEPROM (0 unit, 1 head) reports busy, at most `limit`; the failure text for the
// Result field, or empty when the EEPROM can be written.
std::string WaitEepromReady(int selector, std::chrono::milliseconds limit = kEepromReadyLimit);

// Two-byte register transfers, high byte first; `reg` goes to the library unchanged.
bool WriteRegister16(uint32_t reg, uint32_t value);
bool ReadRegister16(uint32_t reg, uint16_t& value);

// OV426 register access through 0x426 and 0x427. SensorWrite sends the data only when the
// address reached the sensor: data sent after a failed address write would land in whichever
// register was addressed before.
bool SelectSensorRegister(uint32_t address);
bool SensorWrite(uint32_t address, uint32_t value);
bool SensorRead(uint32_t address, uint16_t& value);

// Dump readers on the unit.
RegisterReader UnitRegisterReader();
EepromReader UnitEepromReader(int selector);

// The connected bit of QEL_GetStatus.
bool UnitConnected();

}  // namespace picture
