// Unit1CheckRun: the POP3 session buttons and the check run over the current or every account.
#include "app/Unit1.h"

void TForm1::Button10Click()
{
    ManualCheck = true;
    CheckMail();
    ManualCheck = false;
}

void TForm1::CheckMail()
{
    // The check run arrives with the mail protocols.
}

void TForm1::ClosePopSession()
{
    // Closing the POP3 session arrives with the mail protocols.
}
