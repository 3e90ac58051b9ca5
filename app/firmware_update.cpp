// PLACEHOLDER: replaced by its owner in this session.
#include "app/Unit1.h"

void TMainForm::Button3Click() {}
void TMainForm::stream_update() {}
