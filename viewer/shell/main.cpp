// Program entry of QEL_Viewer.
#include <QApplication>
#include <cstdio>
#include <string>

#include "QEL_Sim.h"
#include "usb/UsbIds.h"
#include "viewer/base/Operator.h"
#include "viewer/files/Files.h"
#include "viewer/shell/Application.h"

#if defined(__SANITIZE_THREAD__)
// Qt comes uninstrumented: allocations and copies inside it (its worker pool, its event queue)
// would be reported against locks the thread sanitizer cannot see. Races in our code still are.
extern "C" const char* __tsan_default_options() {
  return "ignore_noninstrumented_modules=1";
}
#endif

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const shell::Options options = shell::ParseOptions(QApplication::arguments());
  if (!options.error.isEmpty()) {
    std::fprintf(stderr,
                 "QEL_Viewer: %s\nusage: QEL_Viewer [--simulate[=40k|160k]] "
                 "[--simulate-state FILE] [--screenshot FILE] [--play FILE] "
                 "[--dump-controls FILE]\n",
                 qPrintable(options.error));
    return 2;
  }
  const int state = options.simulateState.isEmpty()
                        ? 0
                        : QELSIM_SetStateFile(options.simulateState.toLocal8Bit().constData());
  if (state > 0) {
    std::fprintf(stderr, "QEL_Viewer: cannot write %s: %s\n", qPrintable(options.simulateState),
                 files::Result{state}.Reason().c_str());
    return 2;
  }
  if (state != 0) {
    std::fprintf(stderr, "QEL_Viewer: %s is not a state file of the simulated unit\n",
                 qPrintable(options.simulateState));
    return 2;
  }
  if (!options.simulate) {
    // The library looks for the unit by these ids; a malformed setting it passes over is said here.
    for (const std::string& problem : usb::ConfiguredUsbIds().problems) {
      std::fprintf(stderr, "QEL_Viewer: %s\n", problem.c_str());
    }
  }
  // A run that saves a screenshot or the controls and ends has nobody to answer a box.
  base::QtOperator interactive;
  base::UnattendedOperator unattended;
  const bool attended = options.screenshot.isEmpty() && options.dumpControls.isEmpty();
  shell::Application viewer(attended ? static_cast<base::Operator&>(interactive) : unattended);
  return viewer.Run(options);
}
