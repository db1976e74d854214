// The controls of the main window and its two pages as JSON, so the whole program can be checked
// from outside (QEL_Viewer --dump-controls FILE).
#pragma once

#include <QString>
#include <nlohmann/json.hpp>

#include "viewer/files/Files.h"

class QWidget;

namespace shell {

// One object per widget below mainWindow whose objectName is a number: "page" (101 the main
// window, 102 Picture, 103 Calibration: its nearest such ancestor), "id", "class", "enabled",
// "visible", and as the widget has them "text", "value", "min", "max", "index", "items".
// "visible" is as the operator sees the widget while its page is the shown one: shown within the
// page and placed at least partly inside the page's rectangle (a group parked beside the page
// counts as hidden).
nlohmann::json ControlsJson(const QWidget& mainWindow);

// Writes ControlsJson to path; the result says why the file could not be written. Like every file
// of the program, it replaces an earlier one only once complete.
files::Result DumpControls(const QWidget& mainWindow, const QString& path);
// The window as it shows now, as a PNG file at path.
files::Result SaveScreenshot(QWidget& window, const QString& path);

}  // namespace shell
