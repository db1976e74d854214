// The Calibration page's tools joined to the shell: the "Save as CSV" command, its run on the
// display thread and its abort, the defect pixel overlay, and the gamma buttons with their
// dialogs.
#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "viewer/base/Hooks.h"
#include "viewer/calibration/core/CalibrationTools.h"
#include "viewer/live/FrameSink.h"
#include "viewer/picture/PageContext.h"

class QWidget;

namespace base {
class Operator;
}

namespace calibration {

class CalibrationPage;

// A page tool's box: caption "info", an OK button and no icon.
void ShowInfo(base::Operator& op, QWidget* owner, const std::string& text);

// The gamma group's buttons. GUI thread. Upload and download remember the file chosen last for
// their next dialog; every transfer runs under the wait cursor and ends with its message.
class GammaCommands {
 public:
  void Upload(base::Operator& op, QWidget* owner);
  void Download(base::Operator& op, QWidget* owner);
  void Save(base::Operator& op, QWidget* owner);
  void Clear(base::Operator& op, QWidget* owner);
  // No remembered files, as at start-up.
  void Forget();

 private:
  QString uploadPath_;
  QString downloadPath_;
};

// The CSV run is a frame sink: an active run takes each checked frame.
class CalibrationCommands : public base::FrameHooks,
                            public base::CalibrationHooks,
                            public live::FrameSink {
 public:
  // Display thread.
  void DrawDefectOverlay(uint8_t* display, int cisType, int zoom) override;
  void Take(const live::CheckedFrame& frame) override;

  // GUI thread.
  void SaveAsCsvCommand() override;
  void AbortCsvExport() override;
  bool CsvExportActive() const override { return csv_.Active(); }

  DefectTool& Defects() { return defects_; }
  GammaCommands& Gamma() { return gamma_; }

  // Start-up state: no run, a cleared table, no remembered gamma files.
  void Reset();
  // The pages, operator and view state the tools work with; set at start-up, before the display
  // thread runs.
  void Attach(picture::PageContext& context) { context_ = &context; }

 private:
  CalibrationPage* Page() const;
  // GUI thread: a step the display thread reported.
  void ShowCsvStep(const CsvRun::Report& report);

  picture::PageContext* context_ = nullptr;
  CsvRun csv_;
  DefectTool defects_;
  GammaCommands gamma_;
};

// The program's tools.
CalibrationCommands& TheCalibrationCommands();

}  // namespace calibration
