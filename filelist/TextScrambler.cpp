#include "TextScrambler.h"

#include <QCoreApplication>

namespace trelwick {

namespace {

// The scrambler yields to the window system now and then so that a long text never freezes it;
// once per character would cost more than the work itself.
constexpr qsizetype kBytesBetweenEvents = 4096;

void yieldNowAndThen(qsizetype index) {
    if (index > 0 && index % kBytesBetweenEvents == 0 && QCoreApplication::instance())
        QCoreApplication::processEvents();
}

}  // namespace

QString TextScrambler::key() {
    return QStringLiteral("quorvane");
}

QByteArray TextScrambler::scrambleBytes(const QByteArray& bytes, const QByteArray& key) {
    if (key.isEmpty()) return bytes;
    QByteArray out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        yieldNowAndThen(i);
        int s = static_cast<unsigned char>(bytes[i]) + static_cast<unsigned char>(key[i % key.size()]);
        if (s > 255) s -= 255;
        out[i] = static_cast<char>(s);
    }
    return out;
}

QByteArray TextScrambler::unscrambleBytes(const QByteArray& bytes, const QByteArray& key) {
    if (key.isEmpty()) return bytes;
    QByteArray out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        yieldNowAndThen(i);
        int s = static_cast<unsigned char>(bytes[i]) - static_cast<unsigned char>(key[i % key.size()]);
        if (s < 1) s += 255;
        out[i] = static_cast<char>(s);
    }
    return out;
}

QString TextScrambler::ScrambleText(const QString& text, const QString& key) {
    // One character per scrambled byte, so the stored text keeps every byte whatever its value.
    return QString::fromLatin1(scrambleBytes(text.toUtf8(), key.toUtf8()));
}

QString TextScrambler::UnscrambleText(const QString& text, const QString& key) {
    // A character beyond one byte cannot come from ScrambleText; toLatin1 reads it as "?".
    return QString::fromUtf8(unscrambleBytes(text.toLatin1(), key.toUtf8()));
}

}  // namespace trelwick
