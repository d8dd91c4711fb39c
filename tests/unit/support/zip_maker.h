// Real ZIP archives for the tests, written with minizip's zip half.
#pragma once
#include <zip.h>

#include <string>
#include <vector>

namespace qvk::test {

struct ZipEntry {
    std::string name;  // a name ending in "/" is a folder entry
    std::string data;
    unsigned attributes = 0;  // DOS attribute bits
};

// Every entry dated 15/06/2007 10:20:30, local time.
inline bool MakeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (!zip) return false;
    bool good = true;
    for (const ZipEntry& entry : entries) {
        zip_fileinfo info = {};
        info.tmz_date = {30, 20, 10, 15, 5, 2007};
        info.external_fa = entry.attributes;
        good = good &&
               zipOpenNewFileInZip64(zip, entry.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                     Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) == ZIP_OK &&
               zipWriteInFileInZip(zip, entry.data.data(), static_cast<unsigned>(entry.data.size())) ==
                   ZIP_OK &&
               zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && good;
}

// Bytes that deflate cannot shrink, so that a flipped byte of the archive lands in the data.
inline std::string Noise(std::size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return bytes;
}

}  // namespace qvk::test
