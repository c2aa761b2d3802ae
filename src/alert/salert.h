// salert: TAlert, the window that lists the result of a check, one line per server.
#pragma once
#include <QDialog>

class QListWidget;
class QPushButton;
class QTimer;

class TAlert : public QDialog {
    Q_OBJECT
public:
    explicit TAlert(QWidget* parent = nullptr);

    QListWidget* ListBox = nullptr;
    QPushButton* CloseBtn = nullptr;   // "Fermer"
    QPushButton* HangUpBtn = nullptr;  // "Raccrocher"
    QPushButton* Button4 = nullptr;    // usual mail program
    QTimer* Timer1 = nullptr;          // automatic hang-up tick, 60 s while shown

    void FormCreate();
};
