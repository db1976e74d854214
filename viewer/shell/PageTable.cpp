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
  if (index == kPicturePage) return new picture::PicturePage(parent);
  return new calibration::CalibrationPage(parent);
}

}  // namespace shell
