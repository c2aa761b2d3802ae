// Startup: the program's start sequence and its four long-lived windows.
#include "app/Startup.h"

#include "alert/salert.h"
#include "app/Application.h"
#include "app/Main.h"
#include "app/Sleeper.h"
#include "app/Slogo.h"
#include "app/Unit1.h"
#include "app/sabout.h"
#include "platform/SessionSignals.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QTimer>

TWindows::TWindows() = default;
TWindows::~TWindows() { reset(); }

void TWindows::reset()
{
    // The main window refers to the others; it goes first.
    AboutBox.reset();
    Form1.reset();
    Alert.reset();
    HiddenForm.reset();
}

TWindows::TWindows(TWindows&&) noexcept = default;

TWindows& TWindows::operator=(TWindows&& other) noexcept
{
    if (this != &other) {
        reset();
        HiddenForm = std::move(other.HiddenForm);
        Alert = std::move(other.Alert);
        Form1 = std::move(other.Form1);
        AboutBox = std::move(other.AboutBox);
    }
    return *this;
}

TWindows CreateWindows(AppContext& context)
{
    TWindows w;
    w.HiddenForm = std::make_unique<THiddenForm>();
    w.Alert = std::make_unique<TAlert>();
    w.HiddenForm->SetWindows(nullptr, w.Alert.get());
    w.Form1 = std::make_unique<TForm1>(context, w.HiddenForm.get(), w.Alert.get());
    w.HiddenForm->SetWindows(w.Form1.get(), w.Alert.get());
    w.AboutBox = std::make_unique<TAboutBox>();
    w.Form1->Help->AboutBox = w.AboutBox.get();
    return w;
}

void BringForward(TWindows& windows)
{
    TForm1* f = windows.Form1.get();
    if (!f)
        return;
    f->show();
    f->raise();
    f->activateWindow();
}

int RunProgram(AppContext& context, SingleInstance* instance)
{
    // An end-of-session request ends the program with its settings saved. One that arrives
    // during the start waits until the windows exist.
    SessionSignals session;
    TWindows* running = nullptr;
    bool endRequested = false;
    QObject::connect(&session, &SessionSignals::EndRequested, [&] {
        if (!running) {
            endRequested = true;
            return;
        }
        running->Form1->Guarded([running] { running->HiddenForm->EndSession(); });
    });

    ScreenCursor::Busy();
    auto logo = std::make_unique<TLogo>();
    logo->show();
    logo->repaint();
    logo->Sleeper->Wait();

    Application().Title = QStringLiteral("Brevicor");
    Application().HelpFile = QStringLiteral("Brevicor.hlp");
    // No display name: the desktop would add it to every window title ("Brevicor - Messages —
    // Brevicor"); the titles already name the program.
    QApplication::setQuitOnLastWindowClosed(false);

    TWindows windows = CreateWindows(context);
    QObject::connect(windows.HiddenForm.get(), &THiddenForm::Ended, qApp, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (instance)
        QObject::connect(instance, &SingleInstance::ActivationRequested, windows.HiddenForm.get(),
                         [&windows] { BringForward(windows); });

    logo->hide();
    logo.reset();
    ScreenCursor::Normal();

    // The hidden window is "shown" when the event loop starts.
    QTimer::singleShot(0, windows.HiddenForm.get(), [&windows] { windows.Form1->Guarded([&windows] { windows.HiddenForm->FormShow(); }); });
    running = &windows;
    if (endRequested)
        QTimer::singleShot(0, &session, &SessionSignals::EndRequested);
    const int code = QApplication::exec();
    running = nullptr;
    return code;
}
