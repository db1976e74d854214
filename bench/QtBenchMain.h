// The entry of the benchmarks that run viewer code: a QApplication on the offscreen platform
// (unless one is chosen) with the GUI job queue installed, then every registered benchmark.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

#include "viewer/base/GuiCall.h"

inline int RunQtBenchmarks(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  base::InstallGuiQueue();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
