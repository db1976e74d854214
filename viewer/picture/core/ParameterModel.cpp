// The mirror rules between the pages, applied as the pages and the refreshes write.
#include "viewer/picture/core/ParameterModel.h"

#include <utility>

namespace picture {

ParameterModel::ParameterModel() {
  for (int i = 0; i < kSliderCount; ++i) sliders_[i] = kSliders[i].defaultValue;
}

int ParameterModel::Subscribe(Side side, Observer observer) {
  observers_.push_back({nextToken_, side, std::move(observer)});
  return nextToken_++;
}

void ParameterModel::Unsubscribe(int token) {
  std::erase_if(observers_, [token](const Subscription& s) { return s.token == token; });
}

void ParameterModel::Notify(Side side, const ParameterNotice& notice) const {
  for (const Subscription& s : observers_) {
    if (s.side == side && s.observer) s.observer(notice);
  }
}

void ParameterModel::NotifyBoth(const ParameterNotice& notice) const {
  for (const Subscription& s : observers_) {
    if (s.observer) s.observer(notice);
  }
}

void ParameterModel::WritePictureSlider(int i, int v, Origin origin) {
  if (i < 0 || i >= kSliderCount) return;
  sliders_[i] = v;
  const SliderMirror* mirror = MirrorOfSlider(i);
  if (mirror && (origin == Origin::kUnit || !mirror->cameraInfoOnly)) {
    Notify(Side::kCalibration, {ParameterNotice::Kind::kSlider, mirror->calibration, v});
  }
}

void ParameterModel::WritePictureList(int j, int position, Origin origin) {
  if (j < 0 || j >= kListCount) return;
  lists_[j] = position;
  const ListMirror* mirror = MirrorOfList(j);
  if (mirror && (origin == Origin::kUnit || mirror->onChoice)) {
    const int shown = mirror->onOff && position > 0 ? 1 : position;
    Notify(Side::kCalibration, {ParameterNotice::Kind::kList, mirror->calibration, shown});
  }
}

void ParameterModel::WriteCalibrationTrackbar(int k, int v) {
  for (const SliderMirror& m : kSliderMirrors) {
    if (m.calibration != k || m.cameraInfoOnly) continue;
    sliders_[m.picture] = v;
    Notify(Side::kPicture, {ParameterNotice::Kind::kSlider, m.picture, v});
  }
}

void ParameterModel::WriteCalibrationCombo(int k, int position) {
  for (const ListMirror& m : kListMirrors) {
    if (m.calibration != k || !m.onChoice) continue;
    lists_[m.picture] = position;
    Notify(Side::kPicture, {ParameterNotice::Kind::kList, m.picture, position});
  }
}

void ParameterModel::WriteEnabling(const picture::Enabling& enabling) {
  enabling_ = enabling;
  Notify(Side::kCalibration, {ParameterNotice::Kind::kEnabling});
}

void ParameterModel::WriteCameraInfo(int valueId, const std::string& text) {
  cameraInfo_[valueId] = text;
  NotifyBoth({ParameterNotice::Kind::kCameraInfo, valueId});
}

std::string ParameterModel::CameraInfo(int valueId) const {
  const auto it = cameraInfo_.find(valueId);
  return it != cameraInfo_.end() ? it->second : std::string();
}

void ParameterModel::WriteCameraInfoRows(bool enabled) {
  cameraInfoRows_ = enabled;
  NotifyBoth({ParameterNotice::Kind::kCameraInfoRows, -1, enabled ? 1 : 0});
}

void ParameterModel::WriteCisEepromControls(bool enabled) {
  cisEepromControls_ = enabled;
  NotifyBoth({ParameterNotice::Kind::kCisEepromControls, -1, enabled ? 1 : 0});
}

void ParameterModel::ResetCalibrationDefaults(bool all) {
  Notify(Side::kCalibration, {ParameterNotice::Kind::kCalibrationDefaults, -1, all ? 1 : 0});
}

}  // namespace picture
