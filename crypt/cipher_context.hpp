#pragma once
// What a cipher works with: the machine whose files it reads and writes, and
// the keys kept between runs (the cache of derived keys, the scramble salt,
// the throw-away keys). The holder of the thread's cipher (frmAES) builds it
// from what the component keeps per thread; tests build their own.
#include "crypt/key_cache.hpp"
#include "platform/machine/machine.hpp"

namespace kx::crypt {

struct CipherContext {
    platform::Machine& machine;
    KeyCache& keys;
    /// The scrypt costs of the files it seals with a password; files are
    /// read with the costs their header records, whatever this says.
    platform::crypto::ScryptCost cost = sealed::kDefaultCost;
};

}  // namespace kx::crypt
