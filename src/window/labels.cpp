#include "window/labels.h"

#include <QHelpEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>

void StatusLabel::paintEvent(QPaintEvent *)
{
    // Line breaks of a server reply are kept, the CR of its CR LF and the
    // break that ends it are not.
    QString content = text();
    content.remove(QLatin1Char('\r'));
    while (content.endsWith(QLatin1Char('\n')))
        content.chop(1);
    content.replace(QLatin1Char('\n'), QChar::LineSeparator);

    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QFontMetrics metrics(font());
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(foregroundRole()));

    QTextLayout layout(content, font());
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (int y = 0;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(area.width());
        const int next = y + metrics.lineSpacing();
        if (next + metrics.lineSpacing() <= area.height()) {
            line.draw(&painter, QPointF(area.left(), area.top() + y));
            y = next;
            continue;
        }
        // The last line that fits takes the rest of the text, cut short.
        QString rest = content.mid(line.textStart());
        rest.replace(QChar::LineSeparator, QLatin1Char(' '));
        painter.drawText(QPoint(area.left(), area.top() + y + metrics.ascent()),
                         metrics.elidedText(rest, Qt::ElideRight, area.width()));
        break;
    }
    layout.endLayout();
}

bool StatusLabel::event(QEvent *event)
{
    if (event->type() != QEvent::ToolTip || text().isEmpty())
        return QLabel::event(event);
    QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
    return true;
}

void growToText(QLabel *label)
{
    label->resize(std::max(label->minimumWidth(), label->sizeHint().width()), label->height());
}
