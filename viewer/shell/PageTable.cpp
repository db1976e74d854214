// The page table of the main window.
#include "viewer/shell/PageTable.h"

#include "viewer/base/Ids.h"
#include "viewer/calibration/CalibrationPage.h"
#include "viewer/picture/PicturePage.h"

namespace shell {

const char* PageTabText(int index) {
  return index == base::kPicturePage ? "Picture" : "Calibration";
}

picture::LivePage* CreatePage(int index, picture::PageContext& context, QWidget* parent) {
  // Named after their dialog templates, 102 and 103.
  picture::LivePage* page = nullptr;
  if (index == base::kPicturePage) {
    page = new picture::PicturePage(context, parent);
    page->setObjectName(QStringLiteral("102"));
  } else {
    page = new calibration::CalibrationPage(context, parent);
    page->setObjectName(QStringLiteral("103"));
  }
  return page;
}

}  // namespace shell
