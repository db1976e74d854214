// qelctl: status, streaming and parameter access to the unit from the command line.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Command.h"
#include "QEL_API.h"
#include "QEL_Sim.h"

namespace qelctl {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

bool ParseInt(const std::string& text, long long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  value = parsed;
  return true;
}

bool WaitConnected(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  int status = 0;
  while (QEL_GetStatus(&status) == 0 && status == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      std::fprintf(stderr, "qelctl: no camera unit connected\n");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

namespace {

std::string VersionText(uint32_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xFF, (v >> 8) & 0xFF,
                v & 0xFF);
  return text;
}

int Info(const std::vector<std::string>& args) {
  if (!args.empty()) return 2;
  uint32_t version = 0;
  QEL_GetVersion(&version);
  std::printf("library version: %s\n", VersionText(version).c_str());
  const bool connected = WaitConnected();
  std::printf("connected: %s\n", connected ? "yes" : "no");
  if (!connected) return 1;
  unsigned char info[48] = {};
  if (QEL_GetDevInfo(sizeof info, info) == 0) {
    std::printf("firmware version: %d.%d\n", info[2], info[3]);
  } else {
    std::printf("firmware version: (read failed)\n");
  }
  int attached = 0;
  int type = 0;
  if (QEL_Get_CIS_Connect(&attached) != 0) {
    std::printf("head: (read failed)\n");
  } else if (attached == 0) {
    std::printf("head: none\n");
  } else if (QEL_Get_CIS_Type(&type) == 0) {
    std::printf("head: %s\n", type == 0 ? "40K" : "160K");
  }
  return 0;
}

// Waits on the data semaphore the way the viewer does and prints the rates once a second.
int Stream(const std::vector<std::string>& args) {
  long long seconds = 5;
  if (args.size() == 2 && args[0] == "--seconds") {
    if (!ParseInt(args[1], seconds) || seconds < 1) return 2;
  } else if (!args.empty()) {
    return 2;
  }
  if (!WaitConnected()) return 1;
  std::vector<unsigned char> frame(1u << 20);
  int lastIndex = 0;
  QEL_GetIndex(&lastIndex);
  for (long long s = 0; s < seconds; ++s) {
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
    std::printf("%llds: %d frames/s from USB, %u copied, %.1f MB/s\n", s + 1,
                lastIndex - firstIndex, frames, static_cast<double>(bytes) / 1e6);
    std::fflush(stdout);
  }
  return 0;
}

int Help(const std::vector<std::string>&);

CommandRegistrar infoCommand({"info",
                              "info                      connection, versions and head type",
                              Info});
CommandRegistrar streamCommand({"stream",
                                "stream [--seconds N]      frame rate and throughput each second",
                                Stream});
CommandRegistrar helpCommand({"help", "help                      this list", Help});

int Help(const std::vector<std::string>&) {
  std::printf("usage: qelctl [--simulate[=160k]] COMMAND [ARGS]\n");
  for (const Command& command : Commands()) std::printf("  %s\n", command.usage);
  return 0;
}

}  // namespace
}  // namespace qelctl

int main(int argc, char** argv) {
  using namespace qelctl;
  int arg = 1;
  bool simulate = false;
  int head = 0;
  for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
    if (std::strcmp(argv[arg], "--simulate") == 0) {
      simulate = true;
    } else if (std::strcmp(argv[arg], "--simulate=160k") == 0) {
      simulate = true;
      head = 1;
    } else {
      std::fprintf(stderr, "qelctl: unknown option %s\n", argv[arg]);
      return 2;
    }
  }
  if (arg >= argc) return Help({}), 2;
  const std::string name = argv[arg++];
  const std::vector<std::string> args(argv + arg, argv + argc);
  for (const Command& command : Commands()) {
    if (name != command.name) continue;
    if (name == "help") return command.run(args);
    if (simulate) {
      QELSIM_Enable(1);
      QELSIM_SetHead(head);
    }
    QEL_Init();
    const int code = command.run(args);
    QEL_Term();
    if (code == 2) std::fprintf(stderr, "usage: qelctl %s\n", command.usage);
    return code;
  }
  std::fprintf(stderr, "qelctl: unknown command %s (see qelctl help)\n", name.c_str());
  return 2;
}
