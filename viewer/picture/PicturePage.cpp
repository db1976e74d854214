// The Picture page's live view part.
#include "viewer/picture/PicturePage.h"

#include "viewer/live/ImageArea.h"
#include "viewer/shell/Shell.h"
#include "viewer/shell/ViewState.h"

namespace picture {

PicturePage::PicturePage(QWidget* parent) : shell::LivePage(shell::kPicturePage, parent) {
  shell::ViewState& view = shell::View();
  view.displayTarget = shell::kPicturePage;
  shell::TheShell().display.Start();
  view.pictureReady = true;
}

void PicturePage::Activate() {
  shell::ViewState& view = shell::View();
  view.displayTarget = shell::kPicturePage;
  view.rawView = false;
}

void PicturePage::HideLive() {
  Image()->hide();
}

void PicturePage::ShowLive() {
  Image()->show();
}

void PicturePage::SwitchToCisType() {
  FillZoomList(shell::View().cisType.load());
}

}  // namespace picture
