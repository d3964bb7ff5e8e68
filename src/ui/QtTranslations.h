#pragma once

class QCoreApplication;

// Qt's own texts in Russian: the buttons of message boxes ("Да", "Нет",
// "Отмена"), the file and print dialogs. They come from Qt's translation
// catalogue (Debian's qt6-translations-l10n) in Qt's translations folder.
// False, and Qt's English texts stay, when the catalogue is not installed.
bool LoadQtTranslations(QCoreApplication& app);
