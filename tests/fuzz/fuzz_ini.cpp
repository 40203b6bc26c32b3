// The INI layer: parsing and writing back gives the same bytes (less the
// blanks an interrupted write leaves at the end), and after each kind of
// edit every key the edit did not touch reads back unchanged.
#include "FuzzKit.h"

#include "utPublic/IniFile.h"

#include <cstdint>

namespace {

QByteArray WithoutTrailingBlanks(QByteArray b) {
    while (b.endsWith(' '))
        b.chop(1);
    return b;
}

// What a value reads back as: line breaks became blanks, and blanks (CR
// among them) around it are no part of it.
QString Stored(QString v) {
    v.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    qsizetype b = 0, e = v.size();
    while (b < e && (v[b] == u' ' || v[b] == u'\t'))
        ++b;
    while (e > b && (v[e - 1] == u' ' || v[e - 1] == u'\t'))
        --e;
    return v.mid(b, e - b);
}

bool Same(QStringView a, QStringView b) {
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

// Every key of old outside the edited section (and, for a one-key edit,
// outside that key) reads the same in the written-back document.
void CheckUntouched(const IniDocument& old, const IniDocument& edited, const QString& section,
                    const QString& key) {
    const IniDocument now = IniDocument::Parse(edited.Serialize());
    for (const QString& s : old.Sections()) {
        const bool inEdited = Same(s, section);
        if (inEdited && key.isNull())
            continue;
        for (const QString& k : old.Keys(s))
            if (!inEdited || !Same(k, key))
                FUZZ_CHECK(now.Value(s, k) == old.Value(s, k));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const IniDocument doc = IniDocument::Parse(bytes);
    FUZZ_CHECK(doc.Serialize() == WithoutTrailingBlanks(bytes));

    const QStringList sections = doc.Sections();
    // The new value: the input's last bytes, any text; and one without a
    // GBK form, which converts a GBK file as a whole.
    const QString value = QString::fromUtf8(bytes.right(12));
    const QString noGbk = QStringLiteral("🎵") + value;
    // Names as the program passes them: one line each (a name with a CR
    // inside cannot be written to, as line breaks in names become blanks).
    auto oneLine = [](const QString& n) { return !n.contains(u'\r') && !n.contains(u'\n'); };
    const QString section =
        !sections.isEmpty() && oneLine(sections.last()) ? sections.last() : QStringLiteral("START");
    const QStringList keys = doc.Keys(section);
    const QString key =
        !keys.isEmpty() && oneLine(keys.first()) ? keys.first() : QStringLiteral("chkEdit");
    for (const QString& v : {value, noGbk, QString()}) {
        IniDocument set = doc;
        set.SetValue(section, key, v);
        CheckUntouched(doc, set, section, key);
        FUZZ_CHECK(IniDocument::Parse(set.Serialize()).Value(section, key) ==
                   std::optional<QString>(Stored(v)));
    }
    IniDocument added = doc;
    added.SetValue(QStringLiteral("NewSection"), QStringLiteral("NewKey"), value);
    CheckUntouched(doc, added, QStringLiteral("NewSection"), QStringLiteral("NewKey"));

    IniDocument erased = doc;
    erased.EraseSection(section);
    CheckUntouched(doc, erased, section, QString());
    FUZZ_CHECK(IniDocument::Parse(erased.Serialize()).Keys(section).isEmpty());

    IniDocument replaced = doc;
    replaced.ReplaceSection(section,
                            {{QStringLiteral("Row0"), value}, {QStringLiteral("Row1"), noGbk}});
    CheckUntouched(doc, replaced, section, QString());
    return 0;
}
