#include "CWTimecode.h"

#include <QRegularExpression>

#include <cmath>

CWTimecode::CWTimecode(double frameRate)
{
    const auto near = [frameRate](double rate) { return std::abs(frameRate - rate) < 0.01; };
    for (const int nominal : {24, 30, 60}) {
        if (near(nominal * 1000.0 / 1001.0)) {
            nominal_ = nominal;
            rateNum_ = nominal * 1000;
            rateDen_ = 1001;
            drop_ = nominal == 24 ? 0 : nominal / 15;
            return;
        }
    }
    if (frameRate >= 1)
        nominal_ = int(std::lround(frameRate));
    rateNum_ = nominal_;
    rateDen_ = 1;
}

int64_t CWTimecode::frameAt(CMTime time) const
{
    // time × rate, rounded to the nearest frame, exactly for times of any timescale.
    const long double frames = (long double)time.value * rateNum_ / ((long double)time.timescale * rateDen_);
    return int64_t(std::llround(frames));
}

CMTime CWTimecode::timeOfFrame(int64_t frame) const { return CMTimeMake(frame * rateDen_, int32_t(rateNum_)); }

QString CWTimecode::text(int64_t frame) const
{
    int64_t number = frame;
    if (drop_ > 0) {
        // Drop-frame: the first `drop_` numbers of every minute are skipped, except every tenth minute.
        const int64_t perTenMinutes = int64_t(nominal_) * 600 - 9 * drop_;
        const int64_t perMinute = int64_t(nominal_) * 60 - drop_;
        const int64_t tens = frame / perTenMinutes, rest = frame % perTenMinutes;
        number += 9 * drop_ * tens + (rest > drop_ ? drop_ * ((rest - drop_) / perMinute) : 0);
    }
    const int64_t perSecond = nominal_;
    return QStringLiteral("%1:%2:%3%4%5")
        .arg(number / (perSecond * 3600), 2, 10, QLatin1Char('0'))
        .arg(number / (perSecond * 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(number / perSecond % 60, 2, 10, QLatin1Char('0'))
        .arg(drop_ > 0 ? QLatin1Char(';') : QLatin1Char(':'))
        .arg(number % perSecond, 2, 10, QLatin1Char('0'));
}

std::optional<int64_t> CWTimecode::frameOf(const QString& text) const
{
    static const QRegularExpression form(QStringLiteral("^(\\d{2}):(\\d{2}):(\\d{2})[:;.,](\\d{2})$"));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int64_t hours = match.captured(1).toLongLong(), minutes = match.captured(2).toLongLong();
    const int64_t seconds = match.captured(3).toLongLong(), frames = match.captured(4).toLongLong();
    if (minutes > 59 || seconds > 59 || frames >= nominal_)
        return std::nullopt;
    if (drop_ > 0 && seconds == 0 && frames < drop_ && minutes % 10 != 0)
        return std::nullopt; // a number drop-frame never uses
    const int64_t totalMinutes = hours * 60 + minutes;
    return ((hours * 3600 + minutes * 60 + seconds) * nominal_ + frames) - drop_ * (totalMinutes - totalMinutes / 10);
}
