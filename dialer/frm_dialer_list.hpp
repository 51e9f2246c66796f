#pragma once
// frmDialerList: the warning dialog of the dialer check. It lists the
// suspicious dial-up entries (name and digits-only number) and lets the user
// delete them from the default phone book.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/runtime/translation.hpp"
#include "platform/ui/controls.hpp"
#include "services/form_base.hpp"

namespace kx::dialer {

inline constexpr std::string_view kDialerWarning = platform::trMark(
    "Achtung! Es sind möglicherweise DFÜ-Verbindungen in Ihrem System vorhanden die über eine "
    "teure 0190er/0900er Nummer Verbindung in das Internet aufnehmen! Wir empfehlen die hier "
    "aufgelisteten DFÜ-Verbindungen zu entfernen!");

/// Message box flags: system-modal warning and system-modal information.
inline constexpr std::uint32_t kDeleteFailedFlags = 4144;
inline constexpr std::uint32_t kRemovedFlags = 4160;

/// "Die verdächtigen DFÜ Verbindungen wurden entfernt. <title> wiederholt ..."
std::string removedMessage();

class frmDialerList final : public FormBase {
  public:
    frmDialerList();

    std::shared_ptr<platform::ui::Label> lblWarnung;
    std::shared_ptr<platform::ui::ListView> lvDialer;
    std::shared_ptr<platform::ui::CommandButton> cmdRemove;
    std::shared_ptr<platform::ui::CommandButton> cmdOK;

    /// A row: the entry's name, the digits-only number in the second column.
    void addFinding(const std::string& entryName, const std::string& digits);

    /// cmdRemove: deletes the entry of every row, in list order, from the
    /// default phone book. Each failure shows its error text and the next
    /// row is tried; entries deleted stay deleted. Without a failure the
    /// success message is shown and the dialog unloads; otherwise it stays
    /// open with its rows as they were. Answers whether all went.
    bool removeEntries();
};

}  // namespace kx::dialer
