// PLACEHOLDER: replaced by its owner in this session.
#include "app/Unit1.h"

void TMainForm::Button1Click() {}
void TMainForm::Button2Click() {}
void TMainForm::ComboBox1Change() {}
void TMainForm::ComboBox2Change() {}
void TMainForm::ComboBox3Change() {}
void TMainForm::ComboBox4Change() {}
void TMainForm::ComboBox5Change() {}
void TMainForm::ComboBox6Change() {}
void TMainForm::ComboBox7Change() {}
void TMainForm::ShowParams() {}
