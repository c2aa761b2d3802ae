// Unit1Connections: the network connections of the "Serveur" page, the line probe, dialing before
// a connection, and the dial-up component's events.
#include "app/Unit1.h"

#include "dialup/DialUp.h"
#include "platform/DialService.h"
#include "platform/Dialogs.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSet>

namespace {

// The name as the service gives it, up to a first zero character.
QString entryName(const QString& name)
{
    const int zero = name.indexOf(QChar(0));
    return zero < 0 ? name : name.left(zero);
}

} // namespace

void TForm1::EnumerateDialUpEntries()
{
    Server->ComboBox1->clear();
    DialUp->GetEntries();
}

void TForm1::DialUpEntryGet(const QString& name)
{
    Server->ComboBox1->addItem(entryName(name));
}

void TForm1::DialUpDialing()
{
    SetStatusText(QStringLiteral("Numérotation..."));
    // The text is painted before the dial blocks.
    QCoreApplication::processEvents();
}

void TForm1::DialUpConnect()
{
    SetStatusText(QStringLiteral("Connexion %1 active").arg(DialUp->Entry));
}

void TForm1::DialUpNotConnected()
{
    SetStatusText(QStringLiteral("Non connecté à %1").arg(DialUp->Entry));
}

void TForm1::DialUpError()
{
    SetStatusText(QStringLiteral("Connexion impossible via %1").arg(DialUp->Entry));
}

void TForm1::DialUpAsyncEvent(const QString& messageText)
{
    SetStatusText(messageText);
}

bool TForm1::ProbeLine()
{
    LineUp = TDialLine(*DialUp).ActiveConnections();
    return LineUp;
}

void TForm1::OfferToCloseConnections()
{
    // Only the connection the program dialed itself is offered for closing, and "Non" is the
    // default answer: a connection the user brought up is none of the program's business.
    const bool any = TDialLine(*DialUp).ActiveConnections([this](uint32_t handle, const QString& name) {
        const bool ours = handle != 0 && handle == DialUp->ConnectionHandle();
        if (ours
            && context_.dialogs->ConfirmYesNoDefaultNo(
                QStringLiteral("Voulez-vous aussi fermer la connexion \"%1\" ?").arg(name)))
            DialUp->HangUpConnection(handle);
    });
    if (any)
        LineUp = true;
}

void TForm1::HangUpLine()
{
    DialUp->HangUp();
}

QString TForm1::SelectedDialUpEntry() const
{
    return Server->ComboBox1->count() == 0 ? QString() : Server->ComboBox1->currentText();
}

void TForm1::WarnNoDialUpEntry()
{
    context_.dialogs->Message(
        QStringLiteral("Aucune connexion n'est définie dans le gestionnaire de réseau. Utilisez le bouton \"Créer\"."),
        MessageIcon::Warning);
    ShowPage(Server);
    Server->CreateBtn->setFocus();
}

TDialLine::TResult TForm1::ConnectLine()
{
    const TDialLine::TResult result = TDialLine(*DialUp).BringUp(SelectedDialUpEntry());
    if (result == TDialLine::TResult::NoEntry)
        WarnNoDialUpEntry();
    // The line the program just brought up counts as up at once, so closing the session sends
    // its logout and the next connection reads a fresh message count.
    LineUp = result == TDialLine::TResult::AlreadyUp || result == TDialLine::TResult::Dialed;
    return result;
}

// Says in French why the desktop's connection editor could not be opened; other refusals are
// the editor's own business (it has shown them, or the user closed it).
void TForm1::ReportEditorRefusal(uint32_t code)
{
    if (code == DialError::ProgramNotFound || code == DialError::NotSupported || code == DialError::ServiceUnavailable)
        context_.dialogs->Message(
            QStringLiteral("Aucun éditeur de connexions n'est installé : installez le paquet "
                           "network-manager-gnome (nm-connection-editor) pour créer ou modifier une connexion."),
            MessageIcon::Warning);
}

void TForm1::Button13Click()
{
    DialUp->Entry = Server->ComboBox1->currentText();
    ReportEditorRefusal(DialUp->EditEntry());
}

void TForm1::CreateBtnClick()
{
    QSet<QString> before;
    for (int i = 0; i < Server->ComboBox1->count(); ++i)
        before.insert(Server->ComboBox1->itemText(i));
    if (const uint32_t code = DialUp->CreateEntry(); code != 0) {
        ReportEditorRefusal(code);
        return;
    }
    EnumerateDialUpEntries();
    // The list is in name order: select the entry that was just created (the last one when it
    // cannot be told apart).
    int created = Server->ComboBox1->count() - 1;
    for (int i = 0; i < Server->ComboBox1->count(); ++i)
        if (!before.contains(Server->ComboBox1->itemText(i)))
            created = i;
    Server->ComboBox1->setCurrentIndex(created);
}

void TForm1::RenameBtnClick()
{
    QString value = Server->ComboBox1->currentText();
    const std::optional<QString> answer =
        context_.dialogs->InputText(QStringLiteral("Renommer"), QStringLiteral("Nom de la connexion :"), value);
    if (!answer)
        return;
    value = *answer;
    DialUp->Entry = Server->ComboBox1->currentText();
    const int index = Server->ComboBox1->currentIndex();
    if (value.isEmpty())
        value = Server->ComboBox1->currentText();
    uint32_t code = 0;
    try {
        code = DialUp->RenameEntry(value);
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
                                      .arg(DialUp->Entry, DialService::standardErrorText(code, DialTextLanguage::French)),
                                  MessageIcon::Warning);
    EnumerateDialUpEntries();
    Server->ComboBox1->setCurrentIndex(index < Server->ComboBox1->count() ? index : Server->ComboBox1->count() - 1);
}

void TForm1::Poubelle7Click()
{
    const QString shown = Server->ComboBox1->currentText();
    if (shown.isEmpty())
        return;
    if (!context_.dialogs->ConfirmYesNo(QStringLiteral("Voulez-vous vraiment supprimer la connexion %1 ?").arg(shown)))
        return;
    DialUp->Entry = shown;
    DialUp->DeleteEntry();
    EnumerateDialUpEntries();
    Server->ComboBox1->setCurrentIndex(Server->ComboBox1->count() > 0 ? 0 : -1);
}

void TForm1::UserBtnClick()
{
    DialUp->Entry = Server->ComboBox1->currentText();
    QString stored;
    DialUp->GetUserName(stored);
    const std::optional<QString> answer =
        context_.dialogs->InputText(DialUp->Entry, QStringLiteral("Nom de l'utilisateur :"), stored);
    if (!answer)
        return;
    DialUp->SetUserName(answer->isEmpty() ? stored : *answer);
}

void TForm1::PWBtnClick()
{
    DialUp->Entry = Server->ComboBox1->currentText();
    QString stored;
    DialUp->GetPassword(stored);
    const std::optional<QString> answer =
        context_.dialogs->InputSecret(DialUp->Entry, QStringLiteral("Mot de passe :"), stored);
    if (!answer)
        return;
    DialUp->SetPassword(answer->isEmpty() ? stored : *answer);
}
