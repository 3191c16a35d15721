#pragma once

#include <QProgressBar>

#include <cmath>

// A progress bar with single-precision Min, Max and Value and a tooltip
// text, as the progress display expects of its bar. Qt's own bar counts in
// ints, so the floats are kept here and the visible bar is driven in
// per-mille of the range.
//
// A setter refuses a value that would make the bar inconsistent and returns
// false, leaving the bar unchanged; the progress display skips such a step.
// The setters only keep the numbers: the bar is drawn anew by sync(), which
// the display calls when it refreshes, not for every block of a transfer.
class ProgressBar : public QProgressBar
{
    Q_OBJECT
public:
    explicit ProgressBar(QWidget *parent = nullptr);

    float Min() const { return mMin; }
    float Max() const { return mMax; }
    float Value() const { return mValue; }
    QString ToolTipText() const { return toolTip(); }

    // Refused when not above Min; a Value beyond the new Max is pulled in.
    // The comparisons are written so that a NaN fails them too: a NaN bound
    // or value would leave the bar with nothing sensible to draw. Infinities
    // are turned away for the same reason. Inline, as every block of a
    // transfer sets all three.
    bool setMax(float max)
    {
        if (!std::isfinite(max) || !(max > mMin))
            return false;
        mMax = max;
        if (mValue > mMax)
            mValue = mMax;
        return true;
    }
    // Refused when not below Max; a Value below the new Min is pulled in.
    bool setMin(float min)
    {
        if (!std::isfinite(min) || !(min < mMax))
            return false;
        mMin = min;
        if (mValue < mMin)
            mValue = mMin;
        return true;
    }
    // Refused outside Min..Max.
    bool setValue(float value)
    {
        if (!(value >= mMin && value <= mMax))
            return false;
        mValue = value;
        return true;
    }
    void setToolTipText(const QString &text) { setToolTip(text); }

    // Shows the numbers as they stand.
    void sync();

private:
    // Max and Value apart: every block of a transfer sets them one by one
    // and the display reads both; side by side, the two reads become one,
    // which the processor cannot serve from the two fresh stores and stalls.
    float mMax = 100.0f;
    float mMin = 0.0f;
    float mValue = 0.0f;
};
