#include "platform/qtstartup.h"

#include <QByteArrayList>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace qtstartup {

namespace {

const char *const DisplayVariables[] = {"WAYLAND_DISPLAY", "DISPLAY"};
bool displayNamed = false;
QtMessageHandler qtDefaultHandler = nullptr;

void onlySevere(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        qtDefaultHandler(type, context, message);
}

// Qt 6 looks the standard buttons up under QPlatformTheme; the Slovenian
// catalogue still has them under QDialogButtonBox, where Qt 5 looked.
class ButtonTexts final : public QTranslator
{
public:
    ButtonTexts(const QTranslator &catalogue, QObject *parent) : QTranslator(parent), mCatalogue(catalogue) {}

    QString translate(const char *context, const char *sourceText, const char *disambiguation, int n) const override
    {
        if (qstrcmp(context, "QPlatformTheme") != 0)
            return QString();
        return mCatalogue.translate("QDialogButtonBox", sourceText, disambiguation, n);
    }
    bool isEmpty() const override { return false; }

private:
    const QTranslator &mCatalogue;
};

} // namespace

void choosePlatform()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    QByteArrayList platforms;
    if (!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        platforms << "wayland";
    if (!qEnvironmentVariableIsEmpty("DISPLAY"))
        platforms << "xcb";
    displayNamed = !platforms.isEmpty();
    platforms << "offscreen";
    qputenv("QT_QPA_PLATFORM", platforms.join(';'));
}

void silenceQt()
{
    if (!qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        return;
    qtDefaultHandler = qInstallMessageHandler(onlySevere);
}

QString displayFallbackWarning()
{
    if (!displayNamed || QGuiApplication::platformName() != QLatin1String("offscreen"))
        return QString();
    QStringList named;
    for (const char *variable : DisplayVariables) {
        if (!qEnvironmentVariableIsEmpty(variable))
            named << QStringLiteral("%1=%2").arg(QLatin1String(variable), qEnvironmentVariable(variable));
    }
    return QStringLiteral("cannot open the display (%1); the window runs offscreen")
        .arg(named.join(QStringLiteral(", ")));
}

void loadSlovenianTranslation(QCoreApplication &app)
{
    auto *catalogue = new QTranslator(&app);
    if (!catalogue->load(QLocale(QLocale::Slovenian, QLocale::Slovenia), QStringLiteral("qt"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        // Without the catalogue the buttons stay in English: no reason to
        // stop a job.
        delete catalogue;
        return;
    }
    QCoreApplication::installTranslator(catalogue);
    QCoreApplication::installTranslator(new ButtonTexts(*catalogue, &app));
}

} // namespace qtstartup
