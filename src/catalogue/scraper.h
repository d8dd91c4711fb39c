// Reading the plugin list out of the catalogue page. The page is HTML meant for a browser; the
// list is found by fixed pieces of markup, searched in a fixed order. Two layouts of the page are
// known, plus a section that offers the XnView format DLL archive.
//
// Texts are single-byte ANSI strings: nothing here depends on a locale or on UTF-8, and letter
// case is folded for ASCII letters only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/plugin_record.h"

namespace qvk {

// Receives the diagnostic lines of the scraper; an empty writer means "log nothing" and also
// spares building the lines.
using LineWriter = std::function<void(const std::string&)>;

struct ScrapeResult {
    bool recognised = false;  // the count markers of one layout were found
    int pageFormat = 0;       // 0 or 1: the layout whose markers were used
    std::string countText;    // the announced number, digits only
    // Plugin records sorted by name (ASCII letters folded), then the XnView DLL record if any.
    PluginList records;
    PluginRecord* xnviewRecord = nullptr;  // points into `records`, or none
};

// The whole scraping of one page text (line breaks already removed). Does not touch the
// process-wide state and never ends the program; `recognised` false means neither layout.
// A record is only ever made from a complete entry of the list: a non-empty name and a link
// that is an absolute http URL.
ScrapeResult ScrapePage(std::string_view page, const std::string& catalogueHost,
                        const std::string& realHost, const std::string& realUrl,
                        const LineWriter& log = LineWriter());

// Cuts one entry's markup into at most one record appended to `list`; returns whether one was.
bool ScrapeEntry(std::string_view markup, const std::string& catalogueHost,
                 const std::string& realHost, int pageFormat, PluginList& list,
                 const LineWriter& log = LineWriter());

// The decimal digits of a text, in order.
std::string DigitsOnly(std::string_view text);
// Value of a digit text; 0 when empty, capped at the largest 32-bit value.
int32_t CountValue(std::string_view digits);

// Positions count from 1, 0 meaning "not found": a when it is found and before b, or when b is
// not found; otherwise b.
std::size_t NearerPosition(std::size_t a, std::size_t b);

// True for "http://" or "https://" (letter case of the scheme free) followed by a non-empty host.
bool IsAbsoluteHttpUrl(std::string_view url);

// Order of the plugin list: ASCII letters without regard to case, other bytes by value.
bool NameLess(const std::string& a, const std::string& b);

}  // namespace qvk
