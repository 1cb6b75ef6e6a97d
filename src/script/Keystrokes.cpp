#include "script/Keystrokes.h"

#include "platform/DateTime.h"
#include "platform/Text.h"

#include <map>

namespace kr {

namespace {

struct Tables {
    QStringList names;
    std::map<QString, quint16> codes;

    void add(const QString& name, quint16 code) {
        names << name;
        codes[name] = code;
    }
};

const Tables& Keys() {
    static const Tables tables = [] {
        // The 86 base keys.
        std::vector<std::pair<QString, quint16>> base;
        for (int i = 0; i <= 9; ++i)
            base.emplace_back(QString::number(i), static_cast<quint16>(0x30 + i));
        for (char c = 'A'; c <= 'Z'; ++c)
            base.emplace_back(QString(QLatin1Char(c)), static_cast<quint16>(c));
        for (int i = 1; i <= 12; ++i)
            base.emplace_back(QStringLiteral("F%1").arg(i), static_cast<quint16>(0x6F + i));
        for (int i = 0; i <= 9; ++i)
            base.emplace_back(QStringLiteral("PAD%1").arg(i), static_cast<quint16>(0x60 + i));
        const std::pair<const char*, quint16> named[] = {
            {"AST", 0x6A},     {"PLUS", 0x6B},     {"MINUS", 0x6D},     {"DECIMAL", 0x6E}, {"SLASH", 0x6F},
            {"BS", 8},         {"TAB", 9},         {"ENTER", 0x0D},     {"PAUSE", 0x13},   {"ESC", 0x1B},
            {"SPACE", 0x20},   {"PGUP", 0x21},     {"PGDN", 0x22},      {"END", 0x23},     {"HOME", 0x24},
            {"LEFT", 0x25},    {"UP", 0x26},       {"RIGHT", 0x27},     {"DOWN", 0x28},    {"PRINT", 0x2C},
            {"INSERT", 0x2D},  {"DELETE", 0x2E},   {"MOUSELEFT", 1},    {"MOUSERIGHT", 2}, {"MOUSECENTER", 3},
            {"MOUSELEFT2", 5}, {"MOUSERIGHT2", 6}, {"MOUSECENTER2", 7},
        };
        for (const auto& [n, c] : named)
            base.emplace_back(QString::fromLatin1(n), c);

        Tables t;
        const std::pair<const char*, quint16> prefixes[] = {
            {"SHIFT", 0x100},     {"CTRL", 0x200},     {"ALT", 0x400},
            {"CTRLSHIFT", 0x300}, {"ALTSHIFT", 0x500}, {"CTRLALT", 0x600},
        };
        for (const auto& [p, flags] : prefixes)
            for (const auto& [suffix, code] : base)
                t.add(QString::fromLatin1(p) + suffix, static_cast<quint16>(flags + code));

        auto codeOf = [&](const QString& stem) {
            for (const auto& [suffix, code] : base)
                if (suffix == stem)
                    return code;
            return static_cast<quint16>(0x14); // CAPSLOCK, the one stem without a base key
        };
        for (int i = 0; i <= 9; ++i)
            t.add(QStringLiteral("KEY%1").arg(i), static_cast<quint16>(0x30 + i));
        for (int i = 0; i <= 9; ++i)
            t.add(QStringLiteral("KEYPAD%1").arg(i), static_cast<quint16>(0x60 + i));
        for (char c = 'A'; c <= 'Z'; ++c)
            t.add(QString(QLatin1Char(c)) + QStringLiteral("KEY"), static_cast<quint16>(c));
        for (int i = 1; i <= 12; ++i)
            t.add(QStringLiteral("F%1KEY").arg(i), static_cast<quint16>(0x6F + i));
        for (const char* stem : {"AST",  "BS",    "CAPSLOCK", "DECIMAL", "DELETE", "DOWN",  "END",  "ENTER",
                                 "ESC",  "HOME",  "INSERT",   "LEFT",    "MINUS",  "PAUSE", "PGDN", "PGUP",
                                 "PLUS", "PRINT", "RIGHT",    "SLASH",   "SPACE",  "TAB",   "UP"})
            t.add(QString::fromLatin1(stem) + QStringLiteral("KEY"), codeOf(QString::fromLatin1(stem)));
        for (int i = 1; i <= 12; ++i)
            t.add(QStringLiteral("F%1").arg(i), static_cast<quint16>(0x6F + i));
        for (const char* shortForm : {"DOWN", "ENTER", "ESC", "LEFT", "RIGHT", "SPACE", "TAB", "UP"})
            t.add(QString::fromLatin1(shortForm), codeOf(QString::fromLatin1(shortForm)));
        for (const char* mouse :
             {"MOUSELEFT", "MOUSERIGHT", "MOUSECENTER", "MOUSELEFT2", "MOUSERIGHT2", "MOUSECENTER2"})
            t.add(QString::fromLatin1(mouse), codeOf(QString::fromLatin1(mouse)));
        return t;
    }();
    return tables;
}

// One named key: a key code, a pause, a value, or the name itself as text.
void SendNamedKey(const QString& name, const KeystrokeContext& ctx) {
    const QString n = Clip(name).toUpper();
    if (const auto code = KeyCodeOf(n)) {
        ctx.sender.pressKey(*code);
        return;
    }
    if (n == QStringLiteral("PAUSE"))
        return;
    const QString value = ctx.values.getValue(n);
    if (!value.isEmpty() && value != n) {
        ctx.sender.typeText(Clip(value));
        return;
    }
    ctx.sender.typeText(Clip(name));
}

} // namespace

std::optional<quint16> KeyCodeOf(const QString& name) {
    const auto& codes = Keys().codes;
    auto it = codes.find(Clip(name).toUpper());
    if (it == codes.end())
        return std::nullopt;
    return it->second;
}

const QStringList& KeyNames() {
    return Keys().names;
}

void SendKeystrokes(const QString& sequence, const KeystrokeContext& ctx) {
    QString s = Clip(sequence);
    const QString savedIcon = ctx.trayIcon ? ctx.trayIcon() : QString();
    static const char* const kFrames[] = {"tray_ico", "traybr_ico", "trayc_ico", "traydr_ico"};
    int frame = 0;
    const int burst = ctx.burstSize >= 1 ? ctx.burstSize : 7;
    while (!Clip(s).isEmpty()) {
        const Time t0 = ctx.clock.now();
        if (ctx.trayShown && ctx.trayShown() && ctx.setTray) {
            ctx.setTray(QString::fromLatin1(kFrames[frame]), QStringLiteral("\"Send Keys\" in progress"));
            frame = (frame + 1) % 4;
        }
        if (t0 + ctx.scriptingDelay <= kOneDay && ctx.pause)
            ctx.pause(ctx.scriptingDelay);
        const qsizetype k = s.indexOf(QLatin1Char('['));
        if (k < 0) {
            ctx.sender.typeText(Clip(s));
            break;
        }
        if (k == 0) {
            s.remove(0, 1);
            const qsizetype m = s.indexOf(QLatin1Char(']'));
            if (m < 0)
                continue;
            SendNamedKey(s.left(m), ctx);
            s.remove(0, m + 1);
            continue;
        }
        const qsizetype n = qMin<qsizetype>(k, burst);
        ctx.sender.typeText(s.left(n));
        s.remove(0, n);
    }
    if (ctx.trayShown && ctx.trayShown() && ctx.setTray)
        ctx.setTray(savedIcon, QString());
}

QString DescribeKeyCode(quint16 code) {
    static const std::map<int, const char*> names{
        {1, "Left mouse button"},
        {2, "Right mouse button"},
        {3, "Middle mouse button"},
        {5, "Left mouse button, double click"},
        {6, "Right mouse button, double click"},
        {7, "Middle mouse button, double click"},
        {0x08, "Backspace"},
        {0x09, "Tab"},
        {0x0D, "Enter"},
        {0x13, "Pause"},
        {0x14, "Caps Lock"},
        {0x1B, "Escape"},
        {0x20, "Space"},
        {0x21, "Page Up"},
        {0x22, "Page Down"},
        {0x23, "End"},
        {0x24, "Home"},
        {0x25, "Left arrow"},
        {0x26, "Up arrow"},
        {0x27, "Right arrow"},
        {0x28, "Down arrow"},
        {0x2C, "Print Screen"},
        {0x2D, "Insert"},
        {0x2E, "Delete"},
        {0x6A, "Keypad *"},
        {0x6B, "Keypad +"},
        {0x6D, "Keypad -"},
        {0x6E, "Keypad ."},
        {0x6F, "Keypad /"},
    };
    const int base = code & 0xFF;
    QString key;
    if ((base >= '0' && base <= '9') || (base >= 'A' && base <= 'Z'))
        key = QString(QLatin1Char(static_cast<char>(base)));
    else if (base >= 0x60 && base <= 0x69)
        key = QStringLiteral("Keypad %1").arg(base - 0x60);
    else if (base >= 0x70 && base <= 0x7B)
        key = QStringLiteral("F%1").arg(base - 0x6F);
    else if (const auto it = names.find(base); it != names.end())
        key = QString::fromLatin1(it->second);
    else
        key = QStringLiteral("Key %1").arg(base);
    QString mods;
    if ((code & 0x200) != 0)
        mods += QStringLiteral("Ctrl+");
    if ((code & 0x400) != 0)
        mods += QStringLiteral("Alt+");
    if ((code & 0x100) != 0)
        mods += QStringLiteral("Shift+");
    return mods + key;
}

QString KeyCodesText() {
    QString text =
        QStringLiteral("Key names for Send Keystrokes\n"
                       "Write a key name in square brackets, for example [Enter], [AltF4] or [CtrlShiftS].\n"
                       "Names are matched without regard to letter case. A name that is not a key is typed\n"
                       "as the value of that name, or else as itself. [Pause] waits one interval.\n\n");
    text += QStringLiteral("%1  %2\n").arg(QStringLiteral("Name"), -16).arg(QStringLiteral("Key pressed"));
    for (const QString& n : KeyNames())
        text += QStringLiteral("%1  %2\n").arg(n, -16).arg(DescribeKeyCode(Keys().codes.at(n)));
    return text;
}

} // namespace kr
