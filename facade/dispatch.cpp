#include "facade/dispatch.hpp"

#include <stdexcept>
#include <tuple>
#include <utility>

#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"

namespace kx {
namespace {

using platform::RuntimeError;

// Automation's own error numbers.
constexpr std::int32_t kInvalidCall = 5;
constexpr std::int32_t kTypeMismatch = 13;
constexpr std::int32_t kNoSuchMember = 438;
constexpr std::int32_t kWrongArgumentCount = 450;
constexpr std::int32_t kArgumentNotOptional = 449;

// How a value type crosses the surface: its declared type and the coercions
// between it and a Variant.
template <typename T>
struct Conv;

template <>
struct Conv<std::string> {
    static constexpr ParamType type = ParamType::String;
    static std::string from(const Variant& v) { return platform::toText(v); }
    static Variant to(const std::string& s) { return Variant(s); }
};
template <>
struct Conv<bool> {
    static constexpr ParamType type = ParamType::Boolean;
    static bool from(const Variant& v) { return platform::toBool(v); }
    static Variant to(bool b) { return Variant(b); }
};
template <>
struct Conv<Long> {
    static constexpr ParamType type = ParamType::Long;
    static Long from(const Variant& v) { return platform::toLong(v); }
    static Variant to(Long n) { return Variant(n); }
};
template <>
struct Conv<Integer> {
    static constexpr ParamType type = ParamType::Integer;
    static Integer from(const Variant& v) { return platform::toInteger(v); }
    static Variant to(Integer n) { return Variant(n); }
};
template <>
struct Conv<Byte> {
    static constexpr ParamType type = ParamType::Byte;
    static Byte from(const Variant& v) { return platform::toByte(v); }
    static Variant to(Byte n) { return Variant(n); }
};
template <>
struct Conv<double> {
    static constexpr ParamType type = ParamType::Double;
    static double from(const Variant& v) { return platform::toDouble(v); }
    static Variant to(double d) { return Variant(d); }
};
template <>
struct Conv<Variant> {
    static constexpr ParamType type = ParamType::Variant;
    static Variant from(const Variant& v) { return v; }
    static Variant to(const Variant& v) { return v; }
};
template <>
struct Conv<ObjectRef> {
    static constexpr ParamType type = ParamType::Object;
    static ObjectRef from(const Variant& v) { return platform::toObject(v); }
    static Variant to(const ObjectRef& o) { return Variant(o); }
};
template <>
struct Conv<CollectionRef> {
    static constexpr ParamType type = ParamType::Collection;
    static CollectionRef from(const Variant& v) {
        auto object = platform::toObject(v);
        if (!object)
            return nullptr;
        auto collection = std::dynamic_pointer_cast<Collection>(object);
        if (!collection)
            throw RuntimeError{kTypeMismatch, std::string(platform::tr("Typen unverträglich"))};
        return collection;
    }
    static Variant to(const CollectionRef& c) { return Variant(ObjectRef(c)); }
};
template <>
struct Conv<enumCryptIt> {
    static constexpr ParamType type = ParamType::CryptIt;
    static enumCryptIt from(const Variant& v) {
        const auto n = platform::toLong(v);
        if (n != 0 && n != 1)
            throw RuntimeError{
                kInvalidCall,
                std::string(platform::tr("Ungültiger Prozeduraufruf oder ungültiges Argument"))};
        return static_cast<enumCryptIt>(n);
    }
    static Variant to(enumCryptIt e) { return Variant(static_cast<Long>(e)); }
};
template <>
struct Conv<VbAppWinStyle> {
    static constexpr ParamType type = ParamType::WindowStyle;
    static VbAppWinStyle from(const Variant& v) {
        return static_cast<VbAppWinStyle>(platform::toInteger(v));
    }
    static Variant to(VbAppWinStyle s) { return Variant(static_cast<Integer>(s)); }
};

const Variant& argument(const std::vector<Variant>& args, std::size_t i) {
    if (i >= args.size())
        throw RuntimeError{kArgumentNotOptional,
                           std::string(platform::tr("Argument ist nicht optional"))};
    return args[i];
}

bool given(const std::vector<Variant>& args, std::size_t i) {
    return i < args.size() && !args[i].isEmpty();
}

// How each parameter form is loaded from the arguments, passed to the
// operation and, for in/out ones, written back.
template <typename A>
struct Arg {  // in, by value
    using T = std::remove_cvref_t<A>;
    using Storage = T;
    static constexpr ParamType type = Conv<T>::type;
    static constexpr bool byRef = false;
    static constexpr bool optional = false;
    static Storage load(const std::vector<Variant>& args, std::size_t i) {
        return Conv<T>::from(argument(args, i));
    }
    static T pass(Storage& s) { return s; }
    static void back(const Storage&, std::vector<Variant>&, std::size_t) {}
};

template <typename T>
struct Arg<T&> {  // in/out
    using Storage = T;
    static constexpr ParamType type = Conv<T>::type;
    static constexpr bool byRef = true;
    static constexpr bool optional = false;
    static Storage load(const std::vector<Variant>& args, std::size_t i) {
        return Conv<T>::from(argument(args, i));
    }
    static T& pass(Storage& s) { return s; }
    static void back(const Storage& s, std::vector<Variant>& args, std::size_t i) {
        args[i] = Conv<T>::to(s);
    }
};

template <typename T>
struct Arg<std::optional<T>> {  // in, optional
    using Storage = std::optional<T>;
    static constexpr ParamType type = Conv<T>::type;
    static constexpr bool byRef = false;
    static constexpr bool optional = true;
    static Storage load(const std::vector<Variant>& args, std::size_t i) {
        if (!given(args, i))
            return std::nullopt;
        return Conv<T>::from(args[i]);
    }
    static Storage pass(Storage& s) { return s; }
    static void back(const Storage&, std::vector<Variant>&, std::size_t) {}
};

template <typename T>
struct Arg<T*> {  // in/out, optional
    using Storage = std::optional<T>;
    static constexpr ParamType type = Conv<T>::type;
    static constexpr bool byRef = true;
    static constexpr bool optional = true;
    static Storage load(const std::vector<Variant>& args, std::size_t i) {
        if (!given(args, i))
            return std::nullopt;
        return Conv<T>::from(args[i]);
    }
    static T* pass(Storage& s) { return s ? &*s : nullptr; }
    static void back(const Storage& s, std::vector<Variant>& args, std::size_t i) {
        if (s && i < args.size())
            args[i] = Conv<T>::to(*s);
    }
};

template <typename R>
Ret<Variant> toVariant(Ret<R>&& result) {
    if (!result)
        return std::unexpected(result.error());
    if constexpr (std::is_void_v<R>) {
        return Variant{};
    } else {
        return Conv<R>::to(*result);
    }
}

template <typename R, typename... A, std::size_t... I>
Member bindImpl(std::string name, Ret<R> (CKOLVANEX::*fn)(A...), std::vector<std::string> names,
                std::index_sequence<I...>) {
    if (names.size() != sizeof...(A)) {
        throw std::logic_error("parameter names of " + name + " do not match its arity");
    }
    Member m;
    m.name = std::move(name);
    m.params = {ParamInfo{names[I], Arg<A>::type, Arg<A>::byRef, Arg<A>::optional}...};
    m.hasResult = !std::is_void_v<R>;
    if constexpr (!std::is_void_v<R>)
        m.resultType = Conv<R>::type;
    m.invoke = [fn](CKOLVANEX& object, std::vector<Variant>& args) -> Ret<Variant> {
        std::tuple<typename Arg<A>::Storage...> values{Arg<A>::load(args, I)...};
        auto result = (object.*fn)(Arg<A>::pass(std::get<I>(values))...);
        (Arg<A>::back(std::get<I>(values), args, I), ...);
        return toVariant(std::move(result));
    };
    return m;
}

template <typename R, typename... A>
Member bind(std::string name, Ret<R> (CKOLVANEX::*fn)(A...), std::vector<std::string> names = {}) {
    return bindImpl(std::move(name), fn, std::move(names), std::index_sequence_for<A...>{});
}

template <typename T>
Member property(std::string name, Ret<T> (CKOLVANEX::*get)() const,
                Ret<void> (CKOLVANEX::*set)(T)) {
    Member m;
    m.name = std::move(name);
    m.isProperty = true;
    m.params = {ParamInfo{"value", Conv<T>::type, false, true}};
    m.hasResult = true;
    m.resultType = Conv<T>::type;
    m.invoke = [get, set](CKOLVANEX& object, std::vector<Variant>& args) -> Ret<Variant> {
        if (args.empty())
            return toVariant((object.*get)());
        auto written = (object.*set)(Conv<T>::from(args[0]));
        if (!written)
            return std::unexpected(written.error());
        return toVariant((object.*get)());
    };
    return m;
}

#define KX_OP(name, ...) bind(#name, &CKOLVANEX::name, {__VA_ARGS__})
#define KX_PROPERTY(type, name) property<type>(#name, &CKOLVANEX::name, &CKOLVANEX::name)

std::vector<Member> buildTable() {
    return {
        // Shared state.
        KX_PROPERTY(std::string, KXAppPath),
        KX_PROPERTY(std::string, KXAppTitle),
        KX_PROPERTY(bool, gbBreak),
        KX_PROPERTY(bool, gbQuiet),
        KX_PROPERTY(bool, gbFormsOnTop),
        // Locations and system information.
        KX_OP(GetOperaExeDirectory),
        KX_OP(GetOperaDirectory),
        KX_OP(GetOperaTempDirectory),
        KX_OP(GetOperaIni),
        KX_OP(NetscapeGetInstallDirectory),
        KX_OP(NetscapeGetExeDirectory),
        KX_OP(NetscapeAndMozillaGetProfileFilesMulti, "colDirs"),
        KX_OP(MozGetInstallDirectory),
        KX_OP(MozGetExeDirectory),
        KX_OP(MozAddFiles, "colFiles"),
        KX_OP(GetPrivatePath),
        KX_OP(GetAOLPath),
        KX_OP(Betriebssystem),
        KX_OP(IsAdmin),
        KX_OP(VBGetSpecialFolder, "CSIDL"),
        KX_OP(GetSpecialfolder, "CSIDL"),
        KX_OP(GetRecentDirectory),
        KX_OP(GetTempDir, "AddBackslash"),
        KX_OP(GetWinDir),
        KX_OP(GetSysDir),
        // Registry.
        KX_OP(QueryUserInformationString, "sSubKey", "sValueName", "sValue"),
        KX_OP(QueryUserInformationLong, "sSubKey", "sValueName", "lValue"),
        KX_OP(WriteUserInformationLong, "sSubKey", "sValueName", "lValue"),
        KX_OP(DeleteUserInformationKey, "sSubKey"),
        KX_OP(DeleteRegistryKey, "hKey", "sSubKey"),
        KX_OP(WriteRegistryInformationLong, "hKey", "sSubKey", "sValueName", "lValue"),
        KX_OP(WriteRegistryInformationString, "hKey", "sSubKey", "sValueName", "sValue"),
        KX_OP(DeleteRegistryValue, "hKey", "sSubKey", "sValueName"),
        KX_OP(RegEdit, "sFileName"),
        KX_OP(AutoStart, "AutoStart", "sCommandLine", "sKeyName"),
        KX_OP(RegFailMsg),
        // Settings.
        KX_OP(ShowOptionen),
        KX_OP(GetNoOptions),
        // Proxies, sessions, addresses and sockets.
        KX_OP(IsConnection),
        KX_OP(GetInternetFile, "sURL"),
        KX_OP(GetFastestProxy),
        KX_OP(GetDownloadProxy),
        KX_OP(KXChecker, "sProxyAndPort", "bIsAnonym", "frmIn", "lSeconds"),
        KX_OP(SetIEProxy, "sProxyIPAndPort"),
        KX_OP(SetOperaProxy, "sProxyIPAndPort"),
        KX_OP(SetMozillaProxy, "sProxyIPAndPort", "sProfileFile"),
        KX_OP(GetAdFilterProxyFileName),
        KX_OP(GetAutoProxyFileName),
        KX_OP(WriteAutoProxyFile, "sProxyIPAndPort"),
        KX_OP(RefreshIESettings),
        KX_OP(AskForNewSession, "lHwndOwner"),
        KX_OP(SetSafeSessionOn, "lHwndOwner"),
        KX_OP(SetSafeSessionOff, "lHwndOwner", "bAskForNewSession"),
        KX_OP(SetAnonymSessionOn, "lHwndOwner"),
        KX_OP(SetAnonymSessionOff, "lHwndOwner", "bAskForNewSession"),
        KX_OP(ShowBrowserBar),
        KX_OP(Werbung, "lHwnd", "sPageToOpen"),
        KX_OP(ShowProxyOptionen),
        KX_OP(GetIPAddress, "sHostName"),
        KX_OP(GetIPHostName),
        KX_OP(GetIPAdress),
        KX_OP(HostByAddr, "addr"),
        KX_OP(HostByName, "na", "adapter"),
        KX_OP(MyHostName),
        KX_OP(SocketsInitialize),
        KX_OP(SocketsCleanup),
        KX_OP(xSocketsInitialize),
        KX_OP(xSocketsCleanup),
        KX_OP(ShowInfo),
        // Processes and windows.
        KX_OP(ShellAndWait, "CmdLine", "xWindowStyle", "lWaitNSeconds"),
        KX_OP(CloseTask, "sTaskName"),
        KX_OP(IEIsActive, "lHwndOwner", "bBringIEToTop"),
        KX_OP(GetWindowTitle, "hwnd"),
        KX_OP(EnumChildProc, "hwnd", "lParam"),
        KX_OP(CloseAllIESessions),
        KX_OP(CloseDRUBEX),
        KX_OP(StartKXMonitor),
        KX_OP(CloseKXMonitor),
        KX_OP(GetKXMonitorHandle),
        KX_OP(StartThePopupKiller),
        KX_OP(StartKXPopupKiller, "sCommandLine"),
        KX_OP(CloseKXPopupKiller),
        KX_OP(GetKXPopupKillerHandle),
        KX_OP(ShowOptionenPopupBlocker),
        // Progress and status.
        KX_OP(ProgessShow),
        KX_OP(Status, "sInfoString"),
        KX_OP(ProgressMin, "iValue"),
        KX_OP(ProgressMax, "iValue"),
        KX_OP(ProgressValue, "iValue"),
        KX_OP(ProgressClose, "iValue"),
        KX_OP(UnloadProgess),
        KX_OP(IsProgressVisible),
        KX_OP(GetProgressBar),
        // Track cleaning, secure deletion and statistics.
        KX_OP(KXStart),
        KX_OP(KXDelete),
        KX_OP(KXStatistics, "lnFiles", "dblMB"),
        KX_OP(KXDeleteTheFile, "sFileName", "bSecurityMode", "bEncryptIt", "iDeleteN",
              "yDeleteChar", "bDeleteIt"),
        // Dialer protection.
        KX_OP(KXCheckForDialer),
        KX_OP(RASConnect, "hwnd", "DFÜName", "AutoStart"),
        // Anonymous e-mail and form filling.
        KX_OP(ShowAnoMail),
        KX_OP(KXFillWebForm, "wbBrowser", "sURL", "colFormdata"),
        // Safe favourites.
        KX_OP(ShowFavoriten),
        KX_OP(UnloadFavoriten),
        KX_OP(KXPasswordSet),
        KX_OP(KXPasswordGet),
        // File encryption.
        KX_OP(KXCryptFiles, "eWhat"),
        KX_OP(KXCriptFolders, "eWhat"),
        // Utilities.
        KX_OP(AddBackslash, "sFile"),
        KX_OP(CBoolEx, "vValue"),
        KX_OP(hibyte, "wParam"),
        KX_OP(lobyte, "wParam"),
        KX_OP(IsIDE),
        KX_OP(Selex),
        KX_OP(ChangeTabControl, "tsTabControl", "iKeycode", "iShift"),
        KX_OP(FormOnTop, "hwnd", "OnTop"),
        KX_OP(FormMaximize, "f"),
        KX_OP(BackColor98, "fIn"),
        KX_OP(ShowOpenDlg, "lHwndOwner", "strFilter", "strTitel", "strInitDir"),
        KX_OP(ShowSaveDlg, "lHwndOwner", "strFilter", "strTitel", "strInitDir"),
        KX_OP(BrowseFolder, "hwndOwner", "sTitel", "piRoot"),
        KX_OP(Help, "lHwnd"),
        KX_OP(Homepage),
    };
}

#undef KX_OP
#undef KX_PROPERTY

}  // namespace

std::string_view paramTypeName(ParamType type) {
    switch (type) {
        case ParamType::String:
            return "String";
        case ParamType::Boolean:
            return "Boolean";
        case ParamType::Long:
            return "Long";
        case ParamType::Integer:
            return "Integer";
        case ParamType::Byte:
            return "Byte";
        case ParamType::Double:
            return "Double";
        case ParamType::Variant:
            return "Variant";
        case ParamType::Object:
            return "Object";
        case ParamType::Collection:
            return "Collection";
        case ParamType::CryptIt:
            return "enumCryptIt";
        case ParamType::WindowStyle:
            return "VbAppWinStyle";
    }
    return "?";
}

std::size_t Member::requiredCount() const {
    if (isProperty)
        return 0;
    std::size_t n = 0;
    for (const auto& p : params) n += p.optional ? 0 : 1;
    return n;
}

std::span<const Member> members() {
    static const std::vector<Member> table = buildTable();
    return table;
}

const Member* findMember(std::string_view name) {
    for (const auto& m : members()) {
        if (platform::winEqualNoCase(m.name, name))
            return &m;
    }
    return nullptr;
}

Ret<Variant> invoke(CKOLVANEX& object, std::string_view name, std::vector<Variant>& args) {
    const Member* member = findMember(name);
    if (member == nullptr) {
        return std::unexpected(AutomationError{
            kNoSuchMember,
            std::string(platform::tr("Objekt unterstützt diese Eigenschaft oder Methode nicht")) +
                ": " + std::string(name)});
    }
    if (args.size() < member->requiredCount() || args.size() > member->params.size()) {
        return std::unexpected(AutomationError{
            kWrongArgumentCount,
            std::string(
                platform::tr("Falsche Anzahl an Argumenten oder ungültige Zuweisung an eine "
                             "Eigenschaft")) +
                ": " + member->name});
    }
    try {
        return member->invoke(object, args);
    } catch (const RuntimeError& e) {
        return std::unexpected(AutomationError{e.number, e.description});
    }
}

}  // namespace kx
