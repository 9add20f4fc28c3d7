#include "LenientNumber.h"

#include <QLocale>
#include <string>

namespace trelwick {

double lenientNumber(const QString& text) {
    std::string s;
    for (const QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n')) s += c.toLatin1();

    // Take the longest prefix of the form [sign] digits [. digits] [(e|d) [sign] digits].
    std::size_t i = 0;
    std::string number;
    auto digits = [&] {
        std::size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') number += s[i++];
        return i - start;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
    std::size_t mantissa = digits();
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        mantissa += digits();
    }
    if (mantissa == 0) return 0.0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        const std::size_t mark = i;
        const std::string before = number;
        number += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) number += s[i++];
        if (digits() == 0) {
            i = mark;
            number = before;
        }
    }
    // The C locale: the decimal point is "." whatever the user's locale says.
    return QLocale::c().toDouble(QString::fromStdString(number));
}

int checkStateFromText(const QString& text) {
    return lenientNumber(text) == 1.0 ? 1 : 0;
}

QString textFromCheckState(int state) {
    return state == 1 ? QStringLiteral("1") : QStringLiteral("0");
}

}  // namespace trelwick
