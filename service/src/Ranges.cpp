#include "Ranges.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <vector>

namespace hv::service {

RangeChoice ChooseRange(std::string_view header, long long size) {
    const RangeChoice whole{RangeAnswer::Whole, {0, size - 1}};
    constexpr std::string_view kUnit = "bytes=";
    if (header.size() < kUnit.size() ||
        !std::equal(kUnit.begin(), kUnit.end(), header.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        })) {
        return whole;
    }
    header.remove_prefix(kUnit.size());
    auto number = [](std::string_view text, long long& value) {
        if (text.empty() || std::isdigit(static_cast<unsigned char>(text.front())) == 0) {
            return false;
        }
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error == std::errc::result_out_of_range) {
            value = std::numeric_limits<long long>::max();
        } else if (error != std::errc() || end != text.data() + text.size()) {
            return false;
        }
        return true;
    };
    std::vector<ByteSpan> spans;
    while (!header.empty()) {
        auto comma = std::min(header.find(','), header.size());
        auto item = header.substr(0, comma);
        header.remove_prefix(std::min(comma + 1, header.size()));
        auto begin = item.find_first_not_of(" \t");
        if (begin == std::string_view::npos) {
            continue;
        }
        item = item.substr(begin, item.find_last_not_of(" \t") - begin + 1);
        auto dash = item.find('-');
        if (dash == std::string_view::npos) {
            return whole;
        }
        long long first = 0;
        long long last = std::numeric_limits<long long>::max();
        if (dash == 0) {
            long long suffix = 0;
            if (!number(item.substr(1), suffix)) {
                return whole;
            }
            if (suffix > 0 && size > 0) {
                spans.push_back({std::max(0LL, size - suffix), size - 1});
            }
            continue;
        }
        if (!number(item.substr(0, dash), first) ||
            (dash + 1 < item.size() && !number(item.substr(dash + 1), last)) || last < first) {
            return whole;
        }
        if (first < size) {
            spans.push_back({first, std::min(last, size - 1)});
        }
    }
    if (spans.empty()) {
        return {RangeAnswer::Unsatisfiable, {}};
    }
    std::sort(spans.begin(), spans.end(),
              [](const ByteSpan& a, const ByteSpan& b) { return a.first < b.first; });
    ByteSpan merged = spans.front();
    for (const auto& span : spans) {
        if (span.first > merged.last + 1) {
            return whole;
        }
        merged.last = std::max(merged.last, span.last);
    }
    return {RangeAnswer::Part, merged};
}

}  // namespace hv::service
