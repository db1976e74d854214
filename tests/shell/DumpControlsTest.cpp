// The controls dump over a small window with the ids, classes and placements of the real one.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>

#include "viewer/shell/Application.h"
#include "viewer/shell/DumpControls.h"

namespace {

using nlohmann::json;

class DumpControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.setObjectName("101");
    window.resize(1000, 600);
    auto* tabs = new QTabWidget(&window);
    tabs->setObjectName("1001");
    tabs->setGeometry(0, 0, 1000, 600);
    picture = new QWidget;
    picture->setObjectName("102");
    calibration = new QWidget;
    calibration->setObjectName("103");
    tabs->addTab(picture, "Picture");
    tabs->addTab(calibration, "Calibration");
    picture->resize(990, 570);
    calibration->resize(990, 570);

    auto* slider = new QSlider(Qt::Horizontal, picture);
    slider->setObjectName("7002");
    slider->setRange(0, 438);
    slider->setValue(400);
    slider->setGeometry(830, 314, 120, 20);
    slider->setEnabled(false);

    // A group parked beside the page: its controls exist but cannot be seen.
    auto* parked = new QGroupBox("Color Control", picture);
    parked->setObjectName("9502");
    parked->setGeometry(4670, 290, 300, 200);
    auto* label = new QLabel("Red Gain", parked);
    label->setObjectName("6009");

    auto* hidden = new QPushButton("Save", picture);
    hidden->setObjectName("3006");
    hidden->setGeometry(10, 10, 50, 20);
    hidden->hide();

    auto* unnamed = new QLabel("no id", picture);
    unnamed->setObjectName("label_2");

    auto* zoom = new QComboBox(calibration);
    zoom->setObjectName("5001");
    zoom->addItems({"100%", "200%", "400%"});
    zoom->setCurrentIndex(1);
    zoom->setGeometry(10, 10, 80, 20);

    auto* frames = new QSpinBox(calibration);
    frames->setObjectName("9606");
    frames->setRange(1, 100);
    frames->setValue(3);
    frames->setGeometry(476, 500, 40, 20);

    window.show();
  }

  // The entry of control id on page.
  static json Entry(const json& dump, int page, int id) {
    for (const json& e : dump) {
      if (e["page"] == page && e["id"] == id) return e;
    }
    return nullptr;
  }

  QWidget window;
  QWidget* picture = nullptr;
  QWidget* calibration = nullptr;
};

TEST_F(DumpControlsTest, DescribesEveryNumberedControlOnItsPage) {
  const json dump = shell::ControlsJson(window);
  ASSERT_TRUE(dump.is_array());
  EXPECT_EQ(dump.size(), 9u);  // 1001, both pages and six controls; "label_2" has no id

  const json tabs = Entry(dump, 101, 1001);
  EXPECT_EQ(tabs["class"], "QTabWidget");
  EXPECT_EQ(tabs["items"], json({"Picture", "Calibration"}));
  EXPECT_EQ(tabs["index"], 0);
  EXPECT_EQ(Entry(dump, 101, 102)["visible"], true);
  EXPECT_EQ(Entry(dump, 101, 103)["visible"], false);  // not the shown tab

  const json exposure = Entry(dump, 102, 7002);
  EXPECT_EQ(exposure["class"], "QSlider");
  EXPECT_EQ(exposure["value"], 400);
  EXPECT_EQ(exposure["min"], 0);
  EXPECT_EQ(exposure["max"], 438);
  EXPECT_EQ(exposure["enabled"], false);
  EXPECT_EQ(exposure["visible"], true);

  const json group = Entry(dump, 102, 9502);
  EXPECT_EQ(group["text"], "Color Control");
  EXPECT_EQ(group["visible"], false);
  const json label = Entry(dump, 102, 6009);
  EXPECT_EQ(label["text"], "Red Gain");
  EXPECT_EQ(label["visible"], false);
  EXPECT_EQ(label["enabled"], true);
  EXPECT_EQ(Entry(dump, 102, 3006)["visible"], false);

  EXPECT_EQ(label["width"], 0);  // what is not seen takes no room
  EXPECT_EQ(Entry(dump, 102, 3006)["height"], 0);
  EXPECT_EQ(QSize(exposure["width"], exposure["height"]), QSize(120, 20));

  // Controls of the hidden tab are described as they show once their page is chosen.
  const json zoom = Entry(dump, 103, 5001);
  EXPECT_EQ(zoom["class"], "QComboBox");
  EXPECT_EQ(zoom["text"], "200%");
  EXPECT_EQ(zoom["index"], 1);
  EXPECT_EQ(zoom["items"], json({"100%", "200%", "400%"}));
  EXPECT_EQ(zoom["visible"], true);
  const json frames = Entry(dump, 103, 9606);
  EXPECT_EQ(frames["value"], 3);
  EXPECT_EQ(frames["min"], 1);
  EXPECT_EQ(frames["max"], 100);
}

TEST_F(DumpControlsTest, WritesTheFileOrSaysItCannot) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("controls.json");
  ASSERT_TRUE(shell::DumpControls(window, path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(json::parse(file.readAll().toStdString()), shell::ControlsJson(window));
  EXPECT_FALSE(shell::DumpControls(window, dir.filePath("missing/controls.json")));
}

TEST(DumpControlsOption, TakesAFile) {
  EXPECT_EQ(shell::ParseOptions({"QEL_Viewer", "--dump-controls", "c.json"}).dumpControls,
            "c.json");
  EXPECT_EQ(shell::ParseOptions({"QEL_Viewer", "--dump-controls=d.json"}).dumpControls, "d.json");
  EXPECT_FALSE(shell::ParseOptions({"QEL_Viewer", "--dump-controls"}).error.isEmpty());
}

}  // namespace
