// The compose page without a server: attachments, new message, forget buttons, histories.
#include "AppFixture.h"

#include <QDir>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QToolButton>

namespace {

using Kind = ScriptedDialogs::Kind;

QStringList listItems(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList comboItems(const QComboBox* combo)
{
    QStringList out;
    for (int i = 0; i < combo->count(); ++i)
        out << combo->itemText(i);
    return out;
}

int selectedRow(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.size() == 1 ? list->row(selected.first()) : -1;
}

class ComposeLocalTest : public AppFixture {
protected:
    QString files = folder.file("files");
    QString other = folder.file("other");

    void SetUp() override
    {
        for (const char* name : {"files/a.txt", "files/b.pdf", "files/c.png", "other/d.txt"})
            testsupport::writeFileBytes(folder.file(name), "x");
        start();
    }
};

TEST_F(ComposeLocalTest, ThePickerOpensInTheLastFolderOrTheHomeFolder)
{
    TForm1& f = form();
    // First run: no folder remembered yet.
    EXPECT_EQ(f.Compose->ComposeFolder, QString());
    dialogs.AnswerFiles({files + "/b.pdf", other + "/d.txt"});
    f.Compose->Button104->click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const ScriptedDialogs::Shown& picker = dialogs.shown()[0];
    EXPECT_EQ(picker.kind, Kind::OpenFiles);
    EXPECT_EQ(picker.caption, "Pièces jointes");
    EXPECT_EQ(picker.text, "Tous fichiers (*)");
    EXPECT_TRUE(picker.multiple);
    EXPECT_EQ(picker.value, QDir::homePath());
    // The folder of the first chosen file is remembered, with its separator; received files
    // still go where they went.
    EXPECT_EQ(f.Compose->ComposeFolder, files + "/");
    EXPECT_EQ(f.Messages->AttachmentsFolder, "c:\\");
    EXPECT_EQ(f.Messages->AttachmentsTarget(), downloadsFolder() + "/Brevicor");

    dialogs.AnswerFiles({});
    f.Composer->Button104Click();
    EXPECT_EQ(dialogs.shown()[1].value, files + "/");

    // A remembered folder that has gone away.
    f.Compose->ComposeFolder = folder.file("gone/");
    dialogs.AnswerFiles({});
    f.Composer->Button104Click();
    EXPECT_EQ(dialogs.shown()[2].value, QDir::homePath());
}

TEST_F(ComposeLocalTest, EachFileIsListedOnceAndTheLastLineIsSelected)
{
    TForm1& f = form();
    const QString a = files + "/a.txt", b = files + "/b.pdf", c = files + "/c.png";
    // The same file twice in one pick.
    dialogs.AnswerFiles({a, b, a});
    f.Composer->Button104Click();
    EXPECT_EQ(listItems(f.Compose->ListBox100), (QStringList{a, b}));
    EXPECT_EQ(selectedRow(f.Compose->ListBox100), 1);
    // Again in a second pick, with a new one.
    dialogs.AnswerFiles({c, a});
    f.Composer->Button104Click();
    EXPECT_EQ(listItems(f.Compose->ListBox100), (QStringList{a, b, c}));
    EXPECT_EQ(selectedRow(f.Compose->ListBox100), 2);
    // Cancel changes nothing, not even the remembered folder.
    f.Compose->ComposeFolder = other + "/";
    dialogs.AnswerNo();
    f.Composer->Button104Click();
    EXPECT_EQ(listItems(f.Compose->ListBox100), (QStringList{a, b, c}));
    EXPECT_EQ(f.Compose->ComposeFolder, other + "/");
}

TEST_F(ComposeLocalTest, RemovingALineSelectsTheOneAbove)
{
    TForm1& f = form();
    f.Compose->ListBox100->addItems({"a", "b", "c", "d"});

    f.Compose->ListBox100->setCurrentRow(2);
    f.Compose->Button105->click();
    EXPECT_EQ(listItems(f.Compose->ListBox100), (QStringList{"a", "b", "d"}));
    EXPECT_EQ(selectedRow(f.Compose->ListBox100), 1);

    f.Compose->ListBox100->setCurrentRow(0);
    f.Composer->Button105Click();
    EXPECT_EQ(listItems(f.Compose->ListBox100), (QStringList{"b", "d"}));
    EXPECT_EQ(selectedRow(f.Compose->ListBox100), -1); // removing line 0 leaves no selection

    f.Composer->Button105Click(); // nothing selected: nothing removed
    EXPECT_EQ(listItems(f.Compose->ListBox100), (QStringList{"b", "d"}));

    f.Compose->ListBox100->setCurrentRow(1);
    f.Composer->Button105Click();
    f.Compose->ListBox100->setCurrentRow(0);
    f.Composer->Button105Click();
    EXPECT_EQ(f.Compose->ListBox100->count(), 0);
    EXPECT_EQ(selectedRow(f.Compose->ListBox100), -1);
}

TEST_F(ComposeLocalTest, ClickingALineShowsItsFullPathAsTheListsHint)
{
    TForm1& f = form();
    f.Compose->ListBox100->addItems({"/home/jo/a.txt", "/home/jo/b.pdf"});
    f.Compose->ListBox100->setCurrentRow(1);
    emit f.Compose->ListBox100->itemClicked(f.Compose->ListBox100->item(1));
    EXPECT_EQ(f.Compose->ListBox100->toolTip(), "/home/jo/b.pdf");
    // A click beside the lines, with nothing selected, leaves the hint alone.
    f.Compose->ListBox100->setCurrentRow(-1);
    f.Compose->ListBox100->clearSelection();
    f.Composer->ListBox100Click();
    EXPECT_EQ(f.Compose->ListBox100->toolTip(), "/home/jo/b.pdf");
}

TEST_F(ComposeLocalTest, NewMessageKeepsTheSenderAndTheHistories)
{
    TForm1& f = form();
    f.Compose->ListBox100->addItem("/tmp/a.txt");
    f.Compose->ComboBox107->addItem("to@x.fr");
    f.Compose->ComboBox107->setEditText("to@x.fr");
    f.Compose->ComboBox108->setEditText("cc@x.fr");
    f.Compose->ComboBox109->setEditText("bcc@x.fr");
    f.Compose->ComboBox105->addItem("Moi");
    f.Compose->ComboBox105->setEditText("Moi");
    f.Compose->ComboBox106->setEditText("moi@ici.fr");
    f.Compose->Edit110->setText("Objet");
    f.Compose->Memo100->setPlainText("Texte");
    f.Compose->NewBtn->click();
    EXPECT_EQ(f.Compose->ListBox100->count(), 0);
    for (const QComboBox* c : {f.Compose->ComboBox107, f.Compose->ComboBox108, f.Compose->ComboBox109})
        EXPECT_EQ(c->currentText(), "");
    EXPECT_EQ(f.Compose->Edit110->text(), "");
    EXPECT_EQ(f.Compose->Memo100->toPlainText(), "");
    EXPECT_EQ(f.Compose->ComboBox105->currentText(), "Moi");
    EXPECT_EQ(f.Compose->ComboBox106->currentText(), "moi@ici.fr");
    EXPECT_EQ(comboItems(f.Compose->ComboBox107), QStringList{"to@x.fr"});
    EXPECT_EQ(comboItems(f.Compose->ComboBox105), QStringList{"Moi"});
}

TEST_F(ComposeLocalTest, HistoriesAreSortedSharedByTheRecipientsAndWithoutDuplicates)
{
    TForm1& f = form();
    f.Compose->ComboBox107->setEditText("zoe@x.fr");
    f.Compose->ComboBox108->setEditText("Anne@x.fr");
    f.Compose->ComboBox109->setEditText("");
    f.Compose->ComboBox105->setEditText("Moi");
    f.Compose->ComboBox106->setEditText("moi@ici.fr");
    f.Compose->AddToHistories();
    const QStringList both{"Anne@x.fr", "zoe@x.fr"};
    for (const QComboBox* c : {f.Compose->ComboBox107, f.Compose->ComboBox108, f.Compose->ComboBox109})
        EXPECT_EQ(comboItems(c), both);
    // The fields keep what was typed.
    EXPECT_EQ(f.Compose->ComboBox107->currentText(), "zoe@x.fr");
    EXPECT_EQ(f.Compose->ComboBox108->currentText(), "Anne@x.fr");
    EXPECT_EQ(f.Compose->ComboBox109->currentText(), "");

    // Typed again, in another field: no duplicate; a new one finds its sorted place.
    f.Compose->ComboBox107->setEditText("");
    f.Compose->ComboBox108->setEditText("maud@x.fr");
    f.Compose->ComboBox109->setEditText("zoe@x.fr");
    f.Compose->AddToHistories();
    const QStringList three{"Anne@x.fr", "maud@x.fr", "zoe@x.fr"};
    for (const QComboBox* c : {f.Compose->ComboBox107, f.Compose->ComboBox108, f.Compose->ComboBox109})
        EXPECT_EQ(comboItems(c), three);
    EXPECT_EQ(comboItems(f.Compose->ComboBox105), QStringList{"Moi"});
    EXPECT_EQ(comboItems(f.Compose->ComboBox106), QStringList{"moi@ici.fr"});

    // Saved and read back at the next start.
    f.SaveSettings();
    stop();
    TForm1& g = start();
    EXPECT_EQ(comboItems(g.Compose->ComboBox109), three);
    EXPECT_EQ(g.Compose->ComboBox105->currentText(), "Moi");
}

TEST_F(ComposeLocalTest, ForgettingARecipientRemovesItFromAllThreeLists)
{
    TForm1& f = form();
    for (QComboBox* c : {f.Compose->ComboBox107, f.Compose->ComboBox108, f.Compose->ComboBox109})
        c->addItems({"a@x.fr", "b@x.fr", "c@x.fr"});
    f.Compose->ComboBox105->addItems({"Anne", "Bob"});
    f.Compose->ComboBox106->addItems({"a@x.fr", "moi@ici.fr"});

    struct Case {
        QToolButton* button;
        QComboBox* field;
        QString text;
        QStringList recipients; // the three recipient lists afterwards
        QStringList names;
        QStringList emails;
    };
    const Case cases[] = {
        {f.Compose->Poubelle2, f.Compose->ComboBox108, "b@x.fr", {"a@x.fr", "c@x.fr"}, {"Anne", "Bob"}, {"a@x.fr", "moi@ici.fr"}},
        {f.Compose->Poubelle1, f.Compose->ComboBox107, "", {"a@x.fr", "c@x.fr"}, {"Anne", "Bob"}, {"a@x.fr", "moi@ici.fr"}},
        {f.Compose->Poubelle3, f.Compose->ComboBox109, "not@there.fr", {"a@x.fr", "c@x.fr"}, {"Anne", "Bob"}, {"a@x.fr", "moi@ici.fr"}},
        {f.Compose->Poubelle3, f.Compose->ComboBox109, "A@x.fr", {"a@x.fr", "c@x.fr"}, {"Anne", "Bob"}, {"a@x.fr", "moi@ici.fr"}},
        {f.Compose->Poubelle1, f.Compose->ComboBox107, "a@x.fr", {"c@x.fr"}, {"Anne", "Bob"}, {"a@x.fr", "moi@ici.fr"}},
        {f.Compose->Poubelle4, f.Compose->ComboBox105, "Bob", {"c@x.fr"}, {"Anne"}, {"a@x.fr", "moi@ici.fr"}},
        {f.Compose->Poubelle5, f.Compose->ComboBox106, "a@x.fr", {"c@x.fr"}, {"Anne"}, {"moi@ici.fr"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button->objectName().toStdString() + " " + c.text.toStdString());
        c.field->setEditText(c.text);
        c.button->click();
        EXPECT_EQ(c.field->currentText(), "");
        for (const QComboBox* list : {f.Compose->ComboBox107, f.Compose->ComboBox108, f.Compose->ComboBox109})
            EXPECT_EQ(comboItems(list), c.recipients);
        EXPECT_EQ(comboItems(f.Compose->ComboBox105), c.names);
        EXPECT_EQ(comboItems(f.Compose->ComboBox106), c.emails);
    }
    EXPECT_TRUE(dialogs.shown().empty());
}

} // namespace
