// Handing work to the GUI thread and waiting for workers there.
#include "viewer/shell/GuiCall.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <thread>

namespace shell {

bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

void PostToGui(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

void SendToGui(std::function<void()> fn) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  if (OnGuiThread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(app, std::move(fn), Qt::BlockingQueuedConnection);
}

void ServeWhile(const std::function<bool()>& busy) {
  const bool gui = OnGuiThread();
  while (busy()) {
    if (gui) {
      QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace shell
