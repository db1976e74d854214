// The controls of the main window and its two pages as JSON, so the whole program can be checked
// from outside (QEL_Viewer --dump-controls FILE).
#pragma once

#include <QSize>
#include <QString>
#include <functional>
#include <nlohmann/json.hpp>
#include <span>

#include "viewer/files/Files.h"

class QWidget;

namespace shell {

// A state the window is put in to describe part of it: `enter` shows it (a page, a parameter
// group of the compact layout), and the controls below `scope` are described as they are then.
struct DumpView {
  const QWidget* scope = nullptr;
  std::function<void()> enter;
};

// One object per widget below mainWindow whose objectName is a number: "page" (101 the main
// window, 102 Picture, 103 Calibration: its nearest such ancestor), "id", "class", "enabled",
// "visible", its place in window coordinates ("x", "y", "width", "height"), "fits" (its text
// has the room it needs), and as the widget has them "text", "value", "min", "max", "index",
// "items". "visible" is as the operator sees the widget while its page is the shown one: shown
// within the page and placed at least partly inside the page's rectangle (a group parked beside
// the page counts as hidden); a control that is not visible takes no room (width and height 0).
// The controls below a view's scope are described as they are in that view, the views visited in
// order; the caller puts the window back afterwards.
nlohmann::json ControlsJson(const QWidget& mainWindow, std::span<const DumpView> views = {});

// Writes ControlsJson to path; the result says why the file could not be written. Like every file
// of the program, it replaces an earlier one only once complete.
files::Result DumpControls(const QWidget& mainWindow, const QString& path,
                           std::span<const DumpView> views = {});
// The window as it shows now, as a PNG file at path.
files::Result SaveScreenshot(QWidget& window, const QString& path);

// The room a control's text needs (for a list, its longest entry) as the style draws it; an empty
// size for controls without text or whose text scrolls.
QSize TextRoom(const QWidget& w);

}  // namespace shell
