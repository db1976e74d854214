// The page table of the main window.
#include "viewer/shell/PageTable.h"

#include "viewer/calibration/CalibrationPage.h"
#include "viewer/picture/PicturePage.h"
#include "viewer/shell/Ids.h"

namespace shell {

const char* PageTabText(int index) {
  return index == kPicturePage ? "Picture" : "Calibration";
}

LivePage* CreatePage(int index, QWidget* parent) {
  // Named after their dialog templates, 102 and 103.
  LivePage* page = nullptr;
  if (index == kPicturePage) {
    page = new picture::PicturePage(parent);
    page->setObjectName(QStringLiteral("102"));
  } else {
    page = new calibration::CalibrationPage(parent);
    page->setObjectName(QStringLiteral("103"));
  }
  return page;
}

}  // namespace shell
