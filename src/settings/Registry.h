// The program's settings store: a tree of keys holding named values of three
// kinds (string, 32-bit integer, byte block), with the semantics of the
// current user's registry key "\SOFTWARE\Orvanta\Quillon" and its subkeys.
//
// It lives in one INI file, $XDG_CONFIG_HOME/Orvanta/Quillon.conf. The main
// key's values are in the [General] section, each subkey is a section named
// by its path below the main key ("Columns", "A/B"). Values are written the
// way QSettings writes them, so QSettings reads the file with the same kinds:
// strings as text, byte blocks as @ByteArray(...), integers as the
// QDataStream form @Variant(...) of an int, each in double quotes. (A QSettings integer written as
// plain digits cannot be told from a string, which is why this class reads
// and writes the file itself.) Names of keys and values ignore case.
//
// Changes are kept in memory and written by flush(), closeKey() or the
// destructor. A flush reads the file again, applies this object's changes in
// order and writes the result to a temporary file in the same folder that is
// then renamed over the old one, so a crash or a full disk leaves the old file
// as it was, and two stores open on one file do not drop each other's
// changes. A damaged or foreign file never fails: what cannot be read is left
// out (the values read as missing, or as RegKind::Other) and is gone after
// the next flush.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The kind of a stored value. Other is a value this store does not write
// (a string list, an unknown @-form, a damaged quote); it reads as nothing.
enum class RegKind { String, Integer, Bytes, Other };

class Registry
{
public:
    // The key all settings live under.
    static QString MainKey();   // "\SOFTWARE\Orvanta\Quillon"
    // $XDG_CONFIG_HOME/Orvanta/Quillon.conf (~/.config when the variable is unset).
    static QString DefaultFileName();
    // Files larger than this are not settings files; they read as empty.
    static constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

    // A store on fileName, read at once (a missing file is an empty store).
    // An empty fileName gives a store in memory only, which flush never writes.
    explicit Registry(const QString &fileName = DefaultFileName());
    // Writes pending changes (a failure is lost; call flush() to see it).
    ~Registry();
    Registry(const Registry &) = delete;
    Registry &operator=(const Registry &) = delete;

    QString fileName() const { return m_fileName; }
    // True when the file, as last read, held lines or values that could not be read.
    bool damaged() const { return m_damaged; }

    // Makes key the current key. key starting with "\" is a full path
    // ("\SOFTWARE\Orvanta\Quillon\Columns"), otherwise it is relative to the
    // current key. With canCreate a missing key is created (and at once
    // written to the file: false when that fails). Keys outside the main key
    // cannot be opened.
    bool openKey(const QString &key, bool canCreate);
    // Writes pending changes and leaves no key current.
    void closeKey();
    // The full path of the current key; empty when none is open.
    QString currentKey() const;
    bool hasCurrentKey() const { return m_current.has_value(); }

    // Whether a key exists (full or relative path as for openKey). The keys
    // above the main key always exist.
    bool keyExists(const QString &key) const;
    // Deletes a key with all its subkeys and values. Only the main key and
    // keys below it can be deleted; false when the key does not exist.
    bool deleteKey(const QString &key);
    // Names of the subkeys (direct children) and values of the current key.
    QStringList keyNames() const;
    QStringList valueNames() const;

    bool valueExists(const QString &name) const;
    // The kind of a value of the current key; nothing when it does not exist.
    std::optional<RegKind> valueKind(const QString &name) const;
    // Reading a value that is missing or of another kind gives nothing.
    std::optional<QString> readString(const QString &name) const;
    std::optional<qint32> readInteger(const QString &name) const;
    // A byte block of at most maxSize bytes; a longer block gives nothing.
    std::optional<QByteArray> readBinary(const QString &name, qsizetype maxSize) const;
    // A byte block of exactly size bytes; any other size gives nothing.
    std::optional<QByteArray> readBinaryExact(const QString &name, qsizetype size) const;

    // Writing needs a current key that still exists; false otherwise.
    bool writeString(const QString &name, const QString &value);
    bool writeInteger(const QString &name, qint32 value);
    bool writeBinary(const QString &name, const QByteArray &value);
    bool deleteValue(const QString &name);

    // Writes pending changes to the file. False when the file could not be
    // written; the old file is then unchanged and the changes stay pending.
    bool flush();
    bool hasPendingChanges() const { return !m_journal.empty(); }

    // The file's text for the current content; exposed for tests of the format.
    QByteArray serialized() const;

    struct Value {
        QString name;
        RegKind kind = RegKind::Other;
        QString text;          // String
        qint32 number = 0;     // Integer
        QByteArray bytes;      // Bytes
    };
    struct Section {
        QString path;          // below the main key, "/" between names; "" = main key
        std::vector<Value> values;
    };
    struct Model {
        std::vector<Section> sections;
        bool damaged = false;
    };

private:
    struct Op {
        enum class Type { CreateKey, DeleteKey, SetValue, DeleteValue };
        Type type;
        QString path;
        Value value;           // SetValue; DeleteValue uses value.name
    };

    static Model parse(const QByteArray &text);
    static QByteArray serialize(const Model &model);
    static Model readFile(const QString &fileName);
    static void apply(Model &model, const Op &op);

    // The path below the main key a key argument names; nothing when it lies
    // outside the main key. above is set for the keys above the main key.
    std::optional<QString> resolve(const QString &key, bool *above = nullptr) const;
    const Section *section(const QString &path) const;
    const Value *findValue(const QString &name) const;
    bool write(Value value);
    bool writeModel(const Model &model);

    QString m_fileName;
    Model m_model;
    std::vector<Op> m_journal;
    std::optional<QString> m_current;
    bool m_damaged = false;
};
