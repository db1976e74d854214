// qelctl commands of the Calibration page: runs of raw frames as CSV files, defect pixel
// detection and the unit's defect pixel tables, and the unit's gamma tables, with the page's
// files, list texts and result texts.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Cli.h"
#include "QEL_API.h"
#include "viewer/calibration/core/CalibrationControls.h"
#include "viewer/calibration/core/DefectPixels.h"
#include "viewer/calibration/core/FrameCsv.h"
#include "viewer/calibration/core/GammaTable.h"
#include "viewer/files/Files.h"
#include "viewer/live/core/image/Render.h"
#include "viewer/picture/core/Controls.h"

namespace qelctl {
namespace {

constexpr std::chrono::milliseconds kFrameWait{5000};
// Frames let pass after the switch to raw data: they may have left the unit before it.
constexpr int kSettleFrames = 2;

// The unit sends raw sensor data while this lives, as while the Calibration page is shown, and
// colour data again afterwards.
class RawData {
 public:
  RawData() { Check("QEL_Set_DataFormat", QEL_Set_DataFormat(1)); }
  ~RawData() { QEL_Set_DataFormat(0); }
  RawData(const RawData&) = delete;
  RawData& operator=(const RawData&) = delete;
};

int FrameIndex() {
  int index = 0;
  QEL_GetIndex(&index);
  return index;
}

// The frame counter once it has moved past `since`.
int NextFrameIndex(int since) {
  const auto deadline = std::chrono::steady_clock::now() + kFrameWait;
  for (;;) {
    const int index = FrameIndex();
    if (index != since) return index;
    if (std::chrono::steady_clock::now() >= deadline) {
      DeviceError(Format("no frame from the unit within %lld ms",
                         static_cast<long long>(kFrameWait.count())));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void Settle() {
  int index = FrameIndex();
  for (int i = 0; i < kSettleFrames; ++i) index = NextFrameIndex(index);
}

// The page's texts end their lines with CR LF; a terminal wants LF.
void PrintText(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  std::fputs(out.c_str(), stdout);
}

// A page result: printed when it is the success text, a device failure otherwise.
void Outcome(const std::string& message, const char* success) {
  if (message != success) DeviceError(message);
  std::printf("%s\n", message.c_str());
}

struct CsvArgs {
  std::string frames = "1";
  bool boundary = false;
  std::string base;
};

void SaveCsv(const Context& context, int frames, bool boundary, const std::string& base) {
  RequireConnection(context);
  const int cisType = CisType();
  const RawData raw;
  Settle();
  calibration::CsvExport run;
  run.Start(base, frames);
  std::vector<uint8_t> frame(live::FrameBytes(cisType));
  int last = FrameIndex();
  int written = 0;
  int skipped = 0;
  while (run.Active()) {
    const int index = NextFrameIndex(last);
    uint32_t length = 0;
    QEL_GetFrame(frame.data(), static_cast<unsigned>(frame.size()), &length);
    // A frame the live view would drop is not one of the run's either.
    if (live::CheckFrame(frame.data(), length, cisType) != 0) {
      last = index;
      continue;
    }
    if (written > 0) skipped += index - last - 1;
    last = index;
    const calibration::CsvExport::Step step =
        run.Next(frame.data(), length, cisType, boundary, true);
    if (step.failed) {
      DeviceError(Format("%s: %s", run.CurrentPath().c_str(), calibration::kCsvErrorText) +
                  Because(step.error));
    }
    ++written;
    std::printf("%s\n", run.CurrentPath().c_str());
  }
  const int side = live::CaptureSide(cisType, boundary);
  std::printf("%d frames of %dx%d levels, %d skipped between them\n", written, side, side, skipped);
}

// True when the files of a run would have no name in front of their "_NNN.csv": '', 'dir/',
// '.csv'.
bool NamelessBase(const std::string& base) {
  const std::string first = calibration::CsvFileName(base, 1);
  const size_t slash = first.find_last_of('/');
  return first.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos, "_001.csv") ==
         0;
}

void AddCsvCommand(CLI::App& app, Context& context) {
  auto args = std::make_shared<CsvArgs>();
  CLI::App* csv = app.add_subcommand(
      "csv",
      "Consecutive raw frames as CSV files of 10-bit levels, one per frame: "
      "csv [--frames N] [--boundary] BASE.csv writes BASE_001.csv ... BASE_N.csv");
  csv->add_option("--frames", args->frames, "Number of frames, 1..100 (default 1)");
  csv->add_flag("--boundary", args->boundary, "Include the boundary pixels");
  csv->add_option("BASE", args->base, "Base file name; its .csv ending gives way to _NNN.csv")
      ->required();
  csv->callback([&context, args] {
    if (NamelessBase(args->base)) {
      UsageError(Format("BASE '%s' names no file in front of _NNN.csv", args->base.c_str()));
    }
    const int frames =
        NumberIn(args->frames, "--frames", calibration::kMinFrames, calibration::kMaxFrames);
    context.action = [&context, args, frames] {
      SaveCsv(context, frames, args->boundary, args->base);
    };
  });
}

// Defect pixel tables.

const std::map<std::string, int> kDefectTypes = {{"dark", calibration::kDefectDark},
                                                 {"bright", calibration::kDefectBright}};

struct DefectArgs {
  int type = calibration::kDefectDark;
  std::string threshold;
  std::string excluded = "0";
  std::string file;
};

CLI::App* DefectCommand(CLI::App& defects, const char* name, const char* description,
                        DefectArgs& args) {
  CLI::App* command = defects.add_subcommand(name, description);
  command->add_option("--type", args.type, "Which table: dark or bright")
      ->required()
      ->transform(CLI::CheckedTransformer(kDefectTypes, CLI::ignore_case));
  return command;
}

void Detect(const Context& context, const DefectArgs& args, int threshold) {
  RequireConnection(context);
  const int cisType = CisType();
  const picture::Range range =
      calibration::TrackbarRange(calibration::kTrackbarExcludedArea, cisType);
  const int excluded = NumberIn(args.excluded, "--excluded", range.min, range.max);
  const RawData raw;
  Settle();
  std::vector<uint8_t> frame;
  uint32_t length = 0;
  const auto size = static_cast<uint32_t>(live::FrameBytes(cisType));
  if (!calibration::FetchFreshFrame(frame, size, length, kFrameWait)) DeviceError("capture error");
  if (live::CheckFrame(frame.data(), length, cisType) != 0) DeviceError("capture data error");
  const calibration::DefectResult result = calibration::DetectDefects(
      frame.data(), live::Geometry(cisType), {threshold, args.type, excluded});
  PrintText(
      calibration::DefectListText(args.type, calibration::EncodeDefectTable(result), &result));
}

// A list holds at most 2,720 characters; a file far beyond that, or a line longer than any a list
// has, is no list (and an endless input such as a device ends at once).
constexpr size_t kMaxDefectFileBytes = 64 * 1024;
constexpr size_t kMaxDefectLineChars = 256;

// A list as detect and download print it (either line end): its entry lines give the table;
// the heading, the dashes and empty lines are passed over. A directory, and a list without any
// entry, are refused.

calibration::DefectTable ReadDefectList(const std::string& path) {
  std::string text;
  if (const files::Result read = files::ReadWholeFile(path, kMaxDefectFileBytes, text); !read) {
    if (read.error == EFBIG) {
      UsageError(Format("%s is larger than a defect pixel list can be (%zu bytes)", path.c_str(),
                        kMaxDefectFileBytes));
    }
    if (read.error == EISDIR) UsageError(path + " is a directory, not a defect pixel list");
    DeviceError("cannot read " + path + Because(read.error));
  }
  static const std::regex entry(R"((\d+) : \((\d+),(\d+)\)( Val = \d+)?)");
  static const std::regex other(R"(((Dark|Bright) \(\d+\))|-+|)");
  calibration::DefectResult result;
  std::istringstream file(text);
  std::string line;
  int number = 0;
  while (std::getline(file, line)) {
    ++number;
    if (line.size() > kMaxDefectLineChars) {
      UsageError(Format("%s line %d is longer than any line of a defect pixel list", path.c_str(),
                        number));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::smatch m;
    if (std::regex_match(line, m, entry)) {
      if (result.count == calibration::kDefectEntries) {
        UsageError(
            Format("%s has more than %d entries", path.c_str(), calibration::kDefectEntries));
      }
      // Four digits at most: anything longer is beyond the table's coordinates anyway.
      auto coordinate = [](const std::string& digits) {
        return digits.size() > 4 ? calibration::kUnusedCoordinate : std::stoi(digits);
      };
      const int x = coordinate(m[2].str());
      const int y = coordinate(m[3].str());
      if (x >= calibration::kUnusedCoordinate || y >= calibration::kUnusedCoordinate) {
        UsageError(Format("%s line %d: coordinates above %d", path.c_str(), number,
                          calibration::kUnusedCoordinate - 1));
      }
      result.pixels[size_t(result.count++)] = {x, y, 0};
    } else if (!std::regex_match(line, other)) {
      UsageError(Format("%s line %d is not a line of a defect pixel list", path.c_str(), number));
    }
  }
  // Emptying a table is the clear command's, never the upload of an empty file by mistake.
  if (result.count == 0) {
    UsageError(path + " lists no defect pixel (use defects clear to empty a table)");
  }
  return calibration::EncodeDefectTable(result);
}

// A table for the attached head names pixels of its image only: full-frame coordinates
// b..n-b-1, the pixels a detection examines; the boundary ring and beyond hold no defect to mend.
void RefuseOutsideImage(const calibration::DefectTable& table, int cisType,
                        const std::string& path) {
  const live::FrameGeometry g = live::Geometry(cisType);
  const int first = g.b;
  const int last = g.n - g.b - 1;
  for (int i = 0; i < calibration::ValidDefectEntries(table); ++i) {
    const calibration::DefectEntry e = calibration::DefectTableEntry(table, i);
    if (e.x < first || e.x > last || e.y < first || e.y > last) {
      UsageError(Format("%s: (%d,%d) lies outside the image of the %s head (%d..%d)", path.c_str(),
                        e.x, e.y, picture::HeadTypeText(cisType), first, last));
    }
  }
}

void AddDefectCommands(CLI::App& app, Context& context) {
  CLI::App* defects = app.add_subcommand(
      "defects", "Defect pixel detection and the unit's dark and bright defect pixel tables");
  defects->require_subcommand(1);

  auto detectArgs = std::make_shared<DefectArgs>();
  detectArgs->threshold = "128";
  CLI::App* detect = DefectCommand(
      *defects, "detect", "Find stuck pixels in a fresh raw frame and list them with their levels",
      *detectArgs);
  detect->add_option("--threshold", detectArgs->threshold,
                     "Dark: level <= T, bright: level >= T; 0..255 (default 128)");
  detect->add_option("--excluded", detectArgs->excluded,
                     "Corner triangles left out, in pixels: 0..100 (40K), 0..200 (160K)");
  detect->callback([&context, detectArgs] {
    const picture::Range range = calibration::TrackbarRange(calibration::kTrackbarThreshold, 0);
    const int threshold = NumberIn(detectArgs->threshold, "--threshold", range.min, range.max);
    context.action = [&context, detectArgs, threshold] { Detect(context, *detectArgs, threshold); };
  });

  auto uploadArgs = std::make_shared<DefectArgs>();
  CLI::App* upload = DefectCommand(
      *defects, "upload", "Send a list as detect or download printed it: upload --type T FILE",
      *uploadArgs);
  upload->add_option("FILE", uploadArgs->file, "The list")->required();
  upload->callback([&context, uploadArgs] {
    context.action = [&context, uploadArgs] {
      const calibration::DefectTable table = ReadDefectList(uploadArgs->file);
      RequireConnection(context);
      RefuseOutsideImage(table, CisType(), uploadArgs->file);
      Outcome(calibration::UploadDefectTable(uploadArgs->type, table),
              "Defect Pixel Table upload complete");
    };
  });

  auto downloadArgs = std::make_shared<DefectArgs>();
  DefectCommand(*defects, "download", "List the unit's table", *downloadArgs)
      ->callback([&context, downloadArgs] {
        context.action = [&context, downloadArgs] {
          RequireConnection(context);
          calibration::DefectTable table;
          const std::string message = calibration::DownloadDefectTable(downloadArgs->type, table);
          if (message != "Defect Pixel Table download complete") DeviceError(message);
          PrintText(calibration::DefectListText(downloadArgs->type, table, nullptr));
        };
      });

  auto saveArgs = std::make_shared<DefectArgs>();
  DefectCommand(*defects, "save", "Copy the unit's table into the head EEPROM", *saveArgs)
      ->callback([&context, saveArgs] {
        context.action = [&context, saveArgs] {
          RequireConnection(context);
          const std::vector<std::string> messages =
              calibration::SaveDefectTableToHead(saveArgs->type);
          std::string joined;
          for (const std::string& m : messages) joined += (joined.empty() ? "" : "; ") + m;
          Outcome(joined, "Defect Pixel Table save complete");
        };
      });

  auto clearArgs = std::make_shared<DefectArgs>();
  DefectCommand(*defects, "clear", "Empty the unit's table", *clearArgs)
      ->callback([&context, clearArgs] {
        context.action = [&context, clearArgs] {
          RequireConnection(context);
          calibration::DefectTable table;
          Outcome(calibration::ClearDefectTable(clearArgs->type, table),
                  "Defect Pixel Table clear complete");
        };
      });
}

// Gamma tables.

void AddGammaCommands(CLI::App& app, Context& context) {
  CLI::App* gamma = app.add_subcommand(
      "gamma", "The unit's three user gamma tables, as CSV files of 1,024 lines in 10-bit scale");
  gamma->require_subcommand(1);

  struct FileCommand {
    const char* name;
    const char* description;
    std::string (*run)(const std::string& path, std::string* reason);
    const char* success;
  };
  static const FileCommand kFileCommands[] = {
      {"upload", "Send the tables of a CSV file: gamma upload FILE", &calibration::UploadGammaCsv,
       "Gamma upload complete"},
      {"download", "Write the unit's tables into a CSV file: gamma download FILE",
       &calibration::DownloadGammaCsv, "Gamma download complete"}};
  for (const FileCommand& command : kFileCommands) {
    auto file = std::make_shared<std::string>();
    CLI::App* sub = gamma->add_subcommand(command.name, command.description);
    sub->add_option("FILE", *file, "The CSV file")->required();
    sub->callback([&context, &command, file] {
      context.action = [&context, &command, file] {
        RequireConnection(context);
        std::string reason;
        std::string message = command.run(*file, &reason);
        if (!reason.empty()) message.append(": ").append(*file).append(": ").append(reason);
        Outcome(message, command.success);
      };
    });
  }

  struct UnitCommand {
    const char* name;
    const char* description;
    std::string (*run)();
    const char* success;
  };
  static const UnitCommand kUnitCommands[] = {
      {"save", "Store the unit's tables in its EEPROM", &calibration::SaveGammaTablesToUnitEeprom,
       "Gamma save complete"},
      {"clear", "Set the unit's tables to the identity", &calibration::ClearGammaTables,
       "Gamma clear complete"}};
  for (const UnitCommand& command : kUnitCommands) {
    gamma->add_subcommand(command.name, command.description)->callback([&context, &command] {
      context.action = [&context, &command] {
        RequireConnection(context);
        Outcome(command.run(), command.success);
      };
    });
  }
}

void AddCalibrationCommands(CLI::App& app, Context& context) {
  AddCsvCommand(app, context);
  AddDefectCommands(app, context);
  AddGammaCommands(app, context);
}

const RegisterCommands kRegistered(50, AddCalibrationCommands);

}  // namespace
}  // namespace qelctl
