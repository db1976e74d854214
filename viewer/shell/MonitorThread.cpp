// The monitor thread and the page updates it drives on connection and head-type changes.
#include "viewer/shell/MonitorThread.h"

#include <QString>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "QEL_API.h"
#include "viewer/base/GuiCall.h"
#include "viewer/base/Hooks.h"
#include "viewer/base/ViewState.h"
#include "viewer/picture/LivePage.h"
#include "viewer/picture/PageContext.h"

namespace shell {
namespace {

constexpr int kCycleMs = 100;
constexpr int kSleepStepMs = 10;

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

bool MonitorThread::PagesReady() const {
  const base::ViewState& v = context_.view;
  return v.mainReady.load() && v.pictureReady.load() && v.calibrationReady.load();
}

void MonitorThread::Body() {
  context_.hooks.refresh->ResetCameraInfoCache();
  bool firstPassDone = false;
  int previousStatus = 0;
  while (KeepRunning()) {
    if (!PagesReady()) {
      Sleep(1);
      continue;
    }
    Cycle(firstPassDone, previousStatus);
    ++cycles_;
    for (int slept = 0; slept < kCycleMs && KeepRunning(); slept += kSleepStepMs) {
      Sleep(kSleepStepMs);
    }
  }
}

void MonitorThread::Cycle(bool& firstPassDone, int& previousStatus) {
  base::ViewState& view = context_.view;
  const base::Hooks& hooks = context_.hooks;

  int status = 0;
  QEL_GetStatus(&status);

  int type = 0;
  if (QEL_Get_CIS_Type(&type) == 0) {
    type = type == 0 ? 0 : 1;
    {
      std::lock_guard<std::mutex> lock(view.viewGuard);
      // A 160K head offers only 100 % and 200 %.
      if (view.cisType.load() == 1 && view.zoomIndex.load() > 1) view.zoomIndex = 1;
      view.cisType = type;
    }
    if (type != view.lastCisType.load()) {
      view.typeSwitching = 1;
      {
        std::lock_guard<std::mutex> lock(view.viewGuard);
        view.zoomIndex = view.savedZoom[base::ZoomSlot(type)].load();
      }
      if (hooks.playback->Active()) base::SendToGui([&hooks] { hooks.playback->PlaceVideo(); });
      view.lastCisType = type;
      base::SendToGui([this] { ReconfigureForType(); });
      hooks.refresh->FullRefreshForNewHeadType();
      if (hooks.recording->Recording()) {
        base::SendToGui([&hooks] { hooks.recording->StopAndResetControls(); });
      }
      view.typeSwitching = 0;
    }
  }

  // The box is emptied on the GUI thread; the refresh forgets what it showed there, or a head
  // that comes back unchanged would leave its fields empty.
  auto clearCameraInfo = [this, &hooks] {
    base::SendToGui([this] { ClearCameraInfo(); });
    hooks.refresh->CameraInfoCleared();
  };
  if (!firstPassDone) {
    clearCameraInfo();
    firstPassDone = true;
  }

  const bool before = (previousStatus & 1) != 0;
  const bool now = (status & 1) != 0;
  if (!before && now) {
    clearCameraInfo();
    hooks.refresh->CameraInfoRefresh();
    ShowVersions();
    hooks.refresh->FullRefresh();
  } else if (before && !now) {
    clearCameraInfo();
    context_.live.PaintNoSignal();
  } else if (before && now) {
    hooks.refresh->CameraInfoRefresh();
    hooks.refresh->ChangeRefresh();
    int flag = 0;
    if (QEL_Get_CIS_LimitFlag(&flag) == 0) view.limitReached = flag;
  }
  previousStatus = status;
}

void MonitorThread::ReconfigureForType() {
  if (picture::LivePage* picture = context_.Page(base::kPicturePage)) picture->FollowHeadType();
  if (picture::LivePage* calibration = context_.Page(base::kCalibrationPage)) {
    calibration->FollowHeadType();
  }
  base::ViewState& view = context_.view;
  std::lock_guard<std::mutex> lock(view.viewGuard);
  for (int page = 0; page < base::kPageCount; ++page) {
    if (picture::LivePage* p = context_.Page(page)) p->SelectZoom(view.zoomIndex.load());
  }
}

void MonitorThread::ClearCameraInfo() {
  if (QWidget* window = context_.Window()) window->setWindowTitle(QStringLiteral("QEL_Viewer"));
  for (int page = 0; page < base::kPageCount; ++page) {
    if (picture::LivePage* p = context_.Page(page)) p->ClearCameraInfo();
  }
}

void MonitorThread::ShowVersions() {
  unsigned char info[64] = {};
  QEL_GetDevInfo(sizeof info, info);
  int fpga = 0;
  QEL_Get_FPGA_Ver(&fpga);
  const QString firmware = QString::asprintf("%d.%d", info[2], info[3]);
  const QString fpgaText = QString::asprintf("%d.%d", (fpga >> 4) & 0xF, fpga & 0xF);
  base::SendToGui([this, firmware, fpgaText] {
    for (int page = 0; page < base::kPageCount; ++page) {
      if (picture::LivePage* p = context_.Page(page)) {
        p->SetCameraInfo(base::kIdFirmwareVersion, firmware);
        p->SetCameraInfo(base::kIdFpgaVersion, fpgaText);
      }
    }
  });
}

}  // namespace shell
