// Numeric identifiers of the viewer's shared controls and menu commands (each widget's objectName).
#pragma once

namespace base {

// Main window.
constexpr int kIdTabControl = 1001;

// Shared by both pages.
constexpr int kIdImageArea = 1002;
constexpr int kIdFrameRateText = 1003;
constexpr int kIdZoomList = 5001;
constexpr int kIdGroupSelector = 9203;
constexpr int kIdCameraInfoBox = 9607;
constexpr int kIdCameraInfoSeparator = 9308;
constexpr int kIdFirmwareVersion = 9107;
constexpr int kIdFpgaVersion = 9108;
// Camera Info value fields in the order they are emptied.
constexpr int kCameraInfoValueIds[] = {9112, 9101, 9102, 9103, 9104, 9105,
                                       9106, 9109, 9110, 9111, 9107, 9108};

// Picture page controls of media playback.
constexpr int kIdFileLabel = 1004;
constexpr int kIdVideoWindow = 9201;
constexpr int kIdPlaybackStatus = 9202;
constexpr int kIdPausePlayButton = 9601;
constexpr int kIdPlayStopButton = 9602;

// Menu 105.
constexpr int kCmdVersion = 40001;
constexpr int kCmdExit = 40002;
constexpr int kCmdDebug = 40003;
constexpr int kCmdBoundaryPixels = 40004;
constexpr int kCmdOpenMedia = 40005;
constexpr int kCmdPausePlay = 40006;
constexpr int kCmdPlayStop = 40007;
constexpr int kCmdVideoCapture = 40008;
constexpr int kCmdStillCapture = 40009;
constexpr int kCmdSaveCsv = 40010;
constexpr int kCmdLoadSettings = 40011;
constexpr int kCmdSaveSettings = 40012;
constexpr int kCmdEepromLoad = 40013;
constexpr int kCmdEepromSave = 40014;
constexpr int kCmdEepromClear = 40015;
constexpr int kCmdEepromLoadDefault = 40016;
constexpr int kCmdEepromSaveDefault = 40017;
constexpr int kCmdEepromClearDefault = 40018;

// Pages, in creation order.
constexpr int kPicturePage = 0;
constexpr int kCalibrationPage = 1;
constexpr int kPageCount = 2;
constexpr int kNoPage = -1;

}  // namespace base
