// The parameter groups of the pages, laid out by Qt from the item tables.
#include "viewer/picture/GroupBuilder.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <map>

namespace picture {
namespace {

using picture::GroupItem;
using picture::ItemKind;

// Table offsets inside a group: labels near 15, controls and first buttons 130..140, second
// buttons and value texts from 200 on.
int ColumnOf(int x) {
  if (x < 100) return 0;
  if (x < 200) return 1;
  return 2;
}

constexpr int kColumns = 3;
constexpr int kSliderMinimumWidth = 110;
constexpr int kValueMinimumWidth = 60;

template <typename T>
T* Named(T* widget, int id, WidgetMap& widgets) {
  widget->setObjectName(QString::number(id));
  widgets[id] = widget;
  return widget;
}

QLabel* Label(const QString& text, int id, WidgetMap& widgets, QWidget* parent) {
  auto* label = Named(new QLabel(text, parent), id, widgets);
  label->setTextFormat(Qt::PlainText);
  return label;
}

void SetRow(const WidgetMap& widgets, std::initializer_list<int> ids, bool enabled, bool show) {
  for (int id : ids) {
    const auto it = widgets.find(id);
    if (it == widgets.end()) continue;
    if (show) {
      it->second->setVisible(enabled);
    } else {
      it->second->setEnabled(enabled);
    }
  }
}

}  // namespace

QString LabelText(const char* text) {
  return QString::fromLatin1(text).replace(QStringLiteral("&&"), QStringLiteral("&"));
}

QStringList TextList(picture::Texts texts) {
  QStringList out;
  for (const char* text : texts) out << QString::fromLatin1(text);
  return out;
}

QGroupBox* BuildGroup(int id, const QString& title, std::span<const GroupItem> items,
                      const GroupSpec& spec, WidgetMap& widgets, QWidget* parent) {
  auto* box = Named(new QGroupBox(title, parent), id, widgets);
  auto* grid = new QGridLayout(box);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(3);
  grid->setColumnStretch(1, 1);

  // Rows by height in the table, items of a row by column.
  std::map<int, std::vector<const GroupItem*>> rows;
  for (const GroupItem& item : items) rows[item.y].push_back(&item);

  std::vector<QPushButton*> buttons;
  int line = 0;
  for (const auto& [y, row] : rows) {
    (void)y;
    // A text stretches over the columns the row leaves free after it.
    std::vector<int> taken;
    for (const GroupItem* item : row) {
      if (item->kind != ItemKind::kStatic) taken.push_back(ColumnOf(item->x));
    }
    for (const GroupItem* item : row) {
      const int column = ColumnOf(item->x);
      switch (item->kind) {
        case ItemKind::kSlider: {
          const int i = item->index;
          grid->addWidget(Label(spec.sliderLabel(i), picture::SliderLabelId(i), widgets, box), line,
                          0);
          auto* slider = Named(new QSlider(Qt::Horizontal, box), item->id, widgets);
          slider->setTickPosition(QSlider::NoTicks);
          slider->setSingleStep(1);
          slider->setMinimumWidth(kSliderMinimumWidth);
          grid->addWidget(slider, line, 1);
          auto* value = Label(QString(), picture::SliderValueId(i), widgets, box);
          value->setMinimumWidth(kValueMinimumWidth);
          grid->addWidget(value, line, 2);
          break;
        }
        case ItemKind::kList: {
          const int j = item->index;
          grid->addWidget(Label(spec.listLabel(j), picture::ListLabelId(j), widgets, box), line, 0);
          auto* list = Named(new QComboBox(box), item->id, widgets);
          list->addItems(spec.listTexts(j));
          list->setFocusPolicy(Qt::StrongFocus);
          list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
          grid->addWidget(list, line, 1);
          break;
        }
        case ItemKind::kStatic: {
          int span = 1;
          while (column + span < kColumns &&
                 std::find(taken.begin(), taken.end(), column + span) == taken.end()) {
            ++span;
          }
          grid->addWidget(Label(LabelText(item->text), item->id, widgets, box), line, column, 1,
                          span);
          break;
        }
        case ItemKind::kButton: {
          const QString text = QString::fromLatin1(item->text);
          QWidget* button = spec.makeButton ? spec.makeButton(item->id, text) : nullptr;
          if (!button) button = new QPushButton(text);
          button->setParent(box);
          if (auto* push = qobject_cast<QPushButton*>(button)) buttons.push_back(push);
          grid->addWidget(Named(button, item->id, widgets), line, column);
          break;
        }
        case ItemKind::kEdit: {
          QWidget* edit = spec.makeEdit ? spec.makeEdit(item->id) : nullptr;
          if (!edit) edit = new QLineEdit;
          edit->setParent(box);
          grid->addWidget(Named(edit, item->id, widgets), line, column, 1, kColumns - column);
          break;
        }
        case ItemKind::kSeparator: {
          auto* line_ = Named(new QFrame(box), item->id, widgets);
          line_->setFrameShape(QFrame::HLine);
          line_->setFrameShadow(QFrame::Sunken);
          grid->addWidget(line_, line, 0, 1, kColumns);
          break;
        }
      }
    }
    ++line;
  }
  grid->setRowStretch(line, 1);
  // The buttons of a group have one width, the one its longest button text needs, whichever
  // column they stand in.
  int buttonWidth = 0;
  for (const QPushButton* button : buttons) {
    buttonWidth = std::max(buttonWidth, button->sizeHint().width());
  }
  for (QPushButton* button : buttons) button->setFixedWidth(buttonWidth);
  return box;
}

void EnableSliderRow(const WidgetMap& widgets, int i, bool enabled) {
  SetRow(widgets, {picture::SliderLabelId(i), picture::SliderId(i), picture::SliderValueId(i)},
         enabled, false);
}

void EnableListRow(const WidgetMap& widgets, int j, bool enabled) {
  SetRow(widgets, {picture::ListLabelId(j), picture::ListId(j)}, enabled, false);
}

void ShowSliderRow(const WidgetMap& widgets, int i, bool shown) {
  SetRow(widgets, {picture::SliderLabelId(i), picture::SliderId(i), picture::SliderValueId(i)},
         shown, true);
}

void ShowListRow(const WidgetMap& widgets, int j, bool shown) {
  SetRow(widgets, {picture::ListLabelId(j), picture::ListId(j)}, shown, true);
}

}  // namespace picture
