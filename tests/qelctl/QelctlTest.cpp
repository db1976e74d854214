// qelctl as a user runs it: the built binary on the simulated unit, its exit codes, its output
// and its one-line errors.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "tests/calibration/FileSizeLimit.h"
#include "tests/qelctl/QelctlRun.h"

namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

using qelctltest::ExpectOneErrorLine;
using qelctltest::Joined;
using qelctltest::Outcome;
using qelctltest::Qelctl;
using qelctltest::Slurp;

struct Refusal {
  std::vector<std::string> args;
  int exitCode;
  const char* words;  // part of the error line
};

void PrintTo(const Refusal& r, std::ostream* os) {
  *os << Joined(r.args);
}

class Refusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refusals, ExitWithOneLineInWords) {
  const Refusal& r = GetParam();
  const Outcome run = Qelctl(r.args);
  EXPECT_EQ(run.exitCode, r.exitCode) << run.err;
  ExpectOneErrorLine(run, r.words);
}

const std::string kSim = "--simulate";

// Command lines that are wrong: exit 2, nothing sent to the unit that could be wrong.
INSTANTIATE_TEST_SUITE_P(
    CommandLine, Refusals,
    ::testing::Values(
        Refusal{{}, 2, "a command is required"}, Refusal{{"frob"}, 2, "unknown command 'frob'"},
        Refusal{{"help", "eeprom", "frob"}, 2, "unknown command 'frob'"},
        Refusal{{"--simulate=80k", "info"}, 2, "--simulate takes 40k or 160k, not 80k"},
        Refusal{{"eeprom"}, 2, "a command is required (see qelctl eeprom --help)"},
        Refusal{{"udev-rule", "--ids", "1234:5678,"}, 2, "--ids takes vvvv:pppp[,vvvv:pppp...]"},
        Refusal{{"devices", "--probe", "5"}, 2, "--probe takes all or BUS:ADDRESS"},
        Refusal{{kSim, "eeprom", "read", "1"}, 2, "ADDR is required"},
        Refusal{{kSim, "stream", "--seconds", "0"}, 2, "--seconds 0 is outside 1..86400"},
        Refusal{{kSim, "clear-param", "2"}, 2, "MODE 2 is outside 0..1"},
        // Parameter names, indices and value counts.
        Refusal{{kSim, "get", "Foo"}, 2, "unknown parameter 'Foo'"},
        Refusal{{kSim, "get", "GainRB"}, 2, "GainRB needs an index 0..1"},
        Refusal{{kSim, "get", "GainRB", "2"}, 2, "GainRB index 2 is outside 0..1"},
        Refusal{{kSim, "get", "ColorMatrix", "9"}, 2, "ColorMatrix index 9 is outside 0..8"},
        Refusal{{kSim, "get", "ExposureTime", "1"}, 2, "ExposureTime takes no index"},
        Refusal{{kSim, "set", "ExposureTime"}, 2, "ExposureTime needs a value"},
        Refusal{{kSim, "set", "GainRB", "0"}, 2, "GainRB needs an index 0..1 and a value"},
        Refusal{
            {kSim, "set", "ExposureTime", "1", "2", "3"}, 2, "too many arguments for ExposureTime"},
        Refusal{{kSim, "set", "CIS_Type", "1"}, 2, "CIS_Type is read-only"},
        Refusal{{kSim, "set", "FPGA_Ver"}, 2, "FPGA_Ver is read-only"},
        Refusal{{"--simulate-state", "/nonexistent/state.bin", "info"},
                2,
                "cannot write /nonexistent/state.bin: No such file or directory"}));

// Numbers are decimal or 0x hex; every other spelling is refused, never guessed at.
INSTANTIATE_TEST_SUITE_P(
    Numbers, Refusals,
    ::testing::Values(
        Refusal{{kSim, "set", "ExposureTime", "0o10"}, 2, "'0o10' is not a number"},
        Refusal{{kSim, "set", "ExposureTime", "1e3"}, 2, "'1e3' is not a number"},
        Refusal{{kSim, "set", "ExposureTime", "+5"}, 2, "'+5' is not a number"},
        Refusal{{kSim, "set", "ExposureTime", "0x"}, 2, "'0x' is not a number"},
        Refusal{{kSim, "set", "ExposureTime", "12abc"}, 2, "not a number"},
        Refusal{{kSim, "set", "ExposureTime", "0x1g"}, 2, "not a number"},
        Refusal{{kSim, "set", "ExposureTime", " 5"}, 2, "not a number"},
        Refusal{{kSim, "set", "ExposureTime", "99999999999999999999"}, 2, "not a number"},
        Refusal{{kSim, "eeprom", "read", "0x100000000000000001", "0", "1"}, 2, "not a number"},
        Refusal{{kSim, "eeprom", "read", "0", "0b11", "1"}, 2, "ADDR '0b11' is not a number"}));

// Values outside what the page control sends for the attached head are refused, not cut to the
// register field.
INSTANTIATE_TEST_SUITE_P(
    Ranges, Refusals,
    ::testing::Values(
        Refusal{
            {kSim, "set", "ExposureTime", "-5"}, 2, "value -5 for ExposureTime is outside 0..438"},
        Refusal{{kSim, "set", "ExposureTime", "439"}, 2, "outside 0..438"},
        Refusal{{kSim, "set", "BlackLevel", "4294967295"}, 2, "outside 0..255"},
        Refusal{{kSim, "set", "RawGain", "15"}, 2, "outside 16..255"},
        Refusal{{kSim, "set", "AGC_AEC_Target", "49"}, 2, "outside 50..4095"},
        Refusal{{kSim, "set", "Hysteresis", "3", "4096"}, 2, "Hysteresis 3 is outside 0..4095"},
        Refusal{{kSim, "set", "GainYC", "2", "-256"}, 2, "outside -255..255"},
        Refusal{{kSim, "set", "ColorMatrix", "3", "-257"}, 2, "outside -256..255"},
        Refusal{{kSim, "set", "ALC_Param", "256"}, 2, "outside 16..255"},
        Refusal{{kSim, "set", "CIS_ImageFineAdj", "16"}, 2, "outside 0..15"},
        Refusal{{kSim, "set", "Gamma", "99"}, 2, "value 99 for Gamma is not one of 0, 1, 2, 3"},
        Refusal{{kSim, "set", "ControlMode", "0", "1"},
                2,
                "ControlMode 0 is not one of 0, 3 with a 40K head"},
        Refusal{{"--simulate=160k", "set", "ControlMode", "0", "2"},
                2,
                "not one of 0, 1, 3 with a 160K head"},
        Refusal{{"--simulate=160k", "set", "DVI_ImageSize", "0"},
                2,
                "not one of 1, 2, 3 with a 160K head"},
        Refusal{{kSim, "set", "DVI_ImageSize", "4"}, 2, "not one of 0, 1, 2, 3 with a 40K head"},
        Refusal{{kSim, "set", "CIS_VoutCurrent", "0"}, 2, "not one of 1, 2, 3"},
        Refusal{{kSim, "set", "FPN_Corr", "1"}, 2, "not one of 0, 2"},
        Refusal{{kSim, "set", "ControlSpeed", "8"}, 2, "not one of 0, 1, 2, 3, 4, 5, 6, 7"},
        // No page control: the register field's own range.
        Refusal{{kSim, "set", "AWB", "65536"}, 2, "outside 0..65535"},
        Refusal{{kSim, "set", "FPN_Data_Acquisition", "16"}, 2, "outside 0..15"},
        Refusal{{kSim, "set", "DataFormat", "256"}, 2, "outside 0..255"}));

// EEPROM selectors, addresses, lengths and data bytes.
INSTANTIATE_TEST_SUITE_P(
    Eeprom, Refusals,
    ::testing::Values(
        Refusal{{kSim, "eeprom", "read", "16", "0", "1"}, 2, "SEL 16 is neither 0"},
        Refusal{{kSim, "eeprom", "write", "17", "0", "1"}, 2, "SEL 17 is neither 0"},
        Refusal{{kSim, "eeprom", "write", "4294967297", "0", "1"}, 2, "SEL 4294967297 is neither"},
        Refusal{{kSim, "eeprom", "read", "-1", "0", "1"}, 2, "SEL -1 is neither 0"},
        Refusal{{kSim, "eeprom", "read", "1", "0x100000", "16"},
                2,
                "ADDR 0x100000 is outside the head EEPROM (0x0..0xFFF)"},
        Refusal{{kSim, "eeprom", "read", "1", "0x1000", "1"}, 2, "outside the head EEPROM"},
        Refusal{{kSim, "eeprom", "read", "0", "0x100000", "1"},
                2,
                "ADDR 0x100000 is outside the unit EEPROM (0x0..0xFFFFF)"},
        Refusal{{kSim, "eeprom", "read", "0", "-1", "1"}, 2, "outside the unit EEPROM"},
        Refusal{{kSim, "eeprom", "read", "1", "0xFF8", "16"},
                2,
                "16 bytes at 0xFF8 run past the end of the head EEPROM"},
        Refusal{{kSim, "eeprom", "write", "0", "0xFFFFF", "1", "2"},
                2,
                "2 bytes at 0xFFFFF run past the end of the unit EEPROM"},
        Refusal{{kSim, "eeprom", "read", "0", "0", "0"}, 2, "LEN 0 is outside 1..65535"},
        Refusal{{kSim, "eeprom", "read", "0", "0", "65536"}, 2, "LEN 65536 is outside 1..65535"},
        Refusal{{kSim, "eeprom", "write", "0", "0x4000", "256"}, 2, "BYTE 256 is outside 0..255"},
        Refusal{
            {kSim, "eeprom", "write", "0", "0x4000", "1", "-1"}, 2, "BYTE -1 is outside 0..255"}));

// The unit refuses or fails: exit 1, the library's result in words.
INSTANTIATE_TEST_SUITE_P(
    Device, Refusals,
    ::testing::Values(Refusal{{kSim, "load-param"},
                              1,
                              "QEL_Load_Param: no stored parameter set exists (result 2)"},
                      Refusal{{kSim, "load-param", "--default"},
                              1,
                              "QEL_Load_Default_Param: no stored parameter set exists (result 2)"},
                      Refusal{{"info"}, 1, "no camera unit connected"}));

struct Success {
  std::vector<std::string> args;
  const char* out;  // regular expression for the whole of stdout
};

void PrintTo(const Success& s, std::ostream* os) {
  *os << Joined(s.args);
}

class Successes : public ::testing::TestWithParam<Success> {};

TEST_P(Successes, ExitZeroWithTheOutput) {
  const Success& s = GetParam();
  const Outcome run = Qelctl(s.args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_TRUE(std::regex_match(run.out, std::regex(s.out))) << run.out;
}

INSTANTIATE_TEST_SUITE_P(
    Help, Successes,
    ::testing::Values(Success{{"--help"}, "[^]*Usage: qelctl \\[OPTIONS\\] SUBCOMMAND[^]*"},
                      Success{{"-h"}, "[^]*--simulate[^]*eeprom[^]*"},
                      Success{{"get", "-h"}, "[^]*Usage: qelctl get[^]*ColorMatrix\\[0..8\\][^]*"},
                      Success{{"set", "--help"}, "[^]*Usage: qelctl set[^]*"},
                      Success{{"eeprom", "--help"}, "[^]*Usage: qelctl eeprom[^]*read[^]*"},
                      Success{{"eeprom", "read", "-h"}, "[^]*Usage: qelctl eeprom read[^]*"},
                      Success{{"eeprom", "write", "--help"}, "[^]*--verify[^]*"},
                      Success{{"--simulate", "status", "--help"}, "[^]*--json[^]*"},
                      Success{{"help"}, "[^]*Usage: qelctl \\[OPTIONS\\] SUBCOMMAND[^]*"},
                      Success{{"help", "eeprom", "read"}, "[^]*Usage: qelctl eeprom read[^]*"},
                      Success{{"udev-rule", "--ids", "1234:5678, 04B4:1004"},
                              R"(SUBSYSTEM=="usb", ATTR\{idVendor\}=="1234", )"
                              R"(ATTR\{idProduct\}=="5678", TAG\+="uaccess"\n)"
                              R"([^\n]*"04b4"[^\n]*"1004"[^\n]*\n)"}));

INSTANTIATE_TEST_SUITE_P(
    Simulate, Successes,
    ::testing::Values(Success{{"--simulate", "info"}, "[^]*connected: yes\n[^]*head: 40K\n"},
                      Success{{"--simulate=40k", "info"}, "[^]*head: 40K\n"},
                      Success{{"--simulate=160k", "info"}, "[^]*head: 160K\n"},
                      Success{{"--simulate=160K", "info"}, "[^]*head: 160K\n"},
                      Success{{"--simulate", "160k", "info"}, "[^]*head: 160K\n"},
                      Success{{"--simulate", "stream", "--seconds", "1"},
                              "1s: [0-9]+ frames/s from USB, [0-9]+ copied, [0-9.]+ MB/s\n"}));

// Addresses show how a number was read: 010 is ten, not eight.
INSTANTIATE_TEST_SUITE_P(
    Numbers, Successes,
    ::testing::Values(
        Success{{kSim, "eeprom", "read", "0", "010", "1"}, "0000A: [0-9A-F]{2}\n"},
        Success{{kSim, "eeprom", "read", "0", "0x10", "1"}, "00010: [0-9A-F]{2}\n"},
        Success{{kSim, "eeprom", "read", "0", "0X1f", "1"}, "0001F: [0-9A-F]{2}\n"},
        Success{{kSim, "eeprom", "read", "0", "0xFFFFF", "1"}, "FFFFF: [0-9A-F]{2}\n"},
        Success{{kSim, "eeprom", "read", "1", "0xFF0", "16"}, "00FF0:( [0-9A-F]{2}){16}\n"},
        Success{{kSim, "eeprom", "read", "1", "0xFFF", "1"}, "00FFF: [0-9A-F]{2}\n"},
        Success{{kSim, "set", "ExposureTime", "010"}, ""},
        Success{{kSim, "set", "BlackLevel", "0xFF"}, ""},
        Success{{kSim, "set", "GainRB", "1", "-255"}, ""},
        Success{{kSim, "set", "ColorMatrix", "8", "-0x100"}, ""},
        Success{{"--simulate=160k", "set", "ControlMode", "0", "1"}, ""},
        Success{{"--simulate=160k", "set", "DVI_ImageSize", "3"}, ""},
        Success{{kSim, "set", "DVI_ImageSize", "0"}, ""},
        Success{{kSim, "set", "ControlMode", "0", "3"}, ""},
        Success{{kSim, "set", "FPN_Corr", "2"}, ""},
        Success{{kSim, "set", "ExposureTime", "438"}, ""},
        Success{{kSim, "get", "exposuretime"}, "[0-9]+\n"},
        Success{{kSim, "clear-param", "1", "--default"}, ""}, Success{{kSim, "save-param"}, ""}));

// Each data word is one byte; the verify read-back shows what the EEPROM holds afterwards.
INSTANTIATE_TEST_SUITE_P(
    EepromWrite, Successes,
    ::testing::Values(
        Success{{kSim, "eeprom", "write", "--verify", "0", "0x4000", "1", "2"}, "04000: 01 02\n"},
        Success{{kSim, "eeprom", "write", "--verify", "1", "0xFFD", "0x12", "0xab", "255"},
                "00FFD: 12 AB FF\n"},
        Success{{kSim, "eeprom", "write", "--verify", "0", "0xFFFFF", "010"}, "FFFFF: 0A\n"},
        Success{{kSim, "eeprom", "write", "0", "0x4000", "0"}, ""}));

// Runs on one simulated unit whose EEPROMs and registers a state file keeps between the runs.
struct Step {
  std::vector<std::string> args;  // after --simulate-state FILE
  int exitCode;
  const char* out;    // regular expression for the whole of stdout
  const char* words;  // part of the error line, or null for an empty stderr
};

struct Sequence {
  const char* name;
  std::vector<Step> steps;
};

void PrintTo(const Sequence& s, std::ostream* os) {
  *os << s.name;
}

class Sequences : public ::testing::TestWithParam<Sequence> {};

TEST_P(Sequences, RunOneAfterAnother) {
  const std::string state = ::testing::TempDir() + "qelctl_state_" + GetParam().name + ".bin";
  std::remove(state.c_str());
  for (const Step& step : GetParam().steps) {
    std::vector<std::string> args{"--simulate-state", state};
    args.insert(args.end(), step.args.begin(), step.args.end());
    const Outcome run = Qelctl(args);
    SCOPED_TRACE(Joined(args));
    EXPECT_EQ(run.exitCode, step.exitCode) << run.err;
    EXPECT_TRUE(std::regex_match(run.out, std::regex(step.out))) << run.out;
    if (step.words == nullptr) {
      EXPECT_EQ(run.err, "");
    } else {
      ExpectOneErrorLine(run, step.words);
    }
  }
  std::remove(state.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    State, Sequences,
    ::testing::Values(
        Sequence{"LeadingZerosAreDecimal",
                 {{{"set", "BlackLevel", "010"}, 0, "", nullptr},
                  {{"get", "BlackLevel"}, 0, "10\n", nullptr},
                  {{"set", "BlackLevel", "0x0f"}, 0, "", nullptr},
                  {{"get", "BlackLevel"}, 0, "15\n", nullptr}}},
        Sequence{"RefusedValueLeavesTheRegister",
                 {{{"set", "Gamma", "2"}, 0, "", nullptr},
                  {{"set", "Gamma", "99"}, 2, "", "not one of 0, 1, 2, 3"},
                  {{"get", "Gamma"}, 0, "2\n", nullptr},
                  {{"set", "ExposureTime", "300"}, 0, "", nullptr},
                  {{"set", "ExposureTime", "-5"}, 2, "", "outside 0..438"},
                  {{"get", "--json", "ExposureTime"},
                   0,
                   "\\{\"name\":\"ExposureTime\",\"value\":300\\}\n",
                   nullptr}}},
        Sequence{
            "EachWordIsOneByte",
            {{{"eeprom", "write", "0", "0x4000", "1", "2"}, 0, "", nullptr},
             {{"eeprom", "read", "0", "0x4000", "3"}, 0, "04000: 01 02 [0-9A-F]{2}\n", nullptr}}},
        Sequence{"StoredSetsInWords",
                 {{{"load-param"}, 1, "", "QEL_Load_Param: no stored parameter set exists"},
                  {{"save-param"}, 0, "", nullptr},
                  {{"load-param"}, 0, "", nullptr},
                  {{"--simulate=160k", "load-param"},
                   1,
                   "",
                   "no values for the attached head type (result 6)"},
                  {{"eeprom", "write", "0", "0x4004", "2"}, 0, "", nullptr},
                  {{"load-param"}, 1, "", "unknown format version (result 3)"},
                  {{"eeprom", "write", "0", "0x4004", "1", "7"}, 0, "", nullptr},
                  {{"load-param"}, 1, "", "header is damaged (result 4)"},
                  {{"clear-param"}, 0, "", nullptr},
                  {{"load-param"}, 1, "", "no stored parameter set exists (result 2)"},
                  {{"load-param", "--default"},
                   1,
                   "",
                   "QEL_Load_Default_Param: no stored parameter set exists"},
                  {{"save-param", "--default"}, 0, "", nullptr},
                  {{"load-param", "--default"}, 0, "", nullptr}}}));

TEST(QelctlState, ForeignFileRefused) {
  const std::string path = ::testing::TempDir() + "qelctl_foreign.txt";
  std::ofstream(path) << "not a state file\n";
  const Outcome run = Qelctl({"--simulate-state", path, "info"});
  EXPECT_EQ(run.exitCode, 2);
  ExpectOneErrorLine(run, "is not a state file of the simulated unit");
  EXPECT_EQ(Slurp(path), "not a state file\n");
  std::remove(path.c_str());
}

// Every file qelctl writes, on a disk without room for it: the file it would replace stays as it
// was, no temporary file is left beside it, and the error names the reason.
TEST(QelctlFiles, AFullDiskKeepsThePreviousFile) {
  const std::string dir = ::testing::TempDir() + "qelctl_full_" + std::to_string(getpid()) + "/";
  std::filesystem::create_directories(dir);
  const std::vector<std::vector<std::string>> writers = {{"still"},
                                                         {"settings", "save"},
                                                         {"dump", "fpga"},
                                                         {"dump", "eeprom"},
                                                         {"gamma", "download"},
                                                         {"csv"},
                                                         {"record", "--seconds", "1"}};
  for (std::vector<std::string> args : writers) {
    SCOPED_TRACE(Joined(args));
    args.insert(args.begin(), kSim);
    args.push_back(dir + "f.x");
    const std::string target = args[1] == "csv" ? dir + "f.x_001.csv" : dir + "f.x";
    std::ofstream(target) << "previous\n";
    Outcome run;
    {
      const caltest::FileSizeLimit disk(500);
      run = Qelctl(args);
    }
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("File too large"));
    EXPECT_EQ(Slurp(target), "previous\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
    std::filesystem::remove(target);
  }
  std::filesystem::remove_all(dir);
}

nlohmann::json JsonOf(const std::vector<std::string>& args) {
  const Outcome run = Qelctl(args);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_THAT(run.out, MatchesRegex("\\{[^\n]*\\}\n")) << "one object on one line";
  return nlohmann::json::parse(run.out, nullptr, false);
}

TEST(QelctlJson, InfoNamesVersionsAndHead) {
  for (const auto& [flag, head] : {std::pair{"--simulate", "40K"}, {"--simulate=160k", "160K"}}) {
    const nlohmann::json info = JsonOf({flag, "info", "--json"});
    ASSERT_TRUE(info.is_object());
    EXPECT_EQ(info.value("libraryVersion", ""), "1.0.2.0");
    EXPECT_EQ(info.value("connected", false), true);
    EXPECT_EQ(info.value("head", ""), head);
    EXPECT_TRUE(info["firmwareVersion"].is_string());
    EXPECT_TRUE(info["fpgaVersion"].is_string());
  }
}

TEST(QelctlJson, InfoWithoutUnitStillPrintsTheObjectAndFails) {
  const Outcome run = Qelctl({"info", "--json"});
  EXPECT_EQ(run.exitCode, 1);
  ExpectOneErrorLine(run, "no camera unit connected");
  const nlohmann::json info = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(info.is_object());
  EXPECT_EQ(info.value("connected", true), false);
}

TEST(QelctlJson, StatusRecordDecoded) {
  const nlohmann::json status = JsonOf({kSim, "status", "--json"});
  ASSERT_TRUE(status.is_object());
  EXPECT_EQ(status["status"].size(), 16u);
  EXPECT_EQ(status["changeMask"].size(), 6u);
  EXPECT_TRUE(status["changedRegisters"].is_array());
  EXPECT_EQ(status.value("unitEeprom", ""), "ready");
  EXPECT_EQ(status.value("headEeprom", ""), "ready");
  EXPECT_EQ(status["dataFormat"], status["status"][1]);
}

TEST(QelctlJson, GetCarriesNameIndexAndValue) {
  const nlohmann::json indexed = JsonOf({kSim, "get", "--json", "ColorMatrix", "4"});
  ASSERT_TRUE(indexed.is_object());
  EXPECT_EQ(indexed.value("name", ""), "ColorMatrix");
  EXPECT_EQ(indexed.value("index", -1), 4);
  EXPECT_TRUE(indexed["value"].is_number_integer());

  const nlohmann::json scalar = JsonOf({kSim, "get", "ExposureTime", "--json"});
  ASSERT_TRUE(scalar.is_object());
  EXPECT_EQ(scalar.value("name", ""), "ExposureTime");
  EXPECT_FALSE(scalar.contains("index"));
  EXPECT_TRUE(scalar["value"].is_number_integer());
}

TEST(QelctlJson, PlainGetPrintsTheSameValue) {
  const nlohmann::json json = JsonOf({"--simulate=160k", "get", "--json", "ColorMatrix", "0"});
  const Outcome plain = Qelctl({"--simulate=160k", "get", "ColorMatrix", "0"});
  ASSERT_TRUE(json.is_object());
  EXPECT_EQ(plain.out, std::to_string(json["value"].get<int>()) + "\n");
}

// Files: stills, recordings and settings files, written as the viewer writes them. Refused
// command lines name files that are never written; the others write files named for the process.
const std::string kFiles = ::testing::TempDir() + "qelctl_files_" + std::to_string(getpid()) + "_";

INSTANTIATE_TEST_SUITE_P(
    Files, Refusals,
    ::testing::Values(
        Refusal{{kSim, "record", "never.avi"}, 2, "--seconds is required"},
        Refusal{{kSim, "record", "--seconds", "0", "never.avi"}, 2, "outside 1..86400"},
        Refusal{{kSim, "still"}, 2, "FILE is required"},
        Refusal{{kSim, "settings"}, 2, "a command is required"},
        Refusal{{kSim, "still", "/nonexistent/s.bmp"}, 1, "cannot write /nonexistent/s.bmp"},
        Refusal{{kSim, "record", "--seconds", "1", "/nonexistent/r.avi"},
                1,
                "cannot create /nonexistent/r.avi"},
        Refusal{{kSim, "settings", "load", "/nonexistent/p.qel"},
                1,
                "settings load: cannot read /nonexistent/p.qel"},
        Refusal{{kSim, "settings", "save", "/nonexistent/p.qel"}, 1, "settings save:"},
        Refusal{{"still", "never.bmp"}, 1, "no camera unit connected"}));

INSTANTIATE_TEST_SUITE_P(
    Files, Sequences,
    ::testing::Values(Sequence{
        "SettingsFileRoundTrip",
        {{{"set", "BlackLevel", "10"}, 0, "", nullptr},
         {{"settings", "save", kFiles + "p.qel"},
          0,
          "saved 46 parameters of the 40K head to .*p\\.qel\n",
          nullptr},
         {{"set", "BlackLevel", "20"}, 0, "", nullptr},
         {{"settings", "load", kFiles + "p.qel"},
          0,
          "loaded 46 parameters from .*p\\.qel into the 40K head\n",
          nullptr},
         {{"get", "BlackLevel"}, 0, "10\n", nullptr},
         {{"settings", "load", QELCTL_PATH}, 1, "", "; nothing was sent to the unit"},
         {{"get", "BlackLevel"}, 0, "10\n", nullptr}}}));

// One value outside its control's range: the file is refused whole, the unit keeps its values.
TEST(QelctlFiles, SettingsOutsideTheControlsAreRefusedWhole) {
  const std::string state = kFiles + "settings.bin", path = kFiles + "bad.qel";
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--simulate-state", state});
    return Qelctl(args);
  };
  ASSERT_EQ(run({"settings", "save", path}).exitCode, 0);
  std::string text = Slurp(path);
  text.replace(text.find("\n400\t\t//ExposureTime") + 1, 3, "70000");
  std::ofstream(path, std::ios::binary) << text;
  ASSERT_EQ(run({"set", "BlackLevel", "20"}).exitCode, 0);
  const Outcome load = run({"settings", "load", path});
  EXPECT_EQ(load.exitCode, 1);
  ExpectOneErrorLine(load, "line 5 (//ExposureTime): '70000' is outside 0..438 with a 40K head");
  EXPECT_EQ(run({"get", "BlackLevel"}).out, "20\n");
  std::remove(state.c_str());
}

uint32_t U32At(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | uint8_t(bytes.at(at + size_t(i)));
  return v;
}

TEST(QelctlFiles, StillsHaveTheCaptureSize) {
  struct Case {
    std::vector<std::string> args;
    const char* out;
    size_t bytes;
  };
  const std::string path = kFiles + "s.bmp";
  for (const Case& c :
       {Case{
            {kSim, "still", path}, "s.bmp: 200x200 colour still of the 40K head\n", 54 + 600 * 200},
        Case{{"--simulate=160k", "still", "--boundary", path},
             "s.bmp: 404x404 colour still of the 160K head\n",
             54 + 1212 * 404}}) {
    const Outcome run = Qelctl(c.args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr(c.out));
    const std::string bmp = Slurp(path);
    EXPECT_EQ(bmp.size(), c.bytes);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
  }
  std::remove(path.c_str());
}

TEST(QelctlFiles, ARecordingCarriesItsFramesAndTheMeasuredRate) {
  const std::string path = kFiles + "r.avi";
  const Outcome run = Qelctl({kSim, "record", "--seconds", "2", path});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::smatch m;
  ASSERT_TRUE(
      std::regex_match(run.out, m,
                       std::regex(".*r\\.avi: ([0-9]+) frames of 200x200 at ([0-9]+)\\.([0-9]{2}) "
                                  "frames/s\n")))
      << run.out;
  const uint32_t frames = uint32_t(std::stoul(m[1]));
  const uint32_t hundredths = uint32_t(std::stoul(m[2]) * 100 + std::stoul(m[3]));
  EXPECT_GT(frames, 40u);  // 30 frames per second from the simulated unit
  const std::string avi = Slurp(path);
  ASSERT_GT(avi.size(), 1324u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(U32At(avi, 140), frames);      // stream length
  EXPECT_EQ(U32At(avi, 132), hundredths);  // rate
  EXPECT_EQ(U32At(avi, 128), 100u);        // scale
  std::remove(path.c_str());
}

}  // namespace
