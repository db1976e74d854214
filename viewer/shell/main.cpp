// Program entry of QEL_Viewer.
#include <QApplication>
#include <cstdio>

#include "viewer/shell/Application.h"
#include "viewer/shell/Operator.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const shell::Options options = shell::ParseOptions(QApplication::arguments());
  if (!options.error.isEmpty()) {
    std::fprintf(stderr,
                 "QEL_Viewer: %s\nusage: QEL_Viewer [--simulate[=40k|160k]] [--screenshot FILE]\n",
                 qPrintable(options.error));
    return 2;
  }
  shell::QtOperator op;
  shell::Application viewer(op);
  return viewer.Run(options);
}
