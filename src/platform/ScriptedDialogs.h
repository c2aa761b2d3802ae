// ScriptedDialogs: dialogs answered from a script, for tests; every dialog shown is recorded.
#pragma once
#include "platform/Dialogs.h"

#include <deque>
#include <functional>
#include <vector>

class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { YesNo, OkCancel, Message, Error, Input, OpenFiles, Print };

    struct Shown {
        Kind kind;
        QString caption;
        QString text;   // question, message, or input prompt
        QString value;  // input dialog's initial value; file dialog's folder
        MessageIcon icon = MessageIcon::None;
        bool multiple = false; // file dialog: several files may be chosen
        bool defaultNo = false; // question: No is the default button
        bool hidden = false;    // input: the typed text is hidden
    };

    // Answers, consumed in order by the dialogs that take them. A dialog shown with no answer
    // queued takes the negative answer (No, Cancel) and is counted as unexpected.
    void AnswerYes() { answers_.push_back({true, {}, {}, {}}); }
    void AnswerNo() { answers_.push_back({false, {}, {}, {}}); }
    void AnswerInput(const QString& text) { answers_.push_back({true, text, {}, {}}); }
    void AnswerFiles(const QStringList& files) { answers_.push_back({true, {}, files, {}}); }
    // The print dialog: the callback sets up the printer (e.g. PDF output, copies); true = OK.
    void AnswerPrint(std::function<void(QPrinter&)> setup) { answers_.push_back({true, {}, {}, std::move(setup)}); }

    // Called whenever a dialog is shown, after it is recorded (tests use it to act "inside" a modal).
    std::function<void(const Shown&)> OnShown;

    const std::vector<Shown>& shown() const { return shown_; }
    int unexpected() const { return unexpected_; }
    size_t pending() const { return answers_.size(); }
    void clear() { shown_.clear(); unexpected_ = 0; answers_.clear(); }

    bool ConfirmYesNo(const QString& text) override;
    bool ConfirmYesNoDefaultNo(const QString& text) override;
    bool ConfirmOkCancel(const QString& text) override;
    void Message(const QString& text, MessageIcon icon, const QString& caption) override;
    void ShowError(const QString& text) override;
    std::optional<QString> InputText(const QString& caption, const QString& prompt, const QString& value) override;
    std::optional<QString> InputSecret(const QString& caption, const QString& prompt, const QString& value) override;
    QStringList OpenFiles(const OpenFileOptions& options) override;
    bool ChoosePrinter(QPrinter& printer) override;

private:
    struct Answer {
        bool positive;
        QString text;
        QStringList files;
        std::function<void(QPrinter&)> print;
    };
    Answer take();
    void record(Shown s);

    std::deque<Answer> answers_;
    std::vector<Shown> shown_;
    int unexpected_ = 0;
};
