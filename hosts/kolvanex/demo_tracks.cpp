#include "hosts/kolvanex/demo_tracks.hpp"

#include <stdexcept>
#include <string_view>

#include "core/text_rules.hpp"
#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"
#include "platform/network/dialup.hpp"
#include "platform/registry/regfile.hpp"
#include "platform/runtime/translation.hpp"
#include "settings/keys.hpp"
#include "settings/locations.hpp"

namespace kx::host {

namespace {

// Shell folder numbers of the places browsers and the shell keep tracks in.
constexpr int kCsidlRecent = 8;
constexpr int kCsidlInternetCache = 32;
constexpr int kCsidlCookies = 33;
constexpr int kCsidlHistory = 34;

// The exception list: log files and everything of one trusted site stay.
constexpr std::string_view kExceptions = "*.log\r\n*example.org*\r\n";

std::string folderOf(std::string_view path) {
    return std::string(path.substr(0, path.rfind('\\')));
}

// Some bytes that look like what such a file holds, `size` long.
std::string filler(std::string_view seed, std::size_t size) {
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size) bytes += seed;
    bytes.resize(size);
    return bytes;
}

class Planter {
  public:
    void file(const std::string& path, std::string_view bytes, Expect expect) {
        if (auto made = platform::files::createFolders(folderOf(path)); !made)
            throw std::runtime_error(
                platform::trf("der Ordner von {1} kann nicht angelegt werden", {path}));
        if (auto written = platform::files::writeAll(path, bytes); !written)
            throw std::runtime_error(platform::trf("{1} kann nicht angelegt werden", {path}));
        tracks.files.push_back({path, expect});
    }
    void sized(const std::string& path, std::size_t size, Expect expect) {
        file(path, filler(path, size), expect);
    }

    PlantedTracks tracks;
};

// A Netscape cookie file: the comment header, a cookie of the trusted site
// and two of advertisers.
constexpr std::string_view kCookieFile =
    "# Netscape HTTP Cookie File\n"
    "# This is a generated file!  Do not edit.\n"
    "\n"
    ".example.org\tTRUE\t/\tFALSE\t1893456000\tsession\tabc123\n"
    ".werbenetz.net\tTRUE\t/\tFALSE\t1893456000\tuid\t9f8e7d\n"
    ".zaehler.biz\tTRUE\t/\tFALSE\t1893456000\tvisits\t42\n";

// The window state of a Mozilla profile with two lists of recent entries.
constexpr std::string_view kLocalStore =
    "<?xml version=\"1.0\"?>\n"
    "<RDF:RDF xmlns:NC=\"http://home.netscape.com/NC-rdf#\">\n"
    "  <RDF:Seq RDF:about=\"urn:mozilla:recent:urls\">\n"
    "    <RDF:li>http://werbenetz.net/angebot</RDF:li>\n"
    "  </RDF:Seq>\n"
    "  <RDF:Description RDF:about=\"chrome://navigator/content/navigator.xul#main-window\" "
    "width=\"1024\" height=\"740\"/>\n"
    "  <RDF:Seq RDF:about=\"urn:mozilla:recent:searches\">\n"
    "    <RDF:li>geheime suche</RDF:li>\n"
    "  </RDF:Seq>\n"
    "</RDF:RDF>\n";

void plantBrowserProfile(Planter& p, const std::string& profile) {
    p.file(profile + "\\prefs.js", "user_pref(\"browser.startup.homepage\", \"about:blank\");\r\n",
           Expect::Kept);
    p.file(profile + "\\cookies.txt", kCookieFile, Expect::Emptied);
    p.file(profile + "\\localstore.rdf", kLocalStore, Expect::Emptied);
    p.sized(profile + "\\history.dat", 6000, Expect::Gone);
    p.sized(profile + "\\downloads.rdf", 900, Expect::Gone);
    p.sized(profile + "\\formhistory.dat", 1500, Expect::Gone);
    for (int i = 0; i < 6; ++i)
        p.sized(profile + "\\Cache\\" + std::to_string(i) + "A1B2C3D4", 3000 + 700 * i,
                Expect::Gone);
    p.sized(profile + "\\Cache.Trash\\5F6E7D8C", 2500, Expect::Gone);
}

void plantRegistry(PlantedTracks& tracks) {
    const std::string_view lists =
        "REGEDIT4\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\TypedURLs]\r\n"
        "\"url1\"=\"http://werbenetz.net/\"\r\n"
        "\"url2\"=\"http://www.example.org/konto\"\r\n"
        "\"url3\"=\"http://zaehler.biz/\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList]\r\n"
        "\"File0\"=\"C:\\\\Dokumente und Einstellungen\\\\anna\\\\Eigene "
        "Dateien\\\\urlaub.avi\"\r\n"
        "\"File1\"=\"C:\\\\Dokumente und Einstellungen\\\\anna\\\\Eigene "
        "Dateien\\\\party.mp3\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU]\r\n"
        "\"a\"=\"regedit\\\\1\"\r\n\"MRUList\"=\"a\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs]"
        "\r\n"
        "\"0\"=hex:62,00,65,00,72,00,69,00,63,00,68,00,74,00,00,00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\WinRAR\\ArcHistory]\r\n"
        "\"0\"=\"E:\\\\Projekte\\\\archiv.rar\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Kazaa\\Search]\r\n"
        "\"1\"=\"geheime suche\"\r\n\r\n";
    const auto result = platform::importRegText(platform::currentMachine().registry(), lists);
    if (result.status != platform::ERROR_SUCCESS)
        throw std::runtime_error(platform::trf(
            "die Registrierungslisten können nicht angelegt werden: {1}", {result.error}));
    tracks.registryKeys = {
        "Software\\Microsoft\\Internet Explorer\\TypedURLs",
        "Software\\Microsoft\\MediaPlayer\\Player\\RecentFileList",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RunMRU",
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs",
        "Software\\WinRAR\\ArcHistory",
        "Software\\Kazaa\\Search",
    };
}

void chooseOptions() {
    using namespace settings;
    const std::pair<const SettingKey*, std::string_view> options[] = {
        {&keys::DeleteN, "1"},
        {&keys::Junk, "1"},
        {&keys::Trashcan, "1"},
        {&keys::AntiVirus, "0"},
        {&keys::AntiSpy, "0"},
        {&keys::Encrypt, "0"},
        {&keys::BrowserIsMozillaFireFox, "True"},
    };
    for (const auto& [key, value] : options)
        if (!write(*key, value))
            throw std::runtime_error(std::string(
                platform::tr("die Optionen der Vorführung können nicht gespeichert werden")));
}

}  // namespace

PlantedTracks plantDemoTracks() {
    using namespace settings;
    Planter p;
    chooseOptions();
    p.file(AddBackslash(GetPrivatePath()) + "alist.txt", kExceptions, Expect::Kept);

    // Temporary files of programs and installers.
    const std::string temp = GetTempDir(true);
    for (int i = 0; i < 8; ++i)
        p.sized(temp + "~DF" + std::to_string(4100 + i) + ".tmp", 4096 * (i + 1), Expect::Gone);
    p.sized(temp + "Installer\\setup-cache.cab", 20000, Expect::Gone);
    p.sized(temp + "install.log", 1200, Expect::Kept);
    p.sized(temp + "tool.ini", 300, Expect::Kept);
    p.sized(GetWinDir() + "\\Temp\\msi3f2a.tmp", 9000, Expect::Gone);
    const std::string appData = GetSpecialfolder(kCsidlAppData);
    p.sized(appData + "\\Sun\\Java\\Deployment\\cache\\javapi\\v1.0\\jar\\applet.jar-5c1d", 7000,
            Expect::Gone);

    // Internet Explorer: cache, cookies, history and their index files.
    const std::string cache = GetSpecialfolder(kCsidlInternetCache);
    for (int i = 0; i < 6; ++i)
        p.sized(cache + "\\Content.IE5\\K3J5L7M9\\seite" + std::to_string(i) + "[1].htm",
                5000 + 1000 * i, Expect::Gone);
    // The index files go with the cache and history folders they are in
    // (a browser that held them open would leave them to be blanked).
    p.sized(cache + "\\Content.IE5\\index.dat", 16384, Expect::Gone);
    const std::string cookies = GetSpecialfolder(kCsidlCookies);
    p.sized(cookies + "\\anna@werbenetz[1].txt", 180, Expect::Gone);
    p.sized(cookies + "\\anna@zaehler[2].txt", 150, Expect::Gone);
    p.sized(cookies + "\\anna@example.org[1].txt", 160, Expect::Kept);
    // The cookie index is not deleted but blanked at the end of the run.
    p.sized(cookies + "\\index.dat", 16384, Expect::Emptied);
    p.sized(GetSpecialfolder(kCsidlHistory) + "\\History.IE5\\MSHist012026113020261207\\index.dat",
            16384, Expect::Gone);
    p.sized(GetSpecialfolder(kCsidlRecent) + "\\Kontoauszug.pdf.lnk", 400, Expect::Gone);
    p.sized(GetRecentDirectory() + "Bewerbung.doc.LNK", 450, Expect::Gone);

    // Mozilla and Firefox profiles, and Opera's files.
    plantBrowserProfile(p, appData + "\\Mozilla\\Profiles\\default\\k2x9w1qz.slt");
    plantBrowserProfile(p, appData + "\\Mozilla\\Firefox\\Profiles\\f7a3c2e1.default");
    const std::string opera = AddBackslash(GetOperaDirectory());
    for (const char* name : {"cookies4.dat", "global.dat", "vlink4.dat", "download.dat",
                             "opera.dir", "profile\\autopera.win"})
        p.sized(opera + name, 2048, Expect::Gone);

    // Leftovers on both fixed drives for the weekly junk search, beside a
    // document and a library that must stay.
    p.sized("C:\\Dokumente und Einstellungen\\anna\\Eigene Dateien\\brief.bak", 3000, Expect::Gone);
    p.sized("C:\\Programme\\Werkzeug\\~setup.tmp", 2000, Expect::Gone);
    p.sized("C:\\Programme\\Werkzeug\\werkzeug.dll", 5000, Expect::Kept);
    p.sized("E:\\Projekte\\bericht.old", 4000, Expect::Gone);
    p.sized("E:\\Projekte\\absturz.dmp", 12000, Expect::Gone);
    p.sized("E:\\Projekte\\$$@$$.del", 1000, Expect::Gone);
    p.sized("E:\\Projekte\\bericht.doc", 8000, Expect::Kept);

    // The recycle bins of both drives.
    const std::string bin = "\\RECYCLER\\S-1-5-21-1004336348-1177238915-682003330-1003\\";
    p.sized("C:" + bin + "Dc1.txt", 2500, Expect::Gone);
    p.sized("E:" + bin + "Dc2.jpg", 6000, Expect::Gone);

    // The phone book: the user's own provider and an entry a dialer put in,
    // which calls a premium-rate number. The check reports it; nobody is
    // there to delete it, so it stays.
    const std::string phoneBook = platform::defaultPhoneBook(platform::currentMachine());
    if (!phoneBook.empty())
        p.file(phoneBook,
               "[T-Online]\r\nDevice=Modem\r\nPhoneNumber=0191011\r\n\r\n"
               "[Gratis Surfen]\r\nDevice=Modem\r\nPhoneNumber=09003123456\r\n",
               Expect::Kept);

    plantRegistry(p.tracks);
    return std::move(p.tracks);
}

}  // namespace kx::host
