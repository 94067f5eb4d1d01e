#include "packedkey.h"

namespace {
int hexDigit(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}
} // namespace

std::optional<PackedKey> PackedKey::fromText(const QString &text)
{
    if (text.size() != 18)
        return std::nullopt;
    std::uint8_t indexes[9];
    for (int i = 0; i < 9; ++i) {
        const int high = hexDigit(text[2 * i]);
        const int low = hexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        indexes[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    PackedKey key;
    for (int i = 0; i < 8; ++i)
        key.head |= std::uint64_t(indexes[i]) << (8 * i);
    key.tail = indexes[8];
    return key;
}

PackedKey PackedKey::uniform(std::uint8_t index)
{
    return {0x0101010101010101ull * index, index};
}

QString PackedKey::toText() const
{
    static const char digits[] = "0123456789ABCDEF";
    QString text(18, Qt::Uninitialized);
    for (int i = 0; i < 9; ++i) {
        text[2 * i] = QLatin1Char(digits[at(i) >> 4]);
        text[2 * i + 1] = QLatin1Char(digits[at(i) & 15]);
    }
    return text;
}
