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

QString estimateText(const std::optional<figures::Estimate>& estimate, int decimals)
{
    if (!estimate)
        return Dash;
    const auto number = [decimals](double value) { return QString::number(value, 'f', decimals); };
    if (!estimate->interval)
        return number(estimate->value);
    return QStringLiteral("%1 (%2–%3)")
        .arg(number(estimate->value), number(estimate->interval->low), number(estimate->interval->high));
}

QString trendText(const figures::TrendResult& trend)
{
    switch (trend.trend) {
    case figures::Trend::Faster:
        return QStringLiteral("速くなった");
    case figures::Trend::Slower:
        return QStringLiteral("遅くなった");
    default:
        return QStringLiteral("変化なし");
    }
}

QString trendTip(const figures::TrendResult& trend)
{
    const auto pText = [](double p) {
        return p < 0.001 ? QStringLiteral("p < 0.001") : QStringLiteral("p = %1").arg(p, 0, 'f', 3);
    };
    const long long change = std::llround((trend.ratio - 1) * 100);
    const QString median = change == 0 ? QStringLiteral("中央値 ±0%")
        : change < 0                   ? QStringLiteral("中央値 −%1%").arg(-change)
                                       : QStringLiteral("中央値 +%1%").arg(change);
    return QStringLiteral("直近のひと続きの練習 %1 回 (答え %2 回) とその前の %3 回 (答え %4 回) を比較"
                          "（ひと続きごとの順位和検定、%5、表のキー全体で補正して %6、%7）")
        .arg(trend.laterSittings)
        .arg(trend.later)
        .arg(trend.earlierSittings)
        .arg(trend.earlier)
        .arg(pText(trend.p), pText(trend.adjustedP), median);
}

QString notEnoughForTrendTip(const figures::TrendResult& trend)
{
    return QStringLiteral(
        "傾向には、この種類のひと続きの練習 (間が %1 分以内の練習をひとまとめ) が前後 %2 回ずつ、"
        "答えが %3 回ずつ要ります。いまはひと続き %4 回、答え %5 回です")
        .arg(history::SittingGapMs / 60'000)
        .arg(figures::TrendSittings)
        .arg(figures::TrendWindow)
        .arg(trend.earlierSittings + trend.laterSittings)
        .arg(trend.earlier + trend.later);
}

QString noAnswersText()
{
    return QStringLiteral("回答の記録なし");
}

QString noAnswersTip()
{
    return QStringLiteral("この種類の練習はどれも、答えを一つずつ記録するようになる前のものです。"
                          "練習すると中央値などが出ます");
}

QString wrongKeyText(const figures::KeySummary& key)
{
    if (key.topWrongCount == 0)
        return Dash;
    return QStringLiteral("%1 (%2回)").arg(characterText(key.topWrongKey)).arg(key.topWrongCount);
}

QString notEnoughDataText()
{
    return QStringLiteral("データ不足");
}

QString notEnoughDataTip(const figures::KeySummary& key)
{
    return QStringLiteral("記録した答えが %1 回だけです (%2 回から数字を出します)")
        .arg(key.times.answers)
        .arg(figures::EnoughAnswers);
}

QString notEnoughForAccuracyTip(const figures::KeySummary& key)
{
    return QStringLiteral("最近の練習での答えが %1 回だけです (%2 回から数字を出します)")
        .arg(key.recentAnswers())
        .arg(figures::MinAnswers);
}

QString poolText(const std::vector<figures::WeakKey>& keys)
{
    if (keys.empty())
        return {};
    QStringList parts;
    for (const figures::WeakKey& key : keys)
        parts << QStringLiteral("%1×%2").arg(characterText(key.code)).arg(key.weight);
    return QStringLiteral("練習するキー: ") + parts.join(QLatin1Char(' '));
}

QString summaryText(const figures::KeySummary& key)
{
    QStringList lines;
    // Too few answers give no figures, as in the table.
    if (!key.answersKept)
        lines << QStringLiteral("%1: %2").arg(characterText(key.code), noAnswersText()) << noAnswersTip();
    else if (!key.enoughAnswers() || !key.times.median)
        lines << QStringLiteral("%1: %2").arg(characterText(key.code), notEnoughDataText())
              << notEnoughDataTip(key);
    else
        lines << QStringLiteral("%1: 中央値 %2 ms、90%点 %3 ms、ばらつき %4 (括弧内は 95%区間)")
                     .arg(characterText(key.code), estimateText(key.times.median),
                         estimateText(key.times.p90), estimateText(key.times.spread, 2));
    if (key.answersKept && key.enoughForTrend())
        lines << QStringLiteral("傾向: %1 — %2").arg(trendText(key.trend), trendTip(key.trend));
    lines << QStringLiteral("正確さ %1、自己ベスト (成績ファイル) %2")
                 .arg(key.enoughForAccuracy() ? percentText(key.accuracy) : notEnoughDataText(),
                     msText(key.bestMs));
    // The kind says what the figures compare, with every kind shown above all.
    lines << QStringLiteral("%1の練習から").arg(QString::fromUtf8(figures::kindName(key.kind)));
    return lines.join(QLatin1Char('\n'));
}

} // namespace touchdrill
