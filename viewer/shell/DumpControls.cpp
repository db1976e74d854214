// Walks the widget tree and describes every control that carries a numeric id.
#include "viewer/shell/DumpControls.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QBuffer>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QWidget>
#include <cerrno>
#include <optional>

namespace shell {
namespace {

using nlohmann::json;

constexpr int kMainWindowId = 101;
constexpr int kPictureTemplateId = 102;
constexpr int kCalibrationTemplateId = 103;

// The number an objectName spells, or nothing for any other name.
std::optional<int> NumericId(const QWidget& w) {
  const QString name = w.objectName();
  if (name.isEmpty() || name.size() > 9) return std::nullopt;
  for (const QChar c : name) {
    if (!c.isDigit() || c.unicode() > '9') return std::nullopt;
  }
  return name.toInt();
}

bool IsPageId(int id) {
  return id == kMainWindowId || id == kPictureTemplateId || id == kCalibrationTemplateId;
}

// The nearest ancestor that is the main window or a page, with its id.
const QWidget* PageOf(const QWidget& w, const QWidget& mainWindow, int* pageId) {
  for (const QWidget* p = w.parentWidget(); p != nullptr; p = p->parentWidget()) {
    const std::optional<int> id = NumericId(*p);
    if (id && IsPageId(*id)) {
      *pageId = *id;
      return p;
    }
    if (p == &mainWindow) break;
  }
  *pageId = kMainWindowId;
  return &mainWindow;
}

json TextsOf(const QStringList& texts) {
  json items = json::array();
  for (const QString& t : texts) items.push_back(t.toStdString());
  return items;
}

void AddContent(const QWidget& w, json& entry) {
  if (const auto* label = qobject_cast<const QLabel*>(&w)) {
    entry["text"] = label->text().toStdString();
  } else if (const auto* button = qobject_cast<const QAbstractButton*>(&w)) {
    entry["text"] = button->text().toStdString();
    if (button->isCheckable()) entry["value"] = button->isChecked() ? 1 : 0;
  } else if (const auto* combo = qobject_cast<const QComboBox*>(&w)) {
    entry["text"] = combo->currentText().toStdString();
    entry["index"] = combo->currentIndex();
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    entry["items"] = TextsOf(items);
  } else if (const auto* edit = qobject_cast<const QLineEdit*>(&w)) {
    entry["text"] = edit->text().toStdString();
  } else if (const auto* plain = qobject_cast<const QPlainTextEdit*>(&w)) {
    entry["text"] = plain->toPlainText().toStdString();
  } else if (const auto* rich = qobject_cast<const QTextEdit*>(&w)) {
    entry["text"] = rich->toPlainText().toStdString();
  } else if (const auto* group = qobject_cast<const QGroupBox*>(&w)) {
    entry["text"] = group->title().toStdString();
  } else if (const auto* slider = qobject_cast<const QAbstractSlider*>(&w)) {
    entry["value"] = slider->value();
    entry["min"] = slider->minimum();
    entry["max"] = slider->maximum();
  } else if (const auto* spin = qobject_cast<const QSpinBox*>(&w)) {
    entry["value"] = spin->value();
    entry["min"] = spin->minimum();
    entry["max"] = spin->maximum();
  } else if (const auto* tabs = qobject_cast<const QTabWidget*>(&w)) {
    entry["index"] = tabs->currentIndex();
    QStringList items;
    for (int i = 0; i < tabs->count(); ++i) items << tabs->tabText(i);
    entry["items"] = TextsOf(items);
  }
}

}  // namespace

json ControlsJson(const QWidget& mainWindow) {
  json out = json::array();
  for (const QWidget* w : mainWindow.findChildren<QWidget*>()) {
    const std::optional<int> id = NumericId(*w);
    if (!id) continue;
    int pageId = kMainWindowId;
    const QWidget* page = PageOf(*w, mainWindow, &pageId);
    const QRect onPage(w->mapTo(page, QPoint(0, 0)), w->size());
    json entry = {
        {"page", pageId},
        {"id", *id},
        {"class", w->metaObject()->className()},
        {"enabled", w->isEnabled()},
        {"visible", w->isVisibleTo(page) && onPage.intersects(page->rect())},
    };
    AddContent(*w, entry);
    out.push_back(std::move(entry));
  }
  return out;
}

files::Result DumpControls(const QWidget& mainWindow, const QString& path) {
  return files::WriteWholeFile(QFile::encodeName(path).toStdString(),
                               ControlsJson(mainWindow).dump(2) + '\n');
}

files::Result SaveScreenshot(QWidget& window, const QString& path) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!window.grab().save(&buffer, "PNG")) return {EIO};
  return files::WriteWholeFile(QFile::encodeName(path).toStdString(),
                               std::string_view(png.constData(), size_t(png.size())));
}

}  // namespace shell
