// Passwords of the users who sign in over the socket: Argon2id hashes (libsodium) in KVXMA.MA007.
#pragma once

#include "Storage.h"

#include <QHash>
#include <QString>

namespace kvxsrv {

// An Argon2id hash string of the password (salt and parameters inside).
QString hashPassword(const QString& password);
// Whether the password matches the hash; false for an empty or malformed hash.
bool verifyPassword(const QString& hash, const QString& password);
// A random password of 16 letters and digits.
QString randomPassword();

// Checks a user's password against the stored hash; the user must be active. Returns the user's id as
// stored, or an empty text. At most a few checks run at once (each takes its own memory).
QString authenticate(Storage& s, const QString& user, const QString& password);
void setPassword(Storage& s, const QString& user, const QString& password);
// Gives every active user without a password a random one; returns user → password of those set.
QHash<QString, QString> setMissingPasswords(Storage& s);

} // namespace kvxsrv
