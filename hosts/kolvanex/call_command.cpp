// `kolvanex call`: any operation or property of the public class by name,
// with the arguments parsed by their declared types.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cmath>
#include <iostream>
#include <limits>
#include <memory>

#include <nlohmann/json.hpp>

#include "facade/dispatch.hpp"
#include "hosts/kolvanex/host.hpp"
#include "platform/runtime/text.hpp"
#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"

namespace kx::host {
namespace {

using nlohmann::json;
using platform::tr;
using platform::trf;
using platform::trMark;
namespace ui = platform::ui;

std::string describe(const Member& member, std::size_t index) {
    const auto& p = member.params[index];
    return trf("Argument {1} ({2}) von {3} muss {4} sein",
               {std::to_string(index + 1), p.name, member.name, paramTypeName(p.type)});
}

template <typename Int>
std::optional<Int> parseInt(std::string_view text) {
    Int value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<double> parseDouble(std::string_view text) {
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> parseBool(std::string_view text) {
    const auto lower = platform::vbLCase(text);
    if (lower == "true" || lower == "wahr" || text == "-1" || text == "1")
        return true;
    if (lower == "false" || lower == "falsch" || text == "0")
        return false;
    return std::nullopt;
}

// Objects given on the command line: "Nothing", or one of the controls a
// caller can build from text ("tabstrip:TABS:SELECTED", "form:CAPTION").
std::optional<Variant> parseObject(std::string_view text) {
    if (platform::winEqualNoCase(text, "nothing"))
        return Variant{};
    if (text.starts_with("tabstrip:")) {
        const auto rest = text.substr(9);
        const auto colon = rest.find(':');
        const auto count = parseInt<int>(rest.substr(0, colon));
        const auto selected = colon == std::string_view::npos
                                  ? std::optional<int>(1)
                                  : parseInt<int>(rest.substr(colon + 1));
        if (!count || !selected || *count < 0 || *count > 1000)
            return std::nullopt;
        auto strip = std::make_shared<ui::TabStrip>("tsTabControl");
        for (int i = 1; i <= *count; ++i) strip->tabs.push_back("Tab " + std::to_string(i));
        strip->selectedIndex = *selected;
        return Variant(ObjectRef(strip));
    }
    if (text.starts_with("form:")) {
        return Variant(ObjectRef(std::make_shared<ui::Form>(std::string(text.substr(5)))));
    }
    return std::nullopt;
}

std::optional<Variant> parseCollection(std::string_view text) {
    if (platform::winEqualNoCase(text, "nothing"))
        return Variant{};
    const auto parsed = json::parse(text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_array())
        return std::nullopt;
    auto collection = std::make_shared<Collection>();
    for (const auto& item : parsed) {
        if (!item.is_string())
            return std::nullopt;
        collection->items.emplace_back(item.get<std::string>());
    }
    return Variant(ObjectRef(collection));
}

// Variant arguments: "null", "empty", or "TYPE:VALUE" for Boolean, Long,
// Double and String; any other text is a String.
std::optional<Variant> parseVariant(std::string_view text) {
    if (text == "null")
        return Variant(platform::Null{});
    if (text == "empty")
        return Variant{};
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return Variant(text);
    const auto kind = platform::vbLCase(text.substr(0, colon));
    const auto value = text.substr(colon + 1);
    if (kind == "string")
        return Variant(value);
    if (kind == "bool") {
        const auto b = parseBool(value);
        return b ? std::optional<Variant>(Variant(*b)) : std::nullopt;
    }
    if (kind == "long") {
        const auto n = parseInt<std::int32_t>(value);
        return n ? std::optional<Variant>(Variant(*n)) : std::nullopt;
    }
    if (kind == "double") {
        const auto d = parseDouble(value);
        return d ? std::optional<Variant>(Variant(*d)) : std::nullopt;
    }
    return Variant(text);
}

std::optional<Variant> parseArgument(ParamType type, std::string_view text) {
    switch (type) {
        case ParamType::String:
            return Variant(text);
        case ParamType::Boolean: {
            const auto b = parseBool(text);
            return b ? std::optional<Variant>(Variant(*b)) : std::nullopt;
        }
        case ParamType::Long: {
            const auto n = parseInt<std::int32_t>(text);
            return n ? std::optional<Variant>(Variant(*n)) : std::nullopt;
        }
        case ParamType::Integer: {
            const auto n = parseInt<std::int16_t>(text);
            return n ? std::optional<Variant>(Variant(*n)) : std::nullopt;
        }
        case ParamType::Byte: {
            const auto n = parseInt<std::uint8_t>(text);
            return n ? std::optional<Variant>(Variant(*n)) : std::nullopt;
        }
        case ParamType::Double: {
            const auto d = parseDouble(text);
            return d ? std::optional<Variant>(Variant(*d)) : std::nullopt;
        }
        case ParamType::CryptIt: {
            if (platform::winEqualNoCase(text, "Decrypt") || text == "0")
                return Variant(std::int32_t{0});
            if (platform::winEqualNoCase(text, "Encrypt") || text == "1")
                return Variant(std::int32_t{1});
            return std::nullopt;
        }
        case ParamType::WindowStyle: {
            const auto n = parseInt<std::int16_t>(text);
            if (!n || *n < 0 || *n > 6 || *n == 5)
                return std::nullopt;
            return Variant(*n);
        }
        case ParamType::Variant:
            return parseVariant(text);
        case ParamType::Object:
            return parseObject(text);
        case ParamType::Collection:
            return parseCollection(text);
    }
    return std::nullopt;
}

json toJson(const Variant& value) {
    struct Conv {
        json operator()(const platform::Empty&) const { return nullptr; }
        json operator()(const platform::Null&) const { return nullptr; }
        json operator()(bool b) const { return b; }
        json operator()(std::uint8_t n) const { return n; }
        json operator()(std::int16_t n) const { return n; }
        json operator()(std::int32_t n) const { return n; }
        json operator()(double d) const { return d; }
        json operator()(const std::string& s) const {
            // Text that is not valid UTF-8 (bytes of a raw registry value) is
            // shown byte for byte as Latin-1 rather than refused.
            return platform::isValidUtf8(s) ? json(s) : json(platform::fromCp1252(s));
        }
        json operator()(const ObjectRef& o) const {
            if (!o)
                return nullptr;
            if (auto c = std::dynamic_pointer_cast<Collection>(o)) {
                json items = json::array();
                for (const auto& item : c->items) items.push_back(toJson(item));
                return items;
            }
            json object = {{"type", std::string(o->typeName())}};
            if (auto t = std::dynamic_pointer_cast<ui::TabStrip>(o)) {
                object["tabs"] = t->tabs.size();
                object["selectedIndex"] = t->selectedIndex;
            }
            if (auto f = std::dynamic_pointer_cast<ui::Form>(o)) {
                object["caption"] = f->caption;
                object["left"] = f->left;
                object["top"] = f->top;
                object["width"] = f->width;
                object["height"] = f->height;
            }
            return object;
        }
    };
    return std::visit(Conv{}, value.storage());
}

// Plain output: Booleans as True/False, numbers with a point, text as it is,
// objects and collections as JSON.
std::string toPlain(const Variant& value) {
    if (value.is<ObjectRef>())
        return toJson(value).dump();
    if (value.isNull())
        return "Null";
    return platform::toText(value);
}

// The help ends with its example, which is a command and stays as it is.
constexpr std::string_view kCallHelp =
    trMark(R"(Ruft eine Operation oder Eigenschaft der Engine beim Namen auf, wie Programme es tun.

  kolvanex call [--json] NAME [ARGUMENTE...]

Argumente werden nach ihren erklärten Typen gelesen: String wie angegeben;
Boolean True/False (auch -1/0, Wahr/Falsch); Long, Integer und Byte als ganze
Zahlen in ihren Bereichen; Double mit Punkt; enumCryptIt Decrypt/Encrypt (0/1);
Variant als Text oder null, empty, bool:X, long:N, double:X, string:X;
Collection als JSON-Array von Texten; Object als Nothing, tabstrip:TABS:SELECTED
oder form:CAPTION. Eine Eigenschaft ohne Argument wird gelesen, mit einem
geschrieben. Optionale Argumente dürfen am Ende fehlen.

Ausgabe: das Ergebnis allein in der ersten Zeile (Booleans True/False, Zahlen
mit Punkt), danach jedes Ein-/Ausgabeargument als name=wert. Mit --json ein
Objekt {"result": ..., "byref": {...}, "error": null | {"number": n, "description": "..."}}.
Exit-Status 0 bei Erfolg, 1, wenn die Operation scheitert, 2 bei falscher Eingabe.

'kolvanex call --list' listet jede Operation mit ihren Parametern.

Beispiel:
)");

void listMembers() {
    for (const auto& m : kx::members()) {
        std::cout << m.name << (m.isProperty ? tr(" [Eigenschaft]") : "") << "(";
        for (std::size_t i = 0; i < m.params.size(); ++i) {
            const auto& p = m.params[i];
            std::cout << (i ? ", " : "") << (p.optional ? "[" : "") << p.name << " As "
                      << kx::paramTypeName(p.type) << (p.byRef ? tr(" (Ein-/Ausgabe)") : "")
                      << (p.optional ? "]" : "");
        }
        std::cout << ")";
        if (m.hasResult)
            std::cout << " As " << kx::paramTypeName(m.resultType);
        std::cout << "\n";
    }
}

}  // namespace

int runCall(const GlobalOptions& options, bool asJson, const std::vector<std::string>& words) {
    if (words.empty())
        throw UsageError(
            std::string(tr("call braucht den Namen einer Operation oder Eigenschaft")));
    const Member* member = findMember(words.front());
    if (member == nullptr)
        throw UsageError(trf("unbekannte Operation oder Eigenschaft: {1}", {words.front()}));
    const std::size_t given = words.size() - 1;
    if (given < member->requiredCount() || given > member->params.size()) {
        const std::string count = std::to_string(member->params.size());
        throw UsageError(member->requiredCount() == member->params.size()
                             ? trf("{1} nimmt {2} Argumente, {3} angegeben",
                                   {member->name, count, std::to_string(given)})
                             : trf("{1} nimmt {2} bis {3} Argumente, {4} angegeben",
                                   {member->name, std::to_string(member->requiredCount()), count,
                                    std::to_string(given)}));
    }
    std::vector<Variant> args;
    for (std::size_t i = 0; i < given; ++i) {
        auto parsed = parseArgument(member->params[i].type, words[i + 1]);
        if (!parsed)
            throw UsageError(describe(*member, i) + ": '" + words[i + 1] + "'");
        args.push_back(std::move(*parsed));
    }

    Session session(options, false);
    CKOLVANEX kolvanex;
    const auto result = member->invoke(kolvanex, args);

    if (asJson) {
        json out;
        out["result"] = result && member->hasResult ? toJson(*result) : json(nullptr);
        out["byref"] = json::object();
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (member->params[i].byRef)
                out["byref"][member->params[i].name] = toJson(args[i]);
        }
        out["error"] = result ? json(nullptr)
                              : json{{"number", result.error().number},
                                     {"description", result.error().description}};
        std::cout << out.dump() << "\n";
    } else if (result) {
        if (member->hasResult)
            std::cout << toPlain(*result) << "\n";
        for (std::size_t i = 0; i < args.size(); ++i) {
            if (member->params[i].byRef) {
                std::cout << member->params[i].name << "=" << toPlain(args[i]) << "\n";
            }
        }
    }
    if (!result) {
        std::cerr << "kolvanex: "
                  << trf("{1} fehlgeschlagen: Fehler {2}: {3}",
                         {member->name, std::to_string(result.error().number),
                          result.error().description})
                  << "\n";
        return kExitFailed;
    }
    return 0;
}

void addCallCommand(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    auto* call = app.add_subcommand(
        "call", std::string(tr("eine Operation oder Eigenschaft beim Namen aufrufen")));
    call->footer(std::string(tr(kCallHelp)) + "  kolvanex call AddBackslash 'C:\\Daten'");
    auto json = std::make_shared<bool>(false);
    auto list = std::make_shared<bool>(false);
    call->add_flag("--json", *json, std::string(tr("ein JSON-Objekt ausgeben")));
    call->add_flag("--list", *list, std::string(tr("jede Operation und Eigenschaft auflisten")));
    call->prefix_command();
    call->callback([&options, &exitCode, call, json, list] {
        if (*list) {
            listMembers();
            return;
        }
        exitCode = runCall(options, *json, call->remaining());
    });
}

}  // namespace kx::host
