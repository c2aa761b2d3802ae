// Main: THiddenForm, the invisible application window; the program ends when it closes.
#include "app/Main.h"

#include "app/Unit1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

THiddenForm::THiddenForm() : QWidget(nullptr)
{
    setObjectName(QStringLiteral("HiddenForm"));
    setWindowTitle(QStringLiteral("HiddenForm"));
    setGeometry(-5000, -5000, 273, 205);
}

void THiddenForm::FormShow()
{
    TForm1* f = form1_;
    const bool complete = !f->HostCombo->currentText().isEmpty() && !f->Edit2->text().isEmpty()
                          && !f->Edit3->text().isEmpty() && !f->Edit4->text().isEmpty()
                          && !f->ComboBox1->currentText().isEmpty();
    if (!f->ShowOnStart->isChecked() && complete)
        return;
    f->show();
    f->raise();
    f->activateWindow();
}

void THiddenForm::Test31Click()
{
    form1_->SaveSettings();
    FormClose();
}

void THiddenForm::FormClose()
{
    if (closed_)
        return;
    closed_ = true;
    form1_->QuietEnumeration = false;
    emit Ended();
}

void THiddenForm::SetToolTip(const QString& tip)
{
    toolTip_ = tip.left(62);
}
