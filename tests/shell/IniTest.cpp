// The private-profile reader and writer and the viewer's two ini switches.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "viewer/shell/Ini.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(ProfileInt, MissingFileSectionKeyOrValueGiveTheDefault) {
  EXPECT_EQ(shell::GetPrivateProfileInt("/nonexistent/dir/x.ini", "S", "K", 7), 7);
  const std::string text = "[Other]\nWindowMode=5\n[QEL_Viewer]\nExpertMode=\nSpare=3\n";
  EXPECT_EQ(shell::ProfileIntFromText(text, "QEL_Viewer", "WindowMode", 9), 9);
  EXPECT_EQ(shell::ProfileIntFromText(text, "QEL_Viewer", "ExpertMode", 4), 4);
  EXPECT_EQ(shell::ProfileIntFromText(text, "Missing", "Spare", 2), 2);
}

TEST(ProfileInt, ParsesTheLeadingIntegerLikeTheProfileFunctions) {
  auto value = [](const std::string& v) {
    return shell::ProfileIntFromText("[s]\nk=" + v + "\n", "s", "k", 99);
  };
  EXPECT_EQ(value("1"), 1);
  EXPECT_EQ(value("  42  "), 42);
  EXPECT_EQ(value("12abc"), 12);
  EXPECT_EQ(value("abc"), 0);  // present but not a number: 0, not the default
  EXPECT_EQ(value("0x1F"), 31);
  EXPECT_EQ(value("-3"), -3);
  EXPECT_EQ(value("\"5\""), 5);
  EXPECT_EQ(value("4294967297"), 1);  // kept to 32 bits, never overflows
}

TEST(ProfileInt, NamesCompareWithoutCaseAndCommentsAreSkipped) {
  const std::string text = "; [QEL_Viewer]\r\n[qel_viewer]\r\n;WindowMode=3\r\nwindowmode = 2\r\n";
  EXPECT_EQ(shell::ProfileIntFromText(text, "QEL_Viewer", "WindowMode", 0), 2);
}

TEST(ProfileString, ReplacesOrAddsKeysAndKeepsEverythingElse) {
  const std::string before = "[A]\nx=1\n\n[QEL_Viewer]\nWindowMode=1\nOther=z\n\n[B]\ny=2\n";
  std::string after = shell::SetProfileStringInText(before, "QEL_Viewer", "WindowMode", "0");
  after = shell::SetProfileStringInText(after, "QEL_Viewer", "ExpertMode", "1");
  EXPECT_EQ(after, "[A]\nx=1\n\n[QEL_Viewer]\nWindowMode=0\nOther=z\nExpertMode=1\n\n[B]\ny=2\n");
  // A missing section is appended; CR LF files stay CR LF.
  EXPECT_EQ(shell::SetProfileStringInText("[A]\r\nx=1\r\n", "S", "k", "v"),
            "[A]\r\nx=1\r\n[S]\r\nk=v\r\n");
}

TEST(ProfileString, AByteOrderMarkIsNotPartOfTheFirstSection) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string text = bom + "[QEL_Viewer]\r\nWindowMode=1\r\n";
  EXPECT_EQ(shell::ProfileIntFromText(text, "QEL_Viewer", "WindowMode", 0), 1);
  EXPECT_EQ(shell::SetProfileStringInText(text, "QEL_Viewer", "WindowMode", "0"),
            bom + "[QEL_Viewer]\r\nWindowMode=0\r\n");
}

TEST(ViewerIni, FirstStartInAnEmptyDirectoryWritesBothKeysAsZero) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const shell::ViewerIni ini = shell::LoadViewerIni(dir.path().toStdString());
  EXPECT_EQ(ini.windowMode, 0);
  EXPECT_EQ(ini.expertMode, 0);
  const std::string path = (dir.path() + "/QEL_Viewer.ini").toStdString();
  EXPECT_EQ(shell::GetPrivateProfileInt(path, "QEL_Viewer", "WindowMode", 7), 0);
  EXPECT_EQ(shell::GetPrivateProfileInt(path, "QEL_Viewer", "ExpertMode", 7), 0);
}

TEST(ViewerIni, ValuesAreReadAndWrittenBackAsDecimal) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = (dir.path() + "/QEL_Viewer.ini").toStdString();
  WriteAll(path, "[QEL_Viewer]\nWindowMode=0x2\nExpertMode=1 ; on\n");
  const shell::ViewerIni ini = shell::LoadViewerIni(dir.path().toStdString());
  EXPECT_EQ(ini.windowMode, 2);
  EXPECT_EQ(ini.expertMode, 1);
  EXPECT_EQ(ReadAll(path), "[QEL_Viewer]\nWindowMode=2\nExpertMode=1\n");
}

TEST(ViewerIni, AnUnwritableDirectoryStillGivesTheDefaults) {
  const shell::ViewerIni ini = shell::LoadViewerIni("/nonexistent/dir");
  EXPECT_EQ(ini.windowMode, 0);
  EXPECT_EQ(ini.expertMode, 0);
}

}  // namespace
