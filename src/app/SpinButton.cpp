// SpinButton: TSpinButton, a pair of small up and down buttons that step a neighbouring field.
#include "app/SpinButton.h"

#include <QToolButton>
#include <QVBoxLayout>

TSpinButton::TSpinButton(const QString& name, QWidget* parent) : QWidget(parent)
{
    setObjectName(name);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    up_->setObjectName(name + QStringLiteral("Up"));
    up_->setArrowType(Qt::UpArrow);
    up_->setFixedSize(18, 12);
    down_ = new QToolButton(this);
    down_->setObjectName(name + QStringLiteral("Down"));
    down_->setArrowType(Qt::DownArrow);
    down_->setFixedSize(18, 12);
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, &TSpinButton::UpClick);
    connect(down_, &QToolButton::clicked, this, &TSpinButton::DownClick);
}
