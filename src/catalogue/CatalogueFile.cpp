#include "catalogue/CatalogueFile.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "text/NoCase.h"

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
    // Widths are nearly always four plain digits: tell those at once, all four
    // bytes together (high nibble 3, low nibble at most 9).
    if (text.size() == 4) {
        uint32_t bytes;
        std::memcpy(&bytes, text.data(), sizeof bytes);
        if ((bytes & 0xF0F0F0F0u) == 0x30303030u &&
            ((bytes + 0x06060606u) & 0xF0F0F0F0u) == 0x30303030u) {
            return static_cast<int16_t>((text[0] - '0') * 1000 + (text[1] - '0') * 100 +
                                        (text[2] - '0') * 10 + (text[3] - '0'));
        }
    }
    return static_cast<int16_t>(static_cast<uint16_t>(ToInt(text) & 0xFFFF));
}

// A field's text ends at its first NUL; the field itself spans its width.
std::string_view FieldText(std::string_view field) {
    return field.substr(0, std::min(field.find('\0'), field.size()));
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

void ArtPaths(const std::string& artDir, std::string_view title, std::string& icon,
              std::string& desc) {
    icon.assign(artDir);
    if (title.find_first_of("%/") == std::string_view::npos) {
        icon.append(title);
    } else {
        icon.append(ArtFileName(title));
    }
    desc.assign(icon);
    icon.append(".jpg");
    desc.append(".txt");
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

CCatalogueIndex::CCatalogueIndex(GameList& records, size_t expected) : m_records(records) {
    Reserve(records.size() + expected);
    for (size_t i = 0; i < records.size(); ++i) {
        // Only the first of equal packages is indexed: the first match wins.
        if (records[i] && !Find(records[i]->m_strPackage)) {
            Insert(hv::HashNoCase(records[i]->m_strPackage), i);
        }
    }
}

void CCatalogueIndex::Reserve(size_t count) {
    size_t capacity = 16;
    while (capacity < count * 2) {
        capacity *= 2;
    }
    if (capacity <= m_slots.size()) {
        return;
    }
    std::vector<Slot> old(capacity);
    old.swap(m_slots);
    m_used = 0;
    // The bucket comes from the tag alone, so growing never hashes a package again.
    for (const Slot& slot : old) {
        if (slot.position) {
            Place(slot);
        }
    }
}

void CCatalogueIndex::Insert(uint64_t hash, size_t index) {
    if ((m_used + 1) * 2 > m_slots.size()) {
        Reserve(m_used + 1);
    }
    Place(Slot{static_cast<uint32_t>(hash >> 32), static_cast<uint32_t>(index + 1)});
}

void CCatalogueIndex::Place(const Slot& slot) {
    const size_t mask = m_slots.size() - 1;
    size_t i = slot.tag & mask;
    while (m_slots[i].position) {
        i = (i + 1) & mask;
    }
    m_slots[i] = slot;
    ++m_used;
}

GameInfo* CCatalogueIndex::Find(std::string_view package) const {
    if (m_slots.empty()) {
        return nullptr;
    }
    const auto tag = static_cast<uint32_t>(hv::HashNoCase(package) >> 32);
    const size_t mask = m_slots.size() - 1;
    for (size_t i = tag & mask; m_slots[i].position; i = (i + 1) & mask) {
        if (m_slots[i].tag == tag) {
            GameInfo* record = m_records[m_slots[i].position - 1].get();
            if (hv::EqualsNoCase(record->m_strPackage, package)) {
                return record;
            }
        }
    }
    return nullptr;
}

GameInfo* CCatalogueIndex::Append(std::unique_ptr<GameInfo> game) {
    Insert(hv::HashNoCase(game->m_strPackage), m_records.size());
    m_records.push_back(std::move(game));
    return m_records.back().get();
}

GameInfo* CCatalogueIndex::AddOrMerge(std::unique_ptr<GameInfo> game) {
    if (!game) {
        return nullptr;
    }
    if (GameInfo* existing = Find(game->m_strPackage)) {
        CopyFileValues(*existing, *game);
        return existing;
    }
    return Append(std::move(game));
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

std::string ArtFileName(std::string_view title) {
    std::string name;
    name.reserve(title.size());
    for (const char c : title) {
        switch (c) {
            case '%': name += "%25"; break;
            case '/': name += "%2F"; break;
            default: name += c;
        }
    }
    return name;
}

std::string FolderName(std::string_view title) {
    std::string name = ArtFileName(title);
    if (name.empty()) {
        return "%";  // no escaped title is a lone '%'
    }
    if (name.find_first_not_of('.') != std::string::npos) {
        return name;
    }
    std::string escaped;
    for (size_t i = 0; i < name.size(); ++i) {
        escaped += "%2E";
    }
    return escaped;
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
    // Room for the most records the data can hold; pages never written to
    // cost nothing.
    records.reserve(records.size() + size / kCatalogueHeaderSize);
    CCatalogueIndex index(records);
    const std::string_view input(data, size);
    std::string category;
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
        const std::string_view categories = FieldText(fields[kCategories]);
        if (onCategory) {
            for (size_t start = 0;;) {
                const size_t comma = categories.find(',', start);
                category.assign(categories.substr(start, comma - start));
                onCategory(category);
                if (comma == std::string_view::npos) {
                    break;
                }
                start = comma + 1;
            }
        }
        // A repeated package updates the listed record in place; only a new
        // one costs a record of its own.
        const std::string_view package = FieldText(fields[kPackage]);
        GameInfo* game = index.Find(package);
        std::unique_ptr<GameInfo> added;
        if (!game) {
            added = std::make_unique<GameInfo>();
            game = added.get();
        }
        game->m_nType = type;
        game->m_strPackage.assign(package);
        game->m_strTitle.assign(FieldText(fields[kTitle]));
        game->m_strCategories.assign(categories);
        game->m_strRating.assign(FieldText(fields[kRating]));
        game->m_strPrice.assign(FieldText(fields[kPrice]));
        game->m_strDeveloper.assign(FieldText(fields[kDeveloper]));
        game->m_strPublisher.assign(FieldText(fields[kPublisher]));
        game->m_strPairKey.assign(TrimRight(FieldText(fields[kPairKey])));
        ArtPaths(artDir, game->m_strTitle, game->m_strIconFile, game->m_strDescFile);
        if (added) {
            index.Append(std::move(added));
        }
        ++accepted;
    }
    return accepted;
}

bool ParseCatalogueFile(const std::string& path, const std::string& artDir, GameList& records,
                        const CategorySink& onCategory) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return false;
    }
    const std::streamoff size = file.tellg();
    if (size <= 0) {
        return false;
    }
    std::string bytes(static_cast<size_t>(size), '\0');
    file.seekg(0);
    // The engine may be rewriting the file: parse what was read.
    file.read(bytes.data(), size);
    bytes.resize(static_cast<size_t>(file.gcount()));
    if (bytes.empty()) {
        return false;
    }
    ParseCatalogueBytes(bytes.data(), bytes.size(), artDir, records, onCategory);
    return true;
}
