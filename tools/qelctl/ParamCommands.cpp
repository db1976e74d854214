// qelctl commands for camera parameters, the device status, raw EEPROM access and the parameter
// sets stored in the unit EEPROM.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Command.h"
#include "QEL_API.h"

namespace qelctl {
namespace {

using ScalarSet = int(QEL_CALL*)(int);
using ScalarGet = int(QEL_CALL*)(int*);
using IndexedSet = int(QEL_CALL*)(int, int);
using IndexedGet = int(QEL_CALL*)(int, int*);

// One named parameter; the indexed forms are used when count > 1. A null setter means read-only.
struct Parameter {
  const char* name;
  int count;
  ScalarSet setScalar;
  ScalarGet getScalar;
  IndexedSet setIndexed;
  IndexedGet getIndexed;
};

#define SCALAR(name) \
  { #name, 1, QEL_Set_##name, QEL_Get_##name, nullptr, nullptr }
#define READ_ONLY(name) \
  { #name, 1, nullptr, QEL_Get_##name, nullptr, nullptr }
#define INDEXED(name, count) \
  { #name, count, nullptr, nullptr, QEL_Set_##name, QEL_Get_##name }

const Parameter kParameters[] = {
    INDEXED(ControlMode, 2),
    SCALAR(BlackLevel),
    SCALAR(ExposureTime),
    SCALAR(RawGain),
    SCALAR(AGC_AEC_Target),
    INDEXED(Hysteresis, 4),
    SCALAR(ControlSpeed),
    INDEXED(ControlMonitor, 2),
    SCALAR(MinLightLevel),
    SCALAR(ALC_Param),
    SCALAR(LightLevel),
    SCALAR(AWB),
    INDEXED(GainRB, 2),
    INDEXED(ColorMatrix, 9),
    INDEXED(GainYC, 3),
    SCALAR(ALC_Target),
    SCALAR(Gamma),
    SCALAR(ImageFlip),
    SCALAR(ImageRotation),
    SCALAR(DVI_ImageSize),
    SCALAR(NoiseReduction),
    SCALAR(EdgeEnhancement),
    SCALAR(VFPN_Corr),
    SCALAR(DVI_Resolution),
    SCALAR(CIS_ImageFineAdj),
    SCALAR(DP_Corr),
    SCALAR(FPN_Corr),
    SCALAR(FPN_Data_Acquisition),
    SCALAR(CIS_VoutCurrent),
    READ_ONLY(CIS_Connect),
    SCALAR(CIS_LimitFlag),
    READ_ONLY(CIS_Type),
    SCALAR(CIS_ConnectionDet),
    SCALAR(CIS_OverCurrentDet),
    SCALAR(CIS_ManualDetect),
    READ_ONLY(FPGA_Ver),
    SCALAR(DataFormat),
};

#undef SCALAR
#undef READ_ONLY
#undef INDEXED

const Parameter* FindParameter(const std::string& name) {
  for (const Parameter& p : kParameters) {
    if (name == p.name) return &p;
  }
  std::fprintf(stderr, "qelctl: unknown parameter %s\n", name.c_str());
  return nullptr;
}

// Reports a failed library call; every failure leaves qelctl with exit code 1.
int Failed(const char* function, int result) {
  std::fprintf(stderr, "qelctl: %s failed with result %d\n", function, result);
  return 1;
}

bool ParseIntArg(const std::string& text, int& value) {
  long long parsed = 0;
  if (!ParseInt(text, parsed) || parsed < -2147483648LL || parsed > 4294967295LL) {
    std::fprintf(stderr, "qelctl: not a number: %s\n", text.c_str());
    return false;
  }
  value = static_cast<int>(static_cast<unsigned long long>(parsed) & 0xFFFFFFFFu);
  return true;
}

// Index argument of an indexed parameter; out-of-list indices go to the library, which refuses.
bool ParseIndex(const Parameter& p, const std::vector<std::string>& args, size_t valueArgs,
                int& index) {
  index = 0;
  if (args.size() != 1 + valueArgs + (p.count > 1 ? 1 : 0)) {
    if (p.count > 1)
      std::fprintf(stderr, "qelctl: %s takes an index 0..%d\n", p.name, p.count - 1);
    else
      std::fprintf(stderr, "qelctl: %s takes no index\n", p.name);
    return false;
  }
  return p.count == 1 || ParseIntArg(args[1], index);
}

int Get(const std::vector<std::string>& args) {
  if (args.empty()) return 2;
  const Parameter* p = FindParameter(args[0]);
  int index = 0;
  if (p == nullptr || !ParseIndex(*p, args, 0, index)) return 2;
  if (!WaitConnected()) return 1;
  int value = 0;
  const int result = p->count > 1 ? p->getIndexed(index, &value) : p->getScalar(&value);
  if (result != 0) return Failed(("QEL_Get_" + std::string(p->name)).c_str(), result);
  std::printf("%d\n", value);
  return 0;
}

int Set(const std::vector<std::string>& args) {
  if (args.empty()) return 2;
  const Parameter* p = FindParameter(args[0]);
  int index = 0;
  int value = 0;
  if (p == nullptr || !ParseIndex(*p, args, 1, index) || !ParseIntArg(args.back(), value)) return 2;
  if (p->setScalar == nullptr && p->setIndexed == nullptr) {
    std::fprintf(stderr, "qelctl: %s is read-only\n", p->name);
    return 2;
  }
  if (!WaitConnected()) return 1;
  const int result = p->count > 1 ? p->setIndexed(index, value) : p->setScalar(value);
  if (result != 0) return Failed(("QEL_Set_" + std::string(p->name)).c_str(), result);
  return 0;
}

void PrintHex(const char* label, const unsigned char* bytes, size_t count) {
  std::printf("%s", label);
  for (size_t i = 0; i < count; ++i) std::printf(" %02X", bytes[i]);
  std::printf("\n");
}

int Status(const std::vector<std::string>& args) {
  if (!args.empty()) return 2;
  if (!WaitConnected()) return 1;
  unsigned char status[16] = {};
  int result = QEL_GetDevStatus(sizeof status, status);
  if (result != 0) return Failed("QEL_GetDevStatus", result);
  unsigned char mask[6] = {};
  result = QEL_GetFpgaStatus(sizeof mask, mask);
  if (result != 0) return Failed("QEL_GetFpgaStatus", result);
  PrintHex("status:     ", status, sizeof status);
  PrintHex("change mask:", mask, sizeof mask);
  return 0;
}

// Hex dump, 16 bytes a line, each line led by its EEPROM address.
void Dump(unsigned address, const std::vector<unsigned char>& data) {
  for (size_t line = 0; line < data.size(); line += 16) {
    std::printf("%05X:", static_cast<unsigned>(address + line));
    for (size_t i = line; i < std::min(line + 16, data.size()); ++i) std::printf(" %02X", data[i]);
    std::printf("\n");
  }
}

// Hex digits in pairs; spaces, colons and commas between bytes are allowed.
bool ParseHexBytes(const std::vector<std::string>& words, std::vector<unsigned char>& bytes) {
  std::string digits;
  for (const std::string& word : words) {
    for (char c : word) {
      if (std::isxdigit(static_cast<unsigned char>(c)))
        digits += c;
      else if (c != ':' && c != ',' && c != ' ')
        return false;
    }
  }
  if (digits.empty() || digits.size() % 2 != 0) return false;
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<unsigned char>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return true;
}

// Polls the status until the selected EEPROM reports ready (byte 3 unit, byte 4 head).
int WaitEepromIdle(int selector, int timeoutMs = 2000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    unsigned char status[16] = {};
    const int result = QEL_GetDevStatus(sizeof status, status);
    if (result != 0) return Failed("QEL_GetDevStatus", result);
    const int state = status[selector == 0 ? 3 : 4];
    if (state == 0) return 0;
    if (state != 1 || std::chrono::steady_clock::now() >= deadline) {
      std::fprintf(stderr, "qelctl: EEPROM %d not ready (state %d)\n", selector, state);
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int Eeprom(const std::vector<std::string>& args) {
  if (args.size() < 4) return 2;
  int selector = 0;
  int address = 0;
  if (!ParseIntArg(args[1], selector) || !ParseIntArg(args[2], address)) return 2;
  if (args[0] == "read") {
    int length = 0;
    if (args.size() != 4 || !ParseIntArg(args[3], length) || length < 0 || length > 0xFFFF)
      return 2;
    if (!WaitConnected()) return 1;
    std::vector<unsigned char> data(static_cast<size_t>(length));
    const int result =
        QEL_EepromRead(selector, static_cast<unsigned>(address), length, data.data());
    if (result != 0) return Failed("QEL_EepromRead", result);
    Dump(static_cast<unsigned>(address), data);
    return 0;
  }
  if (args[0] == "write") {
    std::vector<unsigned char> data;
    if (!ParseHexBytes({args.begin() + 3, args.end()}, data) || data.size() > 0xFFFF) {
      std::fprintf(stderr, "qelctl: HEXBYTES must be pairs of hex digits\n");
      return 2;
    }
    if (!WaitConnected()) return 1;
    if (WaitEepromIdle(selector) != 0) return 1;
    const int result = QEL_EepromWrite(selector, static_cast<unsigned>(address),
                                       static_cast<int>(data.size()), data.data());
    if (result != 0) return Failed("QEL_EepromWrite", result);
    return 0;
  }
  return 2;
}

// Splits off the --default flag; the remaining words are positional.
std::vector<std::string> TakeDefaultFlag(const std::vector<std::string>& args, bool& isDefault) {
  std::vector<std::string> rest;
  isDefault = false;
  for (const std::string& arg : args) {
    if (arg == "--default")
      isDefault = true;
    else
      rest.push_back(arg);
  }
  return rest;
}

// The library saves its parameter shadow, which only holds what this process has read or
// written; a fresh qelctl has touched nothing. Reading every parameter first brings the shadow
// in step with the unit, so the stored set is the unit's and not a set of untouched 0xFFFF.
int ReadEveryParameter() {
  for (const Parameter& p : kParameters) {
    for (int index = 0; index < p.count; ++index) {
      int value = 0;
      const int result = p.count > 1 ? p.getIndexed(index, &value) : p.getScalar(&value);
      if (result != 0) {
        std::fprintf(stderr, "qelctl: reading %s failed with result %d; nothing saved\n", p.name,
                     result);
        return result;
      }
    }
  }
  return 0;
}

int SaveParam(const std::vector<std::string>& args) {
  bool isDefault = false;
  if (!TakeDefaultFlag(args, isDefault).empty()) return 2;
  if (!WaitConnected()) return 1;
  if (ReadEveryParameter() != 0) return 1;
  const int result = isDefault ? QEL_Save_Default_Param(0) : QEL_Save_Param(0);
  if (result != 0) return Failed(isDefault ? "QEL_Save_Default_Param" : "QEL_Save_Param", result);
  return 0;
}

int LoadParam(const std::vector<std::string>& args) {
  bool isDefault = false;
  if (!TakeDefaultFlag(args, isDefault).empty()) return 2;
  if (!WaitConnected()) return 1;
  const int result = isDefault ? QEL_Load_Default_Param(0) : QEL_Load_Param(0);
  if (result != 0) return Failed(isDefault ? "QEL_Load_Default_Param" : "QEL_Load_Param", result);
  return 0;
}

int ClearParam(const std::vector<std::string>& args) {
  bool isDefault = false;
  const std::vector<std::string> rest = TakeDefaultFlag(args, isDefault);
  int mode = 0;
  if (rest.size() > 1 || (rest.size() == 1 && !ParseIntArg(rest[0], mode))) return 2;
  if (!WaitConnected()) return 1;
  const int result = isDefault ? QEL_Clear_Default_Param(mode) : QEL_Clear_Param(mode);
  if (result != 0) return Failed(isDefault ? "QEL_Clear_Default_Param" : "QEL_Clear_Param", result);
  return 0;
}

CommandRegistrar getCommand({"get",
                             "get NAME [INDEX]          read a parameter (NAME as in QEL_Get_NAME)",
                             Get});
CommandRegistrar setCommand(
    {"set", "set NAME [INDEX] VALUE    write a parameter (NAME as in QEL_Set_NAME)", Set});
CommandRegistrar statusCommand(
    {"status", "status                    device status record and change mask in hex", Status});
CommandRegistrar eepromCommand({"eeprom",
                                "eeprom read SEL ADDR LEN | eeprom write SEL ADDR HEXBYTES  "
                                "EEPROM access (SEL 0 unit, 1 head)",
                                Eeprom});
CommandRegistrar saveParamCommand(
    {"save-param", "save-param [--default]    store the parameter set in the unit EEPROM",
     SaveParam});
CommandRegistrar loadParamCommand(
    {"load-param", "load-param [--default]    load the stored parameter set into the unit",
     LoadParam});
CommandRegistrar clearParamCommand(
    {"clear-param",
     "clear-param [MODE] [--default]  erase the stored set (0 header only, 1 whole area)",
     ClearParam});

}  // namespace
}  // namespace qelctl
