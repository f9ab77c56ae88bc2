#pragma once
// The program's own texts in the user's language. A text is marked where it is written, its
// context and its English both as literals, with the file names and numbers it holds as
// arguments:
//
//     platform::translate("Batch", "%1: failed: %2").arg(picture, reason)
//
// lupdate finds every text marked so in app/ and platform/ and keeps it in the .ts files of
// translations/ for the translators; at run time the English is looked up in the chosen language's
// translation, and is itself the text in English. Usable from app/: no Qt header is included here.
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A translated text: a std::string whose %1, %2 ... arg() fills in.
class Text : public std::string {
public:
    explicit Text(std::string text) : std::string(std::move(text)) {}

    // The text with each %N replaced by the N-th argument (a string, or a whole number), all in one
    // pass: a "%2" inside a file name given for %1 stays as it is. A translation may put the
    // markers in any order.
    template <class... Arguments>
    Text arg(const Arguments&... arguments) const {
        return substituted({argumentText(arguments)...});
    }

private:
    static std::string argumentText(std::string_view text) { return std::string(text); }
    static std::string argumentText(long long number) { return std::to_string(number); }
    Text substituted(std::initializer_list<std::string> arguments) const;
};

// `source`, the English text of `context`, in the chosen language. Needs no QApplication: --help
// and usage problems are said before there is one.
Text translate(const char* context, const char* source);

// Follows the user's locale once the QApplication exists. Starting Qt sets the C library's whole
// locale to the user's (the reasons of failed system calls in the user's language); this puts numbers
// back as in C, with a decimal point, and chooses the language of the program's texts and of Qt's
// own dialogs and buttons (see chooseLanguage), which Qt takes only into an application.
void followUserLocale();

// Chooses the first of the languages, as QLocale::uiLanguages() names them ("zh-TW"), that is
// English or has a translation; English when none is. No list: the user's, from LANGUAGE, LC_ALL,
// LC_MESSAGES and LANG. Once a QApplication exists, Qt's own translation for the language goes
// into it too, where the system has one (Debian's qt6-translations-l10n).
void chooseLanguage(const std::vector<std::string>& languages = {});

}  // namespace platform
