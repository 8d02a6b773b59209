#pragma once
// Qt's own texts (file dialogs, standard buttons, context menus) and its calendar names in the
// language of the interface: the translations the distribution installs beside Qt.

#include <QLocale>
#include <QString>

namespace veldrin {

// The locale whose names the calendars show for a language index (0 English, 1 German, 2 French).
QLocale interfaceLocale(int language);

// Switches Qt's texts and the widgets' locale to `language`; English needs no catalogue. False
// when the catalogue for the language could not be loaded (Qt's texts then stay English).
bool useQtTranslations(int language);

// The catalogue that useQtTranslations() loaded last; empty for English or when none was found.
QString loadedQtCatalogue();

} // namespace veldrin
