// ScriptedDialogs: dialogs answered from a script, for tests; every dialog shown is recorded.
#include "platform/ScriptedDialogs.h"

ScriptedDialogs::Answer ScriptedDialogs::take()
{
    if (answers_.empty()) {
        ++unexpected_;
        return Answer{false, {}, {}, {}};
    }
    Answer a = std::move(answers_.front());
    answers_.pop_front();
    return a;
}

void ScriptedDialogs::record(Shown s)
{
    shown_.push_back(s);
    if (OnShown)
        OnShown(shown_.back());
}

bool ScriptedDialogs::ConfirmYesNo(const QString& text)
{
    record({Kind::YesNo, {}, text, {}, MessageIcon::None});
    return take().positive;
}

bool ScriptedDialogs::ConfirmYesNoDefaultNo(const QString& text)
{
    Shown s{Kind::YesNo, {}, text, {}, MessageIcon::None};
    s.defaultNo = true;
    record(s);
    return take().positive;
}

bool ScriptedDialogs::ConfirmOkCancel(const QString& text)
{
    record({Kind::OkCancel, {}, text, {}, MessageIcon::None});
    return take().positive;
}

void ScriptedDialogs::Message(const QString& text, MessageIcon icon, const QString& caption)
{
    record({Kind::Message, caption, text, {}, icon});
}

void ScriptedDialogs::ShowError(const QString& text)
{
    record({Kind::Error, {}, text, {}, MessageIcon::Error});
}

std::optional<QString> ScriptedDialogs::InputText(const QString& caption, const QString& prompt, const QString& value)
{
    record({Kind::Input, caption, prompt, value, MessageIcon::None});
    Answer a = take();
    if (!a.positive)
        return std::nullopt;
    return a.text;
}

std::optional<QString> ScriptedDialogs::InputSecret(const QString& caption, const QString& prompt, const QString& value)
{
    Shown s{Kind::Input, caption, prompt, value, MessageIcon::None};
    s.hidden = true;
    record(s);
    Answer a = take();
    if (!a.positive)
        return std::nullopt;
    return a.text;
}

QStringList ScriptedDialogs::OpenFiles(const OpenFileOptions& options)
{
    record({Kind::OpenFiles, options.title, options.filter, options.folder, MessageIcon::None, options.multiple});
    Answer a = take();
    return a.positive ? a.files : QStringList();
}

bool ScriptedDialogs::ChoosePrinter(QPrinter& printer)
{
    record({Kind::Print, {}, {}, {}, MessageIcon::None});
    Answer a = take();
    if (!a.positive)
        return false;
    if (a.print)
        a.print(printer);
    return true;
}
