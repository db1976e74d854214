// The Debug dialog: its controls, the binding of their texts to the plain commands, the dumps.
#include "viewer/picture/DebugDialog.h"

#include <QApplication>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <vector>

#include "viewer/base/Operator.h"
#include "viewer/base/WaitCursor.h"
#include "viewer/picture/core/DebugCommands.h"

namespace picture {
namespace {

struct FieldRow {
  const char* label;
  int id;
  const char* note = nullptr;
};

struct ButtonSpec {
  const char* text;
  int id;
};

// One group of the template: its fields above the buttons, the buttons, then the Result field.
struct GroupSpec {
  const char* title;
  std::vector<FieldRow> fields;
  std::vector<ButtonSpec> buttons;
  int result;
};

const std::vector<GroupSpec>& Groups() {
  static const std::vector<GroupSpec> groups = {
      {"I2C",
       {{"Slave Addr", kIdSlaveAddr}, {"Write Data", kIdI2cData}, {"Read Size", kIdI2cSize}},
       {{"Write", kIdI2cWrite}, {"Read", kIdI2cRead}, {"Write / Read", kIdI2cWriteRead}},
       kIdI2cResult},
      {"FPGA",
       {{"Addr", kIdFpgaAddr}, {"Write Data", kIdFpgaData}},
       {{"Write", kIdFpgaWrite}, {"Read", kIdFpgaRead}, {"File Dump", kIdFpgaDump}},
       kIdFpgaResult},
      {"EEPROM",
       {{"Type", kIdEepromType, "0 = FX2 / 1 = CIS"},
        {"Addr", kIdEepromAddr},
        {"Write Data", kIdEepromData},
        {"Read Size", kIdEepromSize}},
       {{"Write", kIdEepromWrite}, {"Read", kIdEepromRead}, {"File Dump", kIdEepromDump}},
       kIdEepromResult},
      {"OV426",
       {{"Addr", kIdSensorAddr}, {"Write Data", kIdSensorData}},
       {{"Write", kIdSensorWrite}, {"Read", kIdSensorRead}},
       kIdSensorResult},
  };
  return groups;
}

// Kept for the program run, not per dialog.
DebugKept& Kept() {
  static DebugKept kept;
  return kept;
}

QPointer<DebugDialog>& Opened() {
  static QPointer<DebugDialog> dialog;
  return dialog;
}

// The technician's text as the plain parsers read it: one byte per character, characters
// outside Latin-1 as '?', which no parser takes for a digit or a blank.
std::string FieldText(const QLineEdit* edit) {
  return edit->text().toLatin1().toStdString();
}

}  // namespace

DebugDialog::DebugDialog(QWidget* owner, base::Operator* op) : QDialog(owner), op_(op) {
  setObjectName(QStringLiteral("104"));
  setWindowTitle(QStringLiteral("Debug"));
  Build();
  ShowInitialTexts();
  // Closing the window and Escape both finish the dialog; it ends with them.
  connect(this, &QDialog::finished, this, &QObject::deleteLater);
}

void DebugDialog::Build() {
  auto* columns = new QHBoxLayout(this);
  auto* left = new QVBoxLayout;
  auto* right = new QVBoxLayout;
  columns->addLayout(left);
  columns->addLayout(right);

  auto addField = [this](QGridLayout* grid, int row, const FieldRow& spec) {
    grid->addWidget(new QLabel(QString::fromLatin1(spec.label)), row, 0);
    auto* edit = new QLineEdit;
    edit->setObjectName(QString::number(spec.id));
    grid->addWidget(edit, row, 1);
    if (spec.note != nullptr) grid->addWidget(new QLabel(QString::fromLatin1(spec.note)), row, 2);
    fields_[spec.id] = edit;
    return edit;
  };
  auto addButton = [this](QBoxLayout* row, const ButtonSpec& spec) {
    auto* button = new QPushButton(QString::fromLatin1(spec.text));
    button->setObjectName(QString::number(spec.id));
    button->setAutoDefault(false);
    row->addWidget(button);
    buttons_[spec.id] = button;
    const int id = spec.id;
    connect(button, &QPushButton::clicked, this, [this, id] { Command(id); });
    return button;
  };

  const auto& groups = Groups();
  for (size_t g = 0; g < groups.size(); ++g) {
    const GroupSpec& spec = groups[g];
    auto* box = new QGroupBox(QString::fromLatin1(spec.title));
    auto* grid = new QGridLayout(box);
    int row = 0;
    for (const FieldRow& field : spec.fields) addField(grid, row++, field);
    auto* buttons = new QHBoxLayout;
    for (const ButtonSpec& button : spec.buttons) addButton(buttons, button);
    grid->addLayout(buttons, row++, 1, 1, 2);
    addField(grid, row, {"Result", spec.result})->setReadOnly(true);
    (g % 2 == 0 ? left : right)->addWidget(box);
  }

  // The serial-number row of the template is never shown and does nothing.
  auto* serial = new QWidget(this);
  auto* serialRow = new QHBoxLayout(serial);
  auto* serialGrid = new QGridLayout;
  serialRow->addLayout(serialGrid);
  addField(serialGrid, 0, {"S/N", kIdSerialNo});
  addButton(serialRow, {"Write", kIdSerialWrite});
  addButton(serialRow, {"Read", kIdSerialRead});
  serial->hide();
}

void DebugDialog::ShowInitialTexts() {
  const DebugFields initial = InitialDebugFields(Kept());
  for (int id = kFirstFieldId; id <= kLastFieldId; ++id) {
    fields_.at(id)->setText(QString::fromLatin1(initial[id]));
  }
  buttons_.at(kIdI2cWrite)->setFocus();
}

void DebugDialog::Command(int id) {
  if (id == kIdFpgaDump || id == kIdEepromDump) {
    Dump(id);
    return;
  }
  DebugFields fields;
  for (int field = kFirstFieldId; field <= kLastFieldId; ++field) {
    fields[field] = FieldText(fields_.at(field));
  }
  const DebugFields before = fields;
  const DebugOutcome outcome = RunDebugCommand(id, fields, Kept());
  // Only the fields the command rewrote change: text it did not touch stays as typed.
  for (int field = kFirstFieldId; field <= kLastFieldId; ++field) {
    if (fields[field] != before[field]) {
      fields_.at(field)->setText(QString::fromLatin1(fields[field]));
    }
  }
  base::Operator* op = op_;
  if (outcome == DebugOutcome::NoWriteData && op != nullptr) {
    op->Message(this, QStringLiteral("info"), QStringLiteral("No Write Data"),
                base::PromptIcon::None);
  }
}

void DebugDialog::Dump(int id) {
  base::Operator* op = op_;
  if (op == nullptr) return;
  if (!UnitConnected()) {
    op->Message(this, QStringLiteral("Message"), QStringLiteral("No Connected Camera!"),
                base::PromptIcon::Warning);
    return;
  }
  const bool eeprom = id == kIdEepromDump;
  base::FileRequest request;
  request.owner = this;
  request.title = QStringLiteral("Save File");
  request.filter = QString(10, QLatin1Char('\t')) + QStringLiteral(" Dump Data (*.txt)");
  request.defaultSuffix = QStringLiteral("txt");
  request.proposedName = QString::fromLatin1(eeprom ? kEepromDumpName : kFpgaDumpName);
  const QString path = op->SaveFile(request);
  if (path.isEmpty()) return;

  const base::WaitCursor wait;
  const int selector = ParseEepromSelector(FieldText(fields_.at(kIdEepromType)));
  // A file that cannot be written is not reported: the technician sees no file.
  WriteDumpFile(QFile::encodeName(path).toStdString(), [&] {
    return eeprom ? EepromDumpText(selector != 0, UnitEepromReader(selector))
                  : FpgaDumpText(UnitRegisterReader());
  });
}

void OpenDebugDialog(QWidget* owner, base::Operator* op) {
  QPointer<DebugDialog>& opened = Opened();
  // A closed dialog is hidden at once and deleted a moment later; it no longer counts as open.
  if (opened && opened->isVisible()) return;
  opened = new DebugDialog(owner, op);
  opened->show();
}

DebugDialog* OpenedDebugDialog() {
  return Opened().data();
}

}  // namespace picture
