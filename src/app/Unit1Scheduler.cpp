// Unit1Scheduler: the automatic connections: minute tick, mode fields, time fields, countdown text.
#include "app/Unit1.h"

void TForm1::Timer2Timer() {}
void TForm1::CheckBox1Click() {}
void TForm1::RadioButton1Click() {}
void TForm1::RadioButton2Click() {}
void TForm1::RadioButton3Click() {}
void TForm1::SpinEdit2Change() {}
void TForm1::EditChange() {}
void TForm1::EditHChange() {}
void TForm1::ComboBox2Change() {}
void TForm1::HSpinUpClick() {}
void TForm1::HSpinDownClick() {}
void TForm1::MSpinUpClick() {}
void TForm1::MSpinDownClick() {}
void TForm1::HSpinHUpClick() {}
void TForm1::HSpinHDownClick() {}
void TForm1::MSpinHUpClick() {}
void TForm1::MSpinHDownClick() {}
void TForm1::UpdateNextConnection() {}
