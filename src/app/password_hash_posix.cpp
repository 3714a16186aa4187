#include "password_hash.h"

#include <crypt.h>

#include <memory>

namespace bramis {
namespace {

QString Crypt(const QString& password, const QByteArray& setting) {
    auto data = std::make_unique<crypt_data>();
    const char* hash = crypt_r(password.toUtf8().constData(), setting.constData(), data.get());
    // A failed crypt_r returns null or a text that begins with '*'.
    if (hash == nullptr || hash[0] == '*') return {};
    return QString::fromLatin1(hash);
}

}  // namespace

QString HashPassword(const QString& password) {
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    // The default cost; the salt from the system's random source.
    if (crypt_gensalt_rn("$y$", 0, nullptr, 0, setting, sizeof setting) == nullptr) return {};
    return Crypt(password, QByteArray(setting));
}

bool PasswordMatches(const QString& password, const QString& stored) {
    if (stored.isEmpty()) return false;
    const QString hash = Crypt(password, stored.toLatin1());
    if (hash.size() != stored.size()) return false;
    // Compared in time that does not depend on where they differ.
    unsigned difference = 0;
    for (qsizetype i = 0; i < hash.size(); ++i) difference |= hash[i].unicode() ^ stored[i].unicode();
    return difference == 0;
}

}  // namespace bramis
