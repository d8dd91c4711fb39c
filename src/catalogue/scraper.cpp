#include "catalogue/scraper.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "core/text_helpers.h"

namespace qvk {
namespace {

constexpr std::size_t npos = std::string_view::npos;

struct Layout {
    std::string_view countStart;
    std::string_view countEnd;
    std::string_view entryStart;
    std::string_view entrySeparator;
    std::string_view lastEntryEnd;
    std::string_view tableEnd;
    std::string_view descriptionStart;
};

constexpr std::string_view kCountEnd = " ( <a href=\"plugins.php?";

constexpr Layout kLayouts[2] = {
    {"<font face=\"Arial, Helvetica, sans-serif\" size=\"2\" color=\"#FFCC00\"><b>",
     kCountEnd,
     "></td><td><font face=\"Arial, Helvetica, sans-serif\" color=\"#FFFFFF\" size=\"2\"><b>",
     "</font></td></tr><tr><td width=\"105\">",
     "</font></td></tr></table><br></b><i>",
     "</font></td></tr>    </table>",
     "<font face=\"Arial, Helvetica, sans-serif\" color=\"#FFFFFF\" size=\"2\">"},
    {"<br><br><b>",
     kCountEnd,
     "</td><td><b>",
     "</td></tr><tr><td width=\"105\"><img src=",
     "</td></tr></table><br><img src=",
     "</td></tr></table><br>        <h2>",
     "</b>"},
};

constexpr std::string_view kDescriptionEnd = "<u>";
constexpr std::string_view kInformationStart = "</i><br>";
constexpr std::string_view kXnViewSection = "<!-- XnViewDLLs //-->";
constexpr std::string_view kXnViewLinkStart = "<a href=\"";
constexpr std::string_view kLinkStart = "href=\"";
constexpr std::string_view kLinkEnd = "\">";
constexpr std::string_view kNameEnd = "</a>";
constexpr char kNoBreakSpace = '\xA0';  // the field separator of the information line

// A marker searched again and again from start positions that only grow. The page is scanned
// once per marker instead of once per entry: a marker that occurs only after the list (or not
// at all) would otherwise make the scraping quadratic in the number of entries.
//
// The markers begin with "<" or ">", the commonest bytes of a page, so a plain find stops at
// almost every tag; a Horspool search skips ahead by up to the marker's length instead.
class ForwardSearch {
public:
    ForwardSearch(std::string_view text, std::string_view marker)
        : text_(text), searcher_(marker.data(), marker.data() + marker.size()) {}
    // 0-based position of the first occurrence at or after `from`, or npos.
    std::size_t From(std::size_t from) {
        if (searched_ && from >= from_ && (found_ == npos || from <= found_)) return found_;
        searched_ = true;
        from_ = from;
        found_ = npos;
        if (from <= text_.size()) {
            const char* end = text_.data() + text_.size();
            const char* at = std::search(text_.data() + from, end, searcher_);
            if (at != end) found_ = static_cast<std::size_t>(at - text_.data());
        }
        return found_;
    }

private:
    std::string_view text_;
    std::boyer_moore_horspool_searcher<const char*> searcher_;
    bool searched_ = false;
    std::size_t from_ = 0;
    std::size_t found_ = npos;
};

// 0-based <-> the 1-based positions of the log lines and of NearerPosition (0 = not found).
std::size_t OneBased(std::size_t pos) { return pos == npos ? 0 : pos + 1; }
std::size_t ZeroBased(std::size_t pos) { return pos == 0 ? npos : pos - 1; }

bool FoldedAt(std::string_view text, std::size_t at, std::string_view lower) {
    if (text.size() - at < lower.size()) return false;
    for (std::size_t k = 0; k < lower.size(); ++k)
        if (FoldAscii(text[at + k]) != lower[k]) return false;
    return true;
}

// Every "<br>" and every "<br />", in any letter case, turned into CR LF. One pass does what two
// successive replacements would: neither form can contain or create the other.
std::string WithLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t from = 0;
    for (std::size_t at = text.find('<'); at != npos; at = text.find('<', at)) {
        std::size_t length = 0;
        if (FoldedAt(text, at, "<br>")) length = 4;
        else if (FoldedAt(text, at, "<br />")) length = 6;
        if (length == 0) {
            ++at;
            continue;
        }
        out.append(text, from, at - from);
        out.append("\r\n");
        at += length;
        from = at;
    }
    out.append(text, from, npos);
    return out;
}

// The fields of the information line: separated by " / " (taken left to right) or by a raw
// no-break space of the code page; adjacent separators give empty fields.
void SplitInformation(std::string_view line, std::string* fields[3]) {
    int field = 0;
    std::size_t from = 0, i = 0;
    while (i < line.size() && field < 3) {
        std::size_t separator = 0;
        if (line[i] == kNoBreakSpace) separator = 1;
        else if (line[i] == ' ' && line.compare(i, 3, " / ") == 0) separator = 3;
        if (separator == 0) {
            ++i;
            continue;
        }
        fields[field++]->assign(line.data() + from, i - from);
        i += separator;
        from = i;
    }
    if (field < 3) fields[field]->assign(line.data() + from, line.size() - from);
}

std::string WithRealHost(std::string link, const std::string& catalogueHost,
                         const std::string& realHost) {
    return ReplaceAll(std::move(link), catalogueHost, realHost);
}

std::string DecimalOf(std::size_t value) { return std::to_string(value); }

// Stable (a list's merge sort), so equal names keep the page's order; the records are only
// relinked, never copied.
void SortByName(PluginList& records) {
    records.sort([](const PluginRecord& a, const PluginRecord& b) { return NameLess(a.name, b.name); });
}

}  // namespace

std::string DigitsOnly(std::string_view text) {
    std::string digits;
    for (char c : text)
        if (c >= '0' && c <= '9') digits.push_back(c);
    return digits;
}

int32_t CountValue(std::string_view digits) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value >= kMax) return static_cast<int32_t>(kMax);
    }
    return static_cast<int32_t>(value);
}

std::size_t NearerPosition(std::size_t a, std::size_t b) {
    if ((a < b && a != 0) || b == 0) return a;
    return b;
}

bool IsAbsoluteHttpUrl(std::string_view url) {
    std::string_view kScheme = "http://";
    if (url.size() > 4 && FoldAscii(url[4]) == 's') kScheme = "https://";
    if (url.size() < kScheme.size()) return false;
    for (std::size_t i = 0; i < kScheme.size(); ++i)
        if (FoldAscii(url[i]) != kScheme[i]) return false;
    // The host as the transfer client will take it: behind any "@", up to ":" or "/".
    std::string_view rest = url.substr(kScheme.size());
    const std::size_t at = rest.find('@');
    if (at != npos) rest = rest.substr(at + 1);
    const std::size_t hostEnd = rest.find_first_of(":/");
    return hostEnd != 0 && !rest.empty();
}

bool NameLess(const std::string& a, const std::string& b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(FoldAscii(a[i]));
        const auto y = static_cast<unsigned char>(FoldAscii(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

bool ScrapeEntry(std::string_view m, const std::string& catalogueHost, const std::string& realHost,
                 int pageFormat, PluginList& list, const LineWriter& log) {
    const Layout& layout = kLayouts[pageFormat == 1 ? 1 : 0];
    if (log) log("Get plugin name and plugin URL");

    // Without the three link markers, in this order, the entry has no name or link to speak
    // of: nothing is cut from arbitrary places of the markup.
    const std::size_t p1 = m.find(kLinkStart);
    const std::size_t linkFrom = p1 == npos ? npos : p1 + kLinkStart.size();
    const std::size_t p2 = linkFrom == npos ? npos : m.find(kLinkEnd, linkFrom);
    const std::size_t nameFrom = p2 == npos ? npos : p2 + kLinkEnd.size();
    const std::size_t p3 = nameFrom == npos ? npos : m.find(kNameEnd, nameFrom);
    std::string link, name;
    if (p3 != npos) {
        link = std::string(m.substr(linkFrom, p2 - linkFrom));
        if (!realHost.empty()) link = WithRealHost(std::move(link), catalogueHost, realHost);
        name = std::string(m.substr(nameFrom, p3 - nameFrom));
    }
    if (log) log(name + " : " + link);
    if (name.find_first_not_of(' ') == std::string::npos) return false;
    // Only an absolute http link can be fetched later; anything else is not a plugin entry.
    if (!IsAbsoluteHttpUrl(link)) return false;

    list.push_back(PluginRecord());
    PluginRecord& record = list.back();
    record.name = std::move(name);
    record.url = std::move(link);
    if (log) {
        log("Done !");
        log("Get plugin description");
    }

    std::size_t infoSearchFrom = p3 + kNameEnd.size();
    const std::size_t d1 = m.find(layout.descriptionStart, p2);
    if (d1 != npos) {
        const std::size_t descriptionFrom = d1 + layout.descriptionStart.size();
        const std::size_t d2 = m.find(kDescriptionEnd, d1);
        if (d2 != npos && d2 >= descriptionFrom) {
            const std::string_view raw = m.substr(descriptionFrom, d2 - descriptionFrom);
            record.description = WithLineBreaks(raw);
            infoSearchFrom = d2;
        }
    }
    if (log) {
        log(record.description);
        log("Done !");
        log("Get plugin informations");
    }

    std::string_view info;
    const std::size_t i1 = m.find(kInformationStart, infoSearchFrom);
    if (i1 != npos) {
        info = m.substr(i1 + kInformationStart.size());
        std::string* fields[3] = {&record.author, &record.versionDate, &record.size};
        SplitInformation(info, fields);
    }
    record.selected = 0;
    if (log) {
        const std::string line =
            ReplaceAll(std::string(info), " / ", std::string(1, kNoBreakSpace));
        log(line + " : " + record.author + " : " + record.versionDate + " : " + record.size);
        log("Done !");
    }
    return true;
}

ScrapeResult ScrapePage(std::string_view page, const std::string& catalogueHost,
                        const std::string& realHost, const std::string& realUrl,
                        const LineWriter& log) {
    ScrapeResult result;

    // The count: the first layout's markers, then the second one's.
    std::size_t countStart = npos, countEnd = npos;
    for (int format = 0; format < 2; ++format) {
        const Layout& layout = kLayouts[format];
        if (log) log("Getting number...");
        countStart = page.find(layout.countStart);
        countEnd = page.find(layout.countEnd, countStart == npos ? 0 : countStart);
        if (log)
            log("EncS = " + DecimalOf(OneBased(countStart)) +
                " EncE = " + DecimalOf(OneBased(countEnd)));
        if (countStart != npos && countEnd != npos) {
            result.recognised = true;
            result.pageFormat = format;
            break;
        }
        if (format == 0 && log) log("It could be new plugins page version, trying...");
    }
    if (!result.recognised) return result;
    const Layout& layout = kLayouts[result.pageFormat];

    const std::size_t numberFrom = countStart + layout.countStart.size();
    if (countEnd > numberFrom)
        result.countText = DigitsOnly(page.substr(numberFrom, countEnd - numberFrom));
    if (log) {
        log("Number : " + result.countText);
        log("Parser start (to " + result.countText + ")");
    }
    const int32_t announced = CountValue(result.countText);

    ForwardSearch entryStarts(page, layout.entryStart);
    ForwardSearch separators(page, layout.entrySeparator);
    ForwardSearch lastEnds(page, layout.lastEntryEnd);
    ForwardSearch tableEnds(page, layout.tableEnd);
    std::size_t from = countEnd;
    std::size_t lastEntryStart = npos;
    for (int32_t i = 1; i <= announced; ++i) {
        // Fewer entries than announced: the list simply ends here.
        const std::size_t s = entryStarts.From(from);
        if (s == npos) break;
        lastEntryStart = s;
        const std::size_t e1 = separators.From(s);
        const std::size_t e2 = lastEnds.From(s);
        std::size_t e;
        if (e1 == npos && e2 == npos)
            e = tableEnds.From(s);
        else
            e = ZeroBased(NearerPosition(OneBased(e1), OneBased(e2)));
        // An entry that never ends (a page cut short) is not complete enough to trust.
        if (e == npos) break;
        const std::size_t markupFrom = s + layout.entryStart.size();
        const std::string_view markup =
            e > markupFrom ? page.substr(markupFrom, e - markupFrom) : std::string_view();
        ScrapeEntry(markup, catalogueHost, realHost, result.pageFormat, result.records, log);
        // Only a separator leads to another entry; whatever follows the list's closing marker
        // is no entry, even when the page announced more.
        if (e != e1) break;
        from = e;
    }
    if (log) log("Parser end");
    SortByName(result.records);

    if (log) log("Get XnViewDLL...");
    const std::size_t x = page.find(kXnViewSection, lastEntryStart != npos ? lastEntryStart : countStart);
    if (x != npos) {
        if (log) log("Searching...");
        const std::size_t h1 = page.find(kXnViewLinkStart, x);
        const std::size_t linkFrom = h1 == npos ? npos : h1 + kXnViewLinkStart.size();
        const std::size_t h2 = linkFrom == npos ? npos : page.find(kLinkEnd, linkFrom);
        if (h2 != npos) {
            std::string link(page.substr(linkFrom, h2 - linkFrom));
            // Replacing the host by nothing (a redirect target without the catalogue path)
            // would only break a good link.
            if (!realUrl.empty() && !realHost.empty())
                link = WithRealHost(std::move(link), catalogueHost, realHost);
            if (IsAbsoluteHttpUrl(link)) {
                result.records.push_back(PluginRecord());
                result.records.back().name = kXnViewDllName;
                result.records.back().url = std::move(link);
                result.xnviewRecord = &result.records.back();
                if (log) log("Got !");
            }
        }
    }
    return result;
}


}  // namespace qvk
