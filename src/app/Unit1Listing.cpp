// Unit1Listing: the message list and the reader of the mailbox pages.
#include "app/Unit1.h"

void TForm1::Button5Click()
{
}
