// TStatusLine: the main window's one-line status text, cheap to set many times a second.
#include "app/StatusLine.h"

#include <QPaintEvent>
#include <QPainter>

TStatusLine::TStatusLine(QWidget* Parent) : QWidget(Parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    later_.setSingleShot(true);
    connect(&later_, &QTimer::timeout, this, [this] { requestPaint(); });
}

void TStatusLine::setText(const QString& Text)
{
    qsizetype end = Text.size();
    while (end > 0 && (Text[end - 1] == QLatin1Char('\n') || Text[end - 1] == QLatin1Char('\r')))
        --end;
    QString line = Text.left(end);
    if (line.contains(QLatin1Char('\n')) || line.contains(QLatin1Char('\r'))) {
        line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        line.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    }
    if (line == text_)
        return;
    text_ = std::move(line);
    if (paintAsked_ || later_.isActive())
        return;  // the coming paint shows the newest text
    const qint64 since = lastPaint_.isValid() ? lastPaint_.elapsed() : MinRepaintMs;
    if (since >= MinRepaintMs)
        requestPaint();
    else
        later_.start(static_cast<int>(MinRepaintMs - since));
}

void TStatusLine::requestPaint()
{
    if (text_ == painted_ && lastPaint_.isValid())
        return;
    paintAsked_ = true;
    update();
}

QSize TStatusLine::sizeHint() const
{
    return {200, fontMetrics().height() + 4};
}

QSize TStatusLine::minimumSizeHint() const
{
    return {0, fontMetrics().height() + 4};
}

void TStatusLine::paintEvent(QPaintEvent*)
{
    paintAsked_ = false;
    lastPaint_.restart();
    painted_ = text_;
    ++paints_;
    QPainter painter(this);
    const QRect area = rect().adjusted(2, 0, -2, 0);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text_, Qt::ElideRight, area.width()));
}
