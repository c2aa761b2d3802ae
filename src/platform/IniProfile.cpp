// IniProfile: the settings file, read and written one value at a time like a private profile.
#include "platform/IniProfile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <algorithm>
#include <cerrno>
#include <memory>
#include <mutex>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMaxStringLength = 2047;

struct Entry {
    QString key;   // empty for a line that is not key=value (kept as it stands)
    QString value;
    QString raw;
};

struct Section {
    QString name;  // empty for lines before the first section
    std::vector<Entry> entries;
};

using Document = std::vector<Section>;

Document parse(const QByteArray& bytes)
{
    Document doc;
    doc.push_back(Section{});
    const QList<QByteArray> lines = bytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (i == lines.size() - 1 && line.isEmpty())
            break;
        const QString text = QString::fromUtf8(line);
        const QString trimmed = text.trimmed();
        if (trimmed.startsWith('[')) {
            const int close = trimmed.indexOf(']');
            if (close > 0) {
                doc.push_back(Section{trimmed.mid(1, close - 1).trimmed(), {}});
                continue;
            }
        }
        const int eq = text.indexOf('=');
        if (eq > 0 && !trimmed.startsWith(';')) {
            const QString key = text.left(eq).trimmed();
            if (!key.isEmpty()) {
                doc.back().entries.push_back(Entry{key, text.mid(eq + 1), text});
                continue;
            }
        }
        doc.back().entries.push_back(Entry{QString(), QString(), text});
    }
    return doc;
}

QByteArray serialize(const Document& doc)
{
    QByteArray out;
    for (const Section& s : doc) {
        if (!s.name.isEmpty() || &s != &doc.front()) {
            if (!out.isEmpty() && !out.endsWith("\r\n\r\n"))
                out += "\r\n";
            out += '[' + s.name.toUtf8() + "]\r\n";
        }
        for (const Entry& e : s.entries) {
            if (e.key.isEmpty())
                out += e.raw.toUtf8();
            else
                out += e.key.toUtf8() + '=' + e.value.toUtf8();
            out += "\r\n";
        }
    }
    return out;
}

// The files read last, parsed, each with what tells its version: every write renames a new file
// into place (a new inode), and an edit by hand changes the size or the times. A read that finds
// them unchanged uses the parsed copy instead of reading and parsing the file again.
struct Version {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};
    timespec changed{};
    bool operator==(const Version& o) const
    {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec
               && modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec
               && changed.tv_nsec == o.changed.tv_nsec;
    }
};

struct CachedFile {
    QString path;
    Version version;
    std::shared_ptr<const Document> doc;
};

std::shared_ptr<const Document> loadShared(const QString& path)
{
    static std::mutex lock;
    static std::vector<CachedFile> cache;  // the last few files, most recent first
    constexpr std::size_t kCachedFiles = 4;

    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::make_shared<const Document>(Document{Section{}});
    const Version version{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    {
        const std::lock_guard<std::mutex> guard(lock);
        for (const CachedFile& c : cache)
            if (c.path == path && c.version == version)
                return c.doc;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::make_shared<const Document>(Document{Section{}});
    const QByteArray bytes = f.readAll();
    auto doc = std::make_shared<const Document>(parse(bytes));
    // What was read must be the version that was looked at, or it is not kept.
    struct stat after {};
    if (::fstat(f.handle(), &after) == 0 && bytes.size() == after.st_size
        && Version{after.st_dev, after.st_ino, after.st_size, after.st_mtim, after.st_ctim} == version) {
        const std::lock_guard<std::mutex> guard(lock);
        cache.erase(std::remove_if(cache.begin(), cache.end(), [&](const CachedFile& c) { return c.path == path; }),
                    cache.end());
        cache.insert(cache.begin(), CachedFile{path, version, doc});
        if (cache.size() > kCachedFiles)
            cache.pop_back();
    }
    return doc;
}

Document load(const QString& path)
{
    return *loadShared(path);
}

Section* findSection(Document& doc, const QString& name)
{
    for (size_t i = 1; i < doc.size(); ++i)
        if (doc[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return &doc[i];
    return nullptr;
}

const Entry* findEntry(const Document& doc, const QString& section, const QString& key)
{
    for (size_t i = 1; i < doc.size(); ++i) {
        if (doc[i].name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        for (const Entry& e : doc[i].entries)
            if (!e.key.isEmpty() && e.key.compare(key, Qt::CaseInsensitive) == 0)
                return &e;
        return nullptr;
    }
    return nullptr;
}

// Values are single lines; a line break inside one would corrupt the file's structure.
QString singleLine(QString value)
{
    value.replace('\r', ' ');
    value.replace('\n', ' ');
    return value;
}

bool writeAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

EIniWriteError::EIniWriteError(const QString& path)
    : std::runtime_error(QStringLiteral("Impossible d'écrire dans %1").arg(path).toStdString()), path_(path)
{
}

IniProfile::IniProfile(QString path) : path_(std::move(path)) {}

IniProfile::Pin::Pin(const IniProfile& Profile) : profile_(Profile), owner_(!Profile.pinned_)
{
    if (owner_)
        profile_.pinned_ = loadShared(profile_.path_);
}

IniProfile::Pin::~Pin()
{
    if (owner_)
        profile_.pinned_.reset();
}

std::shared_ptr<const void> IniProfile::document() const
{
    return pinned_ ? pinned_ : loadShared(path_);
}

QString IniProfile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const auto doc = std::static_pointer_cast<const Document>(document());
    const Entry* e = findEntry(*doc, section, key);
    if (!e)
        return def;
    return e->value.left(kMaxStringLength);
}

bool IniProfile::ParseInteger(const QString& text, int& out)
{
    const QString t = text.trimmed();
    bool ok = false;
    int v = 0;
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        v = int(t.mid(2).toUInt(&ok, 16));
    else
        v = t.toInt(&ok, 10);
    if (ok)
        out = v;
    return ok;
}

int IniProfile::ReadInteger(const QString& section, const QString& key, int def) const
{
    const auto doc = std::static_pointer_cast<const Document>(document());
    const Entry* e = findEntry(*doc, section, key);
    int v = def;
    if (!e || !ParseInteger(e->value, v))
        return def;
    return v;
}

bool IniProfile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

bool IniProfile::SectionExists(const QString& section) const
{
    Document doc = load(path_);
    return findSection(doc, section) != nullptr;
}

bool IniProfile::KeyExists(const QString& section, const QString& key) const
{
    return findEntry(*std::static_pointer_cast<const Document>(document()), section, key) != nullptr;
}

namespace {

// The exclusive lock of the settings file's folder, held for one read-change-write. Writers in
// other processes wait for it, so none of them writes back a copy that misses another's update;
// the system frees it when its holder dies, however it dies. Where the file system cannot lock,
// writes go on unlocked (each one still atomic).
class WriterLock {
public:
    explicit WriterLock(const QString& path)
    {
        const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
        fd_ = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0)
            return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~WriterLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

private:
    int fd_ = -1;
};

const char kTemporarySuffix[] = ".tmp-";

// Temporary copies left by writers that were killed between creating and renaming them. Every
// writer holds the lock for the whole life of its temporary, so under the lock any that exists
// is stale.
void removeStaleTemporaries(const QString& path)
{
    const QFileInfo info(path);
    QDir folder = info.absoluteDir();
    const QStringList stale = folder.entryList({info.fileName() + QLatin1String(kTemporarySuffix) + QStringLiteral("??????")},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : stale)
        folder.remove(name);
}

// Replaces the file at path with the document, atomically, mode 0600. Called with the writer
// lock held.
void store(const QString& path, const Document& doc)
{
    // A file marked read-only stays untouched, whoever runs the program.
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &st) == 0 && (st.st_mode & S_IWUSR) == 0)
        throw EIniWriteError(path);

    removeStaleTemporaries(path);
    const QByteArray tmp = native + kTemporarySuffix + "XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());  // created with mode 0600
    if (fd < 0)
        throw EIniWriteError(path);
    const QByteArray data = serialize(doc);
    const bool ok = writeAll(fd, data) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || ::rename(name.data(), native.constData()) != 0) {
        ::unlink(name.data());
        throw EIniWriteError(path);
    }
}

} // namespace

void IniProfile::WriteString(const QString& section, const QString& key, const QString& value)
{
    const WriterLock lock(path_);
    Document doc = load(path_);
    Section* s = findSection(doc, section);
    if (!s) {
        doc.push_back(Section{section, {}});
        s = &doc.back();
    }
    const QString v = singleLine(value);
    bool found = false;
    for (Entry& e : s->entries) {
        if (!e.key.isEmpty() && e.key.compare(key, Qt::CaseInsensitive) == 0) {
            // The file already says so: it is left alone. A check run saves its account's
            // details after every connection; rewriting (and syncing) an unchanged file each
            // time would cost a disk write per value.
            if (e.value == v)
                return;
            e.value = v;
            found = true;
            break;
        }
    }
    if (!found) {
        // New keys go after the last key of the section, before trailing blank lines.
        auto pos = s->entries.end();
        while (pos != s->entries.begin() && std::prev(pos)->key.isEmpty() && std::prev(pos)->raw.trimmed().isEmpty())
            --pos;
        s->entries.insert(pos, Entry{key, v, QString()});
    }
    store(path_, doc);
}

void IniProfile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void IniProfile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniProfile::EraseSection(const QString& section)
{
    const WriterLock lock(path_);
    Document doc = load(path_);
    bool erased = false;
    for (size_t i = 1; i < doc.size();) {
        if (doc[i].name.compare(section, Qt::CaseInsensitive) == 0) {
            doc.erase(doc.begin() + long(i));
            erased = true;
        } else {
            ++i;
        }
    }
    if (erased)
        store(path_, doc);
}
