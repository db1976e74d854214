// Program entry of QEL_Viewer.
#include <QApplication>
#include <cstdio>

#include "QEL_Sim.h"
#include "viewer/shell/Application.h"
#include "viewer/shell/Operator.h"
#include "viewer/shell/ProgramHooks.h"

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
  if (!options.simulateState.isEmpty() &&
      QELSIM_SetStateFile(options.simulateState.toLocal8Bit().constData()) != 0) {
    std::fprintf(stderr, "QEL_Viewer: %s is not a state file of the simulated unit\n",
                 qPrintable(options.simulateState));
    return 2;
  }
  shell::InstallProgramHooks();
  // A run that saves a screenshot or the controls and ends has nobody to answer a box.
  shell::QtOperator interactive;
  shell::UnattendedOperator unattended;
  const bool attended = options.screenshot.isEmpty() && options.dumpControls.isEmpty();
  shell::Application viewer(attended ? static_cast<shell::Operator&>(interactive) : unattended);
  return viewer.Run(options);
}
