// SetupNet: the waits and HTTPS requests of the account set-up, each with a time limit and able
// to be cancelled by the user while the event loop keeps running.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QNetworkAccessManager;

// Shared by every step of one search or sign-in: the user's cancel and the trusted authorities.
class TSetupControl {
public:
    // Stops every wait of the search within one pass of its loop.
    void Cancel()
    {
        FCanceled = true;
        if (CancelCurrent)
            CancelCurrent();
    }
    // Set while a step that waits on its own (a mail session) runs: stops it.
    std::function<void()> CancelCurrent;
    bool Canceled() const { return FCanceled; }
    void Reset() { FCanceled = false; }
    // Raises ESetupError Canceled once Cancel was called.
    void ThrowIfCanceled() const;

    // Waits, running the event loop, until Done gives true (returns true), LimitMs have passed
    // (returns false) or the search is cancelled (raises ESetupError Canceled).
    bool WaitFor(const std::function<bool()>& Done, int LimitMs) const;

    // PEM file of the authorities trusted for HTTPS and the mail servers instead of the system
    // store; empty = the system store.
    QString CaFile;
    // The authorities CaFile names (empty list = the system store).
    QList<QSslCertificate> Authorities() const;

private:
    bool FCanceled = false;
};

// One HTTPS exchange's outcome.
struct THttpReply {
    int Status = 0;          // HTTP status; 0 when no answer came
    QByteArray Body;
    QString Error;           // the network error in words when no answer came
    bool TimedOut = false;
};

// Small synchronous HTTPS client over QNetworkAccessManager: only https addresses, certificates
// checked against the system store (or the control's CaFile), no redirection to another scheme.
class THttpsClient {
public:
    explicit THttpsClient(TSetupControl& Control);
    ~THttpsClient();

    THttpReply Get(const QUrl& Url, int LimitMs);
    // POST of an application/x-www-form-urlencoded body.
    THttpReply PostForm(const QUrl& Url, const QList<std::pair<QString, QString>>& Fields, int LimitMs);

private:
    THttpReply Run(const QUrl& Url, const QByteArray* FormBody, int LimitMs);
    TSetupControl& FControl;
    std::unique_ptr<QNetworkAccessManager> FManager;
};
