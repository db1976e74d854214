// qelctl commands about the unit as a whole: info, status and stream.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>
#include <vector>

#include "Cli.h"
#include "QEL_API.h"
#include "viewer/picture/core/Controls.h"

namespace qelctl {
namespace {

using nlohmann::json;

std::string VersionText(uint32_t v) {
  return Format("%u.%u.%u.%u", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

void PrintJson(const json& value) {
  std::printf("%s\n", value.dump().c_str());
}

// Library and unit identity. A unit that is absent is a failure; a read that fails on a present
// unit is shown as such and is not.
void Info(const Context& context, bool asJson) {
  uint32_t version = 0;
  QEL_GetVersion(&version);
  json out{{"libraryVersion", VersionText(version)}, {"connected", false}};
  try {
    RequireConnection(context);
  } catch (const Failure&) {
    if (asJson)
      PrintJson(out);
    else
      std::printf("library version: %s\nconnected: no\n", VersionText(version).c_str());
    throw;
  }
  out["connected"] = true;
  unsigned char info[48] = {};
  out["firmwareVersion"] =
      QEL_GetDevInfo(sizeof info, info) == 0 ? json(Format("%d.%d", info[2], info[3])) : json();
  int fpga = 0;
  out["fpgaVersion"] =
      QEL_Get_FPGA_Ver(&fpga) == 0 ? json(Format("%d.%d", fpga >> 4 & 0xF, fpga & 0xF)) : json();
  int attached = 0;
  int type = 0;
  if (QEL_Get_CIS_Connect(&attached) != 0) {
    out["head"] = json();
  } else if (attached == 0) {
    out["head"] = "none";
  } else {
    out["head"] = QEL_Get_CIS_Type(&type) == 0 ? json(picture::HeadTypeText(type)) : json();
  }
  if (asJson) return PrintJson(out);
  const auto text = [&](const char* key) {
    return out[key].is_null() ? std::string("(read failed)") : out[key].get<std::string>();
  };
  std::printf("library version: %s\nconnected: yes\n", VersionText(version).c_str());
  std::printf("firmware version: %s\n", text("firmwareVersion").c_str());
  std::printf("FPGA version: %s\n", text("fpgaVersion").c_str());
  std::printf("head: %s\n", text("head").c_str());
}

void PrintHex(const char* label, const unsigned char* bytes, size_t count) {
  std::printf("%s", label);
  for (size_t i = 0; i < count; ++i) std::printf(" %02X", bytes[i]);
  std::printf("\n");
}

// Device status record, decoded where the system gives bytes a meaning, and the change mask.
void Status(const Context& context, bool asJson) {
  RequireConnection(context);
  unsigned char status[16] = {};
  Check("QEL_GetDevStatus", QEL_GetDevStatus(sizeof status, status));
  unsigned char mask[6] = {};
  Check("QEL_GetFpgaStatus", QEL_GetFpgaStatus(sizeof mask, mask));
  std::vector<int> changed;
  for (int bit = 0; bit < 48; ++bit) {
    if (mask[bit / 8] >> (bit % 8) & 1) changed.push_back(bit);
  }
  if (asJson) {
    PrintJson({{"status", std::vector<int>(status, status + sizeof status)},
               {"dataFormat", status[1]},
               {"unitEeprom", EepromStateText(status[3])},
               {"headEeprom", EepromStateText(status[4])},
               {"changeMask", std::vector<int>(mask, mask + sizeof mask)},
               {"changedRegisters", changed}});
    return;
  }
  PrintHex("status:     ", status, sizeof status);
  PrintHex("change mask:", mask, sizeof mask);
  std::printf("data format: %d\nunit EEPROM: %s\nhead EEPROM: %s\n", status[1],
              EepromStateText(status[3]), EepromStateText(status[4]));
}

// Waits on the frame counter the way the viewer does and prints the rates once a second.
void Stream(const Context& context, int seconds) {
  RequireConnection(context);
  std::vector<unsigned char> frame(1u << 20);
  int lastIndex = 0;
  QEL_GetIndex(&lastIndex);
  for (int s = 0; s < seconds; ++s) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    unsigned long long bytes = 0;
    unsigned frames = 0;
    int firstIndex = lastIndex;
    while (std::chrono::steady_clock::now() < end) {
      int index = 0;
      QEL_GetIndex(&index);
      if (index == lastIndex) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      if (index < lastIndex) firstIndex = 0;  // the unit reconnected; the counter restarted
      lastIndex = index;
      unsigned int length = 0;
      if (QEL_GetFrame(frame.data(), static_cast<unsigned>(frame.size()), &length) == 0) {
        bytes += length;
        ++frames;
      }
    }
    std::printf("%ds: %d frames/s from USB, %u copied, %.1f MB/s\n", s + 1, lastIndex - firstIndex,
                frames, static_cast<double>(bytes) / 1e6);
    std::fflush(stdout);
  }
}

void AddDeviceCommands(CLI::App& app, Context& context) {
  auto infoJson = std::make_shared<bool>(false);
  CLI::App* info = app.add_subcommand("info", "Connection, versions and head type");
  info->add_flag("--json", *infoJson, "Print one JSON object");
  info->callback([&context, infoJson] {
    context.action = [&context, infoJson] { Info(context, *infoJson); };
  });

  auto statusJson = std::make_shared<bool>(false);
  CLI::App* status =
      app.add_subcommand("status", "Device status record and change mask (read and cleared)");
  status->add_flag("--json", *statusJson, "Print one JSON object");
  status->callback([&context, statusJson] {
    context.action = [&context, statusJson] { Status(context, *statusJson); };
  });

  auto seconds = std::make_shared<std::string>("5");
  CLI::App* stream = app.add_subcommand("stream", "Frame rate and throughput once a second");
  stream->add_option("--seconds", *seconds, "How long to measure, 1..86400 (default 5)");
  stream->callback([&context, seconds] {
    const int count = NumberIn(*seconds, "--seconds", 1, 86400);
    context.action = [&context, count] { Stream(context, count); };
  });
}

const RegisterCommands kRegistered(10, AddDeviceCommands);

}  // namespace
}  // namespace qelctl
