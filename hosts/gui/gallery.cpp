// The gallery: every dialog of the engine brought up with sample content,
// rendered by the Qt view into a picture, and checked on the way: the view
// must bind every control and no text may be cut off.
#include <QApplication>
#include <QPainter>
#include <QPixmap>

#include <iostream>
#include <stdexcept>

#include "anonymity/frm_ano_check.hpp"
#include "anonymity/frm_close_ie.hpp"
#include "anonymity/frm_info.hpp"
#include "anonymity/frm_optionen_proxy.hpp"
#include "anonymity/proxy_checker.hpp"
#include "anonymity/proxy_list.hpp"
#include "dialer/frm_dialer_list.hpp"
#include "favourites/favourite_dialogs.hpp"
#include "favourites/frm_favoriten.hpp"
#include "favourites/key_prompts.hpp"
#include "hosts/gui/gui.hpp"
#include "mail/frm_mail.hpp"
#include "options/frm_optionen.hpp"
#include "platform/files/files.hpp"
#include "platform/ui/view.hpp"
#include "services/progress.hpp"
#include "settings/locations.hpp"
#include "views/qt/qt_view.hpp"

namespace kx::gui {
namespace {

namespace ui = platform::ui;

struct Entry {
    std::string file;
    std::function<std::shared_ptr<ui::Form>()> make;
};

std::shared_ptr<ui::Form> progressSample() {
    auto form = std::make_shared<frmProgress>();
    for (const char* line :
         {"Suche nach temporären Dateien ...", "Suche nach Cookies ...",
          "C:\\Dokumente und Einstellungen\\anna\\Cookies\\anna@example[1].txt",
          "Es wurden 5 Dateien bereinigt bzw. entfernt. Dabei wurde ca. 1,0029 MB Speicherplatz "
          "frei."})
        form->lvLog->add(line);
    form->pbBar->setValue(40);
    return form;
}

std::shared_ptr<ui::Form> anoCheckSample(bool anonymous) {
    auto form = std::make_shared<anonymity::frmAnoCheck>("192.0.2.80", "8080");
    form->lvIP->add("198.51.100.7");
    (anonymous ? form->imgOK : form->imgStop)->visible = true;
    form->lblInfo->caption = anonymity::fillAnoCheckTemplate(
        form->lblInfo->caption, "192.0.2.80:8080", anonymous ? "" : anonymity::kAnoCheckNot,
        anonymous ? anonymity::kAnoCheckHidden : anonymity::kAnoCheckVisible);
    return form;
}

std::shared_ptr<ui::Form> dialerSample() {
    auto form = std::make_shared<dialer::frmDialerList>();
    form->addFinding("Erotik-Zugang", "019012345678");
    form->addFinding("Gratis Download", "090098765432");
    return form;
}

// The settings dialog on one of its pages.
std::shared_ptr<ui::Form> optionenSample(int page) {
    auto form = std::make_shared<options::frmOptionen>();
    form->load();
    form->selectPage(page);
    if (page == 2) {
        for (const char* pattern : {"*.doc", "C:\\Eigene Dateien\\Steuer 2004.xls"})
            form->lvAusnahmen->add(pattern);
    }
    return form;
}

// The proxy dialog on a list the machine keeps, so nothing is fetched.
std::shared_ptr<ui::Form> proxySample() {
    (void)platform::files::createFolders(settings::GetPrivatePath());
    if (!anonymity::saveLocalProxyList(
            "192.0.2.80:8080\r\n198.51.100.7:3128\r\n203.0.113.5:80\r\n"))
        throw std::runtime_error("the proxy list cannot be written");
    return std::make_shared<anonymity::frmOptionenProxy>();
}

// The mail dialog on one of its two pages, with a letter typed.
std::shared_ptr<ui::Form> mailSample(int page) {
    static WindowProgress progress(shared());
    auto form =
        std::make_shared<mail::frmMail>(mail::MailContext{shared(), progress, {}, {}, {}, {}});
    form->load();
    form->txtTo->setText("anna@example.org");
    form->txtBetreff->setText("Grüße aus Köln");
    form->txtMessage->setText("Hallo Anna,\r\n\r\nbis nächste Woche!");
    form->tsTab->select(page);
    return form;
}

// The favourites window with a few rows, nothing loaded from disk and no
// browser started.
std::shared_ptr<favourites::frmFavoriten> favouritesSample() {
    auto form = std::make_shared<favourites::frmFavoriten>(nullptr, favourites::SessionCalls{});
    form->load();
    for (const favourites::Favourite& f :
         {favourites::Favourite{"Bank", "True", "True", "finanzen", "https://bank.example"},
          favourites::Favourite{"Bahnauskunft", "False", "False", "reisen",
                                "https://bahn.example/auskunft"},
          favourites::Favourite{"Bücherei München", "True", "False", "", "https://buch.example"}})
        form->addRow(f);
    form->FillTheCombo();
    form->cbFind->setText("Bank");
    form->selectOnly(0);
    return form;
}

// A dialog of the favourites window, which lives as long as the dialog.
template <typename Dialog>
std::shared_ptr<ui::Form> favouriteDialog() {
    struct WithOwner {
        std::shared_ptr<favourites::frmFavoriten> owner;
        std::unique_ptr<Dialog> dialog;
    };
    auto held = std::make_shared<WithOwner>();
    held->owner = favouritesSample();
    held->owner->sNameFilter = "bank";
    held->dialog = std::make_unique<Dialog>(*held->owner);
    return {held, held->dialog.get()};
}

// Every dialog of the engine, by picture name; a new form model gets its
// line here, and the CI run then checks it too.
std::vector<Entry> entries() {
    return {
        {"frmProgress", progressSample},
        {"frmInfo", [] { return std::make_shared<frmInfo>(); }},
        {"frmAnoCheck_anonym", [] { return anoCheckSample(true); }},
        {"frmAnoCheck_sichtbar", [] { return anoCheckSample(false); }},
        {"frmCloseIE", [] { return std::make_shared<anonymity::frmCloseIE>(); }},
        {"frmDialerList", dialerSample},
        {"frmOptionen_1_Internet-Spuren", [] { return optionenSample(1); }},
        {"frmOptionen_2_Ausnahmen", [] { return optionenSample(2); }},
        {"frmOptionen_3_Anonym_surfen", [] { return optionenSample(3); }},
        {"frmOptionen_4_Browser", [] { return optionenSample(4); }},
        {"frmOptionen_5_Dialer", [] { return optionenSample(5); }},
        {"frmOptionen_6_Popup-Blocker", [] { return optionenSample(6); }},
        {"frmOptionenProxy", proxySample},
        {"frmFileSelect", [] { return std::make_shared<options::frmFileSelect>(); }},
        {"frmMail_1_Nachricht", [] { return mailSample(1); }},
        {"frmMail_2_Optionen", [] { return mailSample(2); }},
        {"frmFavoriten", [] { return std::shared_ptr<ui::Form>(favouritesSample()); }},
        {"frmFavoritenAdd", favouriteDialog<favourites::frmFavoritenAdd>},
        {"frmFavoritenFilter", favouriteDialog<favourites::frmFavoritenFilter>},
        {"frmFavoritenPassSet", [] { return std::make_shared<favourites::frmFavoritenPassSet>(); }},
        {"frmFavoritenPasswortGet",
         [] { return std::make_shared<favourites::frmFavoritenPasswortGet>(); }},
    };
}

// The window with a title bar of its caption above it: a virtual screen has
// no window manager to draw one, and the caption is part of the dialog.
QPixmap withTitleBar(QWidget& widget) {
    const QPixmap content = widget.grab();
    const int bar = widget.fontMetrics().height() + 10;
    QPixmap picture(content.width(), content.height() + bar);
    picture.fill(QColor(0x0a, 0x24, 0x6a));
    QPainter painter(&picture);
    QFont bold = widget.font();
    bold.setBold(true);
    painter.setFont(bold);
    painter.setPen(Qt::white);
    painter.drawText(QRect(6, 0, content.width() - 12, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     widget.windowTitle());
    painter.drawPixmap(0, bar, content);
    return picture;
}

bool save(QWidget& widget, const std::filesystem::path& file) {
    QApplication::processEvents();
    if (withTitleBar(widget).save(QString::fromStdString(file.string()), "PNG"))
        return true;
    std::cerr << "kolvanex-gui: cannot write " << file << "\n";
    return false;
}

// Shows one dialog, checks it and saves its picture; false on any fault.
bool render(views::QtView& view, const Entry& entry, const std::filesystem::path& folder) {
    std::shared_ptr<ui::Form> form;
    try {
        form = entry.make();
        form->show(false);
    } catch (const std::exception& e) {
        std::cerr << "kolvanex-gui: " << entry.file << " cannot be shown: " << e.what() << "\n";
        return false;
    }
    bool ok = true;
    auto* window = view.window(*form);
    if (window == nullptr) {
        std::cerr << "kolvanex-gui: " << entry.file << " has no window\n";
        ok = false;
    } else {
        QApplication::processEvents();
        for (const auto& what : window->unboundControls()) {
            std::cerr << "kolvanex-gui: " << entry.file << ": no view for " << what.toStdString()
                      << "\n";
            ok = false;
        }
        for (const auto& what : window->clippedTexts()) {
            std::cerr << "kolvanex-gui: " << entry.file << ": text cut off: " << what.toStdString()
                      << "\n";
            ok = false;
        }
        ok = save(*window, folder / (entry.file + ".png")) && ok;
    }
    form->unload();
    return ok;
}

}  // namespace

int renderGallery(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    auto* view = dynamic_cast<views::QtView*>(&ui::view());
    if (view == nullptr) {
        std::cerr << "kolvanex-gui: no Qt view bound\n";
        return 1;
    }
    bool ok = true;
    for (const auto& entry : entries()) ok = render(*view, entry, folder) && ok;
    MainWindow main;
    main.show();
    ok = save(main, folder / "kolvanex-gui.png") && ok;
    return ok ? 0 : 1;
}

}  // namespace kx::gui
