#pragma once

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QList>
#include <QString>

#include <gtest/gtest.h>

// Every line of a JSON Lines file, parsed back; a line that is not one JSON
// object, or a last line without its line end, fails the test. A missing
// file reads as no lines.
inline QList<QJsonObject> readJsonLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.isEmpty() || text.endsWith('\n')) << "every record ends its line";
    QList<QJsonObject> objects;
    for (const QByteArray &line : text.split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_TRUE(document.isObject()) << line.toStdString();
        objects.append(document.object());
    }
    return objects;
}
