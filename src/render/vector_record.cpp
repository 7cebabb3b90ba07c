#include "vector_record.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "input_file.h"
#include "picture_record.h"

namespace render {

namespace {

constexpr std::size_t kMaxRecord = common::kMaxPictureRecordBytes;

/// Closes the file at the end of a reader.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

/// The bytes of a file from where it stands, a buffer at a time, up to a limit.
class ByteSource {
public:
    ByteSource(std::FILE* file, std::uint64_t limit) : m_file(file), m_limit(limit) {}

    /// The next byte, or -1 at the end of the file, at the limit or on a read error.
    int next() {
        if (m_at == m_size && !refill()) {
            return -1;
        }
        return static_cast<unsigned char>(m_buffer[m_at++]);
    }
    int peek() {
        if (m_at == m_size && !refill()) {
            return -1;
        }
        return static_cast<unsigned char>(m_buffer[m_at]);
    }
    [[nodiscard]] bool readError() const { return m_readError != 0; }
    [[nodiscard]] int readErrno() const { return m_readError; }
    [[nodiscard]] bool atLimit() const { return m_atLimit; }

private:
    bool refill() {
        if (m_taken >= m_limit) {
            m_atLimit = true;
            return false;
        }
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof m_buffer, m_limit - m_taken));
        const std::size_t got = std::fread(m_buffer, 1, want, m_file);
        if (got == 0) {
            if (std::ferror(m_file)) {
                m_readError = errno != 0 ? errno : EIO;
            }
            return false;
        }
        m_taken += got;
        m_at = 0;
        m_size = got;
        return true;
    }

    std::FILE* m_file;
    std::uint64_t m_limit;
    std::uint64_t m_taken = 0;
    char m_buffer[1 << 16];
    std::size_t m_at = 0;
    std::size_t m_size = 0;
    int m_readError = 0;
    bool m_atLimit = false;
};

VectorRecordText Error(std::string message) {
    VectorRecordText result;
    result.error = std::move(message);
    return result;
}

VectorRecordText Found(std::string text) {
    VectorRecordText result;
    result.text = std::move(text);
    return result;
}

/// Why a source ended early: the system's reason, or the file's end.
VectorRecordText EndedEarly(const ByteSource& in, const char* kind, const char* where) {
    if (in.readError()) {
        return Error(std::strerror(in.readErrno()));
    }
    return Error(std::string("the ") + kind + " file is truncated " + where);
}

VectorRecordText TooLong(const char* kind) {
    return Error(std::string("the parameter record of the ") + kind + " file is longer than " +
                 std::to_string(kMaxRecord) + " bytes");
}

void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

int DigitValue(int c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') {
        v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        v = c - 'A' + 10;
    }
    return v < base ? v : -1;
}

/// The character an XML reference names ("amp", "#60", "#x3C"), or nothing.
std::optional<std::uint32_t> XmlReference(std::string_view name) {
    if (name == "amp") {
        return '&';
    }
    if (name == "lt") {
        return '<';
    }
    if (name == "gt") {
        return '>';
    }
    if (name == "quot") {
        return '"';
    }
    if (name == "apos") {
        return '\'';
    }
    if (name.size() < 2 || name[0] != '#') {
        return std::nullopt;
    }
    const int base = name[1] == 'x' ? 16 : 10;
    name.remove_prefix(base == 16 ? 2 : 1);
    if (name.empty()) {
        return std::nullopt;
    }
    std::uint32_t code = 0;
    for (const char c : name) {
        const int d = DigitValue(static_cast<unsigned char>(c), base);
        if (d < 0) {
            return std::nullopt;
        }
        code = code * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(d);
        if (code > 0x10FFFF) {
            return std::nullopt;
        }
    }
    // The characters XML allows.
    if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code == 0xFFFE || code == 0xFFFF) {
        return std::nullopt;
    }
    return code;
}

// --- SVG

constexpr std::string_view kSvgStart = "<metadata id=\"fractals-picture-record\">";
constexpr std::string_view kSvgEnd = "/metadata";
/// The writers put the element in the first lines; a file without it there is not searched on.
constexpr std::uint64_t kSvgHeadBytes = 1 << 20;

/// Finds the start tag within the head. Its first character occurs nowhere else in it, so a
/// mismatch only ever restarts at a '<'.
bool FindSvgStart(ByteSource& in) {
    std::size_t matched = 0;
    for (std::uint64_t read = 0; read < kSvgHeadBytes; ++read) {
        const int c = in.next();
        if (c < 0) {
            return false;
        }
        if (c == static_cast<unsigned char>(kSvgStart[matched])) {
            if (++matched == kSvgStart.size()) {
                return true;
            }
        } else {
            matched = c == '<' ? 1 : 0;
        }
    }
    return false;
}

} // namespace

VectorRecordText ReadSvgRecord(const std::string& path) {
    std::string error;
    const FileHandle file(OpenRegularFile(path, error));
    if (!file) {
        return Error(error);
    }
    // The element's text is at most a few times the record's size: a reference is a dozen
    // bytes at the most.
    ByteSource in(file.get(), kSvgHeadBytes + 12 * static_cast<std::uint64_t>(kMaxRecord) + 64);
    if (!FindSvgStart(in)) {
        if (in.readError()) {
            return Error(std::strerror(in.readErrno()));
        }
        return {};
    }
    std::string text;
    for (;;) {
        int c = in.next();
        if (c < 0) {
            return EndedEarly(in, "SVG", "inside its parameter record");
        }
        if (c == '<') {
            for (const char want : kSvgEnd) {
                if (in.next() != static_cast<unsigned char>(want)) {
                    return Error("the SVG file is damaged: its parameter record holds markup");
                }
            }
            while ((c = in.next()) == ' ' || c == '\t' || c == '\n' || c == '\r') {
            }
            if (c != '>') {
                return Error("the SVG file is damaged: its parameter record does not end well-formed");
            }
            return Found(std::move(text));
        }
        if (c == '&') {
            std::string name;
            while ((c = in.next()) != ';') {
                if (c < 0 || name.size() >= 10) {
                    return Error("the SVG file is damaged: its parameter record holds a broken reference");
                }
                name += static_cast<char>(c);
            }
            const std::optional<std::uint32_t> code = XmlReference(name);
            if (!code) {
                return Error("the SVG file is damaged: its parameter record holds an unknown reference &" +
                             name + ";");
            }
            AppendUtf8(text, *code);
        } else if (c == '\r') {
            // XML reads a line end of any system as one line feed.
            if (in.peek() == '\n') {
                in.next();
            }
            text += '\n';
        } else {
            text += static_cast<char>(c);
        }
        if (text.size() > kMaxRecord) {
            return TooLong("SVG");
        }
    }
}

// --- PDF

namespace {

/// The end of a PDF file holds "startxref", the table's offset and "%%EOF"; this much of it
/// is searched.
constexpr std::size_t kPdfTailBytes = 1024;
/// Earlier updates' tables followed at most; a loop of /Prev offsets ends here too.
constexpr int kMaxPdfTables = 32;
/// Table sections read at most, and the longest token or number of a table or a dictionary.
constexpr int kMaxPdfSections = 4096;
constexpr std::size_t kMaxPdfToken = 64;
/// Nested arrays and dictionaries skipped at most inside the information dictionary.
constexpr int kMaxPdfDepth = 32;

bool IsPdfSpace(int c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}

bool IsPdfDelimiter(int c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
           c == '/' || c == '%';
}

/// Reads PDF tokens from a source; every read is bounded by the source's limit.
class PdfScanner {
public:
    explicit PdfScanner(ByteSource& in) : m_in(in) {}

    /// Skips white space and comments; the next character, or -1.
    int skipSpace() {
        for (;;) {
            const int c = m_in.peek();
            if (IsPdfSpace(c)) {
                m_in.next();
            } else if (c == '%') {
                while (m_in.peek() >= 0 && m_in.peek() != '\n' && m_in.peek() != '\r') {
                    m_in.next();
                }
            } else {
                return c;
            }
        }
    }

    /// A run of regular characters (a keyword, a number, a name without its slash).
    std::string word() {
        std::string out;
        while (out.size() <= kMaxPdfToken) {
            const int c = m_in.peek();
            if (c < 0 || IsPdfSpace(c) || IsPdfDelimiter(c)) {
                break;
            }
            out += static_cast<char>(m_in.next());
        }
        return out;
    }

    /// A whole number of at most 18 digits.
    std::optional<std::uint64_t> number() {
        skipSpace();
        const std::string digits = word();
        if (digits.empty() || digits.size() > 18 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            return std::nullopt;
        }
        return std::stoull(digits);
    }

    bool keyword(std::string_view want) {
        skipSpace();
        return word() == want;
    }

    /// After the opening parenthesis: the string with its escapes resolved, up to `cap` bytes.
    /// False when the source ends first or the string is longer.
    bool literalString(std::string* out, std::size_t cap) {
        int depth = 1;
        for (;;) {
            int c = m_in.next();
            if (c < 0) {
                return false;
            }
            if (c == '\\') {
                c = m_in.next();
                switch (c) {
                case -1:
                    return false;
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'b':
                    c = '\b';
                    break;
                case 'f':
                    c = '\f';
                    break;
                case '\r':
                    if (m_in.peek() == '\n') {
                        m_in.next();
                    }
                    continue; // a line continued
                case '\n':
                    continue;
                default:
                    if (c >= '0' && c <= '7') {
                        int code = c - '0';
                        for (int i = 0; i < 2 && m_in.peek() >= '0' && m_in.peek() <= '7'; ++i) {
                            code = code * 8 + (m_in.next() - '0');
                        }
                        c = code & 0xFF;
                    }
                    // Any other character stands for itself, the backslash dropped.
                    break;
                }
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                return true;
            } else if (c == '\r') {
                if (m_in.peek() == '\n') {
                    m_in.next();
                }
                c = '\n';
            }
            if (out != nullptr) {
                if (out->size() >= cap) {
                    m_tooLong = true;
                    return false;
                }
                *out += static_cast<char>(c);
            }
        }
    }

    /// After the opening '<' of a hexadecimal string.
    bool hexString(std::string* out, std::size_t cap) {
        int high = -1;
        for (;;) {
            const int c = m_in.next();
            if (c < 0) {
                return false;
            }
            if (IsPdfSpace(c)) {
                continue;
            }
            const int digit = c == '>' ? 0 : DigitValue(c, 16);
            if (digit < 0) {
                return false;
            }
            if (c == '>' && high < 0) {
                return true;
            }
            if (high < 0) {
                high = digit;
                continue;
            }
            if (out != nullptr) {
                if (out->size() >= cap) {
                    m_tooLong = true;
                    return false;
                }
                *out += static_cast<char>(high * 16 + digit);
            }
            high = -1;
            if (c == '>') {
                return true; // an odd last digit, as if followed by 0
            }
        }
    }

    /// Skips one value of any kind; false on anything malformed or too deep.
    bool skipValue(int depth) {
        if (depth > kMaxPdfDepth) {
            return false;
        }
        const int c = skipSpace();
        if (c < 0) {
            return false;
        }
        m_in.next();
        switch (c) {
        case '(':
            return literalString(nullptr, 0);
        case '<':
            if (m_in.peek() == '<') {
                m_in.next();
                return skipUntil('>', depth);
            }
            return hexString(nullptr, 0);
        case '[':
            return skipUntil(']', depth);
        case '/':
            word();
            return true;
        default:
            if (IsPdfDelimiter(c)) {
                return false;
            }
            word();
            return true;
        }
    }

    [[nodiscard]] bool tooLong() const { return m_tooLong; }
    ByteSource& source() { return m_in; }

private:
    /// Values up to the closing "]" or ">>".
    bool skipUntil(int close, int depth) {
        for (;;) {
            const int c = skipSpace();
            if (c == close) {
                m_in.next();
                return close == ']' || m_in.next() == '>';
            }
            if (!skipValue(depth + 1)) {
                return false;
            }
        }
    }

    ByteSource& m_in;
    bool m_tooLong = false;
};

struct PdfTableSection {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    off_t entries = 0; // file offset of its first 20-byte entry
};

/// One cross-reference table with its trailer: the sections, /Info and /Prev.
struct PdfTable {
    std::vector<PdfTableSection> sections;
    std::optional<std::uint64_t> info;
    std::optional<std::uint64_t> prev;
};

enum class TableRead { Ok, NotClassic, Damaged };

/// Reads the dictionary after "trailer" for /Info (an indirect reference) and /Prev.
bool ReadTrailer(PdfScanner& scan, PdfTable& table) {
    if (scan.skipSpace() != '<') {
        return false;
    }
    scan.source().next();
    if (scan.source().next() != '<') {
        return false;
    }
    for (;;) {
        const int c = scan.skipSpace();
        if (c == '>') {
            scan.source().next();
            return scan.source().next() == '>';
        }
        if (c != '/') {
            // The rest of a value, such as "0 R" after an object number.
            if (!scan.skipValue(0)) {
                return false;
            }
            continue;
        }
        scan.source().next();
        const std::string key = scan.word();
        if (key == "Info") {
            const std::optional<std::uint64_t> object = scan.number();
            if (!object || !scan.number() || !scan.keyword("R")) {
                return false;
            }
            table.info = *object;
        } else if (key == "Prev") {
            table.prev = scan.number();
            if (!table.prev) {
                return false;
            }
        } else if (!scan.skipValue(0)) {
            return false;
        }
    }
}

/// The next line that is not blank, from `position` on, at most 48 bytes of it; `lineStart`
/// is where it starts and `position` moves past its end of line.
bool ReadLine(std::FILE* file, off_t& position, off_t& lineStart, std::string& line) {
    if (::fseeko(file, position, SEEK_SET) != 0) {
        return false;
    }
    line.clear();
    int c = std::fgetc(file);
    while (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
        ++position;
        c = std::fgetc(file);
    }
    lineStart = position;
    while (c != EOF && c != '\n' && c != '\r') {
        if (line.size() >= 48) {
            return false;
        }
        line += static_cast<char>(c);
        ++position;
        c = std::fgetc(file);
    }
    if (c == EOF) {
        return false;
    }
    ++position;
    if (c == '\r' && std::fgetc(file) == '\n') {
        ++position;
    }
    return true;
}

TableRead ReadTable(std::FILE* file, off_t at, off_t fileSize, PdfTable& table) {
    off_t position = at;
    off_t lineStart = at;
    std::string line;
    if (!ReadLine(file, position, lineStart, line)) {
        return TableRead::Damaged;
    }
    if (!line.starts_with("xref")) {
        // A cross-reference stream ("12 0 obj") came with PDF 1.5; the writer never makes one.
        return !line.empty() && line[0] >= '0' && line[0] <= '9' ? TableRead::NotClassic : TableRead::Damaged;
    }
    for (int sections = 0; sections < kMaxPdfSections; ++sections) {
        if (!ReadLine(file, position, lineStart, line)) {
            return TableRead::Damaged;
        }
        if (line.starts_with("trailer")) {
            if (::fseeko(file, lineStart, SEEK_SET) != 0) {
                return TableRead::Damaged;
            }
            ByteSource in(file, 1 << 20);
            PdfScanner trailer(in);
            return trailer.keyword("trailer") && ReadTrailer(trailer, table) ? TableRead::Ok
                                                                             : TableRead::Damaged;
        }
        unsigned long long first = 0;
        unsigned long long count = 0;
        char extra = 0;
        if (std::sscanf(line.c_str(), "%llu %llu %c", &first, &count, &extra) != 2 ||
            count > static_cast<unsigned long long>(fileSize - position) / 20) {
            return TableRead::Damaged;
        }
        // Entries are 20 bytes each, their end of line included.
        table.sections.push_back({first, count, position});
        position += static_cast<off_t>(count * 20);
    }
    return TableRead::Damaged;
}

} // namespace

VectorRecordText ReadPdfRecord(const std::string& path) {
    std::string error;
    const FileHandle file(OpenRegularFile(path, error));
    if (!file) {
        return Error(error);
    }
    char head[5] = {};
    if (std::fread(head, 1, sizeof head, file.get()) != sizeof head || std::memcmp(head, "%PDF-", 5) != 0) {
        return Error("not a PDF file");
    }
    if (::fseeko(file.get(), 0, SEEK_END) != 0) {
        return Error(std::strerror(errno));
    }
    const off_t size = ::ftello(file.get());
    const off_t tailStart = std::max<off_t>(0, size - static_cast<off_t>(kPdfTailBytes));
    std::string tail(static_cast<std::size_t>(size - tailStart), '\0');
    if (::fseeko(file.get(), tailStart, SEEK_SET) != 0 ||
        std::fread(tail.data(), 1, tail.size(), file.get()) != tail.size()) {
        return Error(std::strerror(errno != 0 ? errno : EIO));
    }
    const std::size_t mark = tail.rfind("startxref");
    if (mark == std::string::npos || tail.find("%%EOF", mark) == std::string::npos) {
        return Error("the PDF file is truncated (its end is missing)");
    }
    unsigned long long start = 0;
    if (std::sscanf(tail.c_str() + mark + 9, "%llu", &start) != 1 ||
        start >= static_cast<unsigned long long>(size)) {
        return Error("the PDF file is damaged (its cross-reference offset is wrong)");
    }

    // The newest table first; an update that left the information dictionary alone has no
    // entry for it, which an earlier table has.
    std::optional<std::uint64_t> info;
    std::vector<off_t> visited;
    off_t entry = -1;
    for (off_t at = static_cast<off_t>(start); entry < 0;) {
        if (static_cast<int>(visited.size()) >= kMaxPdfTables ||
            std::find(visited.begin(), visited.end(), at) != visited.end()) {
            return Error("the PDF file is damaged (its cross-reference tables form a loop)");
        }
        visited.push_back(at);
        PdfTable table;
        switch (ReadTable(file.get(), at, size, table)) {
        case TableRead::NotClassic:
            return {};
        case TableRead::Damaged:
            return Error("the PDF file is damaged (its cross-reference table cannot be read)");
        case TableRead::Ok:
            break;
        }
        if (!info) {
            info = table.info;
        }
        if (info) {
            for (const PdfTableSection& section : table.sections) {
                if (*info >= section.first && *info - section.first < section.count) {
                    entry = section.entries + static_cast<off_t>((*info - section.first) * 20);
                    break;
                }
            }
        }
        if (entry >= 0) {
            break;
        }
        if (!table.prev || *table.prev >= static_cast<std::uint64_t>(size)) {
            // No information dictionary at all is no record; one the tables do not find is damage.
            return info ? Error("the PDF file is damaged (its information dictionary is not in the table)")
                        : VectorRecordText{};
        }
        at = static_cast<off_t>(*table.prev);
    }

    char line[21] = {};
    unsigned long long offset = 0;
    unsigned generation = 0;
    char kind = 0;
    if (::fseeko(file.get(), entry, SEEK_SET) != 0 || std::fread(line, 1, 20, file.get()) != 20 ||
        std::sscanf(line, "%10llu %5u %c", &offset, &generation, &kind) != 3 || kind != 'n' ||
        offset >= static_cast<unsigned long long>(size)) {
        return Error("the PDF file is damaged (its information dictionary's entry is wrong)");
    }

    if (::fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) {
        return Error(std::strerror(errno));
    }
    // The record's escapes at most double it.
    ByteSource in(file.get(), 2 * static_cast<std::uint64_t>(kMaxRecord) + (1 << 16));
    PdfScanner scan(in);
    const auto damaged = [] {
        return Error("the PDF file is damaged (its information dictionary cannot be read)");
    };
    if (scan.number() != info || !scan.number() || !scan.keyword("obj") || scan.skipSpace() != '<') {
        return damaged();
    }
    in.next();
    if (in.next() != '<') {
        return damaged();
    }
    for (;;) {
        const int c = scan.skipSpace();
        if (c == '>') {
            return {}; // the dictionary holds no record
        }
        if (c != '/') {
            if (!scan.skipValue(0)) {
                return damaged();
            }
            continue;
        }
        in.next();
        if (scan.word() != "FractalsPictureRecord") {
            if (!scan.skipValue(0)) {
                return scan.tooLong() ? TooLong("PDF") : damaged();
            }
            continue;
        }
        const int open = scan.skipSpace();
        in.next();
        std::string text;
        const bool read = open == '('   ? scan.literalString(&text, kMaxRecord)
                          : open == '<' ? scan.hexString(&text, kMaxRecord)
                                        : false;
        if (!read) {
            return scan.tooLong() ? TooLong("PDF") : damaged();
        }
        return Found(std::move(text));
    }
}

} // namespace render
