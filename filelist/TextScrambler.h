#pragma once

#include <QByteArray>
#include <QString>

namespace trelwick {

// The reversible scrambling of the sample list kept under "Snapshot". Works on the UTF-8 bytes of the
// text (the same as single-byte codes for plain ASCII); the scrambled text holds one character of
// code 1..255 per byte and never the code 0.
class TextScrambler {
  public:
    // The program's fixed key of eight lowercase letters.
    static QString key();

    // Adds the key's byte codes to the text's bytes, wrapping by 255; the empty text gives "".
    static QString ScrambleText(const QString& text, const QString& key);

    // Undoes ScrambleText with the same key; gives back any text whose bytes lie in 1..255.
    static QString UnscrambleText(const QString& text, const QString& key);

    // The byte rule: each byte plus the key byte at the same position (the key repeats), minus 255
    // above 255. An empty key leaves the bytes as they are.
    static QByteArray scrambleBytes(const QByteArray& bytes, const QByteArray& key);

    // The inverse byte rule: minus the key byte, plus 255 below 1.
    static QByteArray unscrambleBytes(const QByteArray& bytes, const QByteArray& key);
};

}  // namespace trelwick
