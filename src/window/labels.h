#pragma once

#include <QLabel>

// The status line: it keeps its size, shows as many whole lines as it
// holds, and ends the last one with "…" when the text goes on; the whole
// text is its tooltip. Server replies make long status texts, and a line
// cut in half at the label's bottom edge cannot be read at all.
class StatusLabel final : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};

// A label whose text must stay on one line, such as a number and its unit:
// it keeps its left edge and grows to the right as far as the text needs,
// never narrower than its place in the layout (its minimum width).
void growToText(QLabel *label);
