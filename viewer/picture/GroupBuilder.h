// Builds the parameter groups of both pages from their item tables: rows in the order of the
// table, columns for labels, controls and value texts or buttons, every widget named by its id.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <span>
#include <unordered_map>

#include "viewer/picture/core/Controls.h"

class QGroupBox;
class QWidget;

namespace picture {

// What the tables leave to the page: the texts of the rows and the widgets of its own kinds.
struct GroupSpec {
  std::function<QString(int index)> sliderLabel;
  std::function<QString(int index)> listLabel;
  std::function<QStringList(int index)> listTexts;
  // Edit fields (2001, 2002) and buttons that are check boxes (7029) differ between the pages;
  // null: a line edit, or a push button.
  std::function<QWidget*(int id)> makeEdit;
  std::function<QWidget*(int id, const QString& text)> makeButton;
};

// Widgets of a page by numeric id.
using WidgetMap = std::unordered_map<int, QWidget*>;

// Label texts use "&&" for one ampersand, as buttons do; labels show them as one.
QString LabelText(const char* text);
// The entries of a list as the list widget takes them.
QStringList TextList(picture::Texts texts);

// A group box titled `title` holding the items: items at the same height share a row; a slider
// takes label, slider and value text, a list its label and list, other items the column their
// offset falls in. Every widget created is entered in `widgets`.
QGroupBox* BuildGroup(int id, const QString& title, std::span<const picture::GroupItem> items,
                      const GroupSpec& spec, WidgetMap& widgets, QWidget* parent);

// Enables or disables the label, control and value text of slider row i (6001+i, 7001+i,
// 8001+i) or list row j (4002+j, 5002+j).
void EnableSliderRow(const WidgetMap& widgets, int i, bool enabled);
void EnableListRow(const WidgetMap& widgets, int j, bool enabled);
void ShowSliderRow(const WidgetMap& widgets, int i, bool shown);
void ShowListRow(const WidgetMap& widgets, int j, bool shown);

template <typename T>
T* Widget(const WidgetMap& widgets, int id) {
  const auto it = widgets.find(id);
  return it == widgets.end() ? nullptr : qobject_cast<T*>(it->second);
}

}  // namespace picture
