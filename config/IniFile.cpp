#include "config/IniFile.h"

#include <QStringDecoder>

#include <cerrno>

#include "config/SideFile.h"
#include "util/SafeWrite.h"

namespace {

enum class LineKind { Skip, Section, Entry };

struct ParsedLine {
    LineKind kind = LineKind::Skip;
    QString name; // section name
    IniFile::Entry entry;
};

// One line of INI text, without its line feed.
ParsedLine parseLine(QStringView raw) {
    ParsedLine parsed;
    QStringView line = raw.trimmed();
    // Byte-order marks inside the text (files joined end to end) count as blanks.
    while (!line.isEmpty() && line.front() == QChar::ByteOrderMark)
        line = line.sliced(1).trimmed();
    if (line.isEmpty() || line.front() == u';')
        return parsed;
    if (line.front() == u'[') {
        parsed.kind = LineKind::Section;
        const qsizetype close = line.lastIndexOf(u']');
        parsed.name = (close > 0 ? line.mid(1, close - 1) : line.mid(1)).trimmed().toString();
        return parsed;
    }
    parsed.kind = LineKind::Entry;
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0) {
        parsed.entry.key = line.toString();
        parsed.entry.text = parsed.entry.key;
    } else {
        parsed.entry.key = line.left(equals).trimmed().toString();
        parsed.entry.text = line.mid(equals + 1).trimmed().toString();
    }
    return parsed;
}

// How a file's bytes are laid out, for the byte-preserving writer.
struct Layout {
    enum Kind { Utf8, Utf16Le, Utf16Be } kind = Utf8;
    qsizetype bomSize = 0;
    qsizetype unit() const { return kind == Utf8 ? 1 : 2; }
};

Layout layoutOf(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return {Layout::Utf8, 3};
    if (bytes.startsWith("\xFF\xFE"))
        return {Layout::Utf16Le, 2};
    if (bytes.startsWith("\xFE\xFF"))
        return {Layout::Utf16Be, 2};
    return {};
}

char16_t unitAt(const QByteArray& bytes, qsizetype pos, const Layout& layout) {
    const auto b0 = static_cast<uchar>(bytes[pos]);
    if (layout.kind == Layout::Utf8)
        return b0;
    const auto b1 = static_cast<uchar>(bytes[pos + 1]);
    return layout.kind == Layout::Utf16Le ? char16_t(b0 | (b1 << 8)) : char16_t((b0 << 8) | b1);
}

// UTF-16 is mapped unit by unit so that nothing is lost, even unpaired surrogates.
QString decodeRange(const QByteArray& bytes, qsizetype start, qsizetype end, const Layout& layout) {
    if (layout.kind == Layout::Utf8)
        return QString::fromUtf8(bytes.constData() + start, end - start);
    QString text;
    text.reserve((end - start) / 2);
    for (qsizetype pos = start; pos + 1 < end; pos += 2)
        text.append(QChar(unitAt(bytes, pos, layout)));
    return text;
}

QByteArray encode(const QString& text, const Layout& layout) {
    if (layout.kind == Layout::Utf8)
        return text.toUtf8();
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const char high = char(u >> 8), low = char(u & 0xFF);
        if (layout.kind == Layout::Utf16Le)
            bytes.append(low).append(high);
        else
            bytes.append(high).append(low);
    }
    return bytes;
}

struct LineSpan {
    qsizetype start;      // first byte of the line
    qsizetype contentEnd; // before its CR and line feed
    qsizetype end;        // after its line feed
    bool terminated;
};

QList<LineSpan> splitLines(const QByteArray& bytes, const Layout& layout) {
    QList<LineSpan> lines;
    const qsizetype unit = layout.unit();
    qsizetype start = layout.bomSize;
    qsizetype pos = start;
    while (pos < bytes.size()) {
        if (pos + unit <= bytes.size() && unitAt(bytes, pos, layout) == u'\n') {
            qsizetype contentEnd = pos;
            if (contentEnd - unit >= start && unitAt(bytes, contentEnd - unit, layout) == u'\r')
                contentEnd -= unit;
            lines.append({start, contentEnd, pos + unit, true});
            pos += unit;
            start = pos;
        } else {
            pos += unit;
        }
    }
    if (start < bytes.size())
        lines.append({start, bytes.size(), bytes.size(), false});
    return lines;
}

} // namespace

QString IniFile::decode(const QByteArray& bytes) {
    const Layout layout = layoutOf(bytes);
    QByteArrayView body = QByteArrayView(bytes).sliced(layout.bomSize);
    if (layout.unit() == 2 && body.size() % 2 != 0)
        body.chop(1); // half a character is no text
    switch (layout.kind) {
    case Layout::Utf16Le:
        return QStringDecoder(QStringConverter::Utf16LE, QStringConverter::Flag::ConvertInitialBom)(body);
    case Layout::Utf16Be:
        return QStringDecoder(QStringConverter::Utf16BE, QStringConverter::Flag::ConvertInitialBom)(body);
    case Layout::Utf8:
        break;
    }
    return QString::fromUtf8(body);
}

bool IniFile::load(const QString& path) {
    names.clear();
    lists.clear();
    index.clear();
    QByteArray bytes;
    if (readSideFile(path, kIniFileLimit, bytes) != 0)
        return false;
    parse(bytes);
    return true;
}

void IniFile::parse(const QByteArray& bytes) {
    names.clear();
    lists.clear();
    index.clear();
    const QString text = decode(bytes);
    const QStringView view(text);
    qsizetype current = -1; // lines before the first section belong to none
    qsizetype start = 0;
    while (start < view.size()) {
        qsizetype end = view.indexOf(u'\n', start);
        if (end < 0)
            end = view.size();
        ParsedLine parsed = parseLine(view.mid(start, end - start));
        if (parsed.kind == LineKind::Section) {
            const auto found = index.constFind(parsed.name);
            if (found != index.constEnd()) {
                current = found.value();
            } else {
                current = lists.size();
                index.insert(parsed.name, current);
                names.append(parsed.name);
                lists.append(QList<Entry>());
            }
        } else if (parsed.kind == LineKind::Entry && current >= 0) {
            lists[current].append(std::move(parsed.entry));
        }
        start = end + 1;
    }
}

QList<IniFile::Entry> IniFile::entries(const QString& section) const {
    const auto found = index.constFind(section);
    return found == index.constEnd() ? QList<Entry>() : lists.at(found.value());
}

bool IniFile::contains(const QString& section, const QString& key) const {
    const auto found = index.constFind(section);
    if (found == index.constEnd())
        return false;
    for (const Entry& entry : lists.at(found.value()))
        if (entry.key == key)
            return true;
    return false;
}

QString IniFile::value(const QString& section, const QString& key, const QString& fallback) const {
    const auto found = index.constFind(section);
    if (found == index.constEnd())
        return fallback;
    for (const Entry& entry : lists.at(found.value()))
        if (entry.key == key)
            return entry.text;
    return fallback;
}

bool IniFile::withValue(QByteArray& bytes, const QString& section, const QString& key, const QString& text) {
    const auto breaksLine = [](const QString& s) { return s.contains(u'\n') || s.contains(u'\r'); };
    if (breaksLine(section) || breaksLine(key) || breaksLine(text) || key.contains(u'='))
        return false;

    const Layout layout = layoutOf(bytes);
    // A UTF-16 file cut in the middle of a character: the stray byte is no
    // text (the reader ignores it too) and would misalign what is added.
    if ((bytes.size() - layout.bomSize) % layout.unit() != 0)
        bytes.chop(1);
    const QList<LineSpan> lines = splitLines(bytes, layout);

    // The reader answers with the first such key in any section of that name,
    // so that is the line to change; a missing key goes after the last line of
    // the first section of that name.
    qsizetype replaceLine = -1;
    qsizetype insertAfter = -1;
    bool inSection = false;
    bool firstSectionOpen = false;
    bool sectionSeen = false;
    for (qsizetype i = 0; i < lines.size() && replaceLine < 0; ++i) {
        const LineSpan& span = lines.at(i);
        const ParsedLine parsed = parseLine(decodeRange(bytes, span.start, span.contentEnd, layout));
        if (parsed.kind == LineKind::Section) {
            inSection = parsed.name == section;
            firstSectionOpen = inSection && !sectionSeen;
            if (firstSectionOpen) {
                sectionSeen = true;
                insertAfter = i;
            }
        } else if (parsed.kind == LineKind::Entry && inSection) {
            if (parsed.entry.key == key)
                replaceLine = i;
            else if (firstSectionOpen)
                insertAfter = i;
        }
    }

    bool crlf = false;
    for (const LineSpan& span : lines) {
        if (span.terminated) {
            crlf = span.contentEnd < span.end - layout.unit();
            break;
        }
    }
    const QByteArray eol = encode(crlf ? QStringLiteral("\r\n") : QStringLiteral("\n"), layout);
    const QByteArray line = encode(key + u'=' + text, layout);

    QByteArray out;
    if (replaceLine >= 0) {
        const LineSpan& span = lines.at(replaceLine);
        out = bytes.left(span.start) + line + bytes.mid(span.contentEnd);
    } else if (insertAfter >= 0) {
        const LineSpan& span = lines.at(insertAfter);
        out =
            bytes.left(span.end) + (span.terminated ? QByteArray() : eol) + line + eol + bytes.mid(span.end);
    } else {
        out = bytes;
        if (!lines.isEmpty() && !lines.constLast().terminated)
            out += eol;
        out += encode(u'[' + section + u']', layout) + eol + line + eol;
    }
    bytes = out;
    return true;
}

bool IniFile::writeValue(const QString& path, const QString& section, const QString& key,
                         const QString& text) {
    QByteArray bytes;
    const int read = readSideFile(path, kIniFileLimit, bytes);
    // Never replace what could not be read (too large, not a plain file).
    if (read != 0 && read != ENOENT)
        return false;
    const bool exists = read == 0;
    const QByteArray original = bytes;
    if (!withValue(bytes, section, key, text))
        return false;
    if (exists && bytes == original)
        return true;
    return replaceFile(path, bytes);
}
