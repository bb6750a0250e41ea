// The plain values of the enciphered constants that the rest of the program asks for by name.
#include "support/Constants.h"

#include "support/Cipher.h"

QString PackagePassword() {
    return DecryptConstText(cnPackagePassword);
}
QString LangResourceKey() {
    return DecryptConstText(cnLangResourceKey);
}
