// PLACEHOLDER: replaced by its owner in this session.
#include "app/Unit1.h"

TMainForm::TMainForm(View& view, Hid& hid, CarriedImage update_image)
    : view_(view), hid_(hid), update_image_(update_image) {}

void TMainForm::FormCreate() {}
void TMainForm::FormClose() {}
void TMainForm::PageControl1Change() {}
