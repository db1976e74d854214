// qelctl commands that leave files: a still (BMP), a recording (AVI of JPEG frames) and the
// parameter settings file, written the same way as the viewer writes them.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "Cli.h"
#include "QEL_API.h"
#include "viewer/capture/core/ImageEncoding.h"
#include "viewer/capture/core/SettingsFile.h"
#include "viewer/capture/core/VideoFile.h"
#include "viewer/live/core/image/Render.h"
#include "viewer/picture/core/Controls.h"

namespace qelctl {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRawDataFormat = 1;
// A unit that sends nothing for this long is stalled.
constexpr auto kFrameTimeout = std::chrono::seconds(3);

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
      .count();
}

// The frames of the attached head as the viewer takes them: only frames newer than the last
// one, and only those that pass the frame check.
class FrameSource {
 public:
  FrameSource() : cisType_(CisType()), frame_(live::FrameBytes(cisType_)) {
    QEL_GetIndex(&lastIndex_);
    int format = 0;
    raw_ = QEL_Get_DataFormat(&format) == 0 && format == kRawDataFormat;
  }

  int HeadType() const { return cisType_; }
  bool Raw() const { return raw_; }
  const uint8_t* Frame() const { return frame_.data(); }

  // Waits until `deadline` for the next usable frame; false when none came.
  bool Next(Clock::time_point deadline) {
    while (Clock::now() < deadline) {
      int index = 0;
      QEL_GetIndex(&index);
      if (index == lastIndex_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        continue;
      }
      lastIndex_ = index;
      unsigned int length = 0;
      QEL_GetFrame(frame_.data(), unsigned(frame_.size()), &length);
      if (live::CheckFrame(frame_.data(), length, cisType_) == 0) return true;
    }
    return false;
  }

 private:
  int cisType_;
  bool raw_ = false;
  int lastIndex_ = 0;
  std::vector<uint8_t> frame_;
};

void Still(const Context& context, const std::string& path, bool boundary) {
  RequireConnection(context);
  FrameSource source;
  if (!source.Next(Clock::now() + kFrameTimeout)) DeviceError("no frame from the unit");
  if (const files::Result saved =
          capture::SaveStill(source.Frame(), source.HeadType(), source.Raw(), boundary, path);
      !saved) {
    DeviceError("cannot write " + path + Because(saved.error));
  }
  const int side = live::CaptureSide(source.HeadType(), boundary);
  std::printf("%s: %dx%d %s still of the %s head\n", path.c_str(), side, side,
              source.Raw() ? "raw" : "colour", picture::HeadTypeText(source.HeadType()));
}

void Record(const Context& context, const std::string& path, int seconds, bool boundary) {
  RequireConnection(context);
  FrameSource source;
  const int side = live::CaptureSide(source.HeadType(), boundary);
  std::vector<uint8_t> bitmap(live::CaptureBytes(source.HeadType(), boundary));
  capture::VideoFile file;
  if (file.Open(path, side, NowMs()) != capture::AviWriter::kOk) {
    DeviceError("cannot create " + path + Because(file.Error()));
  }
  const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
  std::string stopped;
  while (Clock::now() < end) {
    if (!source.Next(std::min(end, Clock::now() + kFrameTimeout))) {
      if (Clock::now() < end) stopped = "no frame from the unit";
      break;
    }
    if (source.Raw()) {
      live::ConvertMono(bitmap.data(), source.Frame(), source.HeadType(), boundary);
    } else {
      live::ConvertColour(bitmap.data(), source.Frame(), source.HeadType(), boundary);
    }
    if (!file.Encode(bitmap.data(), NowMs())) continue;
    const int added = file.Append();
    if (added == capture::AviWriter::kFull) {
      stopped = "file size limit reached";
      break;
    }
    if (added != capture::AviWriter::kOk) {
      stopped = "write error" + Because(file.Error());
      break;
    }
  }
  const bool closed = file.Close() == capture::AviWriter::kOk;
  if (!closed) DeviceError("cannot write " + path + " completely" + Because(file.Error()));
  const uint32_t rate =
      file.WrittenRate().value_or(capture::kNominalRate * capture::kMeasuredScale);
  std::printf("%s: %d frames of %dx%d at %u.%02u frames/s\n", path.c_str(), file.Frames(), side,
              side, rate / 100, rate % 100);
  if (!stopped.empty()) DeviceError("recording stopped early: " + stopped);
}

void SaveSettings(const Context& context, const std::string& path) {
  RequireConnection(context);
  files::Result written;
  if (capture::SaveSettingsFile(path, &written) != 0) {
    if (!written) DeviceError("settings save: cannot write " + path + Because(written.error));
    DeviceError("settings save: a parameter read failed; " + path + " holds what was read");
  }
  std::printf("saved %zu parameters of the %s head to %s\n", capture::SettingLines().size(),
              picture::HeadTypeText(CisType()), path.c_str());
}

void LoadSettings(const Context& context, const std::string& path) {
  RequireConnection(context);
  const int cisType = CisType();
  std::string fault;
  switch (capture::LoadSettings(path, cisType, &fault)) {
    case capture::SettingsLoad::kLoaded:
      std::printf("loaded %zu parameters from %s into the %s head\n",
                  capture::SettingLines().size(), path.c_str(), picture::HeadTypeText(cisType));
      return;
    case capture::SettingsLoad::kUnreadable:
      DeviceError("settings load: cannot read " + path);
    case capture::SettingsLoad::kNotSettings:
      DeviceError("settings load: " + path + ": " + fault + "; nothing was sent to the unit");
    case capture::SettingsLoad::kSetterFailed:
      DeviceError("settings load: every value was sent, but the unit refused at least one");
  }
}

void AddCaptureCommands(CLI::App& app, Context& context) {
  struct Options {
    std::string path;
    std::string seconds;
    bool boundary = false;
  };

  auto still = std::make_shared<Options>();
  CLI::App* stillCommand =
      app.add_subcommand("still", "Save the next frame as a 24-bit BMP, as the viewer does");
  stillCommand->add_option("FILE", still->path, "BMP file to write")->required();
  stillCommand->add_flag("--boundary", still->boundary, "Keep the boundary pixel ring");
  stillCommand->callback([&context, still] {
    context.action = [&context, still] { Still(context, still->path, still->boundary); };
  });

  auto record = std::make_shared<Options>();
  CLI::App* recordCommand = app.add_subcommand(
      "record", "Record an AVI of JPEG frames (quality 80) at the rate the frames come");
  recordCommand->add_option("FILE", record->path, "AVI file to write")->required();
  recordCommand->add_option("--seconds", record->seconds, "How long to record, 1..86400")
      ->required();
  recordCommand->add_flag("--boundary", record->boundary, "Keep the boundary pixel ring");
  recordCommand->callback([&context, record] {
    const int seconds = NumberIn(record->seconds, "--seconds", 1, 86400);
    context.action = [&context, record, seconds] {
      Record(context, record->path, seconds, record->boundary);
    };
  });

  CLI::App* settings =
      app.add_subcommand("settings", "Parameter settings file (.qel) of the viewer");
  settings->require_subcommand(1);
  auto save = std::make_shared<Options>();
  CLI::App* saveCommand = settings->add_subcommand("save", "Write every parameter to FILE");
  saveCommand->add_option("FILE", save->path, "Settings file to write")->required();
  saveCommand->callback([&context, save] {
    context.action = [&context, save] { SaveSettings(context, save->path); };
  });
  auto load = std::make_shared<Options>();
  CLI::App* loadCommand =
      settings->add_subcommand("load", "Send every parameter of FILE to the unit");
  loadCommand->add_option("FILE", load->path, "Settings file to read")->required();
  loadCommand->callback([&context, load] {
    context.action = [&context, load] { LoadSettings(context, load->path); };
  });
}

const RegisterCommands kRegistered(40, AddCaptureCommands);

}  // namespace
}  // namespace qelctl
