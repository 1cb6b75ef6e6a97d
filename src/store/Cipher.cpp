#include "store/Cipher.h"

namespace kr {

QByteArray OwnerPassword() {
    static const QByteArray password("kR7!vq#2M", 9);
    return password;
}

QByteArray OwnerRawKey() {
    static const QByteArray key("x'c1c35f45db230273faeac58dbe0ae4f31028c9d714a5767cba6cafc151b8f4a7'");
    return key;
}

} // namespace kr
