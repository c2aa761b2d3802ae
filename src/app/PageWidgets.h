// PageWidgets: small helpers the pages build their controls with (each control named as its
// objectName, so tests and stored settings find it).
#pragma once
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QString>
#include <QToolButton>
#include <algorithm>
#include <initializer_list>
#include <utility>

template <typename W, typename... Args>
W* make(const char* name, QWidget* parent, Args&&... args)
{
    auto* w = new W(std::forward<Args>(args)..., parent);
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

inline QLabel* label(const char* name, const QString& text, QWidget* parent)
{
    return make<QLabel>(name, parent, text);
}

inline QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    return make<QPushButton>(name, parent, caption);
}

// A time field: hours with an optional first digit, then minutes; ":" is always the separator.
inline QLineEdit* timeField(const char* name, QWidget* parent)
{
    auto* e = make<QLineEdit>(name, parent);
    e->setInputMask(QStringLiteral("09:99; "));
    e->setMaxLength(5);
    e->setFixedWidth(50);
    return e;
}

// A button with a picture; its hint is kept as the "hint" property and shown as a tool tip only
// when asked.
inline QToolButton* glyphButton(const char* name, QStyle::StandardPixmap pixmap, const QString& hint, bool showHint,
                         QWidget* parent)
{
    auto* b = make<QToolButton>(name, parent);
    b->setIcon(QApplication::style()->standardIcon(pixmap));
    b->setProperty("hint", hint);
    if (showHint)
        b->setToolTip(hint);
    return b;
}

inline QToolButton* speedButton(const char* name, QStyle::StandardPixmap pixmap, const QString& caption, const QString& hint,
                         QWidget* parent)
{
    QToolButton* b = glyphButton(name, pixmap, hint, false, parent);
    b->setText(caption);
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return b;
}

inline QComboBox* editableCombo(const char* name, QWidget* parent)
{
    auto* c = make<QComboBox>(name, parent);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    return c;
}

// Places widgets left to right from x on one row, each at least as wide as its text needs, with
// a gap between them; returns the x after the last one.
inline int placeRow(int x, int y, int height, std::initializer_list<QWidget*> widgets, int gap = 4)
{
    for (QWidget* w : widgets) {
        const int width = std::max(w->width(), w->sizeHint().width());
        w->setGeometry(x, y, width, height);
        x += width + gap;
    }
    return x;
}
