#pragma once
// The lasting record of the files a run hides because an exception keeps
// them. Each file is recorded, with the attributes it had, before it is
// hidden, so that a run ended by a crash or a kill leaves nothing hidden for
// good: the next run, or the next start of the engine, gives those files
// their attributes back. The record lives in the settings store (application
// "kolvanex", section "KeptFiles"), one value per file named after the
// process that hid it, so that two processes never take each other's
// records and a live run's files stay hidden until it ends itself.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/files/files.hpp"
#include "platform/machine/machine.hpp"

namespace kx::cleaning {

inline constexpr std::string_view kKeptRecordSection = "KeptFiles";

/// Attributes that keep a file out of every deletion of the run.
inline constexpr std::uint32_t kKeptAttributes =
    platform::fileattr::ReadOnly | platform::fileattr::Hidden | platform::fileattr::System;

/// Records the `number`-th file this process hides, with its attributes
/// from before. False when the record could not be written: the file must
/// then not be hidden.
bool recordKeptFile(std::size_t number, std::string_view path, std::uint32_t attributes);

/// Forgets every record of this process (its run has given the files their
/// attributes back).
void forgetKeptRecords();

/// Gives back their attributes to the files recorded by processes that no
/// longer run, and forgets those records. A file is only given back its
/// attributes while it still carries the hiding (read-only + hidden +
/// system) and has this one name: a file put in its place since is not
/// touched. Answers how many files got their attributes back. Never throws.
std::size_t restoreAbandonedKeptFiles(platform::Machine& machine);

}  // namespace kx::cleaning
