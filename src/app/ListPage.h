// ListPage: TListPage, the "Liste des messages" page: the buttons that list the messages and open
// the usual mail program, and the list itself, one line a message, the unread ones in bold.
#pragma once
#include <QList>
#include <QString>
#include <QWidget>
#include <functional>

class QListWidget;
class QPushButton;
struct TSummary;

class TListPage : public QWidget {
    Q_OBJECT
public:
    explicit TListPage(QWidget* parent = nullptr);

    QPushButton* Button5 = nullptr; // "Lister"
    QPushButton* Button4 = nullptr; // usual mail program
    QListWidget* ListBox1 = nullptr;

    // A key pressed in the list (the window deletes the selected message on Delete).
    std::function<void(int key)> OnListKey;

    // One line of the list: its text, and whether the message is still unread.
    struct TLine {
        QString Text;
        bool Unread = false;
    };
    // The line for message n: "n - From - Subject (size octets)", From and Subject decoded.
    static TLine LineFor(int n, const TSummary& summary);
    // Adds lines at the end of the list, in one go.
    void AddLines(const QList<TLine>& lines);
    // The line of the list the user has selected, -1 when none.
    int SelectedRow() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};
