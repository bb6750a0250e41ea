// The hexadecimal cipher: arbitrary text deciphered with the constant key and the language key,
// and arbitrary bytes through the ANSI code page that deciphered texts are read in.
#include "FuzzTargets.h"

#include "support/Cipher.h"
#include "support/Constants.h"

int FuzzCipher(const std::uint8_t* Data, std::size_t Size) {
    const QString text = FuzzUtf8(Data, Size);
    (void)DecryptConstText(text);
    (void)AesDecryptHexText(text, LangResourceKey());
    (void)AnsiDecode(FuzzBytes(Data, Size));
    (void)AnsiEncode(text);
    // The key text is outside input too where a caller passes one: take it from the first line.
    const qsizetype nl = text.indexOf(u'\n');
    if (nl >= 0)
        (void)AesDecryptHexText(text.mid(nl + 1), text.left(nl));
    return 0;
}
