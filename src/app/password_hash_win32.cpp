#include "password_hash.h"

#include <windows.h>
#include <bcrypt.h>

#include <QStringList>

namespace bramis {
namespace {

constexpr ULONGLONG kIterations = 600000;
constexpr ULONG kSaltBytes = 16;
constexpr ULONG kHashBytes = 32;
const QString kMethod = QStringLiteral("pbkdf2-sha256");

bool Ok(NTSTATUS status) { return status >= 0; }

QByteArray Derive(const QByteArray& password, const QByteArray& salt, ULONGLONG iterations) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!Ok(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG)))
        return {};
    QByteArray key(kHashBytes, '\0');
    const bool done = Ok(BCryptDeriveKeyPBKDF2(
        algorithm, reinterpret_cast<PUCHAR>(const_cast<char*>(password.constData())), ULONG(password.size()),
        reinterpret_cast<PUCHAR>(const_cast<char*>(salt.constData())), ULONG(salt.size()), iterations,
        reinterpret_cast<PUCHAR>(key.data()), ULONG(key.size()), 0));
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return done ? key : QByteArray();
}

}  // namespace

QString HashPassword(const QString& password) {
    QByteArray salt(kSaltBytes, '\0');
    if (!Ok(BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(salt.data()), ULONG(salt.size()),
                            BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
        return {};
    const QByteArray key = Derive(password.toUtf8(), salt, kIterations);
    if (key.isEmpty()) return {};
    // "$pbkdf2-sha256$<iterations>$<salt>$<hash>", both in base 64.
    return QStringList{QString(), kMethod, QString::number(kIterations), QString::fromLatin1(salt.toBase64()),
                       QString::fromLatin1(key.toBase64())}
        .join(QLatin1Char('$'));
}

bool PasswordMatches(const QString& password, const QString& stored) {
    const QStringList parts = stored.split(QLatin1Char('$'));
    bool number = false;
    const ULONGLONG iterations = parts.size() == 5 ? parts[2].toULongLong(&number) : 0;
    if (!number || parts[1] != kMethod || iterations == 0) return false;
    const QByteArray wanted = QByteArray::fromBase64(parts[4].toLatin1());
    const QByteArray key = Derive(password.toUtf8(), QByteArray::fromBase64(parts[3].toLatin1()), iterations);
    if (key.isEmpty() || key.size() != wanted.size()) return false;
    // Compared in time that does not depend on where they differ.
    unsigned char difference = 0;
    for (qsizetype i = 0; i < key.size(); ++i) difference |= static_cast<unsigned char>(key[i] ^ wanted[i]);
    return difference == 0;
}

}  // namespace bramis
