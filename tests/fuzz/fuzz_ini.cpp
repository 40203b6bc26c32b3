// The INI layer: parsing and writing back gives the same bytes (less the
// blanks an interrupted write leaves at the end), and after each kind of
// edit every key the edit did not touch reads back unchanged.
#include "FuzzKit.h"

#include "platform/IniFile.h"

#include <cstdint>

namespace {

QByteArray WithoutTrailingBlanks(QByteArray b) {
    while (b.endsWith(' '))
        b.chop(1);
    return b;
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
    const QString section = sections.isEmpty() ? QStringLiteral("START") : sections.last();
    const QStringList keys = doc.Keys(section);
    const QString key = keys.isEmpty() ? QStringLiteral("chkEdit") : keys.first();

    for (const QString& v : {value, noGbk, QString()}) {
        IniDocument set = doc;
        set.SetValue(section, key, v);
        CheckUntouched(doc, set, section, key);
        FUZZ_CHECK(IniDocument::Parse(set.Serialize()).Value(section, key) ==
                   std::optional<QString>(v.trimmed()));
    }
    IniDocument added = doc;
    added.SetValue(QStringLiteral("NewSection"), QStringLiteral("NewKey"), value);
    CheckUntouched(doc, added, QStringLiteral("NewSection"), QStringLiteral("NewKey"));

    IniDocument erased = doc;
    erased.EraseSection(section);
    CheckUntouched(doc, erased, section, QString());
    FUZZ_CHECK(IniDocument::Parse(erased.Serialize()).Keys(section).isEmpty());

    IniDocument replaced = doc;
    replaced.ReplaceSection(section, {{QStringLiteral("Row0"), value}, {QStringLiteral("Row1"), noGbk}});
    CheckUntouched(doc, replaced, section, QString());
    return 0;
}
