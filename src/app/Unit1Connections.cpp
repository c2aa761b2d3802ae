// Unit1Connections: the network connections list of the "Serveur" page and the line probe.
#include "app/Unit1.h"

#include <QComboBox>

void TForm1::EnumerateDialUpEntries()
{
    ComboBox1->clear();
    // The entries arrive with the dial-up service.
}

bool TForm1::ProbeLine()
{
    QuietEnumeration = true;
    LineUp = false;
    // The active connections arrive with the dial-up service.
    return LineUp;
}

void TForm1::OfferToCloseConnections()
{
    QuietEnumeration = false;
    // The active connections arrive with the dial-up service.
}

void TForm1::HangUpLine()
{
    // Hanging up arrives with the dial-up service.
}
