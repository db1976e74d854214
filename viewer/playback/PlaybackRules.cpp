// Texts, placement and event rules of media playback.
#include "viewer/playback/PlaybackRules.h"

#include <QStringList>

#include "viewer/live/core/image/Render.h"

namespace playback {
namespace {

// The live picture's boundary ring for the two image sides a head delivers.
int BoundaryOffset(int side) {
  return side == 200 ? 1 : side == 400 ? 2 : 0;
}

}  // namespace

int MediaKindOfPath(const QString& path) {
  return path.contains(QLatin1String(".bmp")) || path.contains(QLatin1String(".BMP")) ? kBmpStill
                                                                                      : kVideo;
}

VideoRect PlaceVideoRect(int width, int height, int zoomIndex) {
  const int z = live::ZoomFactor(zoomIndex);
  return {BoundaryOffset(width) * z, BoundaryOffset(height) * z, width * z, height * z};
}

QString FileLabelText(const QString& title, int width, int height) {
  return QStringLiteral("%1 [%2x%3]").arg(title).arg(width).arg(height);
}

QString PositionText(int state, double positionSeconds, double durationSeconds) {
  const char* format = state == kPaused ? "PAUSE [%d / %dsec]" : "PLAY [%d / %dsec]";
  return QString::asprintf(format, int(positionSeconds), int(durationSeconds));
}

QString LiveText(bool recording) {
  return recording ? QStringLiteral("LIVE (REC)") : QStringLiteral("LIVE");
}

QString QtNameFilter(const QString& description, const QString& patterns) {
  const QString group = QLatin1Char('(') +
                        QString(patterns).replace(QLatin1Char(';'), QLatin1Char(' ')).simplified() +
                        QLatin1Char(')');
  return description.endsWith(group) ? description : description + QLatin1Char(' ') + group;
}

QString MediaFileFilter() {
  struct Filter {
    const char* description;
    const char* patterns;
  };
  static constexpr Filter kFilters[] = {
      {"\t\t\t\t\t\t Media File (*.avi, *.bmp)", "*.avi; *.bmp"},
      {"\t\t\t\t\t\t AVI File (*.avi)", "*.avi"},
      {"\t\t\t\t\t\t BMP File (*.bmp)", "*.bmp"},
  };
  QStringList filters;
  for (const Filter& f : kFilters) {
    filters << QtNameFilter(QString::fromLatin1(f.description), QString::fromLatin1(f.patterns));
  }
  return filters.join(QStringLiteral(";;"));
}

EventAction ActionForEvent(long code) {
  switch (code) {
    case 0:
      return {"Time Out", base::PromptIcon::Error, false};
    case kEventComplete:
      return {"Reached End of File", base::PromptIcon::Information, true};
    case kEventErrorAbort:
      return {"Error Abort", base::PromptIcon::Error, false};
    default:
      return {nullptr, base::PromptIcon::Information, false};
  }
}

}  // namespace playback
