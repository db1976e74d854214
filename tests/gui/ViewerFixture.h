// The viewer on the simulated unit, offscreen, for the GUI suites: start, stop, the picture as
// painted, waits scaled for sanitizer builds.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

#include "QEL_Sim.h"
#include "sim/SimUnit.h"
#include "tests/gui/ScriptedOperator.h"
#include "viewer/live/ImageArea.h"
#include "viewer/picture/LivePage.h"
#include "viewer/shell/Application.h"
#include "viewer/shell/MainWindow.h"

namespace {

using base::kCalibrationPage;
using base::kPicturePage;

// Sanitizer builds run several times slower; the waits scale with them.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr int kSlow = 8;
#else
constexpr int kSlow = 1;
#endif

constexpr QRgb kNoSignalBlue = 0xFF0000FF;

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(dir_.path());
    // The simulated unit outlives each viewer; every test starts from the same unit.
    sim::Unit::Instance().Reset();
  }

  void TearDown() override {
    if (app_) app_->ShutDown();
    app_.reset();
    QDir::setCurrent(previousDir_);
  }

  void Start(int head = 0) {
    app_ = std::make_unique<shell::Application>(op_);
    shell::Options options;
    options.simulate = true;
    options.simulatedHead = head;
    app_->StartUp(options);
  }

  shell::MainWindow* Window() const { return app_->Window(); }
  picture::LivePage* Page(int index) const { return Window()->Page(index); }

  // The picture as the operator sees it: the image area painted into an image.
  QImage Picture(int page = kPicturePage) const {
    QImage picture(808, 808, QImage::Format_RGB32);
    Page(page)->Image()->render(&picture);
    return picture;
  }

  static bool IsNoSignal(const QImage& picture) {
    for (int y = 0; y < picture.height(); y += 101) {
      for (int x = 0; x < picture.width(); x += 101) {
        if (picture.pixel(x, y) != kNoSignalBlue) return false;
      }
    }
    return true;
  }

  // A live picture: not the no-signal blue, and not one flat colour.
  static bool IsLive(const QImage& picture, int side) {
    if (IsNoSignal(picture)) return false;
    const QRgb first = picture.pixel(side / 2, side / 2);
    for (int y = 4; y < side - 4; y += 7) {
      for (int x = 4; x < side - 4; x += 7) {
        if (picture.pixel(x, y) != first) return true;
      }
    }
    return false;
  }

  bool WaitFor(const std::function<bool()>& condition, int ms) {
    return QTest::qWaitFor(condition, ms * kSlow);
  }

  // Waits until `count` more frames have been displayed.
  bool WaitFrames(uint64_t count) {
    const uint64_t from = app_->Live().display.FramesDisplayed();
    return WaitFor([&] { return app_->Live().display.FramesDisplayed() >= from + count; }, 3000);
  }

  // The operator confirms a zoom entry on a page.
  void ChooseZoom(int page, int entry) {
    QComboBox* list = Page(page)->ZoomList();
    list->setCurrentIndex(entry);
    emit list->activated(entry);
  }

  QTemporaryDir dir_;
  QString previousDir_;
  testing_support::ScriptedOperator op_;
  std::unique_ptr<shell::Application> app_;
};

}  // namespace
