#pragma once

class QCoreApplication;

namespace platform {

/// Makes Qt's standard dialogs (file, print, input and message boxes) speak German whatever
/// the user's locale, to match the windows' own texts. Returns false when Qt's German
/// catalogue is not installed; the dialogs then stay in English.
bool installGermanTranslations(QCoreApplication& app);

} // namespace platform
