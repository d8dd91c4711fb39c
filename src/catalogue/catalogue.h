// The catalogue thread: fetches the plugin server's catalogue page (or reads a local copy),
// follows the hosting provider's redirect page, and hands the page to the scraper.
#pragma once
#include <string>

#include "core/state.h"
#include "kitehttp.h"

namespace qvk {

// A chain of redirect pages longer than this is treated like a failed download.
inline constexpr int kMaxRedirectHops = 5;

// The thread body (the platform layer starts it through a trampoline). Returns once the page is
// analysed, the job filled in and Next enabled; ends the program when the user gives up.
void CatalogueThread(CatalogueJob* job);

// The transfer callback of both fetching threads: the per-file bar and the heading text.
void ShowTransferProgress(kite::HttpTransfer* transfer);

// Host + path without a scheme ("https://" stays when the host has it); the language suffix
// only for the built-in host and path.
std::string CatalogueUrl(const std::string& host, const std::string& path);

// An address of the catalogue as it is fetched: http:// unless it says https://.
std::string AbsoluteUrl(const std::string& address);

// The host that replaces the catalogue host in the page's links after a redirect to realUrl.
std::string RedirectHost(const std::string& realUrl, const std::string& host,
                         const std::string& path);

// The hosting provider's redirect page is recognised by its signature text; its target
// (host + path + query, no scheme) is the content of its "url" meta tag. The target is empty
// when the tag is incomplete or empty: such a page is then read as a catalogue page.
bool IsRedirectPage(const std::string& pageText);
std::string RedirectTarget(const std::string& pageText);

// A file as one text with every line break (CR, LF or CR LF) removed. False when it cannot be
// opened; the text is then left as it was.
bool ReadPageFile(const std::string& path, std::string& text);

// The scraper as the catalogue thread uses it: scrapes, fills state.plugins and the catalogue
// log box, stores the XnView record reference in the job, empties the page text and returns the
// count text. Ends the program when neither layout is recognised.
std::string ScrapeCatalogue(std::string& pageText, const std::string& catalogueHost,
                            const std::string& realHost, const std::string& realUrl,
                            CatalogueJob& job);

}  // namespace qvk
