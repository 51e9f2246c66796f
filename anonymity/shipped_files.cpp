// The shipped data files as text, and their installation into the program
// folder.
#include "anonymity/shipped_files.hpp"

#include <array>
#include <string>

#include "platform/files.hpp"
#include "platform/profile_strings.hpp"

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

const std::array<std::string, 2>& texts() {
    static const std::array<std::string, 2> all = {withCrLf(kTemplate), withCrLf(kNoAds)};
    return all;
}

const std::array<ShippedFile, 2>& files() {
    static const std::array<ShippedFile, 2> all = {
        ShippedFile{"template.js", texts()[0]},
        ShippedFile{"no-ads.pac", texts()[1]},
    };
    return all;
}

}  // namespace

std::span<const ShippedFile> shippedFiles() {
    return files();
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
