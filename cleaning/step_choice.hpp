#pragma once
// The cleaning steps as the user names them, each switched by one setting of
// section "Options", and the choice of steps for one run: a run limited to
// some steps works as if the others were switched off, without a word of the
// stored settings changing.
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/keys.hpp"

namespace kx::cleaning {

struct CleaningStep {
    std::string_view name;  // as the user types it: "cookies", "recycle-bin"
    const settings::SettingKey* key;
    std::string_view
        removes;  // what the step removes or changes, in one line, in the user's language
};

/// Every step, in the order a run takes them.
std::span<const CleaningStep> cleaningSteps();

/// The step of that name (any case), or null.
const CleaningStep* findStep(std::string_view name);

/// The steps one run may take. A key that switches no step (how files are
/// deleted, for one) is never held back.
class StepChoice {
  public:
    /// Only the named steps; `except`: every step but the named ones.
    /// Answers the first unknown name instead when there is one.
    static std::optional<StepChoice> of(const std::vector<std::string>& names, bool except,
                                        std::string* unknown = nullptr);

    bool allows(const settings::SettingKey& key) const;

  private:
    std::set<const settings::SettingKey*> chosen_;
};

}  // namespace kx::cleaning
