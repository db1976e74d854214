// The viewer on the simulated unit, offscreen: live picture, connection and head changes, menu,
// version box, boundary pixels, scrolling and the close sequence.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <fstream>
#include <memory>

#include "QEL_Sim.h"
#include "sim/SimUnit.h"
#include "tests/gui/ScriptedOperator.h"
#include "tests/gui/ViewerFixture.h"
#include "viewer/base/Ids.h"
#include "viewer/base/ViewState.h"
#include "viewer/live/ImageArea.h"
#include "viewer/picture/LivePage.h"
#include "viewer/shell/Application.h"
#include "viewer/shell/Ini.h"
#include "viewer/shell/Menu.h"
#include "viewer/shell/ScrollHost.h"

namespace {

TEST_F(ViewerTest, FirstStartIsCompactWithoutExpertItemsAndWritesTheIniFile) {
  Start();
  EXPECT_EQ(Window()->windowTitle(), "QEL Viewer");
  EXPECT_EQ(app_->State().windowMode, 0);
  EXPECT_GE(Window()->Scroller()->ContentSize().width, 1182);
  // At least the layout's height; taller where the tab bar needs it to show the whole page.
  EXPECT_GE(Window()->Scroller()->ContentSize().height, 909);
  EXPECT_EQ(Window()->width(), Window()->Scroller()->ContentSize().width);
  for (int id : {base::kCmdEepromSaveDefault, base::kCmdEepromClearDefault, base::kCmdDebug}) {
    EXPECT_EQ(Window()->MenuAction(id), nullptr) << id;
  }
  const std::string ini = (dir_.path() + "/QEL_Viewer.ini").toStdString();
  EXPECT_EQ(shell::GetPrivateProfileInt(ini, "QEL_Viewer", "WindowMode", 7), 0);
  EXPECT_EQ(shell::GetPrivateProfileInt(ini, "QEL_Viewer", "ExpertMode", 7), 0);

  QTabWidget* tabs = Window()->Tabs();
  EXPECT_EQ(tabs->objectName(), "1001");
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), "Picture");
  EXPECT_EQ(tabs->tabText(1), "Calibration");
}

TEST_F(ViewerTest, MenuHasEveryItemWithItsIdTextAndState) {
  {
    std::ofstream(QString(dir_.path() + "/QEL_Viewer.ini").toStdString())
        << "[QEL_Viewer]\nExpertMode=1\nWindowMode=1\n";
  }
  Start();
  // The wide window opens at least 668 pixels wider than the compact one, and as wide as its
  // content: no scroll bar hides the bottom row.
  EXPECT_GE(Window()->Scroller()->ContentSize().width, 1867);
  EXPECT_EQ(Window()->width(), Window()->Scroller()->ContentSize().width);
  const QList<QAction*> popups = Window()->menuBar()->actions();
  const auto& table = shell::MainMenu();
  ASSERT_GE(popups.size(), qsizetype(table.size()));
  for (size_t p = 0; p < table.size(); ++p) {
    QMenu* menu = popups[qsizetype(p)]->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), table[p].title);
    const QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), qsizetype(table[p].items.size())) << table[p].title;
    for (size_t i = 0; i < table[p].items.size(); ++i) {
      const shell::MenuItem& item = table[p].items[i];
      QAction* action = items[qsizetype(i)];
      if (item.id == 0) {
        EXPECT_TRUE(action->isSeparator());
        continue;
      }
      EXPECT_EQ(action->data().toInt(), item.id);
      EXPECT_EQ(action->objectName(), QString::number(item.id));
      EXPECT_EQ(action->text(), item.text);
    }
  }
  EXPECT_EQ(Window()->MenuAction(40013)->text(), "Load Parameter  [Data Read]");
  EXPECT_NE(Window()->MenuAction(base::kCmdDebug), nullptr);
  EXPECT_FALSE(Window()->MenuAction(base::kCmdPausePlay)->isEnabled());
  EXPECT_FALSE(Window()->MenuAction(base::kCmdPlayStop)->isEnabled());
  EXPECT_TRUE(Window()->MenuAction(base::kCmdBoundaryPixels)->isCheckable());
  EXPECT_FALSE(Window()->MenuAction(base::kCmdBoundaryPixels)->isChecked());
  EXPECT_EQ(popups.back()->menu()->title(), "Simulator");
}

TEST_F(ViewerTest, LivePictureWithinASecondAndAFrameRateText) {
  Start();
  EXPECT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 1000));
  EXPECT_EQ(app_->Live().display.LastFrameSide(), 202);
  // 100 %: outside the 202 x 202 picture the bitmap stays black.
  EXPECT_EQ(Picture().pixel(300, 300), 0xFF000000);
  QLabel* status = Page(kPicturePage)->FrameRateText();
  EXPECT_EQ(status->objectName(), "1003");
  const QRegularExpression pattern("^fps DISP:(\\d+) / USB:(\\d+)$");
  EXPECT_TRUE(WaitFor(
      [&] {
        const auto match = pattern.match(status->text());
        return match.hasMatch() && match.captured(2).toInt() > 0;
      },
      2500))
      << status->text().toStdString();
}

TEST_F(ViewerTest, UnplugEmptiesCameraInfoAndPaintsBlueUntilThePlugReturns) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 1000));
  ASSERT_TRUE(WaitFor(
      [&] { return !Page(kCalibrationPage)->CameraInfo(base::kIdFirmwareVersion).isEmpty(); },
      1000));
  EXPECT_EQ(Page(kPicturePage)->CameraInfo(base::kIdFpgaVersion),
            Page(kCalibrationPage)->CameraInfo(base::kIdFpgaVersion));

  QELSIM_SetPlugged(0);
  ASSERT_TRUE(WaitFor([&] { return IsNoSignal(Picture()); }, 1000));
  EXPECT_EQ(Window()->windowTitle(), "QEL_Viewer");
  for (int page : {kPicturePage, kCalibrationPage}) {
    for (int id : base::kCameraInfoValueIds) {
      EXPECT_TRUE(Page(page)->CameraInfo(id).isEmpty()) << page << " " << id;
    }
  }

  QELSIM_SetPlugged(1);
  EXPECT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 2000));
  EXPECT_TRUE(WaitFor(
      [&] { return !Page(kPicturePage)->CameraInfo(base::kIdFirmwareVersion).isEmpty(); }, 1000));
}

TEST_F(ViewerTest, HeadChangesRestoreTheZoomRememberedForEachType) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return app_->Live().display.LastFrameSide() == 202; }, 1000));
  base::ViewState& view = app_->State();

  ChooseZoom(kPicturePage, 2);  // 400 %
  EXPECT_EQ(view.zoomIndex.load(), 2);
  EXPECT_EQ(Page(kCalibrationPage)->ZoomList()->currentIndex(), 2);
  ASSERT_TRUE(WaitFrames(2));
  // 40K at 400 % fills the whole image area.
  EXPECT_NE(Picture().pixel(790, 790), 0xFF000000);

  QELSIM_SetHead(1);
  ASSERT_TRUE(WaitFor(
      [&] {
        return Page(kPicturePage)->ZoomList()->count() == 2 &&
               app_->Live().display.LastFrameSide() == 404;
      },
      2000));
  EXPECT_EQ(view.cisType.load(), 1);
  EXPECT_EQ(view.zoomIndex.load(), 0);  // the 160K head's remembered choice
  for (int page : {kPicturePage, kCalibrationPage}) {
    QComboBox* list = Page(page)->ZoomList();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(0), "100%");
    EXPECT_EQ(list->itemText(1), "200%");
    EXPECT_EQ(list->currentIndex(), 0);
  }
  ASSERT_TRUE(WaitFrames(2));
  const QImage picture = Picture();
  EXPECT_NE(picture.pixel(398, 398), 0xFF000000);  // inside the 404 x 404 picture
  EXPECT_EQ(picture.pixel(404, 200), 0xFF000000);  // beside it

  ChooseZoom(kCalibrationPage, 1);  // 200 % for the 160K head
  EXPECT_EQ(Page(kPicturePage)->ZoomList()->currentIndex(), 1);

  QELSIM_SetHead(0);
  ASSERT_TRUE(WaitFor(
      [&] {
        return Page(kPicturePage)->ZoomList()->count() == 3 &&
               app_->Live().display.LastFrameSide() == 202;
      },
      2000));
  EXPECT_EQ(view.zoomIndex.load(), 2);
  EXPECT_EQ(Page(kPicturePage)->ZoomList()->currentIndex(), 2);
  EXPECT_EQ(Page(kCalibrationPage)->ZoomList()->currentIndex(), 2);

  QELSIM_SetHead(1);
  ASSERT_TRUE(WaitFor([&] { return Page(kCalibrationPage)->ZoomList()->count() == 2; }, 2000));
  EXPECT_EQ(view.zoomIndex.load(), 1);
  EXPECT_EQ(Page(kCalibrationPage)->ZoomList()->currentIndex(), 1);
}

TEST_F(ViewerTest, BoundaryPixelsToggleTwiceBringsTheBlackRingBack) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 1000));
  auto ringIsBlack = [&] {
    const QImage p = Picture();
    for (int i = 1; i < 201; ++i) {
      for (QRgb px : {p.pixel(i, 0), p.pixel(i, 201), p.pixel(0, i), p.pixel(201, i)}) {
        if (px != 0xFF000000) return false;
      }
    }
    return true;
  };
  EXPECT_TRUE(ringIsBlack());
  QAction* item = Window()->MenuAction(base::kCmdBoundaryPixels);

  Window()->Dispatch(base::kCmdBoundaryPixels);
  EXPECT_TRUE(app_->State().showBoundaryPixels.load());
  EXPECT_TRUE(item->isChecked());
  // The simulated unit sends a dark grey ring; shown, it is no longer pure black.
  EXPECT_TRUE(WaitFor([&] { return !ringIsBlack(); }, 1000));

  item->trigger();  // the same command from the menu
  EXPECT_FALSE(app_->State().showBoundaryPixels.load());
  EXPECT_FALSE(item->isChecked());
  ASSERT_TRUE(WaitFrames(2));
  EXPECT_TRUE(ringIsBlack());
}

TEST_F(ViewerTest, VersionBoxShowsBothVersions) {
  Start();
  Window()->Dispatch(base::kCmdVersion);
  ASSERT_EQ(op_.calls.size(), 1u);
  const auto& call = op_.calls[0];
  EXPECT_EQ(call.kind, testing_support::ScriptedOperator::Kind::Message);
  EXPECT_EQ(call.caption, "info");
  EXPECT_EQ(call.icon, base::PromptIcon::Information);
  EXPECT_EQ(call.text, "App Version 1.0.2.0\nAPI Version 1.0.2.0\n");
}

TEST_F(ViewerTest, SimulatorMenuDrivesTheUnit) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 1000));
  auto trigger = [&](const char* name) {
    QAction* action = Window()->menuBar()->findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
    EXPECT_TRUE(action->isChecked()) << name;
  };

  trigger("simUnplug");
  EXPECT_TRUE(WaitFor([&] { return IsNoSignal(Picture()); }, 1000));
  trigger("simPlug");
  EXPECT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 2000));

  trigger("simHead160K");
  EXPECT_TRUE(WaitFor([&] { return app_->Live().display.LastFrameSide() == 404; }, 2000));
  trigger("simHeadNone");
  EXPECT_TRUE(WaitFor([&] { return app_->State().cisType.load() == 0; }, 2000));
  trigger("simHead40K");
  EXPECT_TRUE(WaitFor([&] { return app_->Live().display.LastFrameSide() == 202; }, 2000));

  // The head EEPROM states reach the unit's status record (byte 4: 3 means no EEPROM).
  trigger("simEepromNone");
  unsigned char status[16] = {};
  ASSERT_EQ(QEL_GetDevStatus(sizeof status, status), 0);
  EXPECT_EQ(status[4], 3);
  trigger("simEepromFormatted");
  int state = -1;
  ASSERT_EQ(QEL_Check_CIS_EEPROM(&state), 0);
  EXPECT_EQ(state, 2);

  // 60 fps shows in the next full status period.
  trigger("simRate60");
  const QRegularExpression pattern("^fps DISP:(\\d+) / USB:(\\d+)$");
  EXPECT_TRUE(WaitFor(
      [&] {
        const auto match = pattern.match(Page(kPicturePage)->FrameRateText()->text());
        return match.hasMatch() && match.captured(2).toInt() >= 55;
      },
      4000));
  trigger("simRate30");
}

TEST_F(ViewerTest, CommandsThatNeedTheCameraRefuseWithoutOne) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 1000));
  QELSIM_SetPlugged(0);
  ASSERT_TRUE(WaitFor([&] { return IsNoSignal(Picture()); }, 1000));
  for (int id : {base::kCmdStillCapture, base::kCmdSaveCsv, base::kCmdLoadSettings,
                 base::kCmdSaveSettings}) {
    op_.calls.clear();
    Window()->Dispatch(id);
    ASSERT_EQ(op_.calls.size(), 1u) << id;
    EXPECT_EQ(op_.calls[0].caption, "Message");
    EXPECT_EQ(op_.calls[0].text, "No Connected Camera!");
    EXPECT_EQ(op_.calls[0].icon, base::PromptIcon::Warning);
  }
  QELSIM_SetPlugged(1);
  ASSERT_TRUE(WaitFor([&] { return IsLive(Picture(), 202); }, 2000));
  op_.calls.clear();
  Window()->Dispatch(base::kCmdStillCapture);
  // Connected, the command goes on to its file dialog (cancelled here).
  ASSERT_EQ(op_.calls.size(), 1u);
  EXPECT_EQ(op_.calls[0].kind, testing_support::ScriptedOperator::Kind::SaveFile);
}

TEST_F(ViewerTest, AZoomTheNewHeadDoesNotOfferIsIgnored) {
  // The operator confirms 400 % in a list that the head switch has not refilled yet.
  Start(1);
  base::ViewState& view = app_->State();
  ASSERT_TRUE(WaitFor([&] { return Page(kPicturePage)->ZoomList()->count() == 2; }, 2000));
  Page(kPicturePage)->zoomChosen(2);
  EXPECT_EQ(view.zoomIndex.load(), 0);
  EXPECT_EQ(view.savedZoom[1].load(), 0);
  EXPECT_EQ(Page(kCalibrationPage)->ZoomList()->currentIndex(), 0);
}

TEST_F(ViewerTest, TabsMoveTheLiveViewAndCommandOneFocusesThem) {
  Start();
  base::ViewState& view = app_->State();
  EXPECT_EQ(view.displayTarget.load(), kPicturePage);
  EXPECT_FALSE(view.rawView.load());
  Window()->Tabs()->setCurrentIndex(1);
  EXPECT_EQ(view.displayTarget.load(), kCalibrationPage);
  EXPECT_TRUE(view.rawView.load());
  Window()->Tabs()->setCurrentIndex(0);
  EXPECT_EQ(view.displayTarget.load(), kPicturePage);
  EXPECT_FALSE(view.rawView.load());

  Window()->activateWindow();
  Window()->Dispatch(base::kIdTabControl);
  EXPECT_TRUE(WaitFor([&] { return Window()->Tabs()->hasFocus(); }, 500));

  Page(kPicturePage)->HideLive();
  EXPECT_TRUE(Page(kPicturePage)->Image()->isHidden());
  Page(kPicturePage)->ShowLive();
  EXPECT_FALSE(Page(kPicturePage)->Image()->isHidden());
}

TEST_F(ViewerTest, ScrollBarsAppearBelowTheContentAndShiftWheelPagesSideways) {
  Start();
  shell::ScrollHost* scroller = Window()->Scroller();
  QScrollBar* h = scroller->horizontalScrollBar();
  QScrollBar* v = scroller->verticalScrollBar();
  EXPECT_FALSE(h->isVisible());
  EXPECT_FALSE(v->isVisible());

  Window()->resize(800, 2000);  // too narrow only
  ASSERT_TRUE(WaitFor([&] { return h->isVisible(); }, 1000));
  EXPECT_FALSE(v->isVisible());
  const int client = scroller->viewport()->width();
  EXPECT_EQ(h->maximum(), scroller->ContentSize().width - client + 18);
  EXPECT_EQ(h->pageStep(), client);

  const QPointF at(10, 10);
  QWheelEvent plain(at, scroller->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(scroller->viewport(), &plain);
  EXPECT_EQ(h->value(), 0);
  QWheelEvent shifted(at, scroller->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::ShiftModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(scroller->viewport(), &shifted);
  EXPECT_EQ(h->value(), std::min(client, h->maximum()));
  EXPECT_EQ(Window()->Tabs()->x(), 5 - h->value());
}

// With a larger application font, in both window modes, the pages' whole layouts (down to the
// bottom button row) can be reached and the Camera Info texts are not cut.
TEST_F(ViewerTest, PagesAndCameraInfoFitTheFontInBothWindowModes) {
  const QFont previous = QApplication::font();
  QFont large = previous;
  large.setPointSize(11);
  QApplication::setFont(large);
  for (int mode : {0, 1}) {
    SCOPED_TRACE(mode);
    std::ofstream("QEL_Viewer.ini") << "[QEL_Viewer]\nWindowMode=" << mode << "\n";
    Start();
    picture::LivePage* page = Page(kPicturePage);
    const int bottomRow = 855 + QPushButton().sizeHint().height();
    EXPECT_GE(page->height(), bottomRow);
    EXPECT_GE(page->height(), page->minimumSizeHint().height());
    EXPECT_GE(page->width(), page->minimumSizeHint().width());
    const QRect inContent(page->mapTo(Window()->Tabs(), QPoint(0, 0)) + Window()->Tabs()->pos(),
                          page->size());
    const shell::Extent content = Window()->Scroller()->ContentSize();
    EXPECT_LE(inContent.bottom(), content.height);
    EXPECT_LE(inContent.right(), content.width);
    for (int id : {9003, 9005, 9007}) {
      auto* label = page->findChild<QLabel*>(QString::number(id));
      ASSERT_NE(label, nullptr);
      EXPECT_GE(label->width(), label->sizeHint().width()) << id;
      EXPECT_GE(label->height(), label->sizeHint().height()) << id;
    }
    app_->ShutDown();
    app_.reset();
  }
  QApplication::setFont(previous);
}

// The wheel over an unfocused list scrolls the window and leaves the list alone; a sideways tilt
// without Shift or Ctrl scrolls nothing.
TEST_F(ViewerTest, WheelOverUnfocusedControlsScrollsTheWindowAndTiltDoesNothing) {
  Start();
  Window()->resize(800, 500);
  shell::ScrollHost* scroller = Window()->Scroller();
  QScrollBar* v = scroller->verticalScrollBar();
  ASSERT_TRUE(WaitFor([&] { return v->isVisible(); }, 1000));
  QComboBox* zoom = Page(kPicturePage)->ZoomList();
  ASSERT_FALSE(zoom->hasFocus());
  const QPointF at(5, 5);
  QWheelEvent down(at, zoom->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(zoom, &down);
  EXPECT_EQ(zoom->currentIndex(), 0);
  EXPECT_GT(v->value(), 0);

  v->setValue(0);
  QScrollBar* h = scroller->horizontalScrollBar();
  QWheelEvent tilt(at, scroller->mapToGlobal(at), QPoint(), QPoint(-120, 0), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
  QCoreApplication::sendEvent(scroller->viewport(), &tilt);
  EXPECT_EQ(v->value(), 0);
  EXPECT_EQ(h->value(), 0);
}

// The head's usage count reaching its limit, set in its EEPROM, shows the notice on the picture.
TEST_F(ViewerTest, UsageLimitInTheHeadEepromShowsTheNotice) {
  Start();
  ASSERT_TRUE(WaitFrames(3));
  // The notice is white text on silver from (275, 392) on.
  auto noticeShown = [&] {
    const QImage picture = Picture();
    int silver = 0;
    for (int y = 392; y < 402; ++y) {
      for (int x = 275; x < 375; ++x) silver += picture.pixel(x, y) == qRgb(192, 192, 192);
    }
    return silver > 500;
  };
  EXPECT_FALSE(noticeShown());
  sim::Unit::Instance().WriteEeprom(1, 0x20, {200});  // usage count 200 of 200
  EXPECT_TRUE(WaitFor([&] { return app_->State().limitReached.load() == 1; }, 1000));
  ASSERT_TRUE(WaitFrames(3));
  EXPECT_TRUE(WaitFor(noticeShown, 1000));
  sim::Unit::Instance().WriteEeprom(1, 0x20, {12});
}

// With no frame arriving the display thread still stops at once.
TEST_F(ViewerTest, ExitWithoutFramesIsQuick) {
  Start();
  ASSERT_TRUE(WaitFrames(1));
  sim::Unit::Instance().SetStreamStalled(true);
  QTest::qWait(100);
  const auto started = std::chrono::steady_clock::now();
  Window()->Dispatch(base::kCmdExit);
  ASSERT_TRUE(WaitFor([&] { return Window()->Closed(); }, 2000));
  sim::Unit::Instance().SetStreamStalled(false);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300 * kSlow));
}

TEST_F(ViewerTest, ExitRunsTheCloseSequence) {
  Start();
  ASSERT_TRUE(WaitFor([&] { return app_->Live().display.FramesDisplayed() > 0; }, 1000));
  Window()->Dispatch(base::kCmdExit);
  ASSERT_TRUE(WaitFor([&] { return Window()->Closed(); }, 2000));
  EXPECT_FALSE(app_->Live().display.Running());
  EXPECT_EQ(app_->State().displayTarget.load(), base::kNoPage);
  EXPECT_TRUE(app_->Monitor().Running());  // until shutdown
  app_->ShutDown();
  EXPECT_FALSE(app_->Monitor().Running());
}

}  // namespace
