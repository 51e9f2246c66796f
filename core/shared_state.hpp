#pragma once
// The state every CKOLVANEX instance of a thread shares: the host's settings,
// the break flag, and the application title that also names the settings tree.
#include <string>

namespace kx {

struct SharedState {
    std::string KXAppPath;
    std::string KXAppTitle;
    bool gbBreak = false;
    bool gbQuiet = false;
    bool gbFormsOnTop = false;
    /// The application title: "Kolvanex" until the host sets KXAppTitle.
    std::string applicationTitle = "Kolvanex";
};

/// The calling thread's shared state; every instance on the thread sees it.
SharedState& shared();

/// Puts the calling thread's shared state back to its first values (for
/// hosts that start over, and for tests).
void resetShared();

}  // namespace kx
