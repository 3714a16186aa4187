#include "qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace bramis {
namespace {

// Qt's Russian catalogue holds the names of file types ("Папка", "Файл %1")
// under the file dialog's context, where Qt 5 asked for them; Qt 6 asks under
// the icon provider's, and would show them in English.
class FileTypeNames : public QTranslator {
public:
    FileTypeNames(const QTranslator& qt, QObject* parent) : QTranslator(parent), m_qt(qt) {}
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        return m_qt.translate("QFileDialog", sourceText, disambiguation, n);
    }
    bool isEmpty() const override { return false; }

private:
    const QTranslator& m_qt;
};

}  // namespace

bool LoadQtTranslations(QCoreApplication& application) {
    // Owned by the application, so that it lives as long as every window.
    auto* translator = new QTranslator(&application);
    for (const QString& folder : {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        // The interface is Russian whatever the system's language.
        if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"),
                             QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(new FileTypeNames(*translator, translator));
            return QCoreApplication::installTranslator(translator);
        }
    }
    delete translator;
    return false;
}

}  // namespace bramis
