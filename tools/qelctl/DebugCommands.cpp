// qelctl commands of the viewer's Debug dialog: the FPGA and EEPROM dump files, I2C transfers and
// the OV426 sensor registers, with the dialog's file formats and result texts. Numbers on the
// command line follow qelctl (decimal or 0x-prefixed); the answers are the dialog's hex texts.
#include "viewer/picture/core/DebugCommands.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Cli.h"
#include "QEL_API.h"
#include "viewer/picture/core/DebugFormat.h"

namespace qelctl {
namespace {

// The dialog's result text on success; a device failure with it otherwise.
void Result(bool ok, const std::string& text, const std::string& what) {
  if (!ok) DeviceError(what + ": " + text);
  std::printf("%s\n", text.c_str());
}

void Dump(const Context& context, bool eeprom, int selector, const std::string& path) {
  RequireConnection(context);
  std::string text;
  const files::Result written = picture::WriteDumpFile(path, [&] {
    text = eeprom ? picture::EepromDumpText(selector != 0, picture::UnitEepromReader(selector))
                  : picture::FpgaDumpText(picture::UnitRegisterReader());
    return text;
  });
  if (!written) DeviceError("cannot write " + path + Because(written.error));
  size_t lines = 0;
  size_t failed = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) {
    ++lines;
  }
  for (size_t at = text.find("read failed."); at != std::string::npos;
       at = text.find("read failed.", at + 1)) {
    ++failed;
  }
  std::printf("%s: %zu lines\n", path.c_str(), lines);
  if (failed != 0) DeviceError(Format("%zu reads failed; their lines say so", failed));
}

struct DumpArgs {
  std::string file;
  bool cis = false;
};

struct TransferArgs {
  std::string address;
  std::string size = "2";
  std::vector<std::string> bytes;
  std::string value;
};

void AddDumpCommands(CLI::App& app, Context& context) {
  CLI::App* dump = app.add_subcommand(
      "dump", "Text dumps as the Debug dialog writes them (CR LF lines, 16 bytes an EEPROM line)");
  dump->require_subcommand(1);

  auto fpgaArgs = std::make_shared<DumpArgs>();
  CLI::App* fpga = dump->add_subcommand("fpga", "FPGA registers 0x000..0x3FF: dump fpga FILE");
  fpga->add_option("FILE", fpgaArgs->file, "File to create or replace")->required();
  fpga->callback([&context, fpgaArgs] {
    context.action = [&context, fpgaArgs] { Dump(context, false, 0, fpgaArgs->file); };
  });

  auto eepromArgs = std::make_shared<DumpArgs>();
  CLI::App* eeprom = dump->add_subcommand(
      "eeprom", "Unit EEPROM 0x4000..0xFFFF, or the head EEPROM: dump eeprom [--cis] FILE");
  eeprom->add_flag("--cis", eepromArgs->cis, "The head (CIS) EEPROM, 0x0000..0x0FFF");
  eeprom->add_option("FILE", eepromArgs->file, "File to create or replace")->required();
  eeprom->callback([&context, eepromArgs] {
    context.action = [&context, eepromArgs] {
      Dump(context, true, eepromArgs->cis ? 1 : 0, eepromArgs->file);
    };
  });
}

void AddI2cCommands(CLI::App& app, Context& context) {
  CLI::App* i2c = app.add_subcommand("i2c", "Transfers on the unit's I2C bus (7-bit addresses)");
  i2c->require_subcommand(1);

  auto readArgs = std::make_shared<TransferArgs>();
  CLI::App* read = i2c->add_subcommand("read", "Read bytes: i2c read ADDR [SIZE]");
  read->add_option("ADDR", readArgs->address, "Device address, 0..0x7F")->required();
  read->add_option("SIZE", readArgs->size, "Bytes to read, 1..64 (default 2)");
  read->callback([&context, readArgs] {
    const int address = NumberIn(readArgs->address, "ADDR", 0, 0x7F);
    const int size = NumberIn(readArgs->size, "SIZE", 1, picture::kMaxDebugBytes);
    context.action = [&context, address, size] {
      RequireConnection(context);
      unsigned char buffer[picture::kMaxDebugBytes] = {};
      const bool ok = QEL_I2CRead(address, size, buffer) == 0;
      Result(ok, ok ? picture::HexBytes(buffer, size) : "failed.",
             Format("i2c read at %02X", address));
    };
  });

  auto writeArgs = std::make_shared<TransferArgs>();
  CLI::App* write = i2c->add_subcommand("write", "Write bytes: i2c write ADDR [BYTE...]");
  write->add_option("ADDR", writeArgs->address, "Device address, 0..0x7F")->required();
  write->add_option("BYTE", writeArgs->bytes, "Up to 64 bytes, 0..0xFF each");
  write->callback([&context, writeArgs] {
    const int address = NumberIn(writeArgs->address, "ADDR", 0, 0x7F);
    if (writeArgs->bytes.size() > size_t(picture::kMaxDebugBytes)) {
      UsageError(Format("at most %d bytes a write", picture::kMaxDebugBytes));
    }
    std::vector<unsigned char> bytes;
    for (const std::string& word : writeArgs->bytes) {
      bytes.push_back(static_cast<unsigned char>(NumberIn(word, "BYTE", 0, 0xFF)));
    }
    context.action = [&context, address, bytes] {
      RequireConnection(context);
      const bool ok = QEL_I2CWrite(address, static_cast<int>(bytes.size()), bytes.data()) == 0;
      Result(ok, ok ? "success." : "failed.", Format("i2c write at %02X", address));
    };
  });
}

void AddSensorCommands(CLI::App& app, Context& context) {
  CLI::App* sensor = app.add_subcommand(
      "sensor", "OV426 sensor registers through FPGA registers 0x426 (address) and 0x427 (data)");
  sensor->require_subcommand(1);

  auto readArgs = std::make_shared<TransferArgs>();
  CLI::App* read = sensor->add_subcommand("read", "Read a register: sensor read ADDR");
  read->add_option("ADDR", readArgs->address, "Register address, 0..0xFFFF")->required();
  read->callback([&context, readArgs] {
    const auto address = static_cast<uint32_t>(NumberIn(readArgs->address, "ADDR", 0, 0xFFFF));
    context.action = [&context, address] {
      RequireConnection(context);
      uint16_t value = 0;
      const bool ok = picture::SensorRead(address, value);
      Result(ok, ok ? picture::HexValue(value) : "failed.", Format("sensor read at %X", address));
    };
  });

  auto writeArgs = std::make_shared<TransferArgs>();
  CLI::App* write = sensor->add_subcommand("write", "Write a register: sensor write ADDR VALUE");
  write->add_option("ADDR", writeArgs->address, "Register address, 0..0xFFFF")->required();
  write->add_option("VALUE", writeArgs->value, "16-bit value, 0..0xFFFF")->required();
  write->callback([&context, writeArgs] {
    const auto address = static_cast<uint32_t>(NumberIn(writeArgs->address, "ADDR", 0, 0xFFFF));
    const auto value = static_cast<uint32_t>(NumberIn(writeArgs->value, "VALUE", 0, 0xFFFF));
    context.action = [&context, address, value] {
      RequireConnection(context);
      const bool ok = picture::SensorWrite(address, value);
      Result(ok, ok ? "success." : "failed.", Format("sensor write at %X", address));
    };
  });
}

void AddDebugCommands(CLI::App& app, Context& context) {
  AddDumpCommands(app, context);
  AddI2cCommands(app, context);
  AddSensorCommands(app, context);
}

const RegisterCommands kRegistered(40, AddDebugCommands);

}  // namespace
}  // namespace qelctl
