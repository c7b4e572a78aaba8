// The settings store over its INI file: the parser and writer of the file's
// lines (the escapes and quoting QSettings uses), the key tree kept as one
// section per key, and the journal of changes replayed on every flush.
#include "settings/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

// The key path of the main key, one name per part.
const char *const kMainParts[] = {"SOFTWARE", "Orvanta", "Quillon"};
constexpr int kMainDepth = 3;

// QSettings' name of the section that holds a file's top-level values.
const char kGeneralSection[] = "General";

// QDataStream (version Qt_4_0, as QSettings uses) of a QVariant holding an
// int: the type number 2 as a big-endian 32-bit value, then the value.
constexpr int kVariantIntSize = 8;
constexpr uchar kVariantIntType[4] = {0, 0, 0, 2};

const char kHexDigits[] = "0123456789ABCDEF";

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

// True when child lies below parent (or is parent itself with orSelf).
bool isBelow(const QString &child, const QString &parent, bool orSelf)
{
    if (parent.isEmpty())
        return orSelf || !child.isEmpty();
    if (sameName(child, parent))
        return orSelf;
    return child.size() > parent.size() && child[parent.size()] == QLatin1Char('/')
        && sameName(child.left(parent.size()), parent);
}

// --- names --------------------------------------------------------------

// A key or value name as QSettings writes it: letters, digits, "_", "-" and
// "." as they are, every other character as %XX or %UXXXX.
void escapeName(QByteArray &out, const QString &name)
{
    for (QChar qc : name) {
        const char16_t ch = qc.unicode();
        if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_'
            || ch == '-' || ch == '.') {
            out += char(ch);
        } else if (ch <= 0xFF) {
            out += '%';
            out += kHexDigits[ch >> 4];
            out += kHexDigits[ch & 15];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += kHexDigits[(ch >> shift) & 15];
        }
    }
}

// The reverse of escapeName; "\" (QSettings' group separator inside a key)
// reads as "/". Bytes that are not escapes are UTF-8.
QString unescapeName(QByteArrayView text)
{
    QString result;
    qsizetype runStart = 0;
    const auto flushRun = [&](qsizetype end) {
        if (end > runStart)
            result += QString::fromUtf8(text.sliced(runStart, end - runStart));
    };
    qsizetype i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\\') {
            flushRun(i);
            result += QLatin1Char('/');
            runStart = ++i;
        } else if (c == '%' && i + 5 < text.size() && text[i + 1] == 'U' && isHexDigit(text[i + 2])
                   && isHexDigit(text[i + 3]) && isHexDigit(text[i + 4]) && isHexDigit(text[i + 5])) {
            flushRun(i);
            char16_t ch = 0;
            for (int k = 2; k <= 5; ++k)
                ch = char16_t((ch << 4) | hexValue(text[i + k]));
            result += QChar(ch);
            i += 6;
            runStart = i;
        } else if (c == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2])) {
            flushRun(i);
            result += QChar(char16_t(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 3;
            runStart = i;
        } else {
            ++i;
        }
    }
    flushRun(text.size());
    return result;
}

// --- values -------------------------------------------------------------

// Appends one character code as QSettings escapes it. hexNext says that the
// previous escape would swallow a following hex digit, so such a digit is
// escaped too.
void escapeChar(QByteArray &out, char16_t ch, bool &hexNext)
{
    const bool digit = ch < 0x80 && isHexDigit(char(ch));
    if (hexNext && digit) {
        out += "\\x";
        out += QByteArray::number(uint(ch), 16);
        return;
    }
    hexNext = false;
    switch (ch) {
    case 0:
        out += "\\0";
        hexNext = true;   // an octal escape takes the digits after it
        return;
    case '\a': out += "\\a"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\v': out += "\\v"; return;
    case '"':
    case '\\':
        out += '\\';
        out += char(ch);
        return;
    default:
        break;
    }
    if (ch <= 0x1F || ch >= 0x7F) {
        out += "\\x";
        out += QByteArray::number(uint(ch), 16);
        hexNext = true;
    } else {
        out += char(ch);   // only ASCII arrives here; strings pass the rest as UTF-8
    }
}

void escapeBytes(QByteArray &out, QByteArrayView bytes)
{
    bool hexNext = false;
    for (char c : bytes)
        escapeChar(out, uchar(c), hexNext);
}

void escapeString(QByteArray &out, const QString &text)
{
    bool hexNext = false;
    qsizetype runStart = -1;
    const auto flushRun = [&](qsizetype end) {
        if (runStart >= 0 && end > runStart)
            out += QStringView(text).sliced(runStart, end - runStart).toUtf8();
        runStart = -1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        if (ch >= 0x80) {
            // Non-ASCII text goes out as UTF-8, which the reader takes as it is.
            hexNext = false;
            if (runStart < 0)
                runStart = i;
            continue;
        }
        flushRun(i);
        escapeChar(out, ch, hexNext);
    }
    flushRun(text.size());
}

// What a value's text unescapes to.
struct Unescaped {
    QString text;
    bool quoted = false;        // the text had double quotes
    bool list = false;          // commas outside quotes: QSettings reads a string list
    bool broken = false;        // a quote or an escape left open
};

// The value reader of QSettings: double quotes group, a backslash starts an
// escape (\a \b \f \n \r \t \v \" \? \' \\, \x and hex digits, \ and octal
// digits), unquoted blanks at either end are dropped, an unquoted comma
// separates the items of a list.
Unescaped unescapeValue(QByteArrayView str)
{
    Unescaped result;
    bool inQuotes = false;
    bool quoted = false;
    qsizetype i = 0;
    qsizetype keep = 0;   // the text before this index is never trimmed
    const auto skipSpaces = [&]() {
        while (i < str.size() && (str[i] == ' ' || str[i] == '\t'))
            ++i;
    };
    const auto chopTrailing = [&]() {
        qsizetype end = result.text.size();
        while (end > keep && (result.text[end - 1] == QLatin1Char(' ') || result.text[end - 1] == QLatin1Char('\t')))
            --end;
        result.text.truncate(end);
    };
    skipSpaces();
    keep = 0;
    while (i < str.size()) {
        const char c = str[i];
        if (c == '\\') {
            ++i;
            if (i >= str.size()) {
                result.broken = true;
                break;
            }
            const char e = str[i++];
            char16_t simple = 0xFFFF;
            switch (e) {
            case 'a': simple = '\a'; break;
            case 'b': simple = '\b'; break;
            case 'f': simple = '\f'; break;
            case 'n': simple = '\n'; break;
            case 'r': simple = '\r'; break;
            case 't': simple = '\t'; break;
            case 'v': simple = '\v'; break;
            case '"': simple = '"'; break;
            case '?': simple = '?'; break;
            case '\'': simple = '\''; break;
            case '\\': simple = '\\'; break;
            default: break;
            }
            if (simple != 0xFFFF) {
                result.text += QChar(simple);
            } else if (e == 'x') {
                if (i >= str.size() || !isHexDigit(str[i])) {
                    result.broken = i >= str.size();
                    keep = result.text.size();
                    continue;
                }
                uint value = 0;
                while (i < str.size() && isHexDigit(str[i]))
                    value = ((value << 4) | uint(hexValue(str[i++]))) & 0xFFFF;
                result.text += QChar(char16_t(value));
            } else if (e >= '0' && e <= '7') {
                uint value = uint(e - '0');
                while (i < str.size() && str[i] >= '0' && str[i] <= '7')
                    value = ((value << 3) | uint(str[i++] - '0')) & 0xFFFF;
                result.text += QChar(char16_t(value));
            }
            // Any other escaped character is dropped, as QSettings does.
            keep = result.text.size();
        } else if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipSpaces();
                keep = result.text.size();
            }
        } else if (c == ',' && !inQuotes) {
            result.list = true;
            ++i;
            skipSpaces();
            result.text += QLatin1Char(',');
            keep = result.text.size();
        } else {
            qsizetype j = i + 1;
            while (j < str.size() && str[j] != '\\' && str[j] != '"' && str[j] != ',')
                ++j;
            result.text += QString::fromUtf8(str.sliced(i, j - i));
            i = j;
        }
    }
    if (inQuotes)
        result.broken = true;
    if (!quoted)
        chopTrailing();
    result.quoted = quoted;
    return result;
}

// Latin-1 bytes of a text whose characters are all below 256.
std::optional<QByteArray> latin1Bytes(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return std::nullopt;
        bytes += char(c.unicode());
    }
    return bytes;
}

// Turns the text after "=" into a value, with the @-forms of QSettings.
// lineEnded is false for a last line without its line end: such a line may
// have been cut, so it counts only when its own delimiters close it (a quoted
// string, an @-form with its ")").
Registry::Value parseValue(const QString &name, QByteArrayView raw, bool lineEnded)
{
    Registry::Value value;
    value.name = name;
    const Unescaped u = unescapeValue(raw);
    if (u.broken || u.list)
        return value;   // Other
    const QString &s = u.text;
    if (!s.startsWith(QLatin1Char('@')) || s.startsWith(QLatin1String("@@"))) {
        if (lineEnded || u.quoted) {
            value.kind = RegKind::String;
            value.text = s.startsWith(QLatin1Char('@')) ? s.mid(1) : s;
        }
        return value;
    }
    const auto inner = [&](QLatin1String prefix) -> std::optional<QStringView> {
        if (s.startsWith(prefix) && s.endsWith(QLatin1Char(')')) && s.size() > prefix.size())
            return QStringView(s).sliced(prefix.size(), s.size() - prefix.size() - 1);
        return std::nullopt;
    };
    if (const auto body = inner(QLatin1String("@ByteArray("))) {
        if (const auto bytes = latin1Bytes(*body)) {
            value.kind = RegKind::Bytes;
            value.bytes = *bytes;
        }
        return value;
    }
    if (const auto body = inner(QLatin1String("@Variant("))) {
        const auto bytes = latin1Bytes(*body);
        if (bytes && bytes->size() == kVariantIntSize
            && std::equal(kVariantIntType, kVariantIntType + 4, reinterpret_cast<const uchar *>(bytes->constData()))) {
            const auto *p = reinterpret_cast<const uchar *>(bytes->constData()) + 4;
            value.kind = RegKind::Integer;
            value.number = qint32(quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]));
        }
        return value;
    }
    if (const auto body = inner(QLatin1String("@String("))) {
        value.kind = RegKind::String;
        value.text = body->toString();
        return value;
    }
    // Other @-forms (@Invalid(), @Rect(...), ...) are no kind of this store,
    // and no writer leaves a single "@" before plain text: a cut @-form.
    return value;
}

// Every value is written in double quotes (QSettings quotes only those with
// a comma, semicolon, equals sign or outer blank, and reads both): a line cut
// anywhere inside its value then has an open quote and cannot pass for a
// shorter value.
void serializeValue(QByteArray &out, const Registry::Value &value)
{
    out += '"';
    switch (value.kind) {
    case RegKind::String:
        escapeString(out, value.text.startsWith(QLatin1Char('@')) ? QLatin1Char('@') + value.text : value.text);
        break;
    case RegKind::Bytes:
        out += "@ByteArray(";
        escapeBytes(out, value.bytes);
        out += ')';
        break;
    case RegKind::Integer: {
        const auto n = quint32(value.number);
        const char data[kVariantIntSize] = {0, 0, 0, 2, char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
        out += "@Variant(";
        escapeBytes(out, QByteArrayView(data, kVariantIntSize));
        out += ')';
        break;
    }
    case RegKind::Other:
        break;   // never written: flush drops what it cannot read
    }
    out += '"';
}

// Section name of a key path.
QByteArray sectionName(const QString &path)
{
    if (path.isEmpty())
        return kGeneralSection;
    QByteArray out;
    const QStringList parts = path.split(QLatin1Char('/'));
    for (qsizetype k = 0; k < parts.size(); ++k) {
        if (k > 0)
            out += '/';
        if (k == 0 && sameName(parts[k], QLatin1String(kGeneralSection)))
            out += '%';   // QSettings' spelling of a group named like its top-level section
        escapeName(out, parts[k]);
    }
    return out;
}

// Key path of a section name; nothing when a part is empty.
std::optional<QString> sectionPath(QByteArrayView name)
{
    const QByteArrayView trimmed = name.trimmed();
    if (QString::fromLatin1(trimmed).compare(QLatin1String(kGeneralSection), Qt::CaseInsensitive) == 0)
        return QString();
    QStringList parts;
    const QString decoded = unescapeName(trimmed);
    for (QString part : decoded.split(QLatin1Char('/'))) {
        if (part.isEmpty())
            return std::nullopt;
        parts << part;
    }
    if (!parts.isEmpty() && sameName(parts[0], QLatin1String("%General")))
        parts[0] = QLatin1String(kGeneralSection);
    return parts.join(QLatin1Char('/'));
}

Registry::Section *findSection(Registry::Model &model, const QString &path)
{
    for (Registry::Section &s : model.sections)
        if (sameName(s.path, path))
            return &s;
    return nullptr;
}

Registry::Section &ensureSection(Registry::Model &model, const QString &path)
{
    // A key's parents exist while it exists.
    if (!path.isEmpty()) {
        const qsizetype cut = path.lastIndexOf(QLatin1Char('/'));
        ensureSection(model, cut < 0 ? QString() : path.left(cut));
    }
    if (Registry::Section *s = findSection(model, path))
        return *s;
    model.sections.push_back(Registry::Section{path, {}});
    return model.sections.back();
}

void setValue(Registry::Section &section, const Registry::Value &value)
{
    for (Registry::Value &v : section.values) {
        if (sameName(v.name, value.name)) {
            const QString keptName = v.name;   // a rewritten value keeps the case of its name
            v = value;
            v.name = keptName;
            return;
        }
    }
    section.values.push_back(value);
}

} // namespace

QString Registry::MainKey()
{
    return QStringLiteral("\\SOFTWARE\\Orvanta\\Quillon");
}

QString Registry::DefaultFileName()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/Orvanta/Quillon.conf");
}

Registry::Registry(const QString &fileName) : m_fileName(fileName)
{
    if (!m_fileName.isEmpty())
        m_model = readFile(m_fileName);
    m_damaged = m_model.damaged;
}

Registry::~Registry()
{
    flush();
}

Registry::Model Registry::readFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return Model{};
    Model damaged;
    damaged.damaged = true;
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return damaged;
    const QByteArray text = file.read(kMaxFileSize + 1);
    if (text.size() > kMaxFileSize || file.error() != QFileDevice::NoError)
        return damaged;
    return parse(text);
}

Registry::Model Registry::parse(const QByteArray &text)
{
    Model model;
    QByteArrayView rest(text);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    // Lines before the first section belong to the main key, as in QSettings.
    std::optional<QString> current = QString();
    while (!rest.isEmpty()) {
        qsizetype end = 0;
        while (end < rest.size() && rest[end] != '\n' && rest[end] != '\r')
            ++end;
        const QByteArrayView line = rest.first(end).trimmed();
        const bool lineEnded = end < rest.size();
        rest = rest.sliced(end);
        while (!rest.isEmpty() && (rest[0] == '\n' || rest[0] == '\r'))
            rest = rest.sliced(1);

        if (line.isEmpty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            current = std::nullopt;   // the lines of an unreadable section go nowhere
            if (line.size() >= 2 && line.back() == ']')
                current = sectionPath(line.sliced(1, line.size() - 2));
            if (!current) {
                model.damaged = true;
                continue;
            }
            ensureSection(model, *current);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!current || eq <= 0) {
            model.damaged = true;
            continue;
        }
        const QString name = unescapeName(line.first(eq).trimmed());
        if (name.isEmpty()) {
            model.damaged = true;
            continue;
        }
        const Value value = parseValue(name, line.sliced(eq + 1), lineEnded);
        if (value.kind == RegKind::Other)
            model.damaged = true;
        setValue(ensureSection(model, *current), value);
    }
    return model;
}

QByteArray Registry::serialize(const Model &model)
{
    QByteArray out;
    // The main key first, then the subkeys in the order they were made.
    std::vector<const Section *> order;
    for (const Section &s : model.sections)
        if (s.path.isEmpty())
            order.push_back(&s);
    for (const Section &s : model.sections)
        if (!s.path.isEmpty())
            order.push_back(&s);
    for (const Section *s : order) {
        if (!out.isEmpty())
            out += '\n';
        out += '[';
        out += sectionName(s->path);
        out += "]\n";
        for (const Value &v : s->values) {
            QByteArray name;
            escapeName(name, v.name);
            out += name;
            out += '=';
            serializeValue(out, v);
            out += '\n';
        }
    }
    return out;
}

QByteArray Registry::serialized() const
{
    return serialize(m_model);
}

void Registry::apply(Model &model, const Op &op)
{
    switch (op.type) {
    case Op::Type::CreateKey:
        ensureSection(model, op.path);
        return;
    case Op::Type::DeleteKey:
        model.sections.erase(std::remove_if(model.sections.begin(), model.sections.end(),
                                            [&](const Section &s) { return isBelow(s.path, op.path, true); }),
                             model.sections.end());
        return;
    case Op::Type::SetValue:
        setValue(ensureSection(model, op.path), op.value);
        return;
    case Op::Type::DeleteValue:
        if (Section *s = findSection(model, op.path)) {
            s->values.erase(std::remove_if(s->values.begin(), s->values.end(),
                                           [&](const Value &v) { return sameName(v.name, op.value.name); }),
                            s->values.end());
        }
        return;
    }
}

std::optional<QString> Registry::resolve(const QString &key, bool *above) const
{
    if (above)
        *above = false;
    QStringList parts;
    if (!key.startsWith(QLatin1Char('\\')) && m_current) {
        for (int k = 0; k < kMainDepth; ++k)
            parts << QLatin1String(kMainParts[k]);
        if (!m_current->isEmpty())
            parts << m_current->split(QLatin1Char('/'));
    }
    for (const QString &part : key.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (part.contains(QLatin1Char('/')))
            return std::nullopt;   // "/" separates the parts of a section name
        parts << part;
    }
    for (int k = 0; k < kMainDepth; ++k) {
        if (k >= parts.size()) {
            if (above)
                *above = true;
            return std::nullopt;
        }
        if (!sameName(parts[k], QLatin1String(kMainParts[k])))
            return std::nullopt;
    }
    return parts.mid(kMainDepth).join(QLatin1Char('/'));
}

const Registry::Section *Registry::section(const QString &path) const
{
    for (const Section &s : m_model.sections)
        if (sameName(s.path, path))
            return &s;
    return nullptr;
}

bool Registry::keyExists(const QString &key) const
{
    bool above = false;
    const std::optional<QString> path = resolve(key, &above);
    if (above)
        return true;
    if (!path)
        return false;
    return std::any_of(m_model.sections.begin(), m_model.sections.end(),
                       [&](const Section &s) { return isBelow(s.path, *path, true); });
}

bool Registry::openKey(const QString &key, bool canCreate)
{
    const std::optional<QString> path = resolve(key);
    if (!path)
        return false;
    if (keyExists(key)) {
        m_current = *path;
        return true;
    }
    if (!canCreate)
        return false;
    const Model before = m_model;
    const Op op{Op::Type::CreateKey, *path, {}};
    m_journal.push_back(op);
    apply(m_model, op);
    // A created key is on disk at once, so a store that cannot be written is
    // known before anything is written into it.
    if (!flush()) {
        m_model = before;
        m_journal.pop_back();
        return false;
    }
    m_current = *path;
    return true;
}

void Registry::closeKey()
{
    flush();
    m_current.reset();
}

QString Registry::currentKey() const
{
    if (!m_current)
        return QString();
    return m_current->isEmpty() ? MainKey() : MainKey() + QLatin1Char('\\') + QString(*m_current).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

bool Registry::deleteKey(const QString &key)
{
    const std::optional<QString> path = resolve(key);
    if (!path || !keyExists(key))
        return false;
    const Op op{Op::Type::DeleteKey, *path, {}};
    m_journal.push_back(op);
    apply(m_model, op);
    return true;
}

QStringList Registry::keyNames() const
{
    QStringList names;
    if (!m_current)
        return names;
    for (const Section &s : m_model.sections) {
        if (!isBelow(s.path, *m_current, false))
            continue;
        const QString below = m_current->isEmpty() ? s.path : s.path.mid(m_current->size() + 1);
        const QString child = below.section(QLatin1Char('/'), 0, 0);
        if (!names.contains(child, Qt::CaseInsensitive))
            names << child;
    }
    return names;
}

QStringList Registry::valueNames() const
{
    QStringList names;
    if (!m_current)
        return names;
    if (const Section *s = section(*m_current))
        for (const Value &v : s->values)
            names << v.name;
    return names;
}

const Registry::Value *Registry::findValue(const QString &name) const
{
    if (!m_current)
        return nullptr;
    const Section *s = section(*m_current);
    if (!s)
        return nullptr;
    for (const Value &v : s->values)
        if (sameName(v.name, name))
            return &v;
    return nullptr;
}

bool Registry::valueExists(const QString &name) const
{
    return findValue(name) != nullptr;
}

std::optional<RegKind> Registry::valueKind(const QString &name) const
{
    if (const Value *v = findValue(name))
        return v->kind;
    return std::nullopt;
}

std::optional<QString> Registry::readString(const QString &name) const
{
    const Value *v = findValue(name);
    if (!v || v->kind != RegKind::String)
        return std::nullopt;
    return v->text;
}

std::optional<qint32> Registry::readInteger(const QString &name) const
{
    const Value *v = findValue(name);
    if (!v || v->kind != RegKind::Integer)
        return std::nullopt;
    return v->number;
}

std::optional<QByteArray> Registry::readBinary(const QString &name, qsizetype maxSize) const
{
    const Value *v = findValue(name);
    if (!v || v->kind != RegKind::Bytes || v->bytes.size() > maxSize)
        return std::nullopt;
    return v->bytes;
}

std::optional<QByteArray> Registry::readBinaryExact(const QString &name, qsizetype size) const
{
    std::optional<QByteArray> bytes = readBinary(name, size);
    if (bytes && bytes->size() != size)
        return std::nullopt;
    return bytes;
}

bool Registry::write(Value value)
{
    if (!m_current || value.name.isEmpty() || !keyExists(currentKey()))
        return false;
    const Op op{Op::Type::SetValue, *m_current, std::move(value)};
    m_journal.push_back(op);
    apply(m_model, op);
    return true;
}

bool Registry::writeString(const QString &name, const QString &value)
{
    Value v;
    v.name = name;
    v.kind = RegKind::String;
    v.text = value;
    return write(std::move(v));
}

bool Registry::writeInteger(const QString &name, qint32 value)
{
    Value v;
    v.name = name;
    v.kind = RegKind::Integer;
    v.number = value;
    return write(std::move(v));
}

bool Registry::writeBinary(const QString &name, const QByteArray &value)
{
    Value v;
    v.name = name;
    v.kind = RegKind::Bytes;
    v.bytes = value;
    return write(std::move(v));
}

bool Registry::deleteValue(const QString &name)
{
    if (!valueExists(name))
        return false;
    Op op{Op::Type::DeleteValue, *m_current, {}};
    op.value.name = name;
    m_journal.push_back(op);
    apply(m_model, op);
    return true;
}

bool Registry::writeModel(const Model &model)
{
    const QFileInfo info(m_fileName);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    // The new text goes to a temporary file beside the old one, which is
    // flushed to the disk and then renamed over it; a failure anywhere before
    // the rename leaves the old file as it was.
    QSaveFile file(m_fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray text = serialize(model);
    if (file.write(text) != text.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool Registry::flush()
{
    if (m_journal.empty())
        return true;
    if (m_fileName.isEmpty()) {
        m_journal.clear();
        return true;
    }
    // The lock keeps two programs from replaying their changes over the same
    // old text at once. Should it not be had, the write goes ahead: losing a
    // setting is worse than a rare lost update.
    QLockFile lock(m_fileName + QStringLiteral(".lock"));
    lock.setStaleLockTime(30000);
    if (QDir().mkpath(QFileInfo(m_fileName).absolutePath()))
        (void)lock.tryLock(2000);
    Model fresh = readFile(m_fileName);
    for (const Op &op : m_journal)
        apply(fresh, op);
    // What could not be read is not written back: the file comes out whole.
    for (Section &s : fresh.sections)
        s.values.erase(std::remove_if(s.values.begin(), s.values.end(),
                                      [](const Value &v) { return v.kind == RegKind::Other; }),
                       s.values.end());
    fresh.damaged = false;
    if (!writeModel(fresh))
        return false;
    m_model = std::move(fresh);
    m_damaged = false;
    m_journal.clear();
    return true;
}
