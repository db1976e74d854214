// What both tab pages share: the live image area, the frame-rate text, the zoom list, the Camera
// Info box and the area the parameter groups go into; plus the page messages of the main window.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "viewer/picture/GroupBuilder.h"
#include "viewer/picture/core/Controls.h"

class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace live {
class DisplayBitmap;
class ImageArea;
}  // namespace live

namespace picture {

// The zoom choices of a head type: "100%", "200%" and "400%" for 40K, "100%" and "200%" for 160K.
QStringList ZoomEntries(int cisType);

// The left column holds the top row ("Default", "Data Write", "Data Read", the frame-rate text
// and the zoom list), the 808 x 808 image area and the page's bottom row; the right column the
// Camera Info box, the group selector and the parameter groups. Qt lays them out, so a larger
// font grows the page instead of cutting texts.
class LivePage : public QWidget {
 public:
  // The image area shows the front picture of `bitmap`.
  LivePage(int index, const live::DisplayBitmap& bitmap, QWidget* parent);

  int Index() const { return index_; }
  live::ImageArea* Image() const { return imageArea_; }
  QLabel* FrameRateText() const { return frameRate_; }
  QComboBox* ZoomList() const { return zoomList_; }
  QComboBox* GroupSelector() const { return groupSelector_; }

  // Where the parameter groups go (below the group selector), and the rows pages add to.
  QWidget* GroupArea() const { return groupArea_; }
  QHBoxLayout* TopRow() const { return topRow_; }
  QHBoxLayout* BottomRow() const { return bottomRow_; }
  // Every widget of the page with a numeric id that the page or its groups registered.
  WidgetMap& Widgets() { return widgets_; }
  const WidgetMap& Widgets() const { return widgets_; }

  // Refills the zoom list for a head type and selects its first entry, without notifying.
  void FillZoomList(int cisType);
  // Selects a zoom entry without notifying.
  void SelectZoom(int index);

  void SetCameraInfo(int valueId, const QString& text);
  QString CameraInfo(int valueId) const;
  void ClearCameraInfo();
  // The head record rows ("    CIS S/N : " to "    FPN Data : ", "    Red Gain : " to
  // "    IFA : "), labels and values.
  void SetCameraInfoRowsEnabled(bool enabled);

  // Called with the entry the operator confirmed in the zoom list.
  std::function<void(int)> zoomChosen;
  // Buttons that forward a menu command send it through this (the main window's dispatcher).
  std::function<void(int)> sendCommand;

  // The page became the visible tab page: it becomes displayTarget and sets the raw view.
  virtual void Activate() = 0;
  // The page was hidden.
  virtual void Deactivate() {}
  // Playback starts and ends over the live image.
  virtual void HideLive() {}
  virtual void ShowLive() {}
  // The head type changed (cisType holds the new one): type-dependent lists and texts.
  virtual void FollowHeadType() = 0;

  // Compact layout: the parameter groups the group selector offers, in its order (none in the
  // wide layout); the one shown; showing group g alone.
  virtual std::vector<QWidget*> SelectorGroups() const { return {}; }
  virtual int ShownGroup() const { return 0; }
  virtual void ShowGroup(int /*g*/) {}

 protected:
  // The group area keeps at least the room of what it shows now and of each group the selector
  // offers, so the parameter column stands in one place whichever group and head type is shown.
  // Pages call it with the texts of each head type.
  void ReserveGroupRoom();
  // A button in a row that sends menu command `command` when clicked.
  QPushButton* ForwardingButton(int id, const char* text, int command);

 private:
  void BuildCameraInfo();

  int index_;
  live::ImageArea* imageArea_;
  QLabel* frameRate_;
  QComboBox* zoomList_;
  QComboBox* groupSelector_;
  QGroupBox* cameraInfo_ = nullptr;
  QWidget* groupArea_;
  QHBoxLayout* topRow_;
  QHBoxLayout* bottomRow_;
  std::map<int, QLabel*> cameraInfoValues_;
  WidgetMap widgets_;
};

}  // namespace picture
