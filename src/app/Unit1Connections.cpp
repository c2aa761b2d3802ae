// Unit1Connections: the network connections list of the "Serveur" page and the line probe.
#include "app/Unit1.h"

#include <QComboBox>

void TForm1::EnumerateDialUpEntries()
{
    ComboBox1->clear();
    // The entries arrive with the dial-up service.
}
