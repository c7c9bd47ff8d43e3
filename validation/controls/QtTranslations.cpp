#include "QtTranslations.h"

#include "platform/sysinfo.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace {

std::unique_ptr<QTranslator>& installed()
{
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

}  // namespace

bool InstallQtTranslations()
{
    std::unique_ptr<QTranslator>& translator = installed();
    if (translator) {
        QCoreApplication::removeTranslator(translator.get());
        translator.reset();
    }
    if (GetUserDefaultLangID() != kLangFrenchFrance)
        return false;
    auto french = std::make_unique<QTranslator>();
    if (!french->load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    QCoreApplication::installTranslator(french.get());
    translator = std::move(french);
    return true;
}

QString QtButtonText(QtButton button)
{
    // Qt's platform theme names its standard buttons under this context.
    const char* source = "OK";
    switch (button) {
    case QtButton::Yes: source = "&Yes"; break;
    case QtButton::No: source = "&No"; break;
    case QtButton::Cancel: source = "Cancel"; break;
    case QtButton::Ok: break;
    }
    QString text = QCoreApplication::translate("QPlatformTheme", source);
    text.remove(QLatin1Char('&'));
    return text;
}
