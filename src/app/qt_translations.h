// Qt's own texts in Russian: the file dialogs, the overwrite question, the
// standard buttons, so that nothing of the program speaks English.
#pragma once

class QCoreApplication;

namespace bramis {

// Installs Qt's Russian translations (qtbase_ru.qm) into `application`, from
// the "translations" folder beside the program (Windows) or Qt's own
// translations folder (Linux: package qt6-translations-l10n). Returns false,
// changing nothing, when neither has them. GUI thread, once, at start.
bool LoadQtTranslations(QCoreApplication& application);

}  // namespace bramis
