// What both tab pages share: the live image area, the frame-rate text, the zoom list, the Camera
// Info box and the area the parameter groups go into; plus the page messages of the main window.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <map>

class QComboBox;
class QGroupBox;
class QLabel;

namespace shell {

class ImageArea;

// Positions on the page (pixels from its top-left corner).
constexpr int kImageAreaX = 8;
constexpr int kImageAreaY = 36;
constexpr int kCameraInfoX = 830;
constexpr int kCameraInfoY = 15;
constexpr int kGroupAreaX = 830;
constexpr int kGroupAreaY = 260;

// The zoom choices of a head type: "100%", "200%" and "400%" for 40K, "100%" and "200%" for 160K.
QStringList ZoomEntries(int cisType);

class LivePage : public QWidget {
 public:
  LivePage(int index, QWidget* parent);

  int Index() const { return index_; }
  ImageArea* Image() const { return imageArea_; }
  QLabel* FrameRateText() const { return frameRate_; }
  QComboBox* ZoomList() const { return zoomList_; }

  // Where the parameter groups are placed: a plain container from (830, 260), or below the
  // Camera Info box when a large font made it taller, to the page's lower-right corner; children
  // are positioned in its coordinates.
  QWidget* GroupArea() const { return groupArea_; }

  // The size that shows everything placed on the page and its bottom button row.
  QSize minimumSizeHint() const override;

  // Refills the zoom list for a head type and selects its first entry, without notifying.
  void FillZoomList(int cisType);
  // Selects a zoom entry without notifying.
  void SelectZoom(int index);

  void SetCameraInfo(int valueId, const QString& text);
  QString CameraInfo(int valueId) const;
  void ClearCameraInfo();

  // Called with the entry the operator confirmed in the zoom list.
  std::function<void(int)> zoomChosen;

  // The page became the visible tab page: it becomes displayTarget and sets the raw view.
  virtual void Activate() = 0;
  // The page was hidden.
  virtual void Deactivate() {}
  // Playback starts and ends over the live image.
  virtual void HideLive() {}
  virtual void ShowLive() {}
  // The head type changed (cisType holds the new one): type-dependent lists and texts.
  virtual void FollowHeadType() = 0;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildCameraInfo();

  int index_;
  ImageArea* imageArea_;
  QLabel* frameRate_;
  QComboBox* zoomList_;
  QGroupBox* cameraInfo_ = nullptr;
  QWidget* groupArea_;
  std::map<int, QLabel*> cameraInfoValues_;
};

}  // namespace shell
