#include "app/qt/toolkit_setup.h"

#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>

#include "define/version.h"

bool print_version_if_asked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") != 0) continue;
        const char* slash = std::strrchr(argv[0], '/');
        std::printf("%s %s\n", slash ? slash + 1 : argv[0], tool_version_text);
        return true;
    }
    return false;
}

void use_russian_toolkit_texts()
{
    // A desktop's own file dialog (GTK's, through the platform theme) would speak the user's
    // language and keep a list of recent files of its own.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (translator->load(QStringLiteral("qtbase_ru"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

void keep_no_toolkit_settings()
{
    // The file dialog opens QSettings(UserScope, "QtProject") in the native format whatever
    // default format is set, so only the folder of the user's settings can be moved. Under a
    // file no folder can ever be made, not even by root: reads find nothing and writes fail
    // quietly, leaving nothing behind anywhere.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("/dev/null"));
}
