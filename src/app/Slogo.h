// Slogo: TLogo, the splash window shown while the program starts.
#pragma once
#include <QWidget>

class QLabel;
class TSleeper;

class TLogo : public QWidget {
    Q_OBJECT
public:
    TLogo();
    QLabel* Image1 = nullptr;
    TSleeper* Sleeper = nullptr;
};
