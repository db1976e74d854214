// The main window: tab control with the two pages, scrolling, menu 105 and its dispatcher, and
// the close sequence.
#pragma once

#include <QMainWindow>

#include "viewer/files/Files.h"
#include "viewer/shell/ScrollModel.h"

class QTabWidget;

namespace picture {
class LivePage;
class PicturePage;
struct PageContext;
}  // namespace picture

namespace shell {

class ScrollHost;

class MainWindow : public QMainWindow {
 public:
  // Runs the window's initialisation (ini file, menu, pages, head-type set-up) and sets
  // mainReady. `simulatorMenu` adds the simulated unit's controls as a last menu.
  // The pages are built with `context`; the window fills in its lookups of pages and menu items
  // while it exists.
  MainWindow(picture::PageContext& context, bool simulatorMenu, int simulatedHead);
  ~MainWindow() override;

  // The menu command dispatcher; also takes the command ids the pages' buttons send.
  void Dispatch(int id);

  QTabWidget* Tabs() const { return tabs_; }
  ScrollHost* Scroller() const { return scroller_; }
  picture::LivePage* Page(int index) const;
  // The Picture page, which carries out the page operations for both pages.
  picture::PicturePage* Picture() const;
  // A menu item by command id (null when it does not exist, as the expert items without expert
  // mode).
  QAction* MenuAction(int id) const;

  // The close sequence has run: recording stopped, no display target, display thread ended.
  bool Closed() const { return closed_; }

  // Writes the controls as JSON (DumpControls): every page as it shows when chosen and, in the
  // compact layout, every parameter group as it shows when selected; the window is put back
  // afterwards. False when the file cannot be written.
  files::Result DumpControls(const QString& path);

  // Sizes the tab control and the scrolled content so that the pages' whole layouts show;
  // called again when a page's layout grew.
  void FitContentToPages();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void ShowVersionBox();
  bool CameraConnected();
  void ToggleBoundaryPixels();
  void TabChanged(int index);
  void ZoomChosen(int fromPage, int entry);

  picture::PageContext& context_;
  QTabWidget* tabs_ = nullptr;
  ScrollHost* scroller_ = nullptr;
  int shownPage_ = -1;
  bool closing_ = false;
  bool closed_ = false;
};

}  // namespace shell
