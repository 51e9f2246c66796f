#pragma once
// How the favourites and the file encryption destroy the plain copies they
// leave: through KXDeleteTheFile, with the arguments each gives. For hosts
// that drive the encryption's runs themselves (the console's file lists).
#include "encryption/file_encryption.hpp"
#include "favourites/frm_favoriten.hpp"

namespace kx {

favourites::PlainWiper favouritesWiper();
encryption::TempWiper encryptionWiper();

}  // namespace kx
