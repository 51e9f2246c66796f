// The shipped data files as text, and their installation into the program
// folder.
#include "anonymity/shipped_files.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/files/files.hpp"
#include "platform/files/profile_strings.hpp"

namespace kx::anonymity {
namespace {

// The texts are kept with LF here and written with CR LF, as the program
// folder is a Windows folder.
constexpr std::string_view kTemplate = R"KX(// Kolvanex proxy chain template.
//
// Kolvanex fills this script in for the proxies the user chose: each
// numbered clause in the return line below (PROXY, a blank, a dollar sign,
// the number, a semicolon and a blank) takes one proxy of the chain, in
// order, and the clauses left without a proxy are taken out. The numbers
// run from 0 to 31.
//
// A proxy auto-configuration script can only name proxies for a browser to
// try one after the other: the browser uses the first that answers and
// moves on to the next when one fails. It does not nest one proxy inside
// another. There is deliberately no "DIRECT" at the end, so that the
// browser never falls back to the user's own address when every proxy of
// the list is down.
function FindProxyForURL(url, host) {
    // The user's own machine is reached directly.
    if (host == "localhost" || host == "127.0.0.1")
        return "DIRECT";
    return "PROXY $0; PROXY $1; PROXY $2; PROXY $3; PROXY $4; PROXY $5; PROXY $6; PROXY $7; PROXY $8; PROXY $9; PROXY $10; PROXY $11; PROXY $12; PROXY $13; PROXY $14; PROXY $15; PROXY $16; PROXY $17; PROXY $18; PROXY $19; PROXY $20; PROXY $21; PROXY $22; PROXY $23; PROXY $24; PROXY $25; PROXY $26; PROXY $27; PROXY $28; PROXY $29; PROXY $30; PROXY $31; ";
}
)KX";

constexpr std::string_view kNoAds = R"KX(// Kolvanex ad filter.
//
// A small proxy auto-configuration script: requests to a few well-known
// advertising and tracking hosts go to a proxy address on the user's own
// machine where nothing listens (the discard port, 9), so the browser gets
// no answer and shows no advertisement; every other request goes directly.
// This is a short list, not a complete ad blocker.
var blackHole = "PROXY 127.0.0.1:9";

var adHosts = [
    "doubleclick.net",
    "googlesyndication.com",
    "googleadservices.com",
    "adservice.google.com",
    "adnxs.com",
    "advertising.com",
    "ads.yahoo.com",
    "amazon-adsystem.com",
    "criteo.com",
    "outbrain.com",
    "taboola.com",
    "scorecardresearch.com",
    "moatads.com"
];

function FindProxyForURL(url, host) {
    host = host.toLowerCase();
    for (var i = 0; i < adHosts.length; i++) {
        if (host == adHosts[i] || dnsDomainIs(host, "." + adHosts[i]))
            return blackHole;
    }
    return "DIRECT";
}
)KX";

// The Internet zone's actions: the value of a standard zone (Windows XP
// SP2's "medium" level) and of a high one. 0 allows, 1 asks, 3 disallows;
// the larger values are the levels of logon, Java and channel permissions.
struct ZoneAction {
    std::string_view name;
    std::uint32_t standard;
    std::uint32_t high;
};
constexpr ZoneAction kZoneActions[] = {
    {"1001", 1, 3},              // download signed ActiveX controls
    {"1004", 3, 3},              // download unsigned ActiveX controls
    {"1200", 0, 3},              // run ActiveX controls and plug-ins
    {"1201", 3, 3},              // script ActiveX controls not marked as safe
    {"1206", 3, 3},              // scripting of the browser control
    {"1400", 0, 3},              // active scripting
    {"1402", 0, 3},              // scripting of Java applets
    {"1405", 0, 3},              // script ActiveX controls marked safe
    {"1406", 3, 3},              // access data sources across domains
    {"1407", 0, 3},              // paste operations via script
    {"1601", 0, 1},              // submit non-encrypted form data
    {"1604", 0, 1},              // font download
    {"1605", 0, 0},              // run Java
    {"1606", 0, 3},              // user data persistence
    {"1607", 0, 3},              // navigate sub-frames across domains
    {"1608", 0, 3},              // allow META REFRESH
    {"1609", 1, 1},              // display mixed content
    {"1800", 1, 3},              // installation of desktop items
    {"1802", 0, 1},              // drag and drop or copy and paste files
    {"1803", 0, 3},              // file download
    {"1804", 1, 3},              // launching programs and files in an IFRAME
    {"1806", 1, 1},              // launching applications and unsafe files
    {"1809", 0, 0},              // use the pop-up blocker
    {"1A00", 0x20000, 0x10000},  // logon: automatic in the intranet only / always ask
    {"1A02", 0, 3},              // persistent cookies
    {"1A03", 0, 3},              // per-session cookies
    {"1A04", 3, 3},              // no prompt for a client certificate
    {"1C00", 0x20000, 0},        // Java permissions: high safety / disabled
    {"1E05", 0x20000, 0x10000},  // software channel permissions: medium / high safety
    {"2000", 0, 3},              // binary and script behaviours
    {"2001", 0, 3},              // .NET components signed with Authenticode
    {"2004", 0, 3},              // .NET components not signed
    {"2100", 0, 3},              // open files by content, not by extension
    {"2101", 3, 3},              // less privileged zones navigate into this one
    {"2102", 3, 3},              // script windows without size or position limits
    {"2200", 3, 3},              // automatic prompting for file downloads
    {"2201", 3, 3},              // automatic prompting for ActiveX controls
    {"2300", 1, 3},              // restricted protocols for active content
    {"2600", 0, 3},              // .NET Framework setup
};

std::string zoneFile(bool high) {
    std::string text =
        "REGEDIT4\n\n"
        "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet "
        "Settings\\Zones\\3]\n"
        "\"DisplayName\"=\"Internet\"\n"
        "\"Description\"=\"Internet\"\n"
        "\"Flags\"=dword:00000001\n";
    text += high ? "\"CurrentLevel\"=dword:00012000\n" : "\"CurrentLevel\"=dword:00011500\n";
    for (const auto& action : kZoneActions) {
        char value[16];
        std::snprintf(value, sizeof value, "%08x", high ? action.high : action.standard);
        text += "\"" + std::string(action.name) + "\"=dword:" + value + "\n";
    }
    return text + "\n";
}

// The Flash switch: Internet Explorer does not load an ActiveX control whose
// compatibility flags carry the kill bit (0x400); the player's class is
// that of the Shockwave Flash control.
std::string flashFile(bool blocked) {
    return std::string(
               "REGEDIT4\n\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\ActiveX "
               "Compatibility\\{D27CDB6E-AE6D-11cf-96B8-444553540000}]\n"
               "\"Compatibility Flags\"=dword:") +
           (blocked ? "00000400" : "00000000") + "\n\n";
}

std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 20);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

struct Shipped {
    std::array<std::string, 6> texts;
    std::array<ShippedFile, 6> files;
};

const Shipped& shipped() {
    static const Shipped all = [] {
        Shipped s{
            {withCrLf(kTemplate), withCrLf(kNoAds), withCrLf(zoneFile(true)),
             withCrLf(zoneFile(false)), withCrLf(flashFile(true)), withCrLf(flashFile(false))},
            {}};
        s.files = {
            ShippedFile{"template.js", s.texts[0]}, ShippedFile{"no-ads.pac", s.texts[1]},
            ShippedFile{kZonesHigh, s.texts[2]},    ShippedFile{kZonesStandard, s.texts[3]},
            ShippedFile{kFlashOff, s.texts[4]},     ShippedFile{kFlashOn, s.texts[5]},
        };
        return s;
    }();
    return all;
}

}  // namespace

std::span<const ShippedFile> shippedFiles() {
    return shipped().files;
}

bool installShippedFiles(platform::Machine& machine, std::string_view programFolder) {
    std::string folder(programFolder);
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    bool ok = true;
    for (const auto& file : shippedFiles()) {
        const std::string path = folder + std::string(file.name);
        if (platform::files::exists(machine, path))
            continue;
        ok = platform::replaceFileText(machine, path, file.text) && ok;
    }
    return ok;
}

}  // namespace kx::anonymity
