// The Debug dialog (template 104): raw I2C, FPGA register, OV426 and EEPROM access and the two
// text dumps, for a service technician.
#pragma once

#include <QDialog>
#include <map>

class QLineEdit;
class QPushButton;

namespace picture {

class DebugDialog : public QDialog {
 public:
  explicit DebugDialog(QWidget* owner);

  QLineEdit* Field(int id) const { return fields_.at(id); }
  QPushButton* Button(int id) const { return buttons_.at(id); }

  // What a click on button `id` does.
  void Command(int id);

 private:
  void Build();
  void ShowInitialTexts();
  void Dump(int id);

  std::map<int, QLineEdit*> fields_;
  std::map<int, QPushButton*> buttons_;
};

// Menu command 40003: creates and shows the modeless dialog owned by `owner` unless one is open.
void OpenDebugDialog(QWidget* owner);

// The open dialog, or null.
DebugDialog* OpenedDebugDialog();

}  // namespace picture
