// SPDX-License-Identifier: Apache-2.0
#include "writer.h"

#include "columns.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QSettings>
#include <QSysInfo>

#include <openssl/evp.h>

#include <memory>

namespace tessal::reg {

namespace {

// The longest another process of the same writer is waited for.
constexpr int kHeldMs = 5000;

// A row's content as its hash covers it: its table, then each column in the
// table's order, name and value, a value as its length and its UTF-8 bytes
// (NULL as "-"), so that no two contents read alike.
template <class T> QByteArray content_of(const T& row) {
    QByteArray text = QByteArray(table_of<T>().name) + '\n';
    for (const ColumnOf<T>& c : table_of<T>().columns) {
        const QVariant value = bound(c, row);
        text += c.sql;
        if (value.isNull()) {
            text += "=-\n";
        } else {
            const QByteArray bytes = value.toString().toUtf8();
            text += '=' + QByteArray::number(bytes.size()) + ':' + bytes + '\n';
        }
    }
    return text;
}

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

Key private_key(const QByteArray& seed) {
    return Key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr,
                                            reinterpret_cast<const unsigned char*>(seed.data()),
                                            static_cast<size_t>(seed.size())),
               EVP_PKEY_free);
}

QByteArray public_of(EVP_PKEY* key) {
    QByteArray raw(32, '\0');
    size_t size = static_cast<size_t>(raw.size());
    if (key == nullptr || EVP_PKEY_get_raw_public_key(
                              key, reinterpret_cast<unsigned char*>(raw.data()), &size) != 1) {
        return {};
    }
    raw.resize(static_cast<qsizetype>(size));
    return raw;
}

// A fresh key pair's seed, or nothing.
QByteArray new_seed() {
    EVP_PKEY* made = nullptr;
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
        EVP_PKEY_keygen(context.get(), &made) != 1) {
        return {};
    }
    const Key key(made, EVP_PKEY_free);
    QByteArray seed(32, '\0');
    size_t size = static_cast<size_t>(seed.size());
    if (EVP_PKEY_get_raw_private_key(key.get(), reinterpret_cast<unsigned char*>(seed.data()),
                                     &size) != 1) {
        return {};
    }
    return seed;
}

// The user's settings folder, where register.ini is.
QString settings_folder() {
    const QSettings file(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tessal"),
                         QStringLiteral("register"));
    return QFileInfo(file.fileName()).absolutePath();
}

// A writer's files are named by the writer, in letters a file name takes.
QString file_stem(const QString& writer) {
    QString stem;
    for (const QChar c : writer) {
        stem += c.isLetterOrNumber() && c.unicode() < 128 ? c : QLatin1Char('_');
    }
    return stem;
}

} // namespace

QString link_hash(const Row& row, const QString& writer, int seq, const QString& prev) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(QByteArrayLiteral("tessal chain 1\n"));
    hash.addData(writer.toUtf8() + '\n' + QByteArray::number(seq) + '\n' + prev.toLatin1() + '\n');
    hash.addData(std::visit([](const auto& r) { return content_of(r); }, row));
    return QString::fromLatin1(hash.result().toHex());
}

const QString& first_prev() {
    static const QString zeros(64, QLatin1Char('0'));
    return zeros;
}

QByteArray signed_text(const Checkpoint& c) {
    return QByteArrayLiteral("tessal checkpoint 1\n") + c.writer.toUtf8() + '\n' +
           QByteArray::number(c.seq) + '\n' + c.hash.toLatin1() + '\n' + c.time.toUtf8() + '\n';
}

bool signed_by(const Checkpoint& c, const QByteArray& public_key) {
    const Key key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(public_key.data()),
                                    static_cast<size_t>(public_key.size())),
        EVP_PKEY_free);
    const QByteArray signature = QByteArray::fromBase64(c.signature.toLatin1());
    const QByteArray text = signed_text(c);
    const Context context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return key && context && signature.size() == 64 &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            static_cast<size_t>(signature.size()),
                            reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<size_t>(text.size())) == 1;
}

QString key_line(const QString& writer, const QByteArray& public_key) {
    return writer + QLatin1Char('\t') + QString::fromLatin1(public_key.toBase64());
}

std::optional<NamedKey> read_key_line(const QString& line) {
    const qsizetype tab = line.lastIndexOf(QLatin1Char('\t'));
    if (tab <= 0) {
        return std::nullopt;
    }
    const QByteArray key = QByteArray::fromBase64(line.mid(tab + 1).trimmed().toLatin1());
    if (key.size() != 32) {
        return std::nullopt;
    }
    return NamedKey{line.left(tab), key};
}

QString checkpoint_line(const Checkpoint& c) {
    return QStringList{c.writer, QString::number(c.seq), c.hash, c.time, c.signature}.join(
        QLatin1Char('\t'));
}

std::optional<Checkpoint> read_checkpoint_line(const QString& line) {
    const QStringList parts = line.trimmed().split(QLatin1Char('\t'));
    bool number = false;
    Checkpoint c;
    if (parts.size() != 5 || (c.seq = parts[1].toInt(&number), !number) || c.seq < 1) {
        return std::nullopt;
    }
    c.writer = parts[0];
    c.hash = parts[2];
    c.time = parts[3];
    c.signature = parts[4];
    return c;
}

std::unique_ptr<Writer> Writer::of_user(const QString& station, QString& error) {
    const QString user = os_user();
    const QString who =
        user + QLatin1Char('@') + (station.isEmpty() ? QSysInfo::machineHostName() : station);
    const QDir folder(settings_folder() + QStringLiteral("/writers"));
    if (!folder.mkpath(QStringLiteral("."))) {
        error = QStringLiteral("the writers' folder cannot be made: %1").arg(folder.path());
        return nullptr;
    }
    std::unique_ptr<Writer> w(new Writer);
    const QString stem = folder.filePath(file_stem(who));
    w->stem_ = stem;
    w->public_file_ = stem + QStringLiteral(".pub");
    // One process at a time makes or reads the key.
    QLockFile lock(stem + QStringLiteral(".lock"));
    if (!lock.tryLock(kHeldMs)) {
        error = QStringLiteral("the writer's files are held: %1").arg(stem);
        return nullptr;
    }
    QFile key_file(stem + QStringLiteral(".key"));
    if (key_file.open(QIODevice::ReadOnly)) {
        w->private_key_ = QByteArray::fromBase64(key_file.readAll().trimmed());
        key_file.close();
    }
    if (w->private_key_.size() != 32) {
        w->private_key_ = new_seed();
        QSaveFile made(key_file.fileName());
        if (w->private_key_.isEmpty() || !made.open(QIODevice::WriteOnly) ||
            !made.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
            made.write(w->private_key_.toBase64() + '\n') < 0 || !made.commit()) {
            error = QStringLiteral("the writer's key cannot be made: %1").arg(key_file.fileName());
            return nullptr;
        }
    }
    const Key key = private_key(w->private_key_);
    w->public_key_ = public_of(key.get());
    if (w->public_key_.isEmpty()) {
        error = QStringLiteral("the writer's key cannot be read: %1").arg(key_file.fileName());
        return nullptr;
    }
    w->name_ = who + QLatin1Char('/') +
               QString::fromLatin1(
                   QCryptographicHash::hash(w->public_key_, QCryptographicHash::Sha256).toHex())
                   .left(8);
    QSaveFile pub(w->public_file_);
    if (!pub.open(QIODevice::WriteOnly) ||
        pub.write(key_line(w->name_, w->public_key_).toUtf8() + '\n') < 0 || !pub.commit()) {
        error =
            QStringLiteral("the writer's public key cannot be written: %1").arg(w->public_file_);
        return nullptr;
    }
    return w;
}

QString Writer::head_file(const QString& target) const {
    return stem_ + QLatin1Char('.') +
           QString::fromLatin1(
               QCryptographicHash::hash(target.toUtf8(), QCryptographicHash::Sha256).toHex())
               .left(12) +
           QStringLiteral(".head");
}

// No head yet: the chain in that register begins.
std::optional<Writer::Head> Writer::read_head(const QString& name, QString& error) const {
    QFile file(name);
    if (!file.exists()) {
        return Head{0, first_prev()};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("the writer's head cannot be read: %1: %2")
                    .arg(name, file.errorString());
        return std::nullopt;
    }
    const QList<QByteArray> parts = file.readAll().trimmed().split(' ');
    bool number = false;
    const int seq = parts.size() == 2 ? parts[0].toInt(&number) : 0;
    if (!number || parts[1].size() != 64) {
        error = QStringLiteral("the writer's head is not readable: %1").arg(name);
        return std::nullopt;
    }
    return Head{seq, QString::fromLatin1(parts[1])};
}

bool Writer::keep_head(const QString& name, const Head& head, QString& error) const {
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QByteArray::number(head.seq) + ' ' + head.hash.toLatin1() + '\n') < 0 ||
        !file.commit()) {
        error = QStringLiteral("the writer's head cannot be kept: %1: %2")
                    .arg(name, file.errorString());
        return false;
    }
    return true;
}

bool Writer::link(Row& row, const QString& target, QString& error) {
    const std::lock_guard<std::mutex> one_thread(mutex_);
    const QString file = head_file(target);
    QLockFile lock(file + QStringLiteral(".lock"));
    if (!lock.tryLock(kHeldMs)) {
        error = QStringLiteral("the writer's head is held: %1").arg(file);
        return false;
    }
    const std::optional<Head> head = read_head(file, error);
    if (!head) {
        return false;
    }
    Link made{name_, head->seq + 1, head->hash, {}};
    made.hash = link_hash(row, made.writer, made.seq, made.prev);
    if (!keep_head(file, {made.seq, made.hash}, error)) {
        return false;
    }
    std::visit(
        [&made](auto& r) {
            if constexpr (chained<std::decay_t<decltype(r)>>) {
                r.link = made;
            }
        },
        row);
    return true;
}

std::optional<Checkpoint> Writer::sign_head(const QString& target, QString& error) {
    const std::lock_guard<std::mutex> one_thread(mutex_);
    const QString file = head_file(target);
    QLockFile lock(file + QStringLiteral(".lock"));
    if (!lock.tryLock(kHeldMs)) {
        error = QStringLiteral("the writer's head is held: %1").arg(file);
        return std::nullopt;
    }
    const std::optional<Head> head = read_head(file, error);
    if (!head || head->seq == 0) {
        return std::nullopt;
    }
    Checkpoint c;
    const QDateTime now = QDateTime::currentDateTime();
    c.writer = name_;
    c.seq = head->seq;
    c.hash = head->hash;
    c.time = local_time_text(now);
    c.utc = utc_text(now);
    const QByteArray text = signed_text(c);
    const Key key = private_key(private_key_);
    const Context context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    QByteArray signature(64, '\0');
    size_t size = static_cast<size_t>(signature.size());
    if (!key || !context ||
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(text.data()),
                       static_cast<size_t>(text.size())) != 1) {
        error = QStringLiteral("the writer's head cannot be signed");
        return std::nullopt;
    }
    c.signature = QString::fromLatin1(signature.toBase64());
    return c;
}

} // namespace tessal::reg
