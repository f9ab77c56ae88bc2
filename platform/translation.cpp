#include "platform/translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <clocale>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace platform {
namespace {

// The chosen language's translations: the program's own, built into it under :/i18n, and Qt's,
// from the system's Qt translations. Both empty for English.
struct Translations {
    std::unique_ptr<QTranslator> own, qt;
    bool chosen = false;
    std::mutex mutex;  // a band's helper thread may say a failure while the main thread does too
};

// Never destroyed: a translator that goes would take itself out of the application while the
// process ends.
Translations& translations() {
    static Translations& current = *new Translations;
    return current;
}

// Loads the first language that is English (nothing to load) or has a translation of ours; Qt's
// comes with it, so that a language edgepipe does not speak stays English throughout.
void load(Translations& into, const QStringList& languages) {
    into.chosen = true;
    into.own = std::make_unique<QTranslator>();
    into.qt = std::make_unique<QTranslator>();
    for (const QString& name : languages) {
        const QLocale language(name);
        if (language.language() == QLocale::English) return;
        if (!into.own->load(language, "edgepipe", "_", ":/i18n")) continue;
        // Without the system's Qt translations, Qt's own texts stay English.
        (void)into.qt->load(language, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        return;
    }
}

// The locale of messages: the first of LC_ALL, LC_MESSAGES and LANG that is set, else C.
std::string messagesLocale() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) return value;
    return "C";
}

// The user's languages, LANGUAGE's list first. As in the C library, the C locale for messages
// (LC_ALL=C, as scripts set it) asks for the untranslated English, whatever LANGUAGE says.
QStringList userLanguages() {
    const std::string messages = messagesLocale();
    if (messages == "C" || messages == "POSIX") return {};
    return QLocale::system().uiLanguages();
}

}  // namespace

Text Text::substituted(std::initializer_list<std::string> arguments) const {
    std::string text;
    for (std::size_t i = 0; i < size(); ++i) {
        const char next = (*this)[i + 1];  // the string's closing '\0' after its last character
        const std::size_t n = (*this)[i] == '%' && next >= '1' && next <= '9' ? next - '0' : 0;
        if (n >= 1 && n <= arguments.size()) {
            text += arguments.begin()[n - 1];
            ++i;
        } else {
            text += (*this)[i];
        }
    }
    return Text(text);
}

Text translate(const char* context, const char* source) {
    Translations& current = translations();
    std::lock_guard lock(current.mutex);
    if (!current.chosen) load(current, userLanguages());
    const QString translated = current.own->translate(context, source);
    return Text(translated.isEmpty() ? source : translated.toStdString());
}

void followUserLocale() {
    std::setlocale(LC_NUMERIC, "C");  // Qt's start took the user's locale for all the rest
    chooseLanguage();
}

void chooseLanguage(const std::vector<std::string>& languages) {
    QStringList names;
    for (const std::string& name : languages) names << QString::fromStdString(name);
    Translations& current = translations();
    std::lock_guard lock(current.mutex);
    // The translators replaced leave the application as they go. Ours is looked up by translate()
    // alone; Qt's own texts (the boxes' buttons) go through the application.
    load(current, languages.empty() ? userLanguages() : names);
    if (qApp) QCoreApplication::installTranslator(current.qt.get());
}

}  // namespace platform
