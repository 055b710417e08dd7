#include "catalogue/CatalogueFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>

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
    // Widths are four characters, digits perhaps after blanks: read those
    // at once and leave the rest to the general rule.
    if (!text.empty() && text.size() <= 4) {
        size_t i = 0;
        while (i < text.size() && text[i] == ' ') {
            ++i;
        }
        int value = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            value = value * 10 + (text[i] - '0');
        }
        if (i == text.size()) {
            return static_cast<int16_t>(value);
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

// Four width digits in one step, blanks before them counting as nothing.
// bad is non-zero unless the word is blanks then digits, as every width the
// engine writes is; anything else goes by the general rule. Plain arithmetic
// on each lane so that the compiler can do all the widths of a header at once.
inline uint32_t PlainWidth(uint32_t word, uint32_t& bad) {
    const uint32_t high = word & 0xF0F0F0F0u;
    const uint32_t low = word & 0x0F0F0F0Fu;
    const uint32_t blank = ~high & 0x10101010u;  // bit 4 of each blank byte
    const uint32_t blanks = (blank >> 4 | blank >> 11 | blank >> 18 | blank >> 25) & 0xFu;
    bad = ((high | 0x10101010u) ^ 0x30303030u)   // a byte neither 0x2_ nor 0x3_
          | ((low + 0x06060606u) & 0x10101010u)  // a nibble above 9
          | (low & ((blank >> 4) * 0xFu))        // 0x2_ but not a blank
          | (blanks & (blanks + 1));             // a blank after a digit
    const uint32_t pairs = (low * 10 + (low >> 8)) & 0x00FF00FFu;
    return (pairs * 100 + (pairs >> 16)) & 0xFFFFu;
}

// The fast path of SplitRecord: false when some width is not plain.
bool SplitPlainRecord(std::string_view input, size_t& pos,
                      std::string_view (&fields)[kCatalogueFieldCount]) {
    constexpr int kLanes = kCatalogueFieldCount + 1;  // reads the first body word too
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    }
    if (input.size() - pos < kLanes * kCatalogueWidthDigits) {
        return false;
    }
    uint32_t widths[kLanes];
    uint32_t bad[kLanes];
    for (int i = 0; i < kLanes; ++i) {
        uint32_t word;
        std::memcpy(&word, input.data() + pos + i * kCatalogueWidthDigits, sizeof word);
        uint32_t wordBad;
        widths[i] = PlainWidth(word, wordBad);
        bad[i] = wordBad;
    }
    uint32_t anyBad = 0;
    size_t total = 0;
    for (int i = 0; i < kCatalogueFieldCount; ++i) {
        anyBad |= bad[i];
        total += widths[i];
    }
    size_t next = pos + kCatalogueHeaderSize;
    if (anyBad || total > input.size() - next) {
        return false;
    }
    for (int i = 0; i < kCatalogueFieldCount; ++i) {
        fields[i] = std::string_view(input.data() + next, widths[i]);
        next += widths[i];
    }
    pos = next;
    return true;
}

// Splits the record at pos into its fields and moves pos past it. False, with
// pos unchanged, when a width is negative or runs past the end: the data is
// not a catalogue from there on, so stop rather than guess.
bool SplitRecord(std::string_view input, size_t& pos,
                 std::string_view (&fields)[kCatalogueFieldCount]) {
    if (SplitPlainRecord(input, pos, fields)) {
        return true;
    }
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
    return Find(package, hv::HashNoCase(package));
}

GameInfo* CCatalogueIndex::Find(std::string_view package, uint64_t hash) const {
    if (m_slots.empty()) {
        return nullptr;
    }
    const auto tag = static_cast<uint32_t>(hash >> 32);
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

void CCatalogueIndex::Prefetch(uint64_t hash) const {
    if (!m_slots.empty()) {
        __builtin_prefetch(&m_slots[(hash >> 32) & (m_slots.size() - 1)]);
    }
}

GameInfo* CCatalogueIndex::Append(std::unique_ptr<GameInfo> game) {
    const uint64_t hash = hv::HashNoCase(game->m_strPackage);
    return Append(std::move(game), hash);
}

GameInfo* CCatalogueIndex::Append(std::unique_ptr<GameInfo> game, uint64_t hash) {
    Insert(hash, m_records.size());
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
    if (to.m_pSource != from.m_pSource) {
        if (from.m_pSource) {
            from.m_pSource->Hold(1);
        }
        CatalogueSource::Release(to.m_pSource);
        to.m_pSource = from.m_pSource;
    }
    to.m_strTitle = from.m_strTitle;
    to.m_strPackage = from.m_strPackage;
    to.m_strCategories = from.m_strCategories;
    to.m_strRating = from.m_strRating;
    to.m_strPrice = from.m_strPrice;
    to.m_strDeveloper = from.m_strDeveloper;
    to.m_strPublisher = from.m_strPublisher;
    to.m_strPairKey = from.m_strPairKey;
    to.m_nType = from.m_nType;
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

namespace {

struct SplitFields {
    std::string_view fields[kCatalogueFieldCount];
    uint64_t hash = 0;  // of the package
};

// Parses the source's records into records; each record that points into the
// source holds a count on it. Takes over the caller's count.
size_t ParseSource(CatalogueSource* source, GameList& records, const CategorySink& onCategory) {
    const size_t size = source->Size();
    // Room for the most records the data can hold; pages never written to
    // cost nothing.
    records.reserve(records.size() + size / kCatalogueHeaderSize);
    // The index is touched all over, so it is sized once for the records a
    // file of this size usually holds (twice a header each) rather than for
    // the most it could.
    const size_t expected = size / (2 * kCatalogueHeaderSize);
    CCatalogueIndex index(records, expected);
    const RecordBlocksAhead blocks(expected);
    const std::string_view input(source->Data(), size);
    size_t pos = 0;
    // Splits the next record and asks for its index slot at once: the slot
    // is a cache miss, taken while the record before it is stored.
    const auto split = [&](SplitFields& next) {
        if (size - pos < kCatalogueHeaderSize) {
            return false;
        }
        const size_t start = pos + kCatalogueHeaderSize;
        if (!SplitRecord(input, pos, next.fields)) {
            return false;
        }
        // NULs are rare: look for one once per record, not once per field.
        if (std::memchr(input.data() + start, '\0', pos - start)) {
            for (std::string_view& field : next.fields) {
                field = FieldText(field);
            }
        }
        next.hash = hv::HashNoCase(next.fields[kPackage]);
        index.Prefetch(next.hash);
        return true;
    };
    // A ring of records split ahead of the one being stored.
    constexpr size_t kAhead = 4;
    SplitFields splits[kAhead];
    size_t ready = 0;
    while (ready < kAhead - 1 && split(splits[ready])) {
        ++ready;
    }
    size_t accepted = 0;
    size_t held = 0;
    for (size_t n = 0; n < ready; ++n) {
        const SplitFields& current = splits[n % kAhead];
        if (ready == n + kAhead - 1 && split(splits[ready % kAhead])) {
            ++ready;
        }
        const auto& fields = current.fields;
        const int16_t type = ToInt16(fields[kType]);
        if (type <= 0) {
            continue;
        }
        const std::string_view categories = fields[kCategories];
        if (onCategory) {
            for (size_t from = 0;;) {
                const size_t comma = categories.find(',', from);
                onCategory(categories.substr(from, comma - from));
                if (comma == std::string_view::npos) {
                    break;
                }
                from = comma + 1;
            }
        }
        // A repeated package updates the listed record in place; only a new
        // one costs a record of its own.
        const std::string_view package = fields[kPackage];
        const uint64_t hash = current.hash;
        GameInfo* game = index.Find(package, hash);
        std::unique_ptr<GameInfo> added;
        if (!game) {
            added = std::make_unique<GameInfo>();
            game = added.get();
        }
        if (game->m_pSource != source) {
            CatalogueSource::Release(game->m_pSource);
            game->m_pSource = source;
            ++held;
        }
        game->m_nType = type;
        game->m_strPackage = package;
        game->m_strTitle = fields[kTitle];
        game->m_strCategories = categories;
        game->m_strRating = fields[kRating];
        game->m_strPrice = fields[kPrice];
        game->m_strDeveloper = fields[kDeveloper];
        game->m_strPublisher = fields[kPublisher];
        game->m_strPairKey = TrimRight(fields[kPairKey]);
        if (added) {
            index.Append(std::move(added), hash);
        }
        ++accepted;
    }
    // One count for all the records at once, then the caller's goes.
    source->Hold(held);
    CatalogueSource::Release(source);
    return accepted;
}

}  // namespace

size_t ParseCatalogueBytes(const char* data, size_t size, const std::string& artDir,
                           GameList& records, const CategorySink& onCategory) {
    if (!data) {
        return 0;
    }
    return ParseSource(CatalogueSource::Copied(data, size, artDir), records, onCategory);
}

bool ParseCatalogueFile(const std::string& path, const std::string& artDir, GameList& records,
                        const CategorySink& onCategory) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    void* mapped = MAP_FAILED;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        // The records point into the mapping, so it is never copied. The
        // engine replaces the file by renaming a new one over it, so the
        // mapped bytes never change or shrink.
        mapped = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ,
                        MAP_PRIVATE | MAP_POPULATE, fd, 0);
    }
    ::close(fd);
    if (mapped == MAP_FAILED) {
        return false;
    }
    ParseSource(CatalogueSource::Mapped(static_cast<const char*>(mapped),
                                        static_cast<size_t>(st.st_size), artDir),
                records, onCategory);
    return true;
}
