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
    bool utf8 = false;        // the name marked as UTF-8; otherwise it is in the DOS code page
};

// Every entry dated 15/06/2007 10:20:30, local time.
inline bool MakeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    bool good = zip != nullptr;
    for (const ZipEntry& e : entries) {
        zip_fileinfo info = {};
        info.tmz_date = {30, 20, 10, 15, 5, 2007};
        info.external_fa = e.attributes;
        good = good &&
               zipOpenNewFileInZip4_64(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                       Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, 8,
                                       Z_DEFAULT_STRATEGY, nullptr, 0, 0, e.utf8 ? 0x800 : 0,
                                       0) == ZIP_OK &&
               zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size())) == ZIP_OK &&
               zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zip && zipClose(zip, nullptr) == ZIP_OK && good;
}

}  // namespace qvk::test
