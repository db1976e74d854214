// The monitor thread and the page updates it drives on connection and head-type changes.
#include "viewer/shell/MonitorThread.h"

#include <QString>
#include <chrono>
#include <cstdio>
#include <mutex>

#include "QEL_API.h"
#include "viewer/shell/GuiCall.h"
#include "viewer/shell/Hooks.h"
#include "viewer/shell/LivePage.h"
#include "viewer/shell/MainWindow.h"
#include "viewer/shell/Shell.h"
#include "viewer/shell/ViewState.h"

namespace shell {
namespace {

constexpr int kCycleMs = 100;
constexpr int kSleepStepMs = 10;

void Sleep(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool PagesReady() {
  const ViewState& v = View();
  return v.mainReady.load() && v.pictureReady.load() && v.calibrationReady.load();
}

}  // namespace

void MonitorThread::Body() {
  InstalledHooks().refresh->ResetCameraInfoCache();
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
  ViewState& view = View();
  const Hooks& hooks = InstalledHooks();

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
        view.zoomIndex = view.savedZoom[ZoomSlot(type)].load();
      }
      if (hooks.playback->Active()) SendToGui([&hooks] { hooks.playback->PlaceVideo(); });
      view.lastCisType = type;
      SendToGui([] { ReconfigureForType(); });
      hooks.refresh->FullRefreshForNewHeadType();
      if (hooks.recording->Recording()) {
        SendToGui([&hooks] { hooks.recording->StopAndResetControls(); });
      }
      view.typeSwitching = 0;
    }
  }

  // The box is emptied on the GUI thread; the refresh forgets what it showed there, or a head
  // that comes back unchanged would leave its fields empty.
  auto clearCameraInfo = [&hooks] {
    SendToGui([] { ClearCameraInfo(); });
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
    PaintNoSignal();
  } else if (before && now) {
    hooks.refresh->CameraInfoRefresh();
    hooks.refresh->ChangeRefresh();
    int flag = 0;
    if (QEL_Get_CIS_LimitFlag(&flag) == 0) view.limitReached = flag;
  }
  previousStatus = status;
}

void ReconfigureForType() {
  Shell& shell = TheShell();
  if (LivePage* picture = shell.pages[kPicturePage]) picture->FollowHeadType();
  if (LivePage* calibration = shell.pages[kCalibrationPage]) calibration->FollowHeadType();
  ViewState& view = View();
  std::lock_guard<std::mutex> lock(view.viewGuard);
  for (int page = 0; page < kPageCount; ++page) {
    if (LivePage* p = shell.pages[page]) p->SelectZoom(view.zoomIndex.load());
  }
}

void ClearCameraInfo() {
  Shell& shell = TheShell();
  if (shell.mainWindow) shell.mainWindow->setWindowTitle(QStringLiteral("QEL_Viewer"));
  for (int page = 0; page < kPageCount; ++page) {
    if (LivePage* p = shell.pages[page]) p->ClearCameraInfo();
  }
}

void ShowVersions() {
  unsigned char info[64] = {};
  QEL_GetDevInfo(sizeof info, info);
  int fpga = 0;
  QEL_Get_FPGA_Ver(&fpga);
  const QString firmware = QString::asprintf("%d.%d", info[2], info[3]);
  const QString fpgaText = QString::asprintf("%d.%d", (fpga >> 4) & 0xF, fpga & 0xF);
  SendToGui([firmware, fpgaText] {
    Shell& shell = TheShell();
    for (int page = 0; page < kPageCount; ++page) {
      if (LivePage* p = shell.pages[page]) {
        p->SetCameraInfo(kIdFirmwareVersion, firmware);
        p->SetCameraInfo(kIdFpgaVersion, fpgaText);
      }
    }
  });
}

}  // namespace shell
