// The safe favourites and file encryption entries of CKOLVANEX: the
// favourites window, the key prompts, and encrypting files and folders.
// The plain copies they leave go to the component's secure deletion.
#include <memory>

#include "crypt/aes_holder.hpp"
#include "encryption/file_encryption.hpp"
#include "facade/guarded.hpp"
#include "facade/kolvanex.hpp"
#include "facade/kolvanex_favourites.hpp"
#include "favourites/frm_favoriten.hpp"
#include "favourites/key_prompts.hpp"

namespace kx {
namespace {

// The window while ShowFavoriten shows it, for UnloadFavoriten.
std::weak_ptr<favourites::frmFavoriten>& openWindow() {
    thread_local std::weak_ptr<favourites::frmFavoriten> window;
    return window;
}

void releaseCipher() {
    if (const auto form = existingAesForm())
        form->RijnDael1.StopIt = true;
    releaseAesForm();
}

}  // namespace

favourites::PlainWiper favouritesWiper() {
    return [](const std::string& file) {
        (void)CKOLVANEX().KXDeleteTheFile(file, true, true, favourites::kWipePasses,
                                          favourites::kWipeByte, true);
    };
}

encryption::TempWiper encryptionWiper() {
    return [](const std::string& file, std::uint8_t yDeleteChar) {
        (void)CKOLVANEX().KXDeleteTheFile(file, true, true, encryption::kTemporaryPasses,
                                          yDeleteChar, true);
    };
}

Ret<void> CKOLVANEX::ShowFavoriten() {
    return guarded("ShowFavoriten", [] {
        struct Release {
            ~Release() { releaseCipher(); }
        } release;
        auto window = std::make_shared<favourites::frmFavoriten>(favouritesWiper());
        openWindow() = window;
        window->showModal();
        window->unload();
    });
}

Ret<void> CKOLVANEX::UnloadFavoriten() {
    return guarded("UnloadFavoriten", [] {
        if (const auto window = openWindow().lock())
            window->unload();
        releaseCipher();
    });
}

Ret<std::string> CKOLVANEX::KXPasswordSet() {
    return guarded("KXPasswordSet", [] { return favourites::KXPasswordSet(); });
}

Ret<std::string> CKOLVANEX::KXPasswordGet() {
    return guarded("KXPasswordGet", [] { return favourites::KXPasswordGet(); });
}

Ret<void> CKOLVANEX::KXCryptFiles(enumCryptIt eWhat) {
    return guarded("KXCryptFiles", [&] { encryption::KXCryptFiles(eWhat, encryptionWiper()); });
}

Ret<void> CKOLVANEX::KXCriptFolders(enumCryptIt eWhat) {
    return guarded("KXCriptFolders", [&] { encryption::KXCriptFolders(eWhat, encryptionWiper()); });
}

}  // namespace kx
