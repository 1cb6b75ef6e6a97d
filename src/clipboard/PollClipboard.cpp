#include "clipboard/PollClipboard.h"

#include "platform/Text.h"
#include "store/Transaction.h"

namespace kr {

QString ClipboardDigest(const QString& text) {
    QString digest;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u >= u'a' && u <= u'z')
            digest += QChar(u - u'a' + u'A');
        else if (u >= u'A' && u <= u'Z')
            digest += c;
        else
            continue;
        if (digest.size() == 40)
            break;
    }
    return digest;
}

bool ClipboardTextWorthKeeping(const QString& text) {
    for (const QChar c : text) {
        if (c != QLatin1Char(' '))
            return c.unicode() > u' ';
    }
    return false; // empty or blanks only: equal to a blank
}

ClipboardPoll::ClipboardPoll(ClipboardPollContext ctx)
    : ctx_(std::move(ctx)) {}

ClipboardPoll::~ClipboardPoll() = default;

void ClipboardPoll::poll() {
    // The first check on the fourth call, later ones on every third.
    if (++counter_ <= 3)
        return;
    check();
    counter_ = 1;
}

void ClipboardPoll::check() {
    if (forgetOld() && ctx_.changed)
        ctx_.changed();
    const ClipboardContent content = ctx_.clipboard.content();
    const QString text = content.text.left(kClipboardTextWidth);
    if (Clip(text) == Clip(lastSeen_))
        return;
    // A password manager's secret is neither kept nor remembered as seen.
    if (IsSecret(content))
        return;
    if (!ClipboardTextWorthKeeping(text))
        return;
    if (!table_)
        table_ = std::make_unique<Table<Clipboard>>(ctx_.store);
    Clipboard record{};
    record.clipContents = text;
    record.clipDate = ctx_.clock.today();
    record.clipTime = ctx_.clock.now();
    record.user = ctx_.settings.currentUser();
    record.clipHashKey = ClipboardDigest(text);
    record.clipKeep = 0; // a new entry always starts ordinary
    // A digest the user already holds adds nothing. Texts without letters share the empty
    // digest, which the optional key leaves out for a blank user: that one is looked for here.
    // The add and the trimming go in one transaction when the file is free at once; the tick
    // never waits for another station here (each write then waits as writes do).
    Transaction t;
    t.begin({table_.get()}, 0);
    const Err added =
        record.clipHashKey.isEmpty() && holdsEmptyDigest() ? Err::DuplicateKey : table_->tryAdd(record);
    bool wrote = added == Err::None;
    if (ctx_.settings.maxClipboardEntries > 0)
        wrote = trim(text) || wrote;
    if (t.active() && t.commit() != Err::None) {
        t.rollback();
        return; // not kept: the next check tries again
    }
    // A text that could not be stored is not taken as seen, so the next check tries again.
    if (added == Err::None || added == Err::DuplicateKey)
        lastSeen_ = text;
    if (wrote && ctx_.changed)
        ctx_.changed();
}

bool ClipboardPoll::forgetOld() {
    const qint32 days = ctx_.settings.forgetClipboardDays;
    const qint32 today = ctx_.clock.today();
    if (days <= 0 || forgotOn_ == today)
        return false;
    forgotOn_ = today;
    if (!table_)
        table_ = std::make_unique<Table<Clipboard>>(ctx_.store);
    const QString user = Clip(ctx_.settings.currentUser());
    Clipboard from{};
    from.user = ctx_.settings.currentUser();
    if (table_->set(Clipboard::KEYCLIPDATE, from) != Err::None)
        return false;
    bool removed = false;
    for (;;) {
        // Ordinary entries come first, oldest first: the walk ends at the first young or kept one.
        Clipboard r{};
        if (table_->next(r) != Err::None || Clip(r.user) != user || r.clipKeep != 0 ||
            r.clipDate >= today - days)
            break;
        removed = table_->remove(r) == Err::None || removed;
    }
    return removed;
}

bool ClipboardPoll::holdsEmptyDigest() {
    using Cond = KeyView::Condition;
    KeyView view(*table_, Clipboard::KEYCLIPHASH,
                 {{Clipboard::USER, Cond::Equal, Clip(ctx_.settings.currentUser())},
                  {Clipboard::CLIPHASHKEY, Cond::Equal, QString()}},
                 true);
    std::vector<qint64> rows;
    // Unreadable counts as present: nothing is added rather than a second entry.
    return !view.rowids(0, 1, rows) || !rows.empty();
}

qint64 ClipboardPoll::userEntries() {
    return table_->countEqual(Clipboard::USER, Clip(ctx_.settings.currentUser()));
}

// Removes the current user's oldest ordinary entries while the user holds more than the limit;
// stops at the first kept entry and spares the entry of the current clipboard text. Other
// users' entries are never touched.
bool ClipboardPoll::trim(const QString& current) {
    const qint64 limit = ctx_.settings.maxClipboardEntries;
    qint64 count = userEntries();
    if (count < 0 || count <= limit)
        return false;
    const QString user = Clip(ctx_.settings.currentUser());
    Clipboard from{};
    from.user = ctx_.settings.currentUser();
    from.clipKeep = 0;
    from.clipDate = 0;
    from.clipTime = 0;
    if (table_->set(Clipboard::KEYCLIPDATE, from) != Err::None)
        return false;
    const QString currentText = Clip(current);
    bool removed = false;
    while (count > limit) {
        Clipboard r{};
        if (table_->next(r) != Err::None || Clip(r.user) != user || r.clipKeep != 0)
            break;
        if (Clip(r.clipContents.left(kClipboardTextWidth)) == currentText)
            continue;
        if (table_->remove(r) == Err::None) {
            --count;
            removed = true;
        }
    }
    return removed;
}

} // namespace kr
