#pragma once

#include <QProgressBar>

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
    bool setMax(float max);
    // Refused when not below Max; a Value below the new Min is pulled in.
    bool setMin(float min);
    // Refused outside Min..Max.
    bool setValue(float value);
    void setToolTipText(const QString &text) { setToolTip(text); }

    // Shows the numbers as they stand.
    void sync();

private:
    float mMin = 0.0f;
    float mMax = 100.0f;
    float mValue = 0.0f;
};
