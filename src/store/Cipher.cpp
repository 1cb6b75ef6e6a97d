#include "store/Cipher.h"

namespace kr {

QByteArray OwnerPassword() {
    static const QByteArray password("kR7!vq#2M", 9);
    return password;
}

} // namespace kr
