// Host names, addresses and the socket layer's start and cleanup with their
// messages, and the information window. Real lookups go only to names the
// machine answers itself ("localhost", 127.0.0.1, names under ".invalid");
// the failures of a start, a version or a cleanup come from a scripted layer.
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "anonymity/frm_info.hpp"
#include "anonymity/network_identity.hpp"
#include "core/shared_state.hpp"
#include "core/text_rules.hpp"
#include "facade/kolvanex.hpp"
#include "platform/network/name_lookup.hpp"
#include "platform/processes/shell.hpp"
#include "platform/ui/dialogs.hpp"
#include "platform/ui/view.hpp"
#include "settings/keys.hpp"
#include "support/host_run.hpp"
#include "support/temp_machine.hpp"

namespace kx {
namespace {

namespace net = platform::net;
namespace ui = platform::ui;

// A socket layer that answers from a script and records what it was asked.
class ScriptedSockets final : public net::SocketLayer {
  public:
    int startError = 0;
    net::WSAData granted = [] {
        net::WSAData d;
        d.wVersion = 0x0101;
        d.wHighVersion = 0x0202;
        d.iMaxSockets = 100;
        return d;
    }();
    int cleanupResult = 0;
    int error = 0;
    std::optional<std::string> hostName = "kxhost";
    std::vector<net::Ipv4> addresses{{10, 0, 0, 1}, {10, 0, 0, 2}};
    std::string reverseName = "reverse.example";

    int startups = 0, cleanups = 0;
    std::vector<std::string> namesAsked;
    std::vector<net::Ipv4> addressesAsked;

    int startup(std::uint16_t version, net::WSAData& data) override {
        EXPECT_EQ(version, 0x0101);
        if (startError != 0)
            return startError;
        ++startups;
        data = granted;
        return 0;
    }
    int cleanup() override {
        ++cleanups;
        return cleanupResult;
    }
    int lastError() const override { return error; }
    int gethostname(std::string& buffer, std::size_t size) override {
        EXPECT_EQ(size, 256u);
        if (!hostName)
            return net::SOCKET_ERROR;
        buffer.replace(0, hostName->size() + 1, *hostName + '\0');
        return 0;
    }
    std::expected<std::vector<net::Ipv4>, int> hostByName(std::string_view name) override {
        namesAsked.emplace_back(name);
        if (addresses.empty())
            return std::unexpected(net::WSAHOST_NOT_FOUND);
        return addresses;
    }
    std::expected<std::string, int> hostByAddr(const net::Ipv4& address) override {
        addressesAsked.push_back(address);
        return reverseName;
    }
};

class IdentityTest : public ::testing::Test {
  protected:
    void SetUp() override { resetShared(); }
    void TearDown() override { resetShared(); }

    // The message boxes shown so far, text and flags.
    void expectShown(const std::vector<std::pair<std::string, std::uint32_t>>& expected) const {
        std::vector<std::pair<std::string, std::uint32_t>> shown;
        for (const auto& box : dialogs.shown) shown.emplace_back(box.text, box.flags);
        EXPECT_EQ(shown, expected);
    }

    ui::ScriptedDialogs dialogs;
    ui::DialogsScope dialogsScope{dialogs};
};

using RealLookups = IdentityTest;

TEST_F(RealLookups, LocalhostAndItsAddressResolveOnTheMachine) {
    EXPECT_EQ(GetIPAddress("localhost"), "127.0.0.1");
    EXPECT_EQ(GetIPAddress("  localhost  "), "127.0.0.1");  // trimmed
    EXPECT_EQ(GetIPAddress("127.0.0.1"), "127.0.0.1");

    std::string name = "localhost";
    EXPECT_EQ(HostByName(name), "127.0.0.1");
    EXPECT_EQ(HostByName(name, 1), "127.0.0.1");
    EXPECT_EQ(HostByName(name, 9), "");  // beyond the address list
    EXPECT_EQ(HostByName(name, 0), "");
    EXPECT_EQ(name, "localhost");
    EXPECT_EQ(HostByAddr("127.0.0.1"), "localhost");

    char own[256] = {};
    ASSERT_EQ(::gethostname(own, sizeof own), 0);
    EXPECT_EQ(MyHostName(), own);
    EXPECT_EQ(GetIPHostName(), own);

    // The public class answers the same.
    CKOLVANEX kolvanex;
    EXPECT_EQ(kolvanex.GetIPAddress("localhost").value(), "127.0.0.1");
    EXPECT_EQ(kolvanex.HostByName(name, nullptr).value(), "127.0.0.1");
    Integer second = 2;
    EXPECT_EQ(kolvanex.HostByName(name, &second).value(), "");
    EXPECT_EQ(kolvanex.HostByAddr("127.0.0.1").value(), "localhost");
    EXPECT_TRUE(kolvanex.SocketsInitialize().value());
    EXPECT_TRUE(kolvanex.SocketsCleanup().has_value());
    expectShown({});

    // Every start and cleanup so far balance: one more cleanup fails.
    SocketsCleanup();
    expectShown({{"Error Socket Cleanup.", 4144}});
}

TEST_F(RealLookups, AnImpossibleNameFailsWithoutAskingTheNetwork) {
    // Names under ".invalid" are answered here; the resolver is not asked.
    for (const std::string& impossible :
         std::vector<std::string>{"no-such-host-kx.invalid", "No-Such-Host-Kx.INVALID.", "a..b",
                                  std::string(64, 'a') + ".example"})
        EXPECT_TRUE(net::isUnresolvableName(impossible)) << impossible;
    EXPECT_FALSE(net::isUnresolvableName("localhost"));
    EXPECT_FALSE(net::isUnresolvableName("invalid.example"));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetIPAddress("no-such-host-kx.invalid"), "");
    std::string name = "no-such-host-kx.invalid";
    EXPECT_EQ(HostByName(name), "");
    const auto failed = net::sockets().hostByName(name);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error(), net::WSAHOST_NOT_FOUND);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    expectShown({});  // lookups fail without a word
}

class ScriptedLayer : public IdentityTest {
  protected:
    ScriptedSockets layer;
    net::SocketLayerScope layerScope{layer};
};

TEST_F(ScriptedLayer, LookupsPickTheirEntryBalanceTheLayerAndCutAtNul) {
    // By name.
    EXPECT_EQ(GetIPAddress(" some.host "), "10.0.0.1");
    EXPECT_EQ(layer.namesAsked.back(), "some.host");
    EXPECT_EQ(layer.startups, 1);
    EXPECT_EQ(layer.cleanups, 1);
    std::string name = "some.host";
    EXPECT_EQ(HostByName(name, 2), "10.0.0.2");
    EXPECT_EQ(HostByName(name, 3), "");
    EXPECT_EQ(layer.startups, 1);  // no socket start of their own
    layer.addresses.clear();
    EXPECT_EQ(GetIPAddress("some.host"), "");
    EXPECT_EQ(layer.startups, layer.cleanups);

    // By address: fewer parts fill with zeros.
    for (const char* address : {"127.0.1", "10", "", "1.2.3.4.5"})
        EXPECT_EQ(HostByAddr(address), "reverse.example") << address;
    const std::vector<net::Ipv4> asked{{127, 0, 1, 0}, {10, 0, 0, 0}, {0, 0, 0, 0}, {1, 2, 3, 4}};
    EXPECT_EQ(layer.addressesAsked, asked);
    EXPECT_EQ(HostByAddr("1.2.300.4"), "");  // no byte: no lookup at all
    EXPECT_EQ(layer.addressesAsked.size(), 4u);
    EXPECT_EQ(dottedToAddress("192.168..7"), (net::Ipv4{192, 168, 0, 7}));
    EXPECT_EQ(dottedToAddress(" 8 .x.255"), (net::Ipv4{8, 0, 255, 0}));
    layer.reverseName = std::string("cut\0after", 9);
    EXPECT_EQ(HostByAddr("1.1.1.1"), "cut");

    // The own name.
    layer.hostName = "  kxhost";
    EXPECT_EQ(GetIPHostName(), "  kxhost");
    EXPECT_EQ(MyHostName(), "kxhost");  // trimmed
    expectShown({});
    layer.hostName.reset();
    layer.error = net::WSAEFAULT;
    EXPECT_EQ(GetIPHostName(), "");
    EXPECT_EQ(layer.startups, layer.cleanups);
    EXPECT_EQ(MyHostName(), "");
    expectShown(
        {{"Windows Sockets Error 10014(Host).", 4096}, {"Windows Sockets error 10014", 4112}});
}

TEST_F(ScriptedLayer, SocketsInitializeRefusesWithItsMessages) {
    EXPECT_TRUE(SocketsInitialize());
    expectShown({});

    layer.startError = net::WSASYSNOTREADY;
    EXPECT_FALSE(SocketsInitialize());
    layer.startError = 0;
    layer.granted.iMaxSockets = 0;
    EXPECT_FALSE(SocketsInitialize());
    layer.granted.iMaxSockets = 8;
    layer.granted.wVersion = 0x0001;  // 1.0
    EXPECT_FALSE(SocketsInitialize());

    expectShown({{"No 32-bit Windows Socket", 4144},
                 {"1 Min. Winsock Version", 4144},
                 {"Winsock Version 1.0 No 32-Bit Windows Sockets.", 4096}});
    // Refused starts that had started are stopped again.
    EXPECT_EQ(layer.startups, 3);
    EXPECT_EQ(layer.cleanups, 2);
}

TEST_F(ScriptedLayer, TheOtherVariantHasItsOwnMessagesAndCleanupsReportFailures) {
    layer.startError = net::WSASYSNOTREADY;
    xSocketsInitialize();
    layer.startError = 0;
    layer.granted.wVersion = 0x0100;  // 0.1
    xSocketsInitialize();
    layer.granted.wVersion = 0x0101;
    layer.granted.iMaxSockets = 0;
    xSocketsInitialize();

    layer.cleanupResult = net::SOCKET_ERROR;
    layer.error = net::WSANOTINITIALISED;
    SocketsCleanup();
    xSocketsCleanup();

    const std::vector<std::pair<std::string, std::uint32_t>> expected{
        {"Winsock.dll is not responding.", 4112},
        {"Windows Sockets version 0.1 is not supported by winsock.dll ", 4112},
        {"This application requires a minimum of 1 supported sockets.", 4112},
        {"Error Socket Cleanup.", 4144},
        {"Socket error 10093 occurred in Cleanup ", 4112},
    };
    expectShown(expected);

    CKOLVANEX kolvanex;
    layer.cleanupResult = 0;
    layer.granted.iMaxSockets = 8;
    EXPECT_TRUE(kolvanex.xSocketsInitialize().has_value());
    EXPECT_TRUE(kolvanex.xSocketsCleanup().has_value());
    expectShown(expected);
}

class InfoWindow : public IdentityTest {
  protected:
    static platform::MachineConfig config() {
        auto c = platform::MachineConfig::defaults();
        c.endpoints["maker"] = "http://127.0.0.1:9/home";
        return c;
    }
    test::TempMachine machine{config()};
    ui::ScriptedView view;
    ui::ViewScope viewScope{view};
    platform::RecordingShell shell;
    platform::ShellScope shellScope{shell};
};

TEST_F(InfoWindow, TheSentenceShowsTheStatisticsInTheMachinesNumberFormat) {
    EXPECT_EQ(infoSentence(),
              "Seit dem " + todayText() +
                  " wurden insgesamt 0 Dateien entfernt. Dadurch wurden ca. 0,00 MB Speicherplatz "
                  "freigegeben. Weiterhin wurden bislang 0 Popup-Fenster blockiert.");

    ASSERT_TRUE(settings::write(settings::keys::StatStartDate, "01.02.2003"));
    ASSERT_TRUE(settings::write(settings::keys::StatFiles, "1234"));
    ASSERT_TRUE(settings::write(settings::keys::StatMB, "12345,678"));
    ASSERT_TRUE(settings::write(settings::keys::PopupBlocked, "7.6"));
    EXPECT_EQ(infoSentence(),
              "Seit dem 01.02.2003 wurden insgesamt 1234 Dateien entfernt. Dadurch wurden ca. "
              "12.345,68 MB Speicherplatz freigegeben. Weiterhin wurden bislang 8 Popup-Fenster "
              "blockiert.");
    // A stored value holding a placeholder is not filled again.
    EXPECT_TRUE(
        infoSentence("$2", "$3", "x", "").starts_with("Seit dem $2 wurden insgesamt $3 Dateien"));

    EXPECT_EQ(numericValue("2.5MB"), 2.5);
    EXPECT_EQ(numericValue("abc"), 0.0);
    EXPECT_EQ(numericValue("-3,25"), -3.25);
    EXPECT_EQ(formatNumber(1234567.0, 0), "1.234.567");
    EXPECT_EQ(formatNumber(-0.001, 2), "0,00");
    EXPECT_EQ(formatNumber(999.999, 2), "1.000,00");
}

TEST_F(InfoWindow, TheWindowShowsTheLabelsAndOpensTheMakersPageUnlessTheHostNamedItself) {
    frmInfo info;
    info.load();
    EXPECT_EQ(info.caption, "KOLVANEX 3");
    EXPECT_TRUE(info.imgLogo->visible);
    EXPECT_TRUE(info.cmdHome->visible);
    EXPECT_EQ(info.lblVersion->caption, "Version: 3.0.0");
    EXPECT_EQ(info.lblName->caption, "KOLVANEX");
    EXPECT_TRUE(info.lblInfo->caption.starts_with("Seit dem " + todayText()));

    info.cmdHome->click();
    EXPECT_FALSE(info.isLoaded());
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, "http://127.0.0.1:9/home");

    info.load();
    info.imgLogo->click();
    EXPECT_FALSE(info.isLoaded());
    EXPECT_EQ(shell.calls.size(), 2u);

    info.load();
    info.cmdOK->click();
    EXPECT_FALSE(info.isLoaded());
    EXPECT_EQ(shell.calls.size(), 2u);

    // Under the host's title the maker disappears. ShowInfo shows a fresh
    // window modally; the scripted user presses OK.
    shared().KXAppTitle = "Acme Privacy";
    view.onModal = [](ui::Form& form) {
        auto& shown = dynamic_cast<frmInfo&>(form);
        EXPECT_EQ(shown.caption, "Acme Privacy");
        EXPECT_FALSE(shown.imgLogo->visible);
        EXPECT_FALSE(shown.cmdHome->visible);
        shown.cmdOK->click();
    };
    CKOLVANEX kolvanex;
    EXPECT_TRUE(kolvanex.ShowInfo().has_value());
    EXPECT_EQ(view.count("modal", "frmInfo"), 1u);
    EXPECT_EQ(shell.calls.size(), 2u);
}

TEST_F(InfoWindow, TheHostPrintsTheSentenceAndTheVersion) {
    ASSERT_TRUE(settings::write(settings::keys::StatFiles, "5"));
    const auto run = test::runKolvanex(machine.prefix(), {"info"}, machine.root());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, infoSentence() + "\nVersion: 3.0.0\n");
}

}  // namespace
}  // namespace kx
