// NewMail: which messages of a mailbox are new since the last check of the account, by the
// servers' unique ids (UIDL) or, for a server without them, by the message count.
#include "app/NewMail.h"

#include "mail/HeaderText.h"
#include "mail/KTpop3.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <algorithm>
#include <stdexcept>

namespace {

// FNV-1a, 64 bits: ids are at most 70 printable characters, and a collision between two ids of
// one mailbox would only hide one message from the "new" count.
uint64_t fingerprint(const std::string& id)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : id) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

const char kHeader[] = "brevicor-seen 1";

} // namespace

TSeenMail::TSeenMail(QString stateFile) : file_(std::move(stateFile)) {}

QString TSeenMail::StateFileFor(const QString& folder, const QString& host, const QString& user, int formerPort)
{
    // A readable name that cannot leave the folder: the parts percent-encoded, "/" included.
    const QString name = QString::fromLatin1(QUrl::toPercentEncoding(user.toLower(), {}, "/\\%")) + QLatin1Char('@')
                         + QString::fromLatin1(QUrl::toPercentEncoding(host.toLower(), {}, "/\\%"));
    const QString file = QDir(folder).filePath(name.left(200) + QStringLiteral(".seen"));
    // Earlier versions kept one file per port too: the file of the port in use carries on.
    if (formerPort > 0 && !QFileInfo::exists(file)) {
        const QString former =
            QDir(folder).filePath((name + QLatin1Char('_') + QString::number(formerPort)).left(200) + QStringLiteral(".seen"));
        if (QFileInfo::exists(former))
            QFile::rename(former, file);
    }
    return file;
}

void TSeenMail::Load()
{
    if (loaded_)
        return;
    loaded_ = true;
    QFile f(file_);
    if (!f.open(QIODevice::ReadOnly))
        return;  // never checked: everything is new
    if (f.readLine().trimmed() != kHeader)
        return;  // not ours: start afresh rather than trust it
    bool ok = false;
    count_ = f.readLine().trimmed().toInt(&ok);
    if (!ok || count_ < 0) {
        count_ = 0;
        return;
    }
    known_ = true;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const uint64_t v = line.toULongLong(&ok, 16);
        if (ok)
            seen_.push_back(v);
    }
    std::sort(seen_.begin(), seen_.end());
}

std::vector<int> TSeenMail::NewByIds(const std::vector<std::string>& ids)
{
    Load();
    std::vector<uint64_t> now;
    now.reserve(ids.size());
    std::vector<int> fresh;
    for (size_t i = 0; i < ids.size(); ++i) {
        if (ids[i].empty())
            continue;
        const uint64_t v = fingerprint(ids[i]);
        now.push_back(v);
        if (!std::binary_search(seen_.begin(), seen_.end(), v))
            fresh.push_back(int(i) + 1);
    }
    std::sort(now.begin(), now.end());
    now.erase(std::unique(now.begin(), now.end()), now.end());
    seen_ = std::move(now);
    seen_.shrink_to_fit();
    count_ = int(ids.size());
    known_ = true;
    return fresh;
}

std::vector<int> TSeenMail::NewByCount(int count)
{
    Load();
    std::vector<int> fresh;
    const int before = known_ ? count_ : 0;
    for (int n = std::max(before, 0) + 1; n <= count; ++n)
        fresh.push_back(n);
    count_ = std::max(count, 0);
    seen_.clear();
    seen_.shrink_to_fit();
    known_ = true;
    return fresh;
}

void TSeenMail::Save() const
{
    QDir().mkpath(QFileInfo(file_).absolutePath());
    QSaveFile f(file_);
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error(QStringLiteral("Impossible d'écrire dans %1").arg(file_).toStdString());
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QByteArray out;
    out.reserve(int(seen_.size()) * 17 + 64);
    out += kHeader;
    out += '\n';
    out += QByteArray::number(count_);
    out += '\n';
    for (uint64_t v : seen_) {
        out += QByteArray::number(qulonglong(v), 16);
        out += '\n';
    }
    f.write(out);
    if (!f.commit())
        throw std::runtime_error(QStringLiteral("Impossible d'écrire dans %1").arg(file_).toStdString());
}

size_t TSeenMail::StateBytes() const
{
    return sizeof(*this) + seen_.capacity() * sizeof(uint64_t) + size_t(file_.capacity()) * sizeof(QChar);
}

QString NewMailSuffix(int fresh)
{
    if (fresh <= 0)
        return QString();
    return fresh == 1 ? QStringLiteral(" (1 nouveau)") : QStringLiteral(" (%1 nouveaux)").arg(fresh);
}

QString NewestLine(const TSummary& summary)
{
    const QString from = DecodeHeaderText(summary.From).trimmed();
    const QString subject = DecodeHeaderText(summary.Subject).trimmed();
    return subject.isEmpty() ? from : from + QStringLiteral(" — ") + subject;
}

namespace {
const QByteArray kImapHeader = QByteArrayLiteral("brevicor-imap 1");
}

QString ImapMarkFileFor(const QString& folder, const QString& host, const QString& user)
{
    QString file = TSeenMail::StateFileFor(folder, host, user);
    file.chop(int(QStringLiteral(".seen").size()));
    return file + QStringLiteral(".imap");
}

TImapMark ReadImapMark(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly) || f.readLine().trimmed() != kImapHeader)
        return {};
    const QList<QByteArray> parts = f.readLine().trimmed().split(' ');
    if (parts.size() != 3)
        return {};
    TImapMark mark;
    bool ok[3] = {};
    mark.UidValidity = parts[0].toULongLong(&ok[0]);
    mark.UidNext = parts[1].toULongLong(&ok[1]);
    mark.Messages = parts[2].toULongLong(&ok[2]);
    return ok[0] && ok[1] && ok[2] ? mark : TImapMark();
}

void SaveImapMark(const QString& file, const TImapMark& mark)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        throw std::runtime_error(QStringLiteral("Impossible d'écrire dans %1").arg(file).toStdString());
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    f.write(kImapHeader + '\n' + QByteArray::number(qulonglong(mark.UidValidity)) + ' '
            + QByteArray::number(qulonglong(mark.UidNext)) + ' ' + QByteArray::number(qulonglong(mark.Messages)) + '\n');
    if (!f.commit())
        throw std::runtime_error(QStringLiteral("Impossible d'écrire dans %1").arg(file).toStdString());
}
