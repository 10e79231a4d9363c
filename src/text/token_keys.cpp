#include "text/token_keys.h"

namespace korvane {

int slotForLine(QStringView line) {
    if (line.isEmpty())
        return kOtherKeysSlot;
    const QChar first = line.front();
    const QChar second = line.size() > 1 ? line[1] : QChar();
    for (const TokenKey &key : kTokenKeys) {
        if (first != QLatin1Char(key.first))
            continue;
        if (key.second == 0 || second == QLatin1Char(key.second))
            return key.slot;
    }
    return kOtherKeysSlot;
}

QString labelForSlot(int slot) {
    for (const TokenKey &key : kTokenKeys) {
        if (key.slot == slot)
            return QString::fromLatin1(key.label);
    }
    return QString();
}

} // namespace korvane
