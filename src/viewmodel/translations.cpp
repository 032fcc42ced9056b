// translations.cpp: catalogue loading, English first so that other languages
// sit above it and win where they have a text.
#include "viewmodel/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QList>
#include <QPointer>
#include <QTranslator>

namespace reelkeep {

namespace {

constexpr auto kCataloguePrefix = ":/i18n";

QList<QPointer<QTranslator>>& installed() {
    static QList<QPointer<QTranslator>> translators;
    return translators;
}

void install(QTranslator* translator) {
    QCoreApplication::installTranslator(translator);
    installed().append(translator);
}

}  // namespace

void installTranslations(const QLocale& locale) {
    for (const QPointer<QTranslator>& translator : std::as_const(installed()))
        if (translator) {
            QCoreApplication::removeTranslator(translator);
            delete translator.data();
        }
    installed().clear();

    auto* english = new QTranslator(QCoreApplication::instance());
    if (english->load(QStringLiteral("reelkeep_en"), QLatin1String(kCataloguePrefix)))
        install(english);
    else
        delete english;

    auto* own = new QTranslator(QCoreApplication::instance());
    if (own->load(locale, QStringLiteral("reelkeep"), QStringLiteral("_"), QLatin1String(kCataloguePrefix)) &&
        !own->language().startsWith(QLatin1String("en"))) {
        install(own);
        // Qt's standard buttons and dialogs in the same language, when Qt ships it.
        auto* base = new QTranslator(QCoreApplication::instance());
        if (base->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            install(base);
        else
            delete base;
    } else {
        delete own;
    }
}

}  // namespace reelkeep
