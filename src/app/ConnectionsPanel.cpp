// ConnectionsPanel: the network connections of the "Serveur" page, the line probe, dialing before
// a connection, and the dial-up component's events.
#include "app/ConnectionsPanel.h"

#include "app/AppContext.h"
#include "app/ServerPage.h"
#include "app/StatusLine.h"
#include "dialup/DialUp.h"
#include "platform/DialService.h"
#include "platform/Dialogs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>

namespace {

// The name as the service gives it, up to a first zero character.
QString entryName(const QString& name)
{
    const int zero = name.indexOf(QChar(0));
    return zero < 0 ? name : name.left(zero);
}

} // namespace

TConnectionsPanel::TConnectionsPanel(AppContext& context, TDialUp& dialUp, TServerPage& page, QTabWidget& pages,
                                     TStatusLine& status)
    : context_(context), dialUp_(dialUp), page_(page), pages_(pages), status_(status)
{
    ConnectDialUpEvents();
}

void TConnectionsPanel::ConnectDialUpEvents()
{
    dialUp_.OnEntryGet = [this](QObject*, const QString& name) { page_.ComboBox1->addItem(entryName(name)); };
    dialUp_.OnDialing = [this](QObject*) {
        status_.setText(QStringLiteral("Numérotation..."));
        // The text is painted before the dial blocks.
        QCoreApplication::processEvents();
    };
    dialUp_.OnConnect = [this](QObject*) { status_.setText(QStringLiteral("Connexion %1 active").arg(dialUp_.Entry)); };
    dialUp_.OnNotConnected = [this](QObject*, uint32_t, const QString&) {
        status_.setText(QStringLiteral("Non connecté à %1").arg(dialUp_.Entry));
    };
    dialUp_.OnError = [this](QObject*, uint32_t, const QString&) {
        status_.setText(QStringLiteral("Connexion impossible via %1").arg(dialUp_.Entry));
    };
    dialUp_.OnAsyncEvent = [this](QObject*, uint32_t, uint32_t, const QString& text) { status_.setText(text); };
}

void TConnectionsPanel::EnumerateDialUpEntries()
{
    page_.ComboBox1->clear();
    dialUp_.GetEntries();
}

bool TConnectionsPanel::ProbeLine()
{
    LineUp = TDialLine(dialUp_).ActiveConnections();
    return LineUp;
}

void TConnectionsPanel::OfferToCloseConnections()
{
    // Only the connection the program dialed itself is offered for closing, and "Non" is the
    // default answer: a connection the user brought up is none of the program's business.
    const bool any = TDialLine(dialUp_).ActiveConnections([this](uint32_t handle, const QString& name) {
        const bool ours = handle != 0 && handle == dialUp_.ConnectionHandle();
        if (ours
            && context_.dialogs->ConfirmYesNoDefaultNo(
                QStringLiteral("Voulez-vous aussi fermer la connexion \"%1\" ?").arg(name)))
            dialUp_.HangUpConnection(handle);
    });
    if (any)
        LineUp = true;
}

void TConnectionsPanel::HangUpLine()
{
    dialUp_.HangUp();
}

QString TConnectionsPanel::SelectedDialUpEntry() const
{
    return page_.ComboBox1->count() == 0 ? QString() : page_.ComboBox1->currentText();
}

void TConnectionsPanel::WarnNoDialUpEntry()
{
    context_.dialogs->Message(
        QStringLiteral("Aucune connexion n'est définie dans le gestionnaire de réseau. Utilisez le bouton \"Créer\"."),
        MessageIcon::Warning);
    pages_.setCurrentWidget(&page_);
    page_.CreateBtn->setFocus();
}

TDialLine::TResult TConnectionsPanel::ConnectLine()
{
    const TDialLine::TResult result = TDialLine(dialUp_).BringUp(SelectedDialUpEntry());
    if (result == TDialLine::TResult::NoEntry)
        WarnNoDialUpEntry();
    // The line the program just brought up counts as up at once, so closing the session sends
    // its logout and the next connection reads a fresh message count.
    LineUp = result == TDialLine::TResult::AlreadyUp || result == TDialLine::TResult::Dialed;
    return result;
}

// Says in French why the desktop's connection editor could not be opened; other refusals are
// the editor's own business (it has shown them, or the user closed it).
void TConnectionsPanel::ReportEditorRefusal(uint32_t code)
{
    if (code == DialError::ProgramNotFound || code == DialError::NotSupported || code == DialError::ServiceUnavailable)
        context_.dialogs->Message(
            QStringLiteral("Aucun éditeur de connexions n'est installé : installez le paquet "
                           "network-manager-gnome (nm-connection-editor) pour créer ou modifier une connexion."),
            MessageIcon::Warning);
}

void TConnectionsPanel::Button13Click()
{
    dialUp_.Entry = page_.ComboBox1->currentText();
    ReportEditorRefusal(dialUp_.EditEntry());
}

void TConnectionsPanel::CreateBtnClick()
{
    QComboBox* entries = page_.ComboBox1;
    QSet<QString> before;
    for (int i = 0; i < entries->count(); ++i)
        before.insert(entries->itemText(i));
    if (const uint32_t code = dialUp_.CreateEntry(); code != 0) {
        ReportEditorRefusal(code);
        return;
    }
    EnumerateDialUpEntries();
    // The list is in name order: select the entry that was just created (the last one when it
    // cannot be told apart).
    int created = entries->count() - 1;
    for (int i = 0; i < entries->count(); ++i)
        if (!before.contains(entries->itemText(i)))
            created = i;
    entries->setCurrentIndex(created);
}

void TConnectionsPanel::RenameBtnClick()
{
    QComboBox* entries = page_.ComboBox1;
    QString value = entries->currentText();
    const std::optional<QString> answer =
        context_.dialogs->InputText(QStringLiteral("Renommer"), QStringLiteral("Nom de la connexion :"), value);
    if (!answer)
        return;
    value = *answer;
    dialUp_.Entry = entries->currentText();
    const int index = entries->currentIndex();
    if (value.isEmpty())
        value = entries->currentText();
    uint32_t code = 0;
    try {
        code = dialUp_.RenameEntry(value);
    } catch (const std::exception&) {
        // Without NetworkManager the connections are the machine's interfaces: nothing to rename.
        code = DialError::NotSupported;
    }
    if (code == DialError::AlreadyExists)
        context_.dialogs->Message(QStringLiteral("Une connexion s'appelle déjà \"%1\".").arg(value), MessageIcon::Warning);
    else if (code == DialError::NotSupported || code == DialError::ServiceUnavailable)
        context_.dialogs->Message(
            QStringLiteral("Les connexions ne peuvent être renommées qu'avec NetworkManager."), MessageIcon::Warning);
    else if (code != 0)
        context_.dialogs->Message(QStringLiteral("Impossible de renommer la connexion \"%1\" : %2")
                                      .arg(dialUp_.Entry, DialService::standardErrorText(code, DialTextLanguage::French)),
                                  MessageIcon::Warning);
    EnumerateDialUpEntries();
    entries->setCurrentIndex(index < entries->count() ? index : entries->count() - 1);
}

void TConnectionsPanel::Poubelle7Click()
{
    const QString shown = page_.ComboBox1->currentText();
    if (shown.isEmpty())
        return;
    if (!context_.dialogs->ConfirmYesNo(QStringLiteral("Voulez-vous vraiment supprimer la connexion %1 ?").arg(shown)))
        return;
    dialUp_.Entry = shown;
    dialUp_.DeleteEntry();
    EnumerateDialUpEntries();
    page_.ComboBox1->setCurrentIndex(page_.ComboBox1->count() > 0 ? 0 : -1);
}

void TConnectionsPanel::UserBtnClick()
{
    AskEntryDetail(QStringLiteral("Nom de l'utilisateur :"), false, &TDialUp::GetUserName, &TDialUp::SetUserName);
}

void TConnectionsPanel::PWBtnClick()
{
    AskEntryDetail(QStringLiteral("Mot de passe :"), true, &TDialUp::GetPassword, &TDialUp::SetPassword);
}

void TConnectionsPanel::AskEntryDetail(const QString& prompt, bool secret, uint32_t (TDialUp::*get)(QString&),
                                       uint32_t (TDialUp::*set)(const QString&))
{
    dialUp_.Entry = page_.ComboBox1->currentText();
    QString stored;
    (dialUp_.*get)(stored);
    const std::optional<QString> answer = secret ? context_.dialogs->InputSecret(dialUp_.Entry, prompt, stored)
                                                 : context_.dialogs->InputText(dialUp_.Entry, prompt, stored);
    if (!answer)
        return;
    // An emptied field keeps what was stored.
    (dialUp_.*set)(answer->isEmpty() ? stored : *answer);
}
