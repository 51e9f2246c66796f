#include "platform/files/folder_memo.hpp"

namespace kx::platform {
namespace {

thread_local FolderMemo* tFolderMemo = nullptr;

}  // namespace

FolderMemo* activeFolderMemo() {
    return tFolderMemo;
}

FolderMemoScope::FolderMemoScope() : owner_(tFolderMemo == nullptr) {
    if (owner_)
        tFolderMemo = new FolderMemo();
}

FolderMemoScope::~FolderMemoScope() {
    if (owner_) {
        delete tFolderMemo;
        tFolderMemo = nullptr;
    }
}

}  // namespace kx::platform
