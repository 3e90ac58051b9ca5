// PLACEHOLDER: replaced by its owner in this session.
#include "app/Unit1.h"

void TMainForm::Edit1Change() {}
void TMainForm::ComboBox8Change() {}
void TMainForm::ComboBox9Change() {}
void TMainForm::Button15Click() {}
void TMainForm::Timer2Timer() {}
