// PLACEHOLDER: replaced by its owner in this session.
#include "app/Unit1.h"

void TMainForm::Button10Click() {}
void TMainForm::Button11Click() {}
void TMainForm::Button12Click() {}
void TMainForm::Edit7Change() {}
void TMainForm::Edit8Change() {}
void TMainForm::Edit9Change() {}
void TMainForm::Edit10Change() {}
void TMainForm::Button8Click() {}
void TMainForm::Button13Click() {}
void TMainForm::Button6Click() {}
