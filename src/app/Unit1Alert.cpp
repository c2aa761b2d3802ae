// Unit1Alert: the alert sound of the main window.
#include "app/Unit1.h"

void TForm1::SelectAlertSound()
{
    // The sound choice arrives with the alert window.
}
