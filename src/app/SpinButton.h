// SpinButton: TSpinButton, a pair of small up and down buttons that step a neighbouring field.
#pragma once
#include <QWidget>

class QToolButton;

class TSpinButton : public QWidget {
    Q_OBJECT
public:
    explicit TSpinButton(const QString& name, QWidget* parent = nullptr);
    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }
signals:
    void UpClick();
    void DownClick();
private:
    QToolButton* up_;
    QToolButton* down_;
};
