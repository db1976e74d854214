// qelctl commands for raw EEPROM access: the unit EEPROM (selector 0, 20-bit addresses) and the
// head EEPROM (selector 1, 4 KiB).
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Cli.h"
#include "QEL_API.h"

namespace qelctl {
namespace {

struct Eeprom {
  const char* name;
  unsigned size;
  int statusByte;  // state byte in the device status record
};
constexpr Eeprom kEeproms[] = {{"unit EEPROM", 1u << 20, 3}, {"head EEPROM", 4096, 4}};
// A control transfer's length field is 16 bits.
constexpr unsigned kMaxTransfer = 0xFFFF;

// An EEPROM range a command line names, checked against the selected EEPROM.
struct Span {
  int selector;
  unsigned address;
  unsigned length;
};

struct EepromArgs {
  std::string selector;
  std::string address;
  std::string length;              // read
  std::vector<std::string> bytes;  // write
  bool verify = false;
};

Span CheckedSpan(const EepromArgs& args, unsigned length) {
  // Checked before any narrowing: 4294967297 is no 1.
  const long long selector = Number(args.selector, "SEL");
  if (selector != 0 && selector != 1) {
    UsageError(
        Format("SEL %s is neither 0 (unit EEPROM) nor 1 (head EEPROM)", args.selector.c_str()));
  }
  const Eeprom& e = kEeproms[selector];
  const long long address = Number(args.address, "ADDR");
  if (address < 0 || address >= e.size) {
    UsageError(
        Format("ADDR %s is outside the %s (0x0..0x%X)", args.address.c_str(), e.name, e.size - 1));
  }
  if (length > e.size - static_cast<unsigned>(address)) {
    UsageError(Format("%u bytes at 0x%llX run past the end of the %s (0x%X)", length, address,
                      e.name, e.size - 1));
  }
  return {static_cast<int>(selector), static_cast<unsigned>(address), length};
}

// The state the device status reports for the EEPROM; a head EEPROM that is not there is a
// failure with its reason rather than a failed transfer.
int EepromState(int selector) {
  unsigned char status[16] = {};
  Check("QEL_GetDevStatus", QEL_GetDevStatus(sizeof status, status));
  const int state = status[kEeproms[selector].statusByte];
  if (state == 3) DeviceError(Format("the %s is not present", kEeproms[selector].name));
  return state;
}

// Polls the status until the EEPROM finishes its write cycle; the library's writes wait the same
// way, raw writes leave it to the caller.
void WaitIdle(int selector) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  for (;;) {
    const int state = EepromState(selector);
    if (state == 0) return;
    if (state != 1)
      DeviceError(Format("the %s is %s", kEeproms[selector].name, EepromStateText(state)));
    if (std::chrono::steady_clock::now() >= deadline) {
      DeviceError(Format("the %s stays busy", kEeproms[selector].name));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Hex dump, 16 bytes a line, each line led by its EEPROM address.
void Dump(unsigned address, const std::vector<unsigned char>& data) {
  for (size_t line = 0; line < data.size(); line += 16) {
    std::printf("%05X:", static_cast<unsigned>(address + line));
    for (size_t i = line; i < std::min(line + 16, data.size()); ++i) std::printf(" %02X", data[i]);
    std::printf("\n");
  }
}

std::vector<unsigned char> ReadSpan(const Span& span) {
  std::vector<unsigned char> data(span.length);
  Check("QEL_EepromRead",
        QEL_EepromRead(span.selector, span.address, static_cast<int>(span.length), data.data()));
  return data;
}

void Read(const Context& context, const Span& span) {
  RequireConnection(context);
  EepromState(span.selector);
  Dump(span.address, ReadSpan(span));
}

// Verify reads the bytes back after the write cycle and shows them.
void Write(const Context& context, const Span& span, const std::vector<unsigned char>& bytes,
           bool verify) {
  RequireConnection(context);
  WaitIdle(span.selector);
  Check("QEL_EepromWrite",
        QEL_EepromWrite(span.selector, span.address, static_cast<int>(bytes.size()), bytes.data()));
  if (!verify) return;
  WaitIdle(span.selector);
  const std::vector<unsigned char> back = ReadSpan(span);
  Dump(span.address, back);
  if (back != bytes) DeviceError("the bytes read back differ from those written");
}

void AddEepromCommands(CLI::App& app, Context& context) {
  CLI::App* eeprom =
      app.add_subcommand("eeprom",
                         "Raw EEPROM access: SEL 0 is the unit EEPROM (addresses 0x0..0xFFFFF), "
                         "1 the head EEPROM (0x0..0xFFF)");
  eeprom->require_subcommand(1);

  auto readArgs = std::make_shared<EepromArgs>();
  CLI::App* read = eeprom->add_subcommand("read", "Hex dump: eeprom read SEL ADDR LEN");
  read->add_option("SEL", readArgs->selector, "0 unit EEPROM, 1 head EEPROM")->required();
  read->add_option("ADDR", readArgs->address, "First byte address")->required();
  read->add_option("LEN", readArgs->length, "Number of bytes, 1..65535")->required();
  read->callback([&context, readArgs] {
    const int length = NumberIn(readArgs->length, "LEN", 1, kMaxTransfer);
    const Span span = CheckedSpan(*readArgs, static_cast<unsigned>(length));
    context.action = [&context, span] { Read(context, span); };
  });

  auto writeArgs = std::make_shared<EepromArgs>();
  CLI::App* write =
      eeprom->add_subcommand("write", "Write bytes: eeprom write [--verify] SEL ADDR BYTE...");
  write->add_option("SEL", writeArgs->selector, "0 unit EEPROM, 1 head EEPROM")->required();
  write->add_option("ADDR", writeArgs->address, "First byte address")->required();
  write->add_option("BYTE", writeArgs->bytes, "One byte each, 0..255 (0..0xFF)")->required();
  write->add_flag("--verify", writeArgs->verify, "Read the bytes back and show them");
  write->callback([&context, writeArgs] {
    std::vector<unsigned char> bytes;
    for (const std::string& word : writeArgs->bytes) {
      bytes.push_back(static_cast<unsigned char>(NumberIn(word, "BYTE", 0, 255)));
    }
    if (bytes.size() > kMaxTransfer) UsageError(Format("at most %u bytes a write", kMaxTransfer));
    const Span span = CheckedSpan(*writeArgs, static_cast<unsigned>(bytes.size()));
    context.action = [&context, span, bytes, verify = writeArgs->verify] {
      Write(context, span, bytes, verify);
    };
  });
}

const RegisterCommands kRegistered(30, AddEepromCommands);

}  // namespace
}  // namespace qelctl
