#include "catalogue/CatalogueFile.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "platform/text/NoCase.h"

namespace {

// The C library's notion of white space, independent of the locale.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi over a bounded span: leading blanks, a sign, digits up to the first
// non-digit. Saturates like strtol and truncates to int like atoi does here.
int ToInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (!saturated) {
            if (value > (LONG_MAX - digit) / 10) {
                saturated = true;
            } else {
                value = value * 10 + digit;
            }
        }
    }
    if (saturated) {
        value = negative ? LONG_MIN : LONG_MAX;
    } else if (negative) {
        value = -value;
    }
    return static_cast<int>(static_cast<unsigned long>(value) & 0xFFFFFFFFu);
}

int16_t ToInt16(std::string_view text) {
    return static_cast<int16_t>(static_cast<uint16_t>(ToInt(text) & 0xFFFF));
}

// A field's text ends at its first NUL; the field itself spans its width.
std::string FieldText(std::string_view field) {
    return std::string(field.substr(0, std::min(field.find('\0'), field.size())));
}

std::string TrimRight(std::string text) {
    while (!text.empty() && IsSpace(text.back())) {
        text.pop_back();
    }
    return text;
}

// Splits the record at pos into its fields and moves pos past it. False, with
// pos unchanged, when a width is negative or runs past the end: the data is
// not a catalogue from there on, so stop rather than guess.
bool SplitRecord(std::string_view input, size_t& pos,
                 std::string_view (&fields)[kCatalogueFieldCount]) {
    size_t next = pos + kCatalogueHeaderSize;
    for (int i = 0; i < kCatalogueFieldCount; ++i) {
        const int16_t width =
            ToInt16(input.substr(pos + i * kCatalogueWidthDigits, kCatalogueWidthDigits));
        if (width < 0 || static_cast<size_t>(width) > input.size() - next) {
            return false;
        }
        fields[i] = input.substr(next, static_cast<size_t>(width));
        next += static_cast<size_t>(width);
    }
    pos = next;
    return true;
}

enum Field {
    kPackage = 0,
    kTitle = 1,
    kType = 2,
    kCategories = 3,
    kRating = 4,
    kPrice = 5,
    kDeveloper = 9,
    kPublisher = 10,
    kPairKey = 20,
};

}  // namespace

CCatalogueIndex::CCatalogueIndex(GameList& records) : m_records(records) {
    m_byPackage.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i]) {
            // emplace keeps the earliest index: the first match wins.
            m_byPackage.emplace(hv::FoldCase(records[i]->m_strPackage), i);
        }
    }
}

GameInfo* CCatalogueIndex::AddOrMerge(std::unique_ptr<GameInfo> game) {
    if (!game) {
        return nullptr;
    }
    auto [it, added] = m_byPackage.emplace(hv::FoldCase(game->m_strPackage), m_records.size());
    if (added) {
        m_records.push_back(std::move(game));
        return m_records.back().get();
    }
    GameInfo& existing = *m_records[it->second];
    CopyFileValues(existing, *game);
    return &existing;
}

GameInfo* AddOrMergeGame(GameList& records, std::unique_ptr<GameInfo> game) {
    if (!game) {
        return nullptr;
    }
    for (auto& record : records) {
        if (record && hv::EqualsNoCase(record->m_strPackage, game->m_strPackage)) {
            CopyFileValues(*record, *game);
            return record.get();
        }
    }
    records.push_back(std::move(game));
    return records.back().get();
}

void CopyFileValues(GameInfo& to, const GameInfo& from) {
    to.m_strTitle = from.m_strTitle;
    to.m_strPackage = from.m_strPackage;
    to.m_strCategories = from.m_strCategories;
    to.m_strRating = from.m_strRating;
    to.m_strPrice = from.m_strPrice;
    to.m_strDeveloper = from.m_strDeveloper;
    to.m_strPublisher = from.m_strPublisher;
    to.m_strPairKey = from.m_strPairKey;
    to.m_nType = from.m_nType;
    to.m_strIconFile = from.m_strIconFile;
    to.m_strDescFile = from.m_strDescFile;
}

std::vector<std::string> SplitCategories(std::string_view categories) {
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t comma = categories.find(','); comma != std::string_view::npos;
         comma = categories.find(',', start)) {
        names.emplace_back(categories.substr(start, comma - start));
        start = comma + 1;
    }
    names.emplace_back(categories.substr(start));
    return names;
}

size_t ParseCatalogueBytes(const char* data, size_t size, const std::string& artDir,
                           GameList& records, const CategorySink& onCategory) {
    if (!data) {
        return 0;
    }
    CCatalogueIndex index(records);
    const std::string_view input(data, size);
    size_t accepted = 0;
    size_t pos = 0;
    while (size - pos >= kCatalogueHeaderSize) {
        std::string_view fields[kCatalogueFieldCount];
        if (!SplitRecord(input, pos, fields)) {
            break;
        }
        const int16_t type = ToInt16(FieldText(fields[kType]));
        if (type <= 0) {
            continue;
        }
        auto game = std::make_unique<GameInfo>();
        game->m_nType = type;
        game->m_strPackage = FieldText(fields[kPackage]);
        game->m_strTitle = FieldText(fields[kTitle]);
        game->m_strCategories = FieldText(fields[kCategories]);
        game->m_strRating = FieldText(fields[kRating]);
        game->m_strPrice = FieldText(fields[kPrice]);
        game->m_strDeveloper = FieldText(fields[kDeveloper]);
        game->m_strPublisher = FieldText(fields[kPublisher]);
        game->m_strPairKey = TrimRight(FieldText(fields[kPairKey]));
        game->m_strIconFile = artDir + game->m_strTitle + ".jpg";
        game->m_strDescFile = artDir + game->m_strTitle + ".txt";
        if (onCategory) {
            for (const std::string& name : SplitCategories(game->m_strCategories)) {
                onCategory(name);
            }
        }
        index.AddOrMerge(std::move(game));
        ++accepted;
    }
    return accepted;
}

bool ParseCatalogueFile(const std::string& path, const std::string& artDir, GameList& records,
                        const CategorySink& onCategory) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (bytes.empty() || file.bad()) {
        return false;
    }
    ParseCatalogueBytes(bytes.data(), bytes.size(), artDir, records, onCategory);
    return true;
}

CPartnerIndex::CPartnerIndex(const GameList& records) : m_records(records) {
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i]) {
            m_byKey[hv::FoldCase(records[i]->m_strPairKey)].push_back(i);
        }
    }
}

GameInfo* CPartnerIndex::LinkPartner(size_t index) {
    if (index >= m_records.size() || !m_records[index]) {
        return nullptr;
    }
    GameInfo* game = m_records[index].get();
    const auto it = m_byKey.find(hv::FoldCase(game->m_strPairKey));
    if (it == m_byKey.end()) {
        return nullptr;
    }
    const std::vector<size_t>& candidates = it->second;
    for (auto c = std::upper_bound(candidates.begin(), candidates.end(), index);
         c != candidates.end(); ++c) {
        GameInfo* other = m_records[*c].get();
        if (!other->m_pPartner) {
            game->m_pPartner = other;
            other->m_pPartner = game;
            return other;
        }
    }
    return nullptr;
}
