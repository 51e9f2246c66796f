// The console's answers to modal dialogs; see console_forms.hpp.
#include "hosts/kolvanex/console_forms.hpp"

#include <fstream>

#include "favourites/key_prompts.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/secret_prompt.hpp"

namespace kx::host {
namespace {

namespace ui = platform::ui;

// A mistyped new key is asked for again this often before giving up.
constexpr int kKeyTries = 3;

std::string prompted(std::string_view prompt) {
    auto answer = ui::readSecretLine(std::string(prompt));
    if (answer.kind == ui::SecretAnswer::Kind::Interrupted)
        throw PromptInterrupted{};
    return std::move(answer.text);
}

}  // namespace

std::string keyFromFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw UsageError(platform::trf("kann die Schlüsseldatei '{1}' nicht lesen", {file}));
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

std::string keyFromUser(bool confirm) {
    std::string key = prompted(platform::tr("Passwort: "));
    if (confirm && ui::inputIsTerminal() && prompted(platform::tr("Passwort wiederholen: ")) != key)
        throw UsageError(std::string(platform::tr("die beiden Passwörter sind verschieden")));
    return key;
}

ConsoleForms::ConsoleForms(std::optional<std::string> keyFile)
    : keyFile_(std::move(keyFile)), inner_(ui::view()), scope_(*this) {}

ConsoleForms::~ConsoleForms() = default;

void ConsoleForms::show(ui::Form& form, bool modal) {
    if (modal) {
        answering_.insert(&form);
        struct Done {
            std::set<const ui::Form*>& forms;
            const ui::Form* form;
            ~Done() { forms.erase(form); }
        } done{answering_, &form};
        if (answerKeyPrompt(form) || (onModal && onModal(form)))
            return;
    }
    inner_.show(form, modal);
}

void ConsoleForms::refresh(ui::Control& control) {
    if (!answering_.contains(control.form()))
        inner_.refresh(control);
}

bool ConsoleForms::answerKeyPrompt(ui::Form& form) {
    if (auto* get = dynamic_cast<favourites::frmFavoritenPasswortGet*>(&form)) {
        try {
            get->txtPass->text = keyFile_ ? keyFromFile(*keyFile_) : keyFromUser(false);
            get->cmdOK->click();
        } catch (const PromptInterrupted&) {
            interrupted = true;
            get->cmdCan->click();
        }
        return true;
    }
    auto* set = dynamic_cast<favourites::frmFavoritenPassSet*>(&form);
    if (set == nullptr)
        return false;
    try {
        // The dialog checks the two fields itself and stays open when they
        // differ or are empty: then the user is asked again.
        for (int i = 0; i < kKeyTries && set->isLoaded(); ++i) {
            if (keyFile_) {
                set->txtPass->text = set->txtPass2->text = keyFromFile(*keyFile_);
            } else {
                set->txtPass->text = prompted(platform::tr("Neues Passwort: "));
                set->txtPass2->text = ui::inputIsTerminal()
                                          ? prompted(platform::tr("Neues Passwort wiederholen: "))
                                          : set->txtPass->text;
            }
            set->cmdOK->click();
            if (keyFile_ || !ui::inputIsTerminal())
                break;
        }
    } catch (const PromptInterrupted&) {
        interrupted = true;
    }
    if (set->isLoaded())
        set->cmdCan->click();
    return true;
}

}  // namespace kx::host
