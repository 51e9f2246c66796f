#include "fsys/connection_blob.hpp"

namespace kx::fsys {
namespace {

bool readDword(std::string_view bytes, std::size_t& pos, std::uint32_t& out) {
    if (pos > bytes.size() || bytes.size() - pos < 4)
        return false;
    out = 0;
    for (int i = 3; i >= 0; --i) {
        // cppcheck-suppress containerOutOfBounds ; four bytes from pos are checked above
        out = (out << 8) | static_cast<unsigned char>(bytes[pos + static_cast<std::size_t>(i)]);
    }
    pos += 4;
    return true;
}

bool readText(std::string_view bytes, std::size_t& pos, std::string& out) {
    std::uint32_t length = 0;
    if (!readDword(bytes, pos, length))
        return false;
    // The length comes from the registry, which anyone can write: check it
    // against what is there before taking that many bytes.
    if (length > bytes.size() - pos)
        return false;
    out.assign(bytes.substr(pos, length));
    pos += length;
    return true;
}

void appendDword(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void appendText(std::string& out, std::string_view text) {
    appendDword(out, static_cast<std::uint32_t>(text.size()));
    out.append(text);
}

}  // namespace

ConnectionBlob ConnectionBlob::fresh() {
    ConnectionBlob blob;
    // IE follows the texts with auto-detect bookkeeping; zeros mean "never ran".
    blob.trailing.assign(32, '\0');
    return blob;
}

std::optional<ConnectionBlob> ConnectionBlob::parse(std::string_view bytes) {
    ConnectionBlob blob;
    std::size_t pos = 0;
    if (!readDword(bytes, pos, blob.version) || !readDword(bytes, pos, blob.counter) ||
        !readDword(bytes, pos, blob.flags) || !readText(bytes, pos, blob.proxyServer) ||
        !readText(bytes, pos, blob.bypassList) || !readText(bytes, pos, blob.autoConfigUrl)) {
        return std::nullopt;
    }
    blob.trailing.assign(bytes.substr(pos));
    return blob;
}

std::string ConnectionBlob::serialize() const {
    std::string out;
    out.reserve(24 + proxyServer.size() + bypassList.size() + autoConfigUrl.size() +
                trailing.size());
    appendDword(out, version);
    appendDword(out, counter);
    appendDword(out, flags);
    appendText(out, proxyServer);
    appendText(out, bypassList);
    appendText(out, autoConfigUrl);
    out.append(trailing);
    return out;
}

}  // namespace kx::fsys
