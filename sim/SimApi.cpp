// The QELSIM_ control functions and the switch that routes the library to the simulated unit.
#include <atomic>

#include "QEL_Sim.h"
#include "sim/Sim.h"
#include "sim/SimUnit.h"

namespace sim {
namespace {
std::atomic<bool> enabled{false};
}  // namespace

bool Enabled() {
  return enabled;
}

}  // namespace sim

extern "C" {

QEL_EXPORT int QEL_CALL QELSIM_Enable(int on) {
  if (on != 0 && on != 1) return -1;
  sim::enabled = on == 1;
  return 0;
}

QEL_EXPORT int QEL_CALL QELSIM_SetPlugged(int plugged) {
  if (plugged != 0 && plugged != 1) return -1;
  sim::Unit::Instance().SetPlugged(plugged == 1);
  return 0;
}

QEL_EXPORT int QEL_CALL QELSIM_SetHead(int cisType) {
  return sim::Unit::Instance().SetHead(cisType) ? 0 : -1;
}

QEL_EXPORT int QEL_CALL QELSIM_SetCisEeprom(int state) {
  return sim::Unit::Instance().SetCisEeprom(state) ? 0 : -1;
}

QEL_EXPORT int QEL_CALL QELSIM_SetFrameRate(int milliHz) {
  return sim::Unit::Instance().SetFrameRate(milliHz) ? 0 : -1;
}

QEL_EXPORT int QEL_CALL QELSIM_SetStateFile(const char* path) {
  if (!path) return -1;
  return sim::Unit::Instance().SetStateFile(path);
}

}  // extern "C"
