// Unit1Help: help, About, the author's pages and the start with the desktop session.
#include "app/Unit1.h"

void TForm1::WinStartClick()
{
    // The session autostart entry arrives with the help and About buttons.
}
