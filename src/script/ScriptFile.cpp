#include "script/ScriptFile.h"

#include <QFileInfo>

#include "platform/Encoding.h"
#include "platform/Text.h"
#include "script/ScriptItems.h"

namespace kr {

namespace {

constexpr int kTypeWidth = 20;
constexpr int kFieldWidth = 80;

// One field of the file: the member it carries and whether it is a number.
struct Slot {
    QString Scripting::*text = nullptr;
    qint32 Scripting::*number = nullptr;
};

Slot T(QString Scripting::*m) {
    return Slot{m, nullptr};
}
Slot N(qint32 Scripting::*m) {
    return Slot{nullptr, m};
}

struct Layout {
    QString type;
    std::vector<Slot> slots;
};

// The fields per action, the same in both directions.
const std::vector<Layout>& Layouts() {
    using S = Scripting;
    static const std::vector<Layout> layouts{
        {action::CloseProgram, {T(&S::command)}},
        {action::StartProgram, {T(&S::command), T(&S::path), T(&S::ddeApplicationName), N(&S::timeElapsed)}},
        {action::DisplayMessage, {T(&S::ddeApplicationName), T(&S::ddeApplicationTopic)}},
        {action::SendKeystrokes, {T(&S::keystrokes)}},
        {action::Dde,
         {T(&S::ddeType), T(&S::ddeApplicationName), T(&S::ddeApplicationTopic), T(&S::ddeLinkItem),
          T(&S::ddeCommand)}},
        {action::SetFocus, {T(&S::focusOnWindow), T(&S::waitForWindow)}},
        {action::Wait,
         {N(&S::secondsToWait), T(&S::waitForWindow), T(&S::ddeApplicationName), T(&S::focusOnWindow)}},
        {action::IfWindow, {T(&S::windowExistance), T(&S::windowTitleToCheckFor), T(&S::focusOnWindow)}},
        {action::IfTimeElapsed, {T(&S::ifTimeElapsed), N(&S::timeElapsed)}},
        {action::EndIf, {}},
        {action::ExitScript, {}},
        {action::FileActions, {T(&S::ddeType), T(&S::command), T(&S::path)}},
        {action::SendEmail, {N(&S::emailId)}},
        {action::SetValue, {T(&S::path), T(&S::command)}},
        {action::IfValue, {T(&S::command), T(&S::windowTitleToCheckFor), T(&S::waitForWindow)}},
        {action::StartScript, {T(&S::command), T(&S::path)}},
    };
    return layouts;
}

const Layout* LayoutOf(const QString& type) {
    const QString t = Clip(type);
    for (const Layout& l : Layouts()) {
        if (l.type == t)
            return &l;
    }
    return nullptr;
}

} // namespace

QString QuoteDelimited(const QString& value) {
    QString v = value;
    v.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + v + QLatin1Char('"');
}

QStringList SplitDelimited(const QString& line) {
    QStringList out;
    qsizetype i = 0;
    const qsizetype n = line.size();
    for (;;) {
        QString value;
        if (i < n && line.at(i) == QLatin1Char('"')) {
            ++i;
            for (;;) {
                if (i >= n)
                    break;
                if (line.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && line.at(i + 1) == QLatin1Char('"')) {
                        value += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += line.at(i++);
            }
            // Anything between the closing quote and the next comma is dropped.
            while (i < n && line.at(i) != QLatin1Char(','))
                ++i;
        } else {
            while (i < n && line.at(i) != QLatin1Char(','))
                value += line.at(i++);
        }
        out << value;
        if (i >= n)
            break;
        ++i; // the comma
    }
    return out;
}

QString FormatExchangeLine(const ExchangeRecord& r) {
    QStringList values{QuoteDelimited(Clip(r.type.left(kTypeWidth)))};
    for (const QString& f : r.fields)
        values << QuoteDelimited(Clip(f.left(kFieldWidth)));
    return values.join(QLatin1Char(','));
}

ExchangeRecord ParseExchangeLine(const QString& line) {
    const QStringList values = SplitDelimited(line);
    ExchangeRecord r;
    r.type = Clip(values.value(0).left(kTypeWidth));
    for (int i = 0; i < 5; ++i)
        r.fields[i] = Clip(values.value(i + 1).left(kFieldWidth));
    return r;
}

bool HasFileForm(const QString& action) {
    return LayoutOf(action) != nullptr || Clip(action) == action::DdeOld;
}

std::optional<ExchangeRecord> ItemToRecord(const Scripting& item) {
    // The older name of the DDE action does not fit the type field; it is written as "DDE".
    const QString type = Clip(item.action) == action::DdeOld ? action::Dde : Clip(item.action);
    const Layout* layout = LayoutOf(type);
    if (layout == nullptr)
        return std::nullopt;
    ExchangeRecord r;
    r.type = type;
    for (std::size_t i = 0; i < layout->slots.size(); ++i) {
        const Slot& s = layout->slots[i];
        r.fields[i] = s.text != nullptr ? item.*s.text : QString::number(item.*s.number);
        r.fields[i] = Clip(r.fields[i].left(kFieldWidth));
    }
    return r;
}

bool RecordToItem(const ExchangeRecord& record, Scripting& item) {
    item.action = record.type;
    const Layout* layout = LayoutOf(record.type);
    if (layout == nullptr)
        return false;
    for (std::size_t i = 0; i < layout->slots.size(); ++i) {
        const Slot& s = layout->slots[i];
        if (s.text != nullptr)
            item.*s.text = record.fields[i];
        else
            item.*s.number = record.fields[i].trimmed().toInt();
    }
    return true;
}

ScriptEncoding ScriptFileEncoding(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return ScriptEncoding::EachLine;
    constexpr qint64 kChunk = 1 << 20;
    QByteArray carried;
    bool first = true;
    for (;;) {
        const QByteArray chunk = f.read(kChunk);
        if (chunk.isEmpty() && f.error() != QFileDevice::NoError)
            return ScriptEncoding::EachLine;
        QByteArray bytes = carried + chunk;
        if (first && bytes.startsWith("\xEF\xBB\xBF"))
            bytes.remove(0, 3);
        first = false;
        if (chunk.isEmpty())
            return IsValidUtf8(bytes.constData(), bytes.size()) ? ScriptEncoding::Utf8
                                                                : ScriptEncoding::Windows1252;
        // A character cut by the end of the chunk waits for the rest of it.
        qsizetype cut = bytes.size();
        for (qsizetype back = 1; back <= 3 && back <= bytes.size(); ++back) {
            const auto c = static_cast<unsigned char>(bytes.at(bytes.size() - back));
            if ((c & 0xC0) == 0x80)
                continue;
            const qsizetype length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (length > back)
                cut = bytes.size() - back;
            break;
        }
        if (!IsValidUtf8(bytes.constData(), cut))
            return ScriptEncoding::Windows1252;
        carried = bytes.mid(cut);
    }
}

namespace {

QString DecodeLine(const QByteArray& line, ScriptEncoding encoding) {
    switch (encoding) {
    case ScriptEncoding::Utf8:
        return QString::fromUtf8(line);
    case ScriptEncoding::Windows1252:
        return DecodeWindows1252(line.constData(), line.size());
    case ScriptEncoding::EachLine:
        break;
    }
    return IsValidUtf8(line.constData(), line.size()) ? QString::fromUtf8(line)
                                                      : DecodeWindows1252(line.constData(), line.size());
}

} // namespace

std::optional<QString> NextScriptLine(QIODevice& file, ScriptEncoding encoding) {
    // Lines end in LF, CR LF or a bare CR (as older editors write them). The device must not
    // be in text mode, which would drop the bare CRs and join the lines.
    if (!file.isSequential() && file.pos() == 0 && file.peek(3) == "\xEF\xBB\xBF")
        file.skip(3);
    QByteArray line;
    for (;;) {
        char c = 0;
        if (!file.getChar(&c)) {
            // A line cut off by a read error is not a line.
            if (!line.trimmed().isEmpty() && !ScriptReadFailed(file))
                return DecodeLine(line, encoding);
            return std::nullopt;
        }
        if (c == '\n' || c == '\r') {
            if (c == '\r') {
                char n = 0;
                if (file.getChar(&n) && n != '\n')
                    file.ungetChar(n);
            }
            if (!line.trimmed().isEmpty())
                return DecodeLine(line, encoding);
            line.clear();
            continue;
        }
        // A line longer than any line the program writes is read no further than this.
        if (line.size() < kMaxScriptLineBytes)
            line.append(c);
    }
}

bool ScriptReadFailed(const QIODevice& file) {
    if (const auto* f = qobject_cast<const QFileDevice*>(&file))
        return f->error() != QFileDevice::NoError;
    return !file.errorString().isEmpty() && file.errorString() != QStringLiteral("Unknown error");
}

StoreError ScriptReadError(const QIODevice& file) {
    StoreError e;
    e.code = Err::StorageError;
    e.driverText = file.errorString();
    if (const auto* f = qobject_cast<const QFileDevice*>(&file))
        e.driverCode = static_cast<int>(f->error());
    return e;
}

StoreError FileOpenError(const QFile& f) {
    StoreError e;
    e.code = QFileInfo::exists(f.fileName()) ? Err::StorageError : Err::FileNotFound;
    e.driverText = f.errorString();
    e.driverCode = static_cast<int>(f.error());
    return e;
}

} // namespace kr
