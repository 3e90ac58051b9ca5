// PLACEHOLDER: replaced by its owner in this session.
#include "app/Unit1.h"

void TMainForm::BitBtn1Click() {}
void TMainForm::BitBtn2Click() {}
void TMainForm::BitBtn3Click() {}
void TMainForm::BitBtn4Click() {}
void TMainForm::Button5Click() {}
void TMainForm::BitBtn7Click() {}
void TMainForm::BitBtn8Click() {}
void TMainForm::BitBtn10Click() {}
void TMainForm::BitBtn9Click() {}
void TMainForm::BitBtn11Click() {}
void TMainForm::BitBtn5Click() {}
void TMainForm::Button7Click() {}
void TMainForm::BitBtn12Click() {}
void TMainForm::BitBtn6Click() {}
void TMainForm::Button9Click() {}
void TMainForm::BitBtn13Click() {}
void TMainForm::BitBtn14Click() {}
void TMainForm::Button4Click() {}
void TMainForm::Button14Click() {}
