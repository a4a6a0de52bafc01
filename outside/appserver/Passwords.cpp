#include "Passwords.h"

#include <QSemaphore>
#include <QSqlQuery>
#include <sodium.h>

namespace kvxsrv {

namespace {
// Argon2id with 19 MiB and two passes: a few hundred logins a second at most per core, and bounded
// memory while several check at once.
constexpr unsigned long long kOps = 2;
constexpr size_t kMem = 19 * 1024 * 1024;

void initSodium() {
    static const int rc = sodium_init();
    if (rc < 0) throw StorageError("libsodium could not be initialised");
}

QSemaphore& checkSlots() {
    static QSemaphore available(4);
    return available;
}
} // namespace

QString hashPassword(const QString& password) {
    initSodium();
    const QByteArray pw = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, pw.constData(), quint64(pw.size()), kOps, kMem) != 0)
        throw StorageError("Out of memory while hashing a password");
    return QString::fromLatin1(out);
}

bool verifyPassword(const QString& hash, const QString& password) {
    initSodium();
    const QByteArray h = hash.toLatin1();
    if (h.isEmpty() || h.size() >= crypto_pwhash_STRBYTES) return false;
    const QByteArray pw = password.toUtf8();
    QSemaphoreReleaser slot;
    checkSlots().acquire();
    slot = QSemaphoreReleaser(checkSlots());
    return crypto_pwhash_str_verify(h.constData(), pw.constData(), quint64(pw.size())) == 0;
}

QString randomPassword() {
    initSodium();
    static const char alphabet[] = "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";
    QString out;
    for (int i = 0; i < 16; ++i)
        out += QLatin1Char(alphabet[randombytes_uniform(sizeof(alphabet) - 1)]);
    return out;
}

QString authenticate(Storage& s, const QString& user, const QString& password) {
    QSqlQuery q(s.db());
    q.prepare(QStringLiteral("SELECT MA001, MA007 FROM KVXMA WHERE MA001 = ? AND MA006 = 'Y'"));
    q.addBindValue(user);
    if (!q.exec() || !q.next()) {
        // The same work for an unknown user, so that timing does not tell which users exist.
        verifyPassword(QStringLiteral("$argon2id$v=19$m=19456,t=2,p=1$c29tZXNhbHRzb21lc2FsdA$"
                                      "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"),
                       password);
        return {};
    }
    const QString id = q.value(0).toString(), hash = q.value(1).toString();
    return verifyPassword(hash, password) ? id : QString();
}

void setPassword(Storage& s, const QString& user, const QString& password) {
    s.exec(QStringLiteral("UPDATE KVXMA SET MA007 = ? WHERE MA001 = ?"), {hashPassword(password), user});
}

QHash<QString, QString> setMissingPasswords(Storage& s) {
    QStringList users;
    QSqlQuery q(s.db());
    if (!q.exec(QStringLiteral("SELECT MA001 FROM KVXMA WHERE MA006 = 'Y' AND MA007 = '' ORDER BY MA001")))
        throw StorageError("Cannot read the users");
    while (q.next())
        users << q.value(0).toString();
    q.finish();
    QHash<QString, QString> set;
    Storage::Transaction tx(s);
    for (const QString& u : users) {
        const QString pw = randomPassword();
        setPassword(s, u, pw);
        set.insert(u, pw);
    }
    tx.commit();
    return set;
}

} // namespace kvxsrv
