// Walks the widget tree and describes every control that carries a numeric id.
#include "viewer/shell/DumpControls.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOption>
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

json Describe(const QWidget& w, int id, const QWidget& mainWindow) {
  int pageId = kMainWindowId;
  const QWidget* page = PageOf(w, mainWindow, &pageId);
  const QRect onPage(w.mapTo(page, QPoint(0, 0)), w.size());
  const bool visible = w.isVisibleTo(page) && onPage.intersects(page->rect());
  const QSize room = TextRoom(w);
  const QPoint at = w.mapTo(&mainWindow, QPoint(0, 0));
  json entry = {
      {"page", pageId},
      {"id", id},
      {"class", w.metaObject()->className()},
      {"enabled", w.isEnabled()},
      {"visible", visible},
      {"x", at.x()},
      {"y", at.y()},
      {"width", visible ? w.width() : 0},
      {"height", visible ? w.height() : 0},
      {"fits", !visible || (room.width() <= w.width() && room.height() <= w.height())},
  };
  AddContent(w, entry);
  return entry;
}

}  // namespace

QSize TextRoom(const QWidget& w) {
  const QFontMetrics fm = w.fontMetrics();
  QStyle* style = w.style();
  if (const auto* label = qobject_cast<const QLabel*>(&w)) {
    if (label->text().isEmpty() || label->wordWrap()) return {};
    return label->sizeHint();
  }
  if (qobject_cast<const QCheckBox*>(&w) || qobject_cast<const QRadioButton*>(&w)) {
    return w.sizeHint();
  }
  if (const auto* button = qobject_cast<const QPushButton*>(&w)) {
    if (button->text().isEmpty()) return {};
    // The style's own minimum button width is no room the text needs.
    const QSize text = fm.size(Qt::TextShowMnemonic, button->text());
    const int margin = style->pixelMetric(QStyle::PM_ButtonMargin) +
                       2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return {text.width() + margin, text.height()};
  }
  if (const auto* combo = qobject_cast<const QComboBox*>(&w)) {
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i) {
      // Measured as the list measures its own entries.
      widest = std::max(widest, fm.boundingRect(combo->itemText(i)).width());
    }
    if (widest == 0) return {};
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    return style->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest, fm.height() + 2),
                                   combo);
  }
  if (const auto* group = qobject_cast<const QGroupBox*>(&w)) {
    // The title and the rows inside.
    return group->minimumSizeHint();
  }
  if (const auto* edit = qobject_cast<const QLineEdit*>(&w)) {
    if (edit->text().isEmpty()) return {};
    const QMargins margins = edit->textMargins();
    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return {fm.horizontalAdvance(edit->text()) + margins.left() + margins.right() + 2 * frame + 4,
            fm.height()};
  }
  return {};
}

json ControlsJson(const QWidget& mainWindow, std::span<const DumpView> views) {
  json out = json::array();
  // Entries by widget, so a view replaces the description of the controls it shows.
  std::vector<std::pair<const QWidget*, int>> controls;
  for (const QWidget* w : mainWindow.findChildren<QWidget*>()) {
    if (const std::optional<int> id = NumericId(*w)) controls.emplace_back(w, *id);
  }
  std::vector<json> entries;
  for (const auto& [w, id] : controls) entries.push_back(Describe(*w, id, mainWindow));
  for (const DumpView& view : views) {
    if (view.enter) view.enter();
    // Layouts of what the view shows run now.
    QCoreApplication::sendPostedEvents();
    for (size_t i = 0; i < controls.size(); ++i) {
      const QWidget* w = controls[i].first;
      if (view.scope != nullptr && (w == view.scope || view.scope->isAncestorOf(w))) {
        entries[i] = Describe(*w, controls[i].second, mainWindow);
      }
    }
  }
  for (json& entry : entries) out.push_back(std::move(entry));
  return out;
}

files::Result DumpControls(const QWidget& mainWindow, const QString& path,
                           std::span<const DumpView> views) {
  return files::WriteWholeFile(QFile::encodeName(path).toStdString(),
                               ControlsJson(mainWindow, views).dump(2) + '\n');
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
