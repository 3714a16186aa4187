// The station's password, kept only as a salted, slow hash made by the
// system's own library: yescrypt through libcrypt on Linux (the hash of the
// system's own accounts), PBKDF2-HMAC-SHA256 through CNG (bcrypt.dll) on
// Windows. The stored text names its method and holds its salt and cost.
#pragma once

#include <QString>

namespace bramis {

// A new hash of `password` with a fresh random salt; "" when the system
// could not make one. Any thread.
QString HashPassword(const QString& password);

// Whether `password` is the one `stored` (from HashPassword) was made of.
// Any thread.
bool PasswordMatches(const QString& password, const QString& stored);

}  // namespace bramis
