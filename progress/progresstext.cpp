// SPDX-License-Identifier: GPL-3.0-or-later
// How the progress window writes its figures.
#include "progress/progresstext.h"

#include "drill/codepage.h"

#include <QStringList>

#include <cmath>

namespace touchdrill {

namespace {
const QString Dash = QStringLiteral("—");
}

QString characterText(unsigned char code)
{
    return QString::fromStdString(keyText(code));
}

QString msText(std::optional<double> ms)
{
    if (!ms)
        return Dash;
    return QStringLiteral("%1 ms").arg(std::llround(*ms));
}

QString percentText(std::optional<double> fraction)
{
    if (!fraction)
        return Dash;
    return QStringLiteral("%1%").arg(*fraction * 100, 0, 'f', 1);
}

QString trendText(std::optional<double> ms)
{
    if (!ms)
        return Dash;
    const long long rounded = std::llround(*ms);
    if (rounded == 0)
        return QStringLiteral("±0 ms");
    return rounded < 0 ? QStringLiteral("−%1 ms").arg(-rounded) : QStringLiteral("+%1 ms").arg(rounded);
}

QString wrongKeyText(const history::KeySummary& key)
{
    if (key.topWrongCount == 0)
        return Dash;
    return QStringLiteral("%1 (%2回)").arg(characterText(key.topWrongKey)).arg(key.topWrongCount);
}

QString notEnoughDataText()
{
    return QStringLiteral("データ不足");
}

QString notEnoughDataTip(const history::KeySummary& key)
{
    return QStringLiteral("最近の練習での答えが %1 回だけです (%2 回から数字を出します)")
        .arg(key.recentAnswers())
        .arg(history::MinAnswers);
}

QString poolText(const std::vector<history::WeakKey>& keys)
{
    if (keys.empty())
        return {};
    QStringList parts;
    for (const history::WeakKey& key : keys)
        parts << QStringLiteral("%1×%2").arg(characterText(key.code)).arg(key.weight);
    return QStringLiteral("練習するキー: ") + parts.join(QLatin1Char(' '));
}

QString summaryText(const history::KeySummary& key)
{
    const QString best = msText(key.bestMs);
    const QString kind = QString::fromUtf8(history::kindName(key.kind));
    // Too few answers give no figures, as in the table; the best time comes from the best-times file.
    if (!key.enoughAnswers())
        return QStringLiteral("%1: %2、自己ベスト %3\n%4\n%5の練習から")
            .arg(characterText(key.code), notEnoughDataText(), best, notEnoughDataTip(key), kind);
    // The kind says what the recent figures compare, with every kind shown above all.
    return QStringLiteral("%1: 平均 %2、自己ベスト %3、正確さ %4\n%5の練習から")
        .arg(characterText(key.code), msText(key.recentMs), best, percentText(key.accuracy), kind);
}

} // namespace touchdrill
