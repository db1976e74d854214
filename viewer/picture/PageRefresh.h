// Device values onto the pages: the full, change and Camera Info refreshes. The unit is read on
// the calling thread (the monitor); the page updates of one refresh go to the GUI thread as one
// batch.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "viewer/base/Hooks.h"
#include "viewer/picture/core/PageView.h"

namespace picture {

// Runs a batch of page updates on the GUI thread and returns once it has run: base::SendToGui
// in the program, a direct call in tests.
using Deliver = std::function<void(std::function<void()>)>;
// The page operations, looked up on the GUI thread when a batch runs; null while no page exists.
using ViewSource = std::function<PageView*()>;

// One page operation, recorded on the reading thread and replayed on the GUI thread.
struct PageUpdate {
  enum class Op : uint8_t {
    kSlider,             // SetSlider(index, value)
    kList,               // SelectListFromDevice(index, value)
    kEnabling,           // EnablingUpdate()
    kCameraInfo,         // SetCameraInfo(index, text)
    kCameraInfoRows,     // SetCameraInfoRowsEnabled(value)
    kTitle,              // SetWindowTitle(text)
    kSerialControls,     // SetSerialControlsEnabled(value)
    kCisEepromControls,  // SetCisEepromControlsEnabled(value)
    kForcedListRefresh,  // SetForcedListRefresh(value)
  };
  Op op;
  int index = 0;
  int value = 0;
  std::string text;
};
using PageUpdates = std::vector<PageUpdate>;
void Apply(const PageUpdates& updates, PageView& view);

// Camera Info value ids in the order of the refresh's ten texts.
constexpr std::array<int, 10> kCameraInfoTextIds = {9101, 9102, 9103, 9104, 9105,
                                                    9106, 9109, 9110, 9111, 9112};

// State kept between refreshes (Camera Info texts shown, CIS EEPROM state, enabling flags) is
// touched only by the thread that runs CameraInfoRefresh and ResetCameraInfoCache, the monitor;
// the page's own state (slider values, list positions) only by the GUI thread, inside the view.
// FullRefresh keeps no state and may run on any thread.
class PageRefresh : public base::RefreshHooks {
 public:
  // cisType is the head type the monitor follows (0 40K, 1 160K); it names the Camera Info type
  // text and the window title.
  PageRefresh(ViewSource view, Deliver deliver, const std::atomic<int>& cisType);

  // Monitor start, with new pages: every text, flag and state as at construction.
  void ResetCameraInfoCache() override;
  // The box shows no texts and the title none of its own; the next refresh writes them all.
  void CameraInfoCleared() override;
  void CameraInfoRefresh() override;
  void ChangeRefresh() override;
  void FullRefresh() override;
  // The same reads, shown with the forced list refresh set, in the same batch.
  void FullRefreshForNewHeadType() override;
  bool FullRefreshShown() const override { return fullRefreshShown_.load(); }

 private:
  struct HeadRecords;

  void AppendFullRefresh(PageUpdates& updates) const;
  static HeadRecords ReadHeadRecords();
  // Hands the batch to the GUI thread; an empty batch costs nothing.
  void Show(PageUpdates updates, bool fullRefresh);

  ViewSource view_;
  Deliver deliver_;
  const std::atomic<int>& cisType_;
  std::atomic<bool> fullRefreshShown_{false};

  // Monitor thread only. What the pages show, as far as these refreshes last wrote it; empty or
  // unset means not known, so the next refresh writes it.
  std::array<std::string, kCameraInfoTextIds.size()> shownTexts_;
  std::string shownTitle_;
  std::optional<bool> rowsEnabled_;
  int lastCisEepromState_ = 0;
  bool serialControlsEnabled_ = true;
  bool cisEepromControlsEnabled_ = true;
};

}  // namespace picture
