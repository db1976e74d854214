// The rules of media playback that need no widget: states, texts, the video placement over the
// image area, the file dialog's filters and what each player event does.
#pragma once

#include <QString>

#include "viewer/base/Operator.h"

namespace playback {

enum PlaybackState { kIdle = 0, kPlaying = 1, kPaused = 2 };
enum MediaKind { kNoMedia = 0, kBmpStill = 1, kVideo = 2 };

// 1 when the path contains ".bmp" or ".BMP" (exactly these cases), else 2.
int MediaKindOfPath(const QString& path);

struct VideoRect {
  int x;
  int y;
  int width;
  int height;
  bool operator==(const VideoRect&) const = default;
};

// The picture's place inside the image area: a 200 or 400 pixel side skips the live picture's
// boundary ring (1 or 2 pixels), any other size starts at the corner; all scaled by the zoom.
VideoRect PlaceVideoRect(int width, int height, int zoomIndex);

// "%s [%dx%d]" with the file title and the picture size.
QString FileLabelText(const QString& title, int width, int height);
// "PLAY [%d / %dsec]" or "PAUSE [%d / %dsec]", both times truncated toward zero.
QString PositionText(int state, double positionSeconds, double durationSeconds);
// The status label once playback has ended.
QString LiveText(bool recording);

// A Windows filter pair as one Qt name filter: the description, followed by the patterns in the
// form Qt reads unless the description already ends with them.
QString QtNameFilter(const QString& description, const QString& patterns);
// The open dialog's three filters, joined with ";;".
QString MediaFileFilter();

// Events the player reports to the main window, by their codes.
constexpr long kEventComplete = 1;
constexpr long kEventUserAbort = 2;
constexpr long kEventErrorAbort = 3;

struct EventAction {
  const char* text;  // null: nothing is shown
  base::PromptIcon icon;
  bool stop;  // playback stops after the message
};
EventAction ActionForEvent(long code);

}  // namespace playback
