// The Debug dialog (template 104): raw I2C, FPGA register, OV426 and EEPROM access and the two
// text dumps, for a service technician.
#pragma once

#include <QDialog>
#include <map>

class QLineEdit;
class QPushButton;

namespace base {
class Operator;
}

namespace picture {

class DebugDialog : public QDialog {
 public:
  // Messages and file dialogs go through `op` (none while it is null).
  DebugDialog(QWidget* owner, base::Operator* op);

  QLineEdit* Field(int id) const { return fields_.at(id); }
  QPushButton* Button(int id) const { return buttons_.at(id); }

  // What a click on button `id` does.
  void Command(int id);

 private:
  void Build();
  void ShowInitialTexts();
  void Dump(int id);

  base::Operator* op_;
  std::map<int, QLineEdit*> fields_;
  std::map<int, QPushButton*> buttons_;
};

// Menu command 40003: creates and shows the modeless dialog owned by `owner` unless one is open.
void OpenDebugDialog(QWidget* owner, base::Operator* op);

// The open dialog, or null.
DebugDialog* OpenedDebugDialog();

}  // namespace picture
