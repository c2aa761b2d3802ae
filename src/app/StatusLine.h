// TStatusLine: the main window's one-line status text, cheap to set many times a second.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

// Operations report their progress here after every command, so setting a text must cost next
// to nothing: the widget never changes its size (no layout pass of the window), line ends are
// dropped, and it repaints at most once per MinRepaintMs, the last text always shown in the end.
class TStatusLine : public QWidget {
    Q_OBJECT
public:
    static constexpr int MinRepaintMs = 50;

    explicit TStatusLine(QWidget* Parent = nullptr);

    // Line ends at the end are dropped; one inside the text shows as a blank.
    void setText(const QString& Text);
    QString text() const { return text_; }
    // Paints done since construction (how often the status cost a repaint), and the text the
    // last one showed.
    int paintCount() const { return paints_; }
    QString paintedText() const { return painted_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    void requestPaint();

    QString text_;
    QString painted_;        // the text of the last paint
    QElapsedTimer lastPaint_;
    QTimer later_;           // a repaint put off until MinRepaintMs after the last one
    bool paintAsked_ = false;
    int paints_ = 0;
};
