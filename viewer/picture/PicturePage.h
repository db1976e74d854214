// The Picture page: the live colour view with its zoom list and Camera Info box; the parameter
// groups join it in its group area.
#pragma once

#include "viewer/shell/LivePage.h"

namespace picture {

class PicturePage : public shell::LivePage {
 public:
  // Becomes displayTarget, starts the display thread and sets pictureReady.
  explicit PicturePage(QWidget* parent);

  // Colour view on this page.
  void Activate() override;
  // The live image area gives way to playback and returns after it.
  void HideLive() override;
  void ShowLive() override;
  void FollowHeadType() override { SwitchToCisType(); }

  // Lists that depend on the head type (cisType) are refilled and their first entry selected.
  void SwitchToCisType();
};

}  // namespace picture
